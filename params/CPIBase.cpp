#include "params/CPIBase.h"

#include <cstdio>

#include "core/CProgram.h"
#include "engine/CEngine.h"

namespace {

// Returned for ids outside a table, so a stray id reads as undefined
// instead of reading past the table.
const ParameterInfo kUndefinedRow{};

// Modulation source and destination lists: their menus hold more items than
// the routing can address, so their ranges are fixed.
constexpr int kRoutingSourceList = 110;
constexpr int kRoutingDestinationList = 120;
constexpr float kRoutingSourceMax = 37.0f;
constexpr float kRoutingDestinationMax = 90.0f;

}  // namespace

CPIBase::CPIBase() {
    for (int p = 0; p < kParts; ++p) {
        m_synthType[p] = 0;
        m_volumeFactor[p] = 1.0f;
        for (int i = 0; i < kLabelIds; ++i) m_assigned[p][i] = 0;
    }

    for (int id = 0; id < kPartSoundRows; ++id) {
        ParameterInfo& r = m_partSound[id];
        r = ParameterInfo{};
        r.id = id;
        if (id >= 1024) {
            // Curve, envelope and partial data: stored as they are, no clamp.
            r.scale = 1.0f;
            r.maximum = 0.0f;
        }
    }
    auto undefine = [](ParameterInfo* rows, int count) {
        for (int id = 0; id < count; ++id) {
            rows[id] = ParameterInfo{};
            rows[id].id = id;
            rows[id].maximum = 0.0f;
        }
    };
    undefine(m_setup, kSetupRows);
    undefine(m_mixer, kMixerRows);
    undefine(m_global, kGlobalRows);

    for (auto& page : m_labelOverride)
        for (auto& label : page) label = nullptr;

    FillPartSoundRows();
    FillOtherRows();

    // Envelope segment cells and the row 396 hold values beyond any list or
    // scale; they are never clamped.
    for (int id = 346; id <= 354; ++id) m_partSound[id].maximum = 0.0f;
    for (int id = 366; id <= 383; ++id) m_partSound[id].maximum = 0.0f;
    m_partSound[396].maximum = 0.0f;

    FillLabelOverrides();
}

CPIBase::~CPIBase() = default;

float CPIBase::ListMaximum(int list) {
    if (list == kRoutingSourceList) return kRoutingSourceMax;
    if (list == kRoutingDestinationList) return kRoutingDestinationMax;
    return static_cast<float>(CUIMenuResource::MaxValue(static_cast<uint32_t>(list)));
}

namespace {

void DefineRow(ParameterInfo& r, int id, const char* label, float scale, int list) {
    r.id = id;
    // A row defined without a label shows nothing rather than handing a
    // null pointer to every widget that draws it.
    r.label = label ? label : "";
    r.scale = scale;
    r.maximum = scale;
    r.list = list;
}

}  // namespace

void CPIBase::DefineParameter(int id, const char* label, const char* name, float scale, int list,
                              int menu) {
    if (id < 0 || id >= kLabelIds) return;
    ParameterInfo& r = m_partSound[id];
    DefineRow(r, id, label, scale, list);
    r.name = name ? name : "";
    r.menu = menu;
    if (list > 0) r.maximum = ListMaximum(list);
}


void CPIBase::DefineSetupParameter(int id, const char* label, float scale, int list) {
    if (id < 0 || id >= kSetupRows) return;
    DefineRow(m_setup[id], id, label, scale, list);
    if (list > 0) m_setup[id].maximum = ListMaximum(list);
}

void CPIBase::DefineMixerParameter(int id, const char* label, float scale, int list) {
    if (id < 0 || id >= kMixerRows) return;
    DefineRow(m_mixer[id], id, label, scale, list);
    if (list > 0) m_mixer[id].maximum = ListMaximum(list);
}

void CPIBase::DefineGlobalParameter(int id, const char* label) {
    if (id < 0 || id >= kGlobalRows) return;
    DefineRow(m_global[id], id, label, 128.0f, 0);
}

// --- links -------------------------------------------------------------------

