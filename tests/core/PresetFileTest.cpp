#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/CProgram.h"
#include "core/CSynth.h"
#include "os/TestFolders.h"
#include "platform/CDlgFile.h"
#include "tests/core/FileTestSupport.h"

using filetest::Fingerprint;
using fixtures::PatternValue;

namespace {

std::string CurrentName(CProgram& p) { return p.GetCurrentProgramName(); }

bool Load(CProgram& p, const fixtures::Bytes& body) {
    return p.LoadFxpBodyToCurrent(body.data(), static_cast<int>(body.size()));
}

}  // namespace

TEST(PresetFile, Version30BodyLoadsIntoTheCurrentProgram) {
    auto store = std::make_unique<CProgram>();
    CProgram& p = *store;
    p.SetProgram(12);
    const fixtures::Bytes body = fixtures::FxpBody(30);
    ASSERT_EQ(body.size(), 6532u);
    ASSERT_TRUE(Load(p, body));
    EXPECT_EQ(CurrentName(p), "Prog 5");
    const float* r = p.GetCurrentProgramData();
    for (int s = 0; s < CProgram::kRecordSize; ++s) {
        float want = PatternValue(30, 5, s);
        if (s == 1024) want = 0.0f;
        if (s == 340) want = 1.0f;
        ASSERT_EQ(r[s], want) << s;
    }
    EXPECT_EQ(filetest::Label(p, 4), fixtures::LabelText(5, 4));
    EXPECT_EQ(filetest::SampleName(p, 1), fixtures::SampleText(5, 1));
    // Other programs are untouched.
    EXPECT_EQ(p.GetProgramRecord(0, 11)[1], 64.0f);

    // Slot 335 at 0: arpeggiator off, one octave, rhythm 4, direction up.
    auto arpOff = [](int program, int slot) {
        return slot == 335 ? 0.0f : slot == 337 ? 3.0f : PatternValue(30, program, slot);
    };
    ASSERT_TRUE(Load(p, fixtures::FxpBody(31, 2, arpOff)));
    const float arp[4] = {0.0f, 1.0f, 4.0f, 0.0f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r[334 + i], arp[i]) << 334 + i;
}

TEST(PresetFile, Version1BodyTakesTheVersion20Defaults) {
    auto store = std::make_unique<CProgram>();
    CProgram& p = *store;
    const fixtures::Bytes body = fixtures::FxpBody(1, 9);
    ASSERT_EQ(body.size(), 5764u);
    ASSERT_TRUE(Load(p, body));
    const float* r = p.GetCurrentProgramData();
    const std::pair<int, float> slots[] = {{2079, PatternValue(30, 9, 2079)}, {1024, PatternValue(30, 9, 1024)},
                                           {2080, 0.0f}, {2081, 0.1f}, {2148, 1.0f}, {2270, 0.0f},
                                           {371, 3.0f},  {369, 0.0f},  {280, 12.0f}, {340, 1.0f}};
    for (auto [slot, want] : slots) EXPECT_EQ(r[slot], want) << slot;
    // The label block sits right after the fourth record block.
    EXPECT_EQ(filetest::Label(p, 0), fixtures::LabelText(9, 0));
    EXPECT_EQ(filetest::SampleName(p, 2), fixtures::SampleText(9, 2));
}

TEST(PresetFile, BodiesOfOtherVersionsOrTooShortChangeNothing) {
    auto store = std::make_unique<CProgram>();
    CProgram& p = *store;
    const uint64_t before = Fingerprint(p);
    for (int version : {0, 2, 5, 7, 20, 29, 32, 255}) {
        fixtures::Bytes body = fixtures::FxpBody(30);
        body[0] = static_cast<uint8_t>(version);
        EXPECT_FALSE(Load(p, body)) << version;
    }
    const fixtures::Bytes v30 = fixtures::FxpBody(30), v1 = fixtures::FxpBody(1);
    for (size_t cut : {0, 1, 4, 36, 2084, 5380, 6148, 6276, 6531})
        EXPECT_FALSE(p.LoadFxpBodyToCurrent(v30.data(), static_cast<int>(cut))) << cut;
    for (size_t cut : {0, 1, 36, 5380, 5508, 5763})
        EXPECT_FALSE(p.LoadFxpBodyToCurrent(v1.data(), static_cast<int>(cut))) << cut;
    EXPECT_FALSE(p.LoadFxpBodyToCurrent(nullptr, 6532));
    EXPECT_EQ(Fingerprint(p), before);

    // Texts filled to the brim are cut, slot 0 outside the types reads 0.
    fixtures::Bytes full = fixtures::FxpBody(30);
    std::fill(full.begin() + 4, full.begin() + 36, 'n');
    std::fill(full.begin() + 6148, full.end(), 'q');
    const float type = -3.0f;
    memcpy(&full[36], &type, 4);
    ASSERT_TRUE(Load(p, full));
    EXPECT_EQ(CurrentName(p), std::string(31, 'n'));
    EXPECT_EQ(filetest::Label(p, 7), std::string(15, 'q'));
    EXPECT_EQ(filetest::SampleName(p, 0), std::string(83, 'q'));
    EXPECT_EQ(p.GetCurrentProgramData()[0], 0.0f);
}

