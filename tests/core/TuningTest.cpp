// Tuning files: Scala scales and note lists, what they refuse, and a retuned
// part heard through the synthesizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "engine/CEngine.h"
#include "os/TestFolders.h"
#include "tests/core/FileTestSupport.h"
#include "tests/core/MidiFixture.h"
#include "tests/engine/RenderFixture.h"

namespace {

float EqualTempered(int key) { return static_cast<float>(key - 69) / 192.0f; }

std::vector<float> EqualTable() {
    std::vector<float> t(CMIDI::kKeys);
    for (int k = 0; k < CMIDI::kKeys; ++k)
        t[static_cast<size_t>(k)] = EqualTempered(k);
    return t;
}

bool Parse(const std::string& text, std::vector<float>& table, std::string* reason = nullptr) {
    char why[96];
    const bool ok = CMIDI::ParseTuning(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                       table.data(), why, sizeof(why));
    if (reason)
        *reason = why;
    return ok;
}

std::string Scale(int count, const std::vector<std::string>& degrees) {
    std::string text = "! test.scl\n!\nA test scale\n " + std::to_string(count) + "\n!\n";
    for (const std::string& d : degrees)
        text += " " + d + "\n";
    return text;
}

std::vector<std::string> Repeat(const std::string& degree, int n) {
    return std::vector<std::string>(static_cast<size_t>(n), degree);
}

std::vector<std::string> EqualCents() {
    std::vector<std::string> d;
    for (int i = 1; i <= 12; ++i)
        d.push_back(std::to_string(100 * i) + ".0");
    return d;
}

} // namespace

