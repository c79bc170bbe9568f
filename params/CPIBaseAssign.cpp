// Controller assignments: up to 64 entries per program that tie an 8D-pad
// axis to a part-sound value with a signed amount, the armed source that a
// knob drag edits, and the per-block refresh that pushes the pad's
// deviation into the engine.
#include <algorithm>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "gui/CUIMenuResource.h"
#include "params/CPIBase.h"

namespace {

constexpr int kPadSources = 8;
constexpr int kPadCell = 307;       // smoothed 8D pad values, point 1 X .. point 4 Y
constexpr int kArmMenu = 312;       // "none", separator, "8D 1-X" .. "8D 4-Y"
constexpr int kSliceLength = 52;
constexpr int kRefreshEnd = 412;    // the part meters' cells follow

// Field of an entry, truncated; values no int holds count as 0 (a free or
// foreign entry) instead of being undefined.
int Field(float x) {
    if (!(x > -1.0e6f && x < 1.0e6f)) return 0;
    return static_cast<int>(x);
}

int EntryId(const float* e) { return Field(e[1]) * 256 + Field(e[2]); }

void ClearEntry(float* e) { e[0] = e[1] = e[2] = e[3] = 0.0f; }

}  // namespace

int CPIBase::s_armedSource = -1;

bool CPIBase::IsAssignArmed() { return s_armedSource >= 0; }

bool CPIBase::IsAssignSource(int s) { return s_armedSource == s; }

void CPIBase::ArmAssignSource(int s, bool on) {
    // The command passes a menu value minus one; "none" (and anything that
    // names no pad axis) disarms instead of arming a source that does not exist.
    if (on && s >= 0 && s < kPadSources) {
        s_armedSource = s;
        CUIMenuResource::SetChecked(kArmMenu, static_cast<uint32_t>(s + 3), 1, true);
    } else {
        s_armedSource = -1;
        CUIMenuResource::SetChecked(kArmMenu, 1, 1, true);
    }
}

bool CPIBase::FindAssignment(int part, int id, int* amount) {
    if (amount) *amount = 0;
    const float* record = PartRecord(part);
    if (!record || s_armedSource < 0) return false;
    for (int k = 0; k < kAssignments; ++k) {
        const float* e = record + kAssignBase + 4 * k;
        if (Field(e[0]) == s_armedSource && EntryId(e) == id) {
            if (amount) *amount = Field(e[3]);
            return true;
        }
    }
    return false;
}

void CPIBase::SetAssignment(int part, int id, int amount) {
    float* record = PartRecord(part);
    // Id 0 marks a free entry and ids past 511 have no flag: neither can be
    // assigned.
    if (!record || s_armedSource < 0 || id < 1 || id >= kLabelIds) return;
    const bool remove = amount >= -1 && amount <= 1;
    bool matched = false;
    for (int k = 0; k < kAssignments; ++k) {
        float* e = record + kAssignBase + 4 * k;
        if (Field(e[0]) != s_armedSource || EntryId(e) != id) continue;
        matched = true;
        if (remove) ClearEntry(e);
        else e[3] = static_cast<float>(amount);
    }
    // An amount of -1..1 means "no assignment": it never creates an entry.
    if (!matched && !remove) {
        for (int k = 0; k < kAssignments; ++k) {
            float* e = record + kAssignBase + 4 * k;
            if (EntryId(e) != 0) continue;
            e[0] = static_cast<float>(s_armedSource);
            e[1] = static_cast<float>(id >> 8);
            e[2] = static_cast<float>(id & 255);
            e[3] = static_cast<float>(amount);
            break;
        }
    }
    RebuildAssignedFlags(part);
}

void CPIBase::RebuildAssignedFlags(int part) {
    if (!ValidPart(part)) return;
    std::fill(std::begin(m_assigned[part]), std::end(m_assigned[part]), uint8_t{0});
    const float* record = PartRecord(part);
    if (!record) return;
    for (int k = 0; k < kAssignments; ++k) {
        const int id = EntryId(record + kAssignBase + 4 * k);
        if (id >= 1 && id < kLabelIds) m_assigned[part][id] = 1;
    }
}

bool CPIBase::IsAssigned(int part, int id) const {
    return ValidPart(part) && id >= 0 && id < kLabelIds && m_assigned[part][id] != 0;
}

float CPIBase::GetModulatedValue(int part, int id, float normalized) const {
    // Reads the entries and the pad only: the stored program keeps the
    // unmodulated value.
    const float* record = PartRecord(part);
    float sum = 0.0f;
    if (record) {
        for (int k = 0; k < kAssignments; ++k) {
            const float* e = record + kAssignBase + 4 * k;
            if (EntryId(e) != id) continue;
            const float depth = static_cast<float>(Field(e[3])) * 0.015625f;
            const int source = Field(e[0]);
            float v = 0.5f;
            if (m_engine && source >= 0 && source < kPadSources)
                v = m_engine->data.PartF(part, kPadCell + source);
            sum += (v - 0.5f) * depth;
        }
    }
    float r = normalized + sum;
    if (!(r > 0.0f)) r = 0.0f;  // also catches NaN
    if (r > 1.0f) r = 1.0f;
    // The caller scales the result by the row's scale; rows whose largest
    // value is below their scale (lists, switches) must not be pushed past it.
    const ParameterInfo& row = PartSoundRow(id);
    if (row.maximum > 0.0f && row.scale > 0.0f && r * row.scale > row.maximum)
        r = row.maximum / row.scale;
    return r;
}

void CPIBase::UpdateAssignedSlice(int counter) {
    const unsigned c = static_cast<unsigned>(counter);
    const int part = static_cast<int>(c & 15u);
    const int block = static_cast<int>((c >> 4) & 7u);
    if (!m_engine || !m_engine->partSounding[part]) return;
    float* record = PartRecord(part);
    if (!record) return;
    const int first = kSliceLength * block;
    const int end = std::min(first + kSliceLength, kRefreshEnd);
    // SetParameter is told that this is a refresh, so it leaves the stored
    // program alone; here the record is only read.
    for (int id = first; id < end; ++id)
        if (m_assigned[part][id])
            SetParameter(record, record[id] / m_partSound[id].scale, part, id, false, true);
}
