// Tuning files: Scala scales and note lists, what they refuse, and retuned
// parts heard through the synthesizer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "os/TestFolders.h"
#include "tests/core/FileTestSupport.h"
#include "tests/core/MidiFixture.h"
#include "tests/engine/RenderFixture.h"

namespace {

std::vector<float> Equal() {
    std::vector<float> t;
    for (int k = 0; k < CMIDI::kKeys; ++k)
        t.push_back(static_cast<float>(k - 69) / 192.0f);
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

// Degrees start on line 6.
std::string Scale(int count, std::vector<std::string> degrees = {}) {
    if (degrees.empty())
        for (int i = 1; i <= 12; ++i)
            degrees.push_back(std::to_string(100 * i) + ".0");
    std::string text = "! test.scl\n!\nA test scale\n " + std::to_string(count) + "\n!\n";
    for (const std::string& d : degrees)
        text += " " + d + "\n";
    return text;
}

} // namespace

TEST(TuningTest, ScalesAndNoteListsFillTheTable) {
    const std::vector<float> equal = Equal();
    std::vector<float> table(CMIDI::kKeys, 0.0f);
    // A comment longer than a line holds is skipped whole, not read on as a
    // degree.
    std::string text = Scale(12);
    text.insert(text.find(" 12\n") + 4, "!" + std::string(254, ' ') + "50.0 cents\n");
    ASSERT_TRUE(Parse(text, table));
    for (int k = 0; k < CMIDI::kKeys; ++k)
        EXPECT_NEAR(table[k], equal[k], 1e-6) << k;

    // Ratios, a bare integer being one over 1; every N keys an octave from
    // key 60 on, whatever the last ratio says.
    ASSERT_TRUE(Parse(Scale(3, {"5/4", "100", "3/1"}), table));
    EXPECT_FLOAT_EQ(table[60], -0.046875f);
    EXPECT_NEAR(table[61], -0.046875 + std::log2(1.25) / 16.0, 1e-7);
    EXPECT_NEAR(table[62], -0.046875 + std::log2(100.0) / 16.0, 1e-6);
    EXPECT_FLOAT_EQ(table[63], -0.046875f + 0.0625f);
    EXPECT_NEAR(table[58], -0.046875 - 0.0625 + std::log2(1.25) / 16.0, 1e-7);

    // A note list over it changes the keys it names, passing over keys
    // outside 0..127 and cents that are no number; wild cents are bounded.
    const std::vector<float> scale = table;
    ASSERT_TRUE(Parse("list\r\n;\r\nnote 60=6000\r\nnote -1=5000\nnote 128=1\nnote 62=inf\nnote 63=nan\n"
                      "note 70=+7050\nnote 71=1e30\n",
                      table));
    EXPECT_FLOAT_EQ(table[60], -0.046875f);
    EXPECT_FLOAT_EQ(table[70], 0.0078125f);
    EXPECT_EQ(table[71], 1.0f);
    for (int k : {0, 59, 62, 63, 127})
        EXPECT_EQ(table[k], scale[k]) << k;
}

TEST(TuningTest, MalformedFilesKeepTheTableAndSayWhichLine) {
    const std::pair<std::string, const char*> cases[] = {
        {Scale(0), "line 4"},
        {Scale(-3), "line 4"},
        {Scale(129, std::vector<std::string>(129, "100.0")), "line 4"},
        {"! x\nA scale\n! no count\n", "line 3"},
        {"!\nA scale\ntwelve\n100.0\n", "line 3"},
        {Scale(12, std::vector<std::string>(10, "100.0")), "line 15"},
        {Scale(3, {"0/1", "3/2", "2/1"}), "line 6"},
        {Scale(3, {"5/4", "-3/2", "2/1"}), "line 7"},
        {Scale(3, {"5/4", "3/0", "2/1"}), "line 7"},
        {Scale(3, {"nan.0", "3/2", "2/1"}), "line 6"},
        {Scale(3, {"100.0", "inf.5", "2/1"}), "line 7"},
        {Scale(3, {"1e999.0", "3/2", "2/1"}), "line 6"},
        {Scale(3, {"5/4", "fifth", "2/1"}), "line 7"},
        {";\nnote x=5\nnote 200=6000\nnote 5=nan\n", "line 4"},
        {";\nnote 60=\x01\x80\xff\nnote 61=6100\n", "line 2"},
        {std::string(";\nnote 61=6100\nnote 60=7") + '\0' + "\x80\n", "line 3"},
        // A tab ends the cents or a ratio as a blank does: the damage is on the next line.
        {";\nnote 61=6100\t\nnote 60=\x01\n", "line 3"},
        {Scale(3, {"5/4\tthird", "fifth", "2/1"}), "line 7"},
        {"just text\n\n", "line 2"},
    };
    std::vector<float> before = Equal();
    before[69] = 0.25f;
    for (const auto& [text, line] : cases) {
        std::vector<float> table = before;
        std::string reason;
        EXPECT_FALSE(Parse(text, table, &reason)) << text;
        EXPECT_EQ(table, before) << text;
        EXPECT_EQ(reason.rfind(line, 0), 0u) << text << reason;
    }
}

TEST(TuningTest, PartsTunedByTheirFilesSoundRetuned) {
    testutil::TempFolder folder;
    filetest::ScopedProgramFolder scoped(folder.Path() + "/");
    std::filesystem::create_directories(folder / "Tuning");
    std::vector<std::string> degrees(12, "0.0");
    degrees[8] = "950.0";  // degree 9: A a quarter tone sharp
    testutil::WriteFile(folder / "Tuning/part1.scl", Scale(12, degrees));
    // The third part takes a note list over a refused scale; two keys at the edges
    // of the pitch range.
    testutil::WriteFile(folder / "Tuning/part3.scl", Scale(0));
    testutil::WriteFile(folder / "Tuning/part3.tun", ";\nnote 69=1e30\nnote 70=-1e30\n");
    auto synth = std::make_unique<CSynth>();
    EXPECT_TRUE(synth->midi->tuningLoaded[2]);
    EXPECT_EQ(synth->midi->tuning[2][60], Equal()[60]);  // keys the list leaves out
    EXPECT_NE(testutil::ReadFile(folder / "Debug.txt").find("Tuning/part3.scl: line 4"), std::string::npos);

    synth->Resume();
    std::vector<float> left, right;
    for (auto [channel, hz] : {std::pair{0u, 452.893}, {1u, 440.0}}) {
        synth->ProcessMidiMessage(0x7F4590u | channel, 0);
        RenderInto(*synth, 11025, left, right);
        RenderInto(*synth, 22050, left, right);
        EXPECT_NEAR(render_fixture::ZeroCrossingFrequency(left, 0, 44100), hz, 0.5) << channel;
        synth->ProcessMidiMessage(0x004580u | channel, 0);
        RenderInto(*synth, 44100, left, right);
    }
    synth->ProcessMidiMessage(0x7F4592u, 0);
    synth->ProcessMidiMessage(0x7F4692u, 0);
    RenderInto(*synth, 8192, left, right);
    for (size_t i = 0; i < left.size(); ++i)
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
}
