#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gui/CUIMenuResource.h"
#include "ModelFixture.h"

namespace {

constexpr int kBase = 416;

// Check flag of the item at `position` of the arm menu (312).
int ArmMenuCheck(uint32_t position) {
    for (int row = 1; row < kMenuRows; ++row) {
        const MenuEntry& e = CUIMenuResource::Entry(row);
        if (e.menuId == 312 && e.position == position) return e.checked;
    }
    return -1;
}

void PutEntry(float* record, int k, float source, int id, float amount) {
    float* e = record + kBase + 4 * k;
    e[0] = source;
    e[1] = static_cast<float>(id >> 8);
    e[2] = static_cast<float>(id & 255);
    e[3] = amount;
}

std::vector<float> Entry(const float* record, int k) {
    return std::vector<float>(record + kBase + 4 * k, record + kBase + 4 * k + 4);
}

void ClearEntries(float* record) { std::memset(record + kBase, 0, sizeof(float) * 256); }

}  // namespace

using AssignmentTest = ModelFixture;

TEST_F(AssignmentTest, ArmingFollowsTheMenuAndRefusesUnknownSources) {
    EXPECT_FALSE(CPIBase::IsAssignArmed());
    EXPECT_EQ(ArmMenuCheck(1), 1);

    model->ArmAssignSource(2, true);
    EXPECT_TRUE(CPIBase::IsAssignArmed());
    EXPECT_TRUE(CPIBase::IsAssignSource(2));
    EXPECT_FALSE(CPIBase::IsAssignSource(3));
    EXPECT_EQ(ArmMenuCheck(5), 1);  // "8D 2-X"
    EXPECT_EQ(ArmMenuCheck(1), 0);

    model->ArmAssignSource(7, true);
    EXPECT_EQ(ArmMenuCheck(10), 1);  // "8D 4-Y"
    EXPECT_EQ(ArmMenuCheck(5), 0);

    // Menu value 0 ("none") arrives as -1; values past the pad axes too.
    model->ArmAssignSource(-1, true);
    EXPECT_FALSE(CPIBase::IsAssignArmed());
    EXPECT_EQ(ArmMenuCheck(1), 1);
    model->ArmAssignSource(8, true);
    EXPECT_FALSE(CPIBase::IsAssignArmed());

    model->ArmAssignSource(4, true);
    model->ArmAssignSource(4, false);
    EXPECT_FALSE(CPIBase::IsAssignArmed());
    EXPECT_EQ(ArmMenuCheck(1), 1);
}

TEST_F(AssignmentTest, EditingEntriesWithTheArmedSource) {
    const int part = 4;
    float* r = Record(part);
    ClearEntries(r);
    int amount = 99;

    // Nothing armed: no edit, nothing found.
    model->SetAssignment(part, 20, 40);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_FALSE(model->FindAssignment(part, 20, &amount));
    EXPECT_EQ(amount, 0);

    model->ArmAssignSource(1, true);
    model->SetAssignment(part, 20, 64);
    model->SetAssignment(part, 300, -12);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{1, 0, 20, 64}));
    EXPECT_EQ(Entry(r, 1), (std::vector<float>{1, 1, 44, -12}));
    EXPECT_TRUE(model->IsAssigned(part, 20));
    EXPECT_TRUE(model->IsAssigned(part, 300));
    EXPECT_FALSE(model->IsAssigned(part + 1, 20));
    EXPECT_TRUE(model->FindAssignment(part, 300, &amount));
    EXPECT_EQ(amount, -12);

    // The same parameter under another source is a separate entry.
    model->ArmAssignSource(2, true);
    EXPECT_FALSE(model->FindAssignment(part, 20, &amount));
    model->SetAssignment(part, 20, -30);
    EXPECT_EQ(Entry(r, 2), (std::vector<float>{2, 0, 20, -30}));

    // Dragging again edits the amount in place.
    model->ArmAssignSource(1, true);
    model->SetAssignment(part, 20, 10);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{1, 0, 20, 10}));

    // -1, 0 and 1 remove instead of storing, and never create an entry.
    model->SetAssignment(part, 20, 1);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_TRUE(model->IsAssigned(part, 20));  // source 2 still has it
    model->SetAssignment(part, 300, -1);
    EXPECT_FALSE(model->IsAssigned(part, 300));
    model->ArmAssignSource(2, true);
    model->SetAssignment(part, 20, 0);
    EXPECT_FALSE(model->IsAssigned(part, 20));
    model->SetAssignment(part, 21, 0);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(Entry(r, k), (std::vector<float>{0, 0, 0, 0}));

    // A freed entry is reused first; ids without a flag slot are refused.
    model->SetAssignment(part, 7, 5);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{2, 0, 7, 5}));
    model->SetAssignment(part, 0, 50);
    model->SetAssignment(part, 512, 50);
    EXPECT_EQ(Entry(r, 1), (std::vector<float>{0, 0, 0, 0}));
}