TEST(PresetFile, TemplatesAndThePresetCommandCheckTheFile) {
    testutil::TempFolder folder;
    filetest::ScopedProgramFolder use(folder.Path());
    {
        auto store = std::make_unique<CProgram>();
        CProgram& p = *store;
        ASSERT_TRUE(fixtures::WriteFile(folder / "one.fxp", fixtures::FxpFile(fixtures::FxpBody(1))));
        ASSERT_TRUE(p.ReadTemplate(1, "one.fxp"));
        EXPECT_EQ(p.GetTemplate(1)[0], 1.0f);
        EXPECT_EQ(p.GetTemplate(1)[2084], 1.0f);
        EXPECT_EQ(p.GetTemplate(1)[7], PatternValue(30, 5, 7));
        fixtures::Bytes junk = fixtures::FxpFile(fixtures::FxpBody(1));
        junk.resize(60 + 6532, 1);
        ASSERT_TRUE(fixtures::WriteFile(folder / "junk.fxp", junk));
        EXPECT_FALSE(p.ReadTemplate(2, "junk.fxp"));
        EXPECT_EQ(p.GetTemplate(2)[7], 127.0f);
    }

    auto made = std::make_unique<CSynth>();
    CSynth& synth = *made;
    filetest::AnswerChooser chooser;
    g_DlgFile.SetChooser(&chooser);
    CProgram& p = synth.program;
    p.SetProgram(3);
    const std::string startName = CurrentName(p);
    auto attempt = [&](const fixtures::Bytes& file) {
        fixtures::WriteFile(folder / "p.fxp", file);
        chooser.answer = folder / "p.fxp";
        return synth.LoadFxpPreset();
    };
    chooser.answer.reset();
    EXPECT_FALSE(synth.LoadFxpPreset());
    chooser.answer = folder / "absent.fxp";
    EXPECT_FALSE(synth.LoadFxpPreset());
    fixtures::Bytes v7 = fixtures::FxpFile(fixtures::FxpBody(30));
    v7[60] = 7;
    EXPECT_FALSE(attempt(v7));
    EXPECT_FALSE(attempt(fixtures::Bytes(30, 1)));
    fixtures::Bytes shortFile = fixtures::FxpFile(fixtures::FxpBody(30));
    shortFile.pop_back();
    EXPECT_FALSE(attempt(shortFile));
    fixtures::Bytes longFile = fixtures::FxpFile(fixtures::FxpBody(1));
    longFile.push_back(0);
    EXPECT_FALSE(attempt(longFile));
    EXPECT_EQ(CurrentName(p), startName);
    // The browser's road: a refused body answers its size and loads nothing.
    fixtures::Bytes body7 = fixtures::FxpBody(30);
    body7[0] = 7;
    EXPECT_EQ(synth.LoadPresetBody(body7.data(), static_cast<int32_t>(body7.size()), true), 6532);
    EXPECT_EQ(CurrentName(p), startName);

    EXPECT_TRUE(attempt(fixtures::FxpFile(fixtures::FxpBody(30, 44))));
    EXPECT_EQ(CurrentName(p), "Prog 44");
    EXPECT_EQ(p.GetCurrentProgramNumber(), 3);
    EXPECT_EQ(p.GetCurrentProgramData()[5], PatternValue(30, 44, 5));
    g_DlgFile.SetChooser(nullptr);
}