void CPIBase::SetEngine(CEngine* engine) { m_engine = engine; }

void CPIBase::SetProgramStore(CProgram* store) { m_program = store; }

void CPIBase::SetGUI(CPIBaseListener* gui) { m_gui = gui; }

float* CPIBase::GetCurrentProgramValues() {
    return m_program ? m_program->GetCurrentProgramData() : nullptr;
}

// --- tables ------------------------------------------------------------------

const ParameterInfo& CPIBase::PartSoundRow(int id) const {
    return (id >= 0 && id < kPartSoundRows) ? m_partSound[id] : kUndefinedRow;
}

const ParameterInfo& CPIBase::SetupRow(int id) const {
    return (id >= 0 && id < kSetupRows) ? m_setup[id] : kUndefinedRow;
}

const ParameterInfo& CPIBase::MixerRow(int id) const {
    return (id >= 0 && id < kMixerRows) ? m_mixer[id] : kUndefinedRow;
}

const ParameterInfo& CPIBase::GlobalRow(int id) const {
    return (id >= 0 && id < kGlobalRows) ? m_global[id] : kUndefinedRow;
}

const char* CPIBase::GetLabelOverride(int page, int id) const {
    if (page < 0 || page >= kLabelPages || id < 0 || id >= kLabelIds) return nullptr;
    return m_labelOverride[page][id];
}

float CPIBase::GetVolumeFactor(int part) const {
    return ValidPart(part) ? m_volumeFactor[part] : 1.0f;
}

// --- labels, menus, pages ---------------------------------------------------------

const char* CPIBase::GetParameterLabel(int group, int id) const {
    switch (group) {
    case 0: {
        if (m_gui && id >= 0 && id < kLabelIds) {
            int part = m_gui->GetCurrentPart();
            int page = ValidPart(part) ? m_synthType[part] : 0;
            if (const char* label = GetLabelOverride(page, id)) return label;
        }
        return PartSoundRow(id).label;
    }
    case 1: return MixerRow(id & 0x3FF).label;
    case 2: return GlobalRow(id).label;
    case 9: return SetupRow(id).label;
    case 37: return "Shf.";
    case 42: return "ext.Sync";
    case 54: return id == 0 ? "Start" : "Stop";
    default: return "undef";
    }
}

int CPIBase::GetParameterMenu(int group, int id) const {
    switch (group) {
    case 0: return PartSoundRow(id).menu;
    case 1: return MixerRow(id & 0x3FF).menu;
    case 2: return GlobalRow(id).menu;
    case 9: return SetupRow(id).menu;
    default: return 0;
    }
}

void CPIBase::SetPartSynthesisType(int part, int type) {
    if (!ValidPart(part)) return;
    // The type picks a label page and a GUI page; anything but 0..6 is 0.
    if (type < 0 || type > 6) type = 0;
    m_synthType[part] = type;
    if (!m_gui || m_gui->GetCurrentPart() != part) return;
    int page = m_gui->GetPage();
    if (page >= 2 && page <= 13) m_gui->SetPage(type == 0 ? 2 : type + 4);
}

int CPIBase::GetPartSynthesisType(int part) const { return ValidPart(part) ? m_synthType[part] : 0; }

void CPIBase::RefreshPartPage() {
    if (!m_gui) return;
    int part = m_gui->GetCurrentPart();
    int type = ValidPart(part) ? m_synthType[part] : 0;
    int page = m_gui->GetPage();
    int next = page;
    if (page >= 2 && page <= 5)
        next = type > 0 ? type + 4 : page;
    else if (page >= 6 && page <= 13)
        next = type > 0 ? type + 4 : 2;
    m_gui->SetPage(next);
}

void CPIBase::Get8DPoint(int point, double* x, double* y) const {
    if (point < 1 || point > 4 || !x || !y) return;
    if (!m_engine || !m_program) return;
    int part = m_program->GetCurrentPart();
    *x = m_engine->data.SharedPartF(part, 305 + 2 * point);
    *y = m_engine->data.SharedPartF(part, 306 + 2 * point);
}
