#include "params/CPIBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/CProgram.h"
#include "engine/CEngine.h"

namespace {

class FakeGUI : public CPIBaseListener {
public:
    int GetCurrentPart() const override { return part; }
    int GetPage() const override { return page; }
    void SetPage(int p) override {
        page = p;
        ++setPageCalls;
    }
    void NotifyParameterChanged() override {}

    int part = 0;
    int page = 2;
    int setPageCalls = 0;
};

// One model for the whole file: the tables never change after construction.
class PIBaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_model = std::make_unique<CPIBase>(); }
    static void TearDownTestSuite() { s_model.reset(); }
    void TearDown() override {
        s_model->SetGUI(nullptr);
        for (int p = 0; p < 16; ++p) s_model->SetPartSynthesisType(p, 0);
    }
    static std::unique_ptr<CPIBase> s_model;
};
std::unique_ptr<CPIBase> PIBaseTest::s_model;

std::string Label(const CPIBase& m, int group, int id) { return m.GetParameterLabel(group, id); }

TEST_F(PIBaseTest, LabelsFollowTheSynthesisTypeOfTheGUIsCurrentPart) {
    CPIBase& m = *s_model;
    FakeGUI gui;
    gui.part = 3;
    gui.page = 0;  // outside the synth pages: no page switching in this test
    m.SetGUI(&gui);

    for (int t = 0; t <= 6; ++t) {
        m.SetPartSynthesisType(3, t);
        for (int id = 36; id <= 55; ++id) {
            if (t == 6 && (id == 37 || id == 40)) continue;
            EXPECT_EQ(Label(m, 0, id), "Amnt") << "type " << t << " id " << id;
        }
    }
    // The labels each synthesis type gives the mixer inputs and its own rows.
    const struct { int type, id; const char* label; } byType[] = {
        {6, 37, "EnvSens"}, {6, 60, "F1-F2"},  {6, 11, "Pink"},      {0, 60, "X-fader"},
        {0, 10, "Input 4"}, {1, 10, "Noise"},  {2, 15, "Spectrum"},  {5, 7, "Spectrum"}};
    for (const auto& l : byType) {
        m.SetPartSynthesisType(3, l.type);
        EXPECT_EQ(Label(m, 0, l.id), l.label) << l.type << " " << l.id;
    }

    // Another part's type does not change the labels shown.
    m.SetPartSynthesisType(4, 6);
    EXPECT_EQ(Label(m, 0, 60), "X-fader");

    // Without a GUI manager no override applies.
    m.SetPartSynthesisType(3, 6);
    m.SetGUI(nullptr);
    EXPECT_EQ(Label(m, 0, 36), "");
    EXPECT_EQ(Label(m, 0, 60), "X-fader");
}

TEST_F(PIBaseTest, SynthesisTypeOutsideTheLabelPagesIsZero) {
    CPIBase& m = *s_model;
    for (int bad : {7, 8, 100, -1, -7}) {
        m.SetPartSynthesisType(2, 5);
        m.SetPartSynthesisType(2, bad);
        EXPECT_EQ(m.GetPartSynthesisType(2), 0) << bad;
    }
    m.SetPartSynthesisType(2, 6);
    EXPECT_EQ(m.GetPartSynthesisType(2), 6);
    // Parts outside 0..15 are ignored, not written past the array.
    m.SetPartSynthesisType(16, 3);
    m.SetPartSynthesisType(-1, 3);
    EXPECT_EQ(m.GetPartSynthesisType(16), 0);
}