TEST_F(AssignmentTest, AFullTableDropsNewAssignments) {
    const int part = 0;
    float* r = Record(part);
    for (int k = 0; k < 64; ++k) PutEntry(r, k, 3, 5, 20);
    model->ArmAssignSource(0, true);
    model->SetAssignment(part, 7, 50);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(Entry(r, k), (std::vector<float>{3, 0, 5, 20}));
    EXPECT_TRUE(model->IsAssigned(part, 5));
    EXPECT_FALSE(model->IsAssigned(part, 7));
}

TEST_F(AssignmentTest, FlagsOnlyForIdsOneTo511) {
    const int part = 9;
    float* r = Record(part);
    ClearEntries(r);
    PutEntry(r, 0, 0, 511, 10);
    PutEntry(r, 1, 0, 512, 10);
    PutEntry(r, 2, 0, 0, 10);
    r[kBase + 4 * 3 + 1] = -1.0f;  // id -256 + 44
    r[kBase + 4 * 3 + 2] = 44.0f;
    r[kBase + 4 * 4 + 1] = 3.0e30f;  // a damaged record
    model->RebuildAssignedFlags(part);
    EXPECT_TRUE(model->IsAssigned(part, 511));
    for (int id = 0; id < 511; ++id) EXPECT_FALSE(model->IsAssigned(part, id)) << id;
    EXPECT_FALSE(model->IsAssigned(part, 512));
    EXPECT_FALSE(model->IsAssigned(16, 511));
    model->RebuildAssignedFlags(-1);  // ignored
}

TEST_F(AssignmentTest, ModulatedValueAddsPadDeviationsAndStaysInRange) {
    const int part = 6;
    float* r = Record(part);
    ClearEntries(r);
    const std::vector<float> before(r, r + 2272);

    // Without an entry the value passes unchanged.
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 7, 0.2f), 0.2f);

    PutEntry(r, 0, 0, 7, 64);  // pad point 1 X, depth 1.0
    engine->data.SetPartF(part, 307, 0.5f);
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 7, 0.2f), 0.2f);  // centre: no effect
    engine->data.SetPartF(part, 307, 1.0f);
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 7, 0.2f), 0.7f);  // adds 0.5

    // A second source on the same id adds its own deviation.
    PutEntry(r, 1, 3, 7, 32);  // point 2 Y at 0.0, depth 0.5: -0.25
    engine->data.SetPartF(part, 310, 0.0f);
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 7, 0.2f), 0.45f);
    // A source that names no pad axis sits at the centre.
    PutEntry(r, 2, 9, 7, 100);
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 7, 0.2f), 0.45f);

    // Never outside 0..1.
    EXPECT_EQ(model->GetModulatedValue(part, 7, 0.9f), 1.0f);
    PutEntry(r, 3, 0, 7, -256);
    for (float pad = 0.0f; pad <= 1.0f; pad += 0.125f) {
        engine->data.SetPartF(part, 307, pad);
        for (float x = 0.0f; x <= 1.0f; x += 0.0625f) {
            const float m = model->GetModulatedValue(part, 7, x);
            EXPECT_GE(m, 0.0f);
            EXPECT_LE(m, 1.0f);
        }
    }
    // A list row is not pushed past its largest value ("Waveform": 65 of 128).
    ClearEntries(r);
    PutEntry(r, 0, 0, 155, 64);
    engine->data.SetPartF(part, 307, 1.0f);
    EXPECT_FLOAT_EQ(model->GetModulatedValue(part, 155, 0.5f), 65.0f / 128.0f);

    // Reading the modulated value never writes the stored program.
    ClearEntries(r);
    EXPECT_EQ(std::vector<float>(r, r + 2272), before);
}

TEST_F(AssignmentTest, RefreshReachesOnlySoundingPartsAndKeepsTheStoredValue) {
    const int part = 5;
    float* r = Record(part);
    ClearEntries(r);
    r[7] = 0.0f;  // "Mix Inp1": target = raw / 127
    PutEntry(r, 0, 0, 7, 64);
    model->RebuildAssignedFlags(part);
    engine->data.SetPartF(part, 307, 1.0f);
    engine->partSounding[part] = 0;

    model->UpdateAssignedSlice(part);
    EXPECT_EQ(Target(part, 7), 0.0f);  // silent part: not refreshed

    engine->partSounding[part] = 1;
    model->UpdateAssignedSlice(part + 16);  // slice 1 holds ids 52..103
    model->UpdateAssignedSlice(part + 1);   // another part
    EXPECT_EQ(Target(part, 7), 0.0f);

    model->UpdateAssignedSlice(part + 128 * 5);  // slice 0 of the part, any round
    EXPECT_NEAR(Target(part, 7), 64.0f / 127.0f, 1e-6);
    EXPECT_EQ(r[7], 0.0f);
    EXPECT_EQ(Entry(r, 0), (std::vector<float>{0, 0, 7, 64}));

    // Negative counters (a wrapped block counter) still pick a valid part.
    model->UpdateAssignedSlice(-1);
}
