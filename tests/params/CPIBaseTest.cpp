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
    m.SetPartSynthesisType(3, 6);
    EXPECT_EQ(Label(m, 0, 37), "EnvSens");
    EXPECT_EQ(Label(m, 0, 40), "EnvSens");
    EXPECT_EQ(Label(m, 0, 60), "F1-F2");
    EXPECT_EQ(Label(m, 0, 7), "Osc1");
    EXPECT_EQ(Label(m, 0, 8), "Osc2");
    EXPECT_EQ(Label(m, 0, 9), "Osc3");
    EXPECT_EQ(Label(m, 0, 10), "White");
    EXPECT_EQ(Label(m, 0, 11), "Pink");

    m.SetPartSynthesisType(3, 0);
    EXPECT_EQ(Label(m, 0, 60), "X-fader");
    EXPECT_EQ(Label(m, 0, 7), "Input 1");
    EXPECT_EQ(Label(m, 0, 10), "Input 4");

    m.SetPartSynthesisType(3, 1);
    EXPECT_EQ(Label(m, 0, 10), "Noise");
    EXPECT_EQ(Label(m, 0, 15), "Level");
    m.SetPartSynthesisType(3, 2);
    EXPECT_EQ(Label(m, 0, 15), "Spectrum");
    EXPECT_EQ(Label(m, 0, 10), "Input 4");
    m.SetPartSynthesisType(3, 5);
    EXPECT_EQ(Label(m, 0, 7), "Spectrum");
    EXPECT_EQ(Label(m, 0, 8), "White");
    EXPECT_EQ(Label(m, 0, 9), "Pink");
    EXPECT_EQ(Label(m, 0, 10), "Input 4");

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
    EXPECT_EQ(Label(m, 1, 5 << 10 | 2), "Level");
    EXPECT_EQ(Label(m, 1, 10), "Voices");
    EXPECT_EQ(Label(m, 1, 8), "n/a");
    EXPECT_EQ(Label(m, 1, 7), "");
    EXPECT_EQ(Label(m, 2, 6), "Master");
    EXPECT_EQ(Label(m, 2, 17), "Presets");
    EXPECT_EQ(Label(m, 2, 24), "Chorus");
    EXPECT_EQ(Label(m, 2, 25), "n/a");
    EXPECT_EQ(Label(m, 9, 99), "Smplrate");
    EXPECT_EQ(Label(m, 9, 112), "Edit");
    EXPECT_EQ(Label(m, 9, 5), "");
    EXPECT_EQ(Label(m, 9, 7), "n/a");
    EXPECT_EQ(Label(m, 37, 0), "Shf.");
    EXPECT_EQ(Label(m, 42, 3), "ext.Sync");
    EXPECT_EQ(Label(m, 54, 0), "Start");
    EXPECT_EQ(Label(m, 54, 1), "Stop");
    EXPECT_EQ(Label(m, 54, -5), "Stop");
    for (int g : {3, 4, 5, 10, 36, 53, 55, 1000, -1}) EXPECT_EQ(Label(m, g, 0), "undef") << g;

    EXPECT_EQ(Label(m, 0, 179), "\nCrackle");
    EXPECT_EQ(Label(m, 0, 0), "n/a");
    EXPECT_EQ(Label(m, 0, 2271), "n/a");
    EXPECT_EQ(Label(m, 0, 155), "Waveform");
    EXPECT_EQ(Label(m, 0, 238), "FM in");
    EXPECT_EQ(Label(m, 0, 240), "Input A");
    EXPECT_EQ(Label(m, 0, 248), "Input");
    EXPECT_EQ(Label(m, 0, 249), "");
    EXPECT_EQ(Label(m, 0, 255), "Input A");
    EXPECT_EQ(Label(m, 0, 257), "Input");
    EXPECT_EQ(Label(m, 0, 259), "");
    EXPECT_EQ(Label(m, 0, 339), "Input B");

    EXPECT_STREQ(m.PartSoundRow(36).name, "MdAmnt01");
    EXPECT_STREQ(m.PartSoundRow(55).name, "MdAmnt20");
    EXPECT_STREQ(m.PartSoundRow(299).name, "8D X1");
    EXPECT_STREQ(m.PartSoundRow(302).name, "8D Y2");
    EXPECT_STREQ(m.PartSoundRow(306).name, "8D Y4");
    EXPECT_STREQ(m.PartSoundRow(199).name, "EG3 Delay");
    EXPECT_STREQ(m.PartSoundRow(210).name, "EG4 Release");
    EXPECT_STREQ(m.PartSoundRow(394).name, "Rev Level");
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
    for (int id : {155, 163, 172}) EXPECT_EQ(m.PartSoundRow(id).maximum, 65.0f) << id;
    for (int id : {191, 198, 205, 212}) EXPECT_EQ(m.PartSoundRow(id).maximum, 6.0f) << id;
    EXPECT_EQ(m.PartSoundRow(344).maximum, 32.0f);
    EXPECT_EQ(m.MixerRow(10).maximum, 32.0f);
    for (int id = 65; id <= 84; ++id) EXPECT_EQ(m.PartSoundRow(id).maximum, 37.0f) << id;
    for (int id = 85; id <= 104; ++id) EXPECT_EQ(m.PartSoundRow(id).maximum, 90.0f) << id;

    // Every list row of the tables, with the maximum its menu gives.
    struct Expect {
        int id;
        float max;
    };
    const Expect sound[] = {{146, 36}, {182, 15}, {213, 6},  {216, 4},  {229, 7},  {237, 47},
                            {259, 47}, {267, 1},  {268, 1},  {269, 2},  {271, 15}, {272, 2},
                            {278, 2},  {285, 2},  {292, 3},  {327, 1},  {330, 3},  {331, 10},
                            {334, 3},  {335, 8},  {336, 25}, {337, 3},  {339, 47}, {340, 8},
                            {342, 3},  {364, 15}, {365, 15}, {384, 47}, {386, 13}, {389, 2}};
    for (const Expect& e : sound) EXPECT_EQ(m.PartSoundRow(e.id).maximum, e.max) << e.id;
    const Expect mixer[] = {{4, 15}, {5, 107}, {6, 107}, {7, 16}, {14, 7}};
    for (const Expect& e : mixer) EXPECT_EQ(m.MixerRow(e.id).maximum, e.max) << e.id;
    const Expect setup[] = {{99, 5}, {100, 23}, {101, 23}, {108, 16}, {118, 16}};
    for (const Expect& e : setup) EXPECT_EQ(m.SetupRow(e.id).maximum, e.max) << e.id;
}