TEST_F(PIBaseTest, LabelsOfOtherGroups) {
    const CPIBase& m = *s_model;
    const struct { int group, id; const char* label; } labels[] = {
        {1, 5 << 10 | 2, "Level"}, {1, 8, "n/a"},      {1, 7, ""},          {2, 24, "Chorus"},
        {9, 99, "Smplrate"},       {37, 0, "Shf."},   {54, -5, "Stop"},    {0, 179, "\nCrackle"},
        {0, 2271, "n/a"},          {0, 238, "FM in"}, {0, 249, ""},        {0, 339, "Input B"}};
    for (const auto& l : labels) EXPECT_EQ(Label(m, l.group, l.id), l.label) << l.group << " " << l.id;
    for (int g : {3, 55, 1000, -1}) EXPECT_EQ(Label(m, g, 0), "undef") << g;

    const std::pair<int, const char*> names[] = {{55, "MdAmnt20"}, {306, "8D Y4"}, {210, "EG4 Release"}};
    for (auto [id, name] : names) EXPECT_STREQ(m.PartSoundRow(id).name, name) << id;
}

TEST_F(PIBaseTest, RowCountsOfTheFourTables) {
    const CPIBase& m = *s_model;
    auto defined = [](const ParameterInfo& r) { return std::string(r.label) != "n/a"; };
    int sound = 0, setup = 0, mixer = 0, global = 0;
    for (int id = 0; id < 2272; ++id) sound += defined(m.PartSoundRow(id));
    for (int id = 0; id < 128; ++id) setup += defined(m.SetupRow(id));
    for (int id = 0; id < 32; ++id) mixer += defined(m.MixerRow(id));
    for (int id = 0; id < 128; ++id) global += defined(m.GlobalRow(id));
    EXPECT_EQ(sound, 298);
    EXPECT_EQ(setup, 37);
    EXPECT_EQ(mixer, 13);
    EXPECT_EQ(global, 19);
    for (int id = 0; id < 2272; ++id) EXPECT_EQ(m.PartSoundRow(id).id, id);
}

TEST_F(PIBaseTest, MaximaComeFromTheMenuTable) {
    const CPIBase& m = *s_model;
    EXPECT_EQ(m.PartSoundRow(172).maximum, 65.0f);
    EXPECT_EQ(m.PartSoundRow(212).maximum, 6.0f);
    EXPECT_EQ(m.PartSoundRow(84).maximum, 37.0f);
    EXPECT_EQ(m.PartSoundRow(85).maximum, 90.0f);
    EXPECT_EQ(m.PartSoundRow(336).maximum, 25.0f);
    EXPECT_EQ(m.MixerRow(5).maximum, 107.0f);
    EXPECT_EQ(m.SetupRow(100).maximum, 23.0f);
}

TEST_F(PIBaseTest, ScalesAndUnclampedRows) {
    const CPIBase& m = *s_model;
    const struct { int id; float scale; } scales[] = {{16, 128}, {148, 96}, {149, 100}, {329, 32},
                                                       {394, 127}, {151, 1},  {155, 128}};
    for (const auto& c : scales) EXPECT_EQ(m.PartSoundRow(c.id).scale, c.scale) << c.id;
    EXPECT_EQ(m.GlobalRow(6).maximum, 128.0f);
    EXPECT_EQ(m.GlobalRow(30).maximum, 0.0f);

    // Undefined rows below 1024 read as ordinary values.
    EXPECT_EQ(m.PartSoundRow(0).scale, 128.0f);
    EXPECT_EQ(m.PartSoundRow(0).maximum, 128.0f);
    EXPECT_EQ(m.PartSoundRow(1023).maximum, 128.0f);

    EXPECT_EQ(m.PartSoundRow(350).maximum, 0.0f);
    EXPECT_EQ(m.PartSoundRow(366).scale, 1.0f);  // undefined, but a plain value like its neighbours

    // Data ids keep their stored value: normalized equals raw.
    float record[2272] = {};
    for (int id = 1024; id < 2272; ++id) {
        EXPECT_EQ(m.PartSoundRow(id).scale, 1.0f) << id;
        EXPECT_EQ(m.PartSoundRow(id).maximum, 0.0f) << id;
        record[id] = 0.25f * static_cast<float>(id % 9);
    }
    for (int id = 1024; id < 2272; ++id) EXPECT_EQ(m.GetParameter(record, 0, id), record[id]);
    record[148] = 48.0f;
    EXPECT_EQ(m.GetParameter(record, 0, 148), 0.5f);
}