TEST(TuningTest, ScalesAndNoteListsFillTheTable) {
    // Twelve steps of 100 cents, also with CR LF line ends.
    std::vector<float> table(CMIDI::kKeys, 0.0f);
    ASSERT_TRUE(Parse(Scale(12, EqualCents()), table));
    const std::vector<float> equal = EqualTable();
    for (int k = 0; k < CMIDI::kKeys; ++k)
        EXPECT_NEAR(table[static_cast<size_t>(k)], equal[static_cast<size_t>(k)], 1e-6) << k;
    std::string crlf = Scale(12, EqualCents());
    for (size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
        crlf.insert(at, "\r");
    std::fill(table.begin(), table.end(), 0.0f);
    ASSERT_TRUE(Parse(crlf, table));
    EXPECT_NEAR(table[61], equal[61], 1e-6);

    // Ratios; a bare integer is a ratio over 1, not cents. Key 60 keeps its
    // pitch and every N keys rise an octave whatever the last ratio says.
    table = equal;
    ASSERT_TRUE(Parse(Scale(3, {"5/4", "3/2", "3/1"}), table));
    EXPECT_FLOAT_EQ(table[60], -0.046875f);
    EXPECT_NEAR(table[61], -0.046875 + std::log2(1.25) / 16.0, 1e-7);
    EXPECT_NEAR(table[62], -0.046875 + std::log2(1.5) / 16.0, 1e-7);
    EXPECT_FLOAT_EQ(table[63], -0.046875f + 0.0625f);
    EXPECT_NEAR(table[59], -0.046875 - 0.0625 + std::log2(1.5) / 16.0, 1e-7);
    ASSERT_TRUE(Parse(Scale(2, {"100", "2"}), table));
    EXPECT_NEAR(table[61], -0.046875 + std::log2(100.0) / 16.0, 1e-6);

    // A comment longer than a line holds is skipped whole, not read on as a
    // degree.
    std::string longComment = Scale(12, EqualCents());
    longComment.insert(longComment.find(" 12\n") + 4, "!" + std::string(254, ' ') + "50.0 and more\n");
    ASSERT_TRUE(Parse(longComment, table));
    EXPECT_NEAR(table[64], equal[64], 1e-6);

    // A note list over the scale changes only the keys it names; keys outside
    // 0..127 and cents that are no number are passed over.
    ASSERT_TRUE(Parse(Scale(3, {"5/4", "3/2", "2/1"}), table));
    const std::vector<float> scale = table;
    ASSERT_TRUE(Parse("a note list\n;\nnote 60=6000\nnote 61=6150.5\nnote -1=5000\nnote 128=100\n"
                      "note 62=inf\nnote 63=nan\nnonsense\nnote 70=+7050\n",
                      table));
    EXPECT_FLOAT_EQ(table[60], -0.046875f);
    EXPECT_NEAR(table[61], -0.046875 + 150.5 * 5.2083335e-05, 1e-7);
    EXPECT_NEAR(table[70], 0.0078125, 1e-7);
    for (int k : {0, 59, 62, 63, 64, 127})
        EXPECT_EQ(table[static_cast<size_t>(k)], scale[static_cast<size_t>(k)]) << k;

    // A list that reaches no note on its own leaves the other keys in
    // equal temperament, and wild cents stay within 16 octaves.
    table = equal;
    ASSERT_TRUE(Parse(";\nnote 69=1e30\nnote 0=-1e30\n", table));
    EXPECT_EQ(table[69], 1.0f);
    EXPECT_EQ(table[0], -1.0f);
    EXPECT_EQ(table[68], equal[68]);
}

TEST(TuningTest, MalformedFilesKeepTheTableAndSayWhichLine) {
    struct Case {
        const char* what;
        std::string text;
        const char* line;
    };
    const Case cases[] = {
        {"count 0", Scale(0, {}), "line 4"},
        {"negative count", Scale(-3, EqualCents()), "line 4"},
        {"count above 128", Scale(129, Repeat("100.0", 129)), "line 4"},
        {"no count", "! x.scl\nA scale\n! nothing more\n", "line 3"},
        {"count not a number", "!\nA scale\ntwelve\n100.0\n", "line 3"},
        {"too few degrees", Scale(12, Repeat("100.0", 10)), "line 15"},
        {"numerator 0", Scale(3, {"0/1", "3/2", "2/1"}), "line 6"},
        {"negative ratio", Scale(3, {"5/4", "-3/2", "2/1"}), "line 7"},
        {"denominator 0", Scale(3, {"5/4", "3/0", "2/1"}), "line 7"},
        {"nan cents", Scale(3, {"nan.0", "3/2", "2/1"}), "line 6"},
        {"inf cents", Scale(3, {"100.0", "inf.5", "2/1"}), "line 7"},
        {"huge cents", Scale(3, {"1e999.0", "3/2", "2/1"}), "line 6"},
        {"text degree", Scale(3, {"5/4", "fifth", "2/1"}), "line 7"},
        {"note list without notes", ";\nnote x=5\nnote 200=6000\nnote 5=nan\n", "line 4"},
        {"neither form", "just text\n\n", "line 2"},
        {"empty", "", "line 0"},
    };
    const std::vector<float> before = [] {
        std::vector<float> t = EqualTable();
        t[69] = 0.25f;
        return t;
    }();
    for (const Case& c : cases) {
        std::vector<float> table = before;
        std::string reason;
        EXPECT_FALSE(Parse(c.text, table, &reason)) << c.what;
        EXPECT_EQ(std::memcmp(table.data(), before.data(), before.size() * sizeof(float)), 0) << c.what;
        EXPECT_EQ(reason.rfind(c.line, 0), 0u) << c.what << ": " << reason;
    }
}

TEST(TuningTest, APartTunedByItsFileSoundsRetunedAndTheOthersDoNot) {
    testutil::TempFolder folder;
    filetest::ScopedProgramFolder scoped(folder.Path() + "/");
    std::filesystem::create_directories(folder / "Tuning");
    std::vector<std::string> degrees = EqualCents();
    degrees[8] = "950.0";  // degree 9: A a quarter tone sharp
    testutil::WriteFile(folder / "Tuning/part1.scl", Scale(12, degrees));
    // Part 2 takes a note list over a refused scale: the refusal is logged,
    // the list still applies.
    testutil::WriteFile(folder / "Tuning/part2.scl", Scale(0, {}));
    testutil::WriteFile(folder / "Tuning/part2.tun", ";\nnote 72=6100\n");
    // Part 3 is pushed to the edge of the pitch range.
    testutil::WriteFile(folder / "Tuning/part3.tun", ";\nnote 69=1e30\nnote 70=-1e30\n");

    auto synth = std::make_unique<CSynth>();
    CMIDI& midi = *synth->midi;
    EXPECT_TRUE(midi.tuningLoaded[0]);
    EXPECT_TRUE(midi.tuningLoaded[1]);
    EXPECT_FALSE(midi.tuningLoaded[3]);
    EXPECT_NEAR(midi.tuning[1][72], EqualTempered(61), 1e-6);
    EXPECT_EQ(midi.tuning[1][71], EqualTempered(71));
    EXPECT_NE(testutil::ReadFile(folder / "Debug.txt").find("Tuning/part2.scl: line 4"), std::string::npos);

    synth->Resume();
    std::vector<float> left, right;
    auto render = [&](int frames) { RenderInto(*synth, frames, left, right); };
    const int rate = 44100;
    struct Case {
        uint32_t channel;
        double hz;
    };
    for (const Case c : {Case{0, 452.893}, Case{1, 440.0}}) {
        synth->ProcessMidiMessage(0x7F4590u | c.channel, 0);
        render(rate / 4);
        render(rate / 2);
        EXPECT_NEAR(render_fixture::ZeroCrossingFrequency(left, 0, rate), c.hz, 0.5) << c.channel;
        synth->ProcessMidiMessage(0x004580u | c.channel, 0);
        render(rate);
    }
    // The extremes play without a fault and without a non-finite sample.
    synth->ProcessMidiMessage(0x7F4592u, 0);
    synth->ProcessMidiMessage(0x7F4692u, 0);
    render(8192);
    for (size_t i = 0; i < left.size(); ++i)
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
}