TEST_F(PIBaseTest, ScalesAndUnclampedRows) {
    const CPIBase& m = *s_model;
    EXPECT_EQ(m.PartSoundRow(16).scale, 128.0f);
    EXPECT_EQ(m.PartSoundRow(16).maximum, 128.0f);
    EXPECT_EQ(m.PartSoundRow(148).scale, 96.0f);
    EXPECT_EQ(m.PartSoundRow(148).maximum, 96.0f);
    EXPECT_EQ(m.PartSoundRow(149).scale, 100.0f);
    EXPECT_EQ(m.PartSoundRow(329).scale, 32.0f);
    EXPECT_EQ(m.PartSoundRow(394).scale, 127.0f);
    EXPECT_EQ(m.PartSoundRow(151).scale, 1.0f);
    EXPECT_EQ(m.PartSoundRow(155).scale, 128.0f);
    EXPECT_EQ(m.MixerRow(7).scale, 1.0f);
    EXPECT_EQ(m.MixerRow(15).scale, 1.0f);
    EXPECT_EQ(m.GlobalRow(6).maximum, 128.0f);
    EXPECT_EQ(m.GlobalRow(30).maximum, 0.0f);

    // Undefined rows below 1024 read as ordinary values.
    EXPECT_EQ(m.PartSoundRow(0).scale, 128.0f);
    EXPECT_EQ(m.PartSoundRow(0).maximum, 128.0f);
    EXPECT_EQ(m.PartSoundRow(1023).maximum, 128.0f);

    for (int id = 346; id <= 354; ++id) EXPECT_EQ(m.PartSoundRow(id).maximum, 0.0f) << id;
    for (int id = 366; id <= 383; ++id) EXPECT_EQ(m.PartSoundRow(id).maximum, 0.0f) << id;
    EXPECT_EQ(m.PartSoundRow(396).maximum, 0.0f);
    EXPECT_EQ(m.PartSoundRow(366).scale, 1.0f);  // undefined, but a plain value like its neighbours
    EXPECT_EQ(m.PartSoundRow(367).scale, 1.0f);

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
    EXPECT_EQ(m.GetParameterMenu(0, 1), 2);
    EXPECT_EQ(m.GetParameterMenu(0, 36), 4);
    EXPECT_EQ(m.GetParameterMenu(0, 185), 4);
    EXPECT_EQ(m.GetParameterMenu(0, 356), 2);
    EXPECT_EQ(m.GetParameterMenu(0, 155), 0);
    EXPECT_EQ(m.GetParameterMenu(0, 5000), 0);
    EXPECT_EQ(m.GetParameterMenu(1, 3 << 10 | 2), 0);
    EXPECT_EQ(m.GetParameterMenu(7, 1), 0);
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

    // Refresh: 2..5 keep their page for type 0; 6..13 go back to 2.
    m.SetPartSynthesisType(1, 0);
    for (int page : {2, 3, 4, 5}) {
        gui.page = page;
        m.RefreshPartPage();
        EXPECT_EQ(gui.page, page);
    }
    for (int page : {6, 9, 13}) {
        gui.page = page;
        m.RefreshPartPage();
        EXPECT_EQ(gui.page, 2);
    }
    m.SetPartSynthesisType(1, 4);
    for (int page : {3, 6, 13}) {
        gui.page = page;
        m.RefreshPartPage();
        EXPECT_EQ(gui.page, 8);
    }
    int calls = gui.setPageCalls;
    for (int page : {0, 1, 14, 20}) {
        gui.page = page;
        m.RefreshPartPage();
        EXPECT_EQ(gui.page, page);
    }
    EXPECT_EQ(gui.setPageCalls, calls + 4);  // every branch sets the page

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