TEST_F(PIBaseTest, ContextMenus) {
    const CPIBase& m = *s_model;
    const struct { int group, id, menu; } menus[] = {{0, 1, 2},   {0, 36, 4},  {0, 185, 4},          {0, 356, 2},
                                                      {0, 155, 0}, {0, 5000, 0}, {1, 3 << 10 | 2, 0}, {7, 1, 0}};
    for (const auto& c : menus) EXPECT_EQ(m.GetParameterMenu(c.group, c.id), c.menu) << c.group << " " << c.id;
}

TEST_F(PIBaseTest, PagesFollowTheCurrentPartsType) {
    CPIBase& m = *s_model;
    FakeGUI gui;
    gui.part = 1;
    m.SetGUI(&gui);

    gui.page = 2;
    m.SetPartSynthesisType(1, 3);
    EXPECT_EQ(gui.page, 7);
    m.SetPartSynthesisType(1, 0);
    EXPECT_EQ(gui.page, 2);
    gui.page = 13;
    m.SetPartSynthesisType(1, 6);
    EXPECT_EQ(gui.page, 10);
    // Another part, or a page outside 2..13, leaves the page.
    m.SetPartSynthesisType(2, 1);
    EXPECT_EQ(gui.page, 10);
    gui.page = 14;
    m.SetPartSynthesisType(1, 2);
    EXPECT_EQ(gui.page, 14);
    gui.page = 1;
    m.SetPartSynthesisType(1, 2);
    EXPECT_EQ(gui.page, 1);

    // Refresh: for type 0, 2..5 keep their page and 6..13 go back to 2;
    // type 4 always shows 8; pages outside 2..13 stay, yet are set again.
    const struct { int type, page, shown; } refresh[] = {
        {0, 5, 5}, {0, 6, 2}, {0, 13, 2}, {4, 3, 8}, {4, 13, 8}, {4, 1, 1}, {4, 14, 14}};
    for (const auto& r : refresh) {
        m.SetPartSynthesisType(1, r.type);
        gui.page = r.page;
        const int calls = gui.setPageCalls;
        m.RefreshPartPage();
        EXPECT_EQ(gui.page, r.shown) << r.type << " " << r.page;
        EXPECT_EQ(gui.setPageCalls, calls + 1) << r.type << " " << r.page;
    }

    m.SetGUI(nullptr);
    m.RefreshPartPage();  // nothing to do without a window
}

TEST(PIBaseLinks, PadPointsComeFromTheEnginePartRecord) {
    auto model = std::make_unique<CPIBase>();
    auto engine = std::make_unique<CEngine>();
    auto store = std::make_unique<CProgram>();
    double x = -1.0, y = -2.0;
    model->Get8DPoint(1, &x, &y);  // no engine yet: untouched
    EXPECT_EQ(x, -1.0);

    model->SetEngine(engine.get());
    model->SetProgramStore(store.get());
    store->SetCurrentPart(2);
    for (int id = 307; id <= 314; ++id) engine->data.SetPartF(2, id, static_cast<float>(id) / 8.0f);
    model->Get8DPoint(1, &x, &y);
    EXPECT_EQ(x, 307.0 / 8.0);
    EXPECT_EQ(y, 308.0 / 8.0);
    model->Get8DPoint(4, &x, &y);
    EXPECT_EQ(x, 313.0 / 8.0);
    EXPECT_EQ(y, 314.0 / 8.0);
    for (int bad : {0, 5, -1}) {
        x = y = 99.0;
        model->Get8DPoint(bad, &x, &y);
        EXPECT_EQ(x, 99.0);
        EXPECT_EQ(y, 99.0);
    }
    EXPECT_EQ(model->GetCurrentProgramValues(), store->GetProgramData(2));
}

}  // namespace
