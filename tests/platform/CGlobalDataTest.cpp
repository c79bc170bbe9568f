#include "platform/CGlobalData.h"

#include "os/OSettings.h"
#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

using testutil::ReadFile;
using testutil::WriteFile;

namespace {

// Points the settings at a fresh folder for the duration of a test.
struct SettingsFolder {
    testutil::TempFolder tmp;
    testutil::ScopedEnv xdg{"XDG_CONFIG_HOME", tmp.Path()};
    std::string File() const { return tmp / "zavo/settings.ini"; }
    void Write(const std::string& body) const
    {
        std::filesystem::create_directories(tmp / "zavo");
        WriteFile(File(), "[Settings]\n" + body);
    }
};

std::string ExeFolder()
{
    char link[4096] = {};
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    std::string s(link, n > 0 ? static_cast<size_t>(n) : 0);
    return s.substr(0, s.rfind('/') + 1);
}

} // namespace

// Settings and program folder were moved to the test folder before the
// settings were first read.
TEST(CGlobalData, TestProgramsUseATemporaryFolder)
{
    const std::string folder = testutil::TestFolder() + "/";
    EXPECT_EQ(std::string(std::getenv("XDG_CONFIG_HOME")) + "/", folder);
    EXPECT_NE(folder, ExeFolder());
    EXPECT_EQ(std::string(g_GlobalData.PresetPath), folder + "Presets");
}

TEST(CGlobalData, MissingFileGivesEveryDefaultAndExitWritesThem)
{
    SettingsFolder folder;
    std::string prog = ExeFolder();
    testing::internal::CaptureStderr();
    {
        CGlobalData g;
        EXPECT_EQ(g.sampleRate, 44100);
        EXPECT_EQ(g.blockSize, 32);
        EXPECT_FLOAT_EQ(g.msPerBlock, 0.7256236f);
        EXPECT_EQ(g.inverseBlock, 0.03125f);
        EXPECT_EQ(g.refillPeriod, 11);
        EXPECT_EQ(g.MIDIOutOffset, 800);
        EXPECT_EQ(std::string(g.programFolder), prog);
        EXPECT_EQ(std::string(g.ProjectPath), prog + "Project");
        EXPECT_EQ(std::string(g.WavefilePath), prog + "Project");
        EXPECT_EQ(std::string(g.SamplePath), prog + "Samples");
        EXPECT_EQ(std::string(g.PresetPath), prog + "Presets");
        EXPECT_STREQ(g.MIDIDeviceIn, "");
        EXPECT_EQ(g.MIDIDeviceInNames, "");
        EXPECT_STREQ(g.MIDIDeviceOut, "");
        EXPECT_STREQ(g.SoundDeviceOut, "");
        EXPECT_EQ(g.DirectXDelay, 0);
        EXPECT_EQ(g.UIColorEffect, 0);
        EXPECT_EQ(g.UIBackground, 0);
        EXPECT_EQ(g.KnobAnimation, 1);
        EXPECT_EQ(g.ParameterLabel, 0);
        EXPECT_FALSE(std::filesystem::exists(folder.File()));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing to say about a file not made yet";
    std::string text = ReadFile(folder.File());
    for (const char* key : {"ProjectPath=", "WavefilePath=", "SamplePath=", "PresetPath=",
                            "MIDIDeviceIn=", "MIDIDeviceInNames=", "MIDIDeviceOut=", "SoundDeviceOut=", "DirectXDelay=0",
                            "UIColorEffect=0", "UIBackground=0", "MIDIOutOffset=800",
                            "KnobAnimation=1", "ParameterLabel=0"})
        EXPECT_NE(text.find(key), std::string::npos) << key;
}

TEST(CGlobalData, SettingsWrittenAtExitAreReadBack)
{
    SettingsFolder folder;
    {
        CGlobalData g;
        snprintf(g.ProjectPath, sizeof g.ProjectPath, "/home/u/My Projects/");
        snprintf(g.WavefilePath, sizeof g.WavefilePath, "/home/u/rec/");
        snprintf(g.SamplePath, sizeof g.SamplePath, "/data/samples");
        snprintf(g.PresetPath, sizeof g.PresetPath, " spaced \\ path ");
        snprintf(g.MIDIDeviceIn, sizeof g.MIDIDeviceIn, "0110");
        g.MIDIDeviceInNames = " Keys%2C 61%25:out 1,," + std::string(300, 'p') + "\n ";
        snprintf(g.MIDIDeviceOut, sizeof g.MIDIDeviceOut, "Synth Port 1");
        snprintf(g.SoundDeviceOut, sizeof g.SoundDeviceOut, "JACK");
        g.DirectXDelay = 8192;
        g.UIColorEffect = 3;
        g.UIBackground = -2;
        g.MIDIOutOffset = 1024;
        g.KnobAnimation = 0;
        g.ParameterLabel = 1;
        g.SetSampleRate(48000);  // not stored
    }
    CGlobalData g;
    EXPECT_STREQ(g.ProjectPath, "/home/u/My Projects/");
    EXPECT_STREQ(g.WavefilePath, "/home/u/rec/");
    EXPECT_STREQ(g.SamplePath, "/data/samples");
    EXPECT_STREQ(g.PresetPath, " spaced \\ path ");
    EXPECT_STREQ(g.MIDIDeviceIn, "0110");
    EXPECT_EQ(g.MIDIDeviceInNames, " Keys%2C 61%25:out 1,," + std::string(300, 'p') + "\n ");
    EXPECT_STREQ(g.MIDIDeviceOut, "Synth Port 1");
    EXPECT_STREQ(g.SoundDeviceOut, "JACK");
    EXPECT_EQ(g.DirectXDelay, 8192);
    EXPECT_EQ(g.UIColorEffect, 3);
    EXPECT_EQ(g.UIBackground, -2);
    EXPECT_EQ(g.MIDIOutOffset, 1024);
    EXPECT_EQ(g.KnobAnimation, 0);
    EXPECT_EQ(g.ParameterLabel, 1);
    // Every start runs at 44100 Hz.
    EXPECT_EQ(g.sampleRate, 44100);
    EXPECT_EQ(g.refillPeriod, 11);
}

TEST(CGlobalData, OptionWordsReadAsFlagsAndAreWrittenBackAsOneOrZero)
{
    SettingsFolder folder;
    folder.Write("KnobAnimation=5\nParameterLabel=-3\nUnknown=kept\n[Elsewhere]\nX=1\n");
    {
        CGlobalData g;
        EXPECT_EQ(g.KnobAnimation, 1);
        EXPECT_EQ(g.ParameterLabel, 1);
    }
    std::string text = ReadFile(folder.File());
    EXPECT_NE(text.find("KnobAnimation=1\n"), std::string::npos);
    EXPECT_NE(text.find("ParameterLabel=1\n"), std::string::npos);
    EXPECT_EQ(text.find("=5"), std::string::npos);
    // What the program does not know about survives the write.
    EXPECT_NE(text.find("Unknown=kept\n"), std::string::npos);
    EXPECT_NE(text.find("[Elsewhere]\nX=1\n"), std::string::npos);

    folder.Write("KnobAnimation=0\n");
    CGlobalData g;
    EXPECT_EQ(g.KnobAnimation, 0);
}

// The line of a value the program cannot take stays as the user wrote it
// and is named once at exit, unless the session set its setting anew.
TEST(CGlobalData, OverLongOrMalformedValuesGiveTheDefault)
{
    SettingsFolder folder;
    std::string longPath(511, 'p');  // with the terminator: 512, one too many
    const std::string kept[] = {"ProjectPath=/" + longPath, "MIDIDeviceOut=" + std::string(64, 'd'),
                                "MIDIDeviceIn=01\\x0010", "DirectXDelay=99999999999"};
    folder.Write(kept[0] + "\n" + "SamplePath=/" + std::string(510, 's') + "\n" +  // 511 + terminator fits
                 kept[1] + "\n" + "SoundDeviceOut=" + std::string(63, 'a') + "\n" + kept[2] + "\n" +
                 "MIDIOutOffset=lots\n" + kept[3] + "\nUIBackground=7\n");
    testing::internal::CaptureStderr();
    {
        CGlobalData g;
        EXPECT_EQ(std::string(g.ProjectPath), ExeFolder() + "Project");
        EXPECT_EQ(std::string(g.SamplePath), "/" + std::string(510, 's'));
        EXPECT_STREQ(g.MIDIDeviceOut, "");
        EXPECT_STREQ(g.MIDIDeviceIn, "");
        EXPECT_EQ(std::string(g.SoundDeviceOut), std::string(63, 'a'));
        EXPECT_EQ(g.MIDIOutOffset, 800);
        EXPECT_EQ(g.DirectXDelay, 0);
        EXPECT_EQ(g.UIBackground, 7);
        g.MIDIOutOffset = 900;
        // What the start filled in itself (the inputs it found) is no choice.
        snprintf(g.MIDIDeviceIn, sizeof g.MIDIDeviceIn, "000");
        g.StartFilledIn("MIDIDeviceIn", g.MIDIDeviceIn);
        // The window's end writes first; the exit has nothing new to write or say.
        g.WriteSettings();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string text = ReadFile(folder.File());
    for (const std::string& line : kept) EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line;
    EXPECT_NE(text.find("\nMIDIOutOffset=900\n"), std::string::npos) << text;
    std::string said;
    for (const char* why : {"ProjectPath is 512 bytes long, more than the 511 the program holds",
                            "MIDIDeviceIn holds a zero byte",
                            "MIDIDeviceOut is 64 bytes long, more than the 63 the program holds",
                            "DirectXDelay is no number the program takes"})
        said += "zavo: The settings file " + folder.File() + ": " + why + "; it is kept as it stands.\n";
    EXPECT_EQ(err, said);
}

TEST(CGlobalData, SampleRateSetsMsPerBlockAndRefillPeriod)
{
    SettingsFolder folder;
    CGlobalData g;
    struct Case {
        int rate;
        float ms;
        int refill;
    };
    // ms per block = 32000 / rate, worked out by hand.
    const Case cases[] = {{48000, 0.6666667f, 10}, {22050, 1.4512472f, 23},
                          {32000, 1.0f, 15},       {88200, 0.3628118f, 5},
                          {96000, 0.33333334f, 5}, {44100, 0.7256236f, 11}};
    for (const Case& c : cases) {
        g.SetSampleRate(c.rate);
        EXPECT_EQ(g.sampleRate, c.rate);
        EXPECT_FLOAT_EQ(g.msPerBlock, c.ms) << c.rate;
        EXPECT_EQ(g.refillPeriod, c.refill) << c.rate;
        EXPECT_EQ(g.inverseBlock, 0.03125f);
    }
    g.SetSampleRate(48000);
    g.SetSampleRate(50000);  // another rate keeps the previous period
    EXPECT_EQ(g.refillPeriod, 10);
    EXPECT_FLOAT_EQ(g.msPerBlock, 0.64f);
    g.SetSampleRate(0);  // refused: would divide by zero
    EXPECT_EQ(g.sampleRate, 50000);
}

// A start and an exit with a settings file the user made or protected: each
// keeps what it held (a link keeps pointing at its file, which gets the
// settings).
TEST(CGlobalData, ASettingsFileThatCannotOrMustNotBeReplacedKeepsWhatItHeld)
{
    namespace fs = std::filesystem;
    const std::string held = "[Settings]\nSoundDeviceOut=JACK\nMIDIDeviceOut=Port 7\n\n[User]\nName=me\n";
    struct Case {
        const char* what;
        std::string text;
        fs::perms mode;
        bool link;
        bool replaced;  // rewritten by the exit (with the same settings)
        bool tool = false;  // a program without a settings file
    };
    std::string huge = held;
    huge.reserve(100u << 20);
    while (huge.size() < (100u << 20)) huge += "a line of no setting at all, repeated to fill the file\n";
    const Case cases[] = {
        {"mode 000", held, fs::perms::none, false, false},
        {"mode 0444", held, fs::perms(0444), false, false},
        {"symbolic link", held, fs::perms(0640), true, true},
        {"comments", "; written by hand\n" + held + "# the end\n", fs::perms(0600), false, true},
        {"100 MB", huge, fs::perms(0644), false, false},
        {"a build tool", held, fs::perms(0644), false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsFolder folder;
        fs::create_directories(folder.tmp / "zavo");
        const std::string file = c.link ? folder.tmp / "dotfiles-zavo.ini" : folder.File();
        WriteFile(file, c.text);
        if (c.link) fs::create_symlink("../dotfiles-zavo.ini", folder.File());
        fs::permissions(file, c.mode);
        {
            // As root a mode of 000 still reads: the start reads as nobody
            // (who cannot even enter the folder), the exit writes as root.
            const bool drop = c.mode == fs::perms::none && geteuid() == 0;
            if (drop) {
                ASSERT_EQ(seteuid(65534), 0);
            }
            CGlobalData::UseNoSettingsFile(c.tool);
            CGlobalData g;
            if (drop) {
                ASSERT_EQ(seteuid(0), 0);
            }
            EXPECT_STREQ(g.SoundDeviceOut, c.mode == fs::perms::none || c.tool ? "" : "JACK");
            snprintf(g.MIDIDeviceIn, sizeof g.MIDIDeviceIn, "11");
        }
        CGlobalData::UseNoSettingsFile(false);
        EXPECT_EQ(fs::is_symlink(folder.File()), c.link);
        EXPECT_EQ(fs::status(file).permissions(), c.mode);
        fs::permissions(file, fs::perms(0644));
        const std::string now = ReadFile(file);
        if (!c.replaced) {
            EXPECT_EQ(now, c.text);
            continue;
        }
        EXPECT_LT(now.size(), os::OSettings::kMostBytes);
        EXPECT_NE(now.find("MIDIDeviceIn=11\n"), std::string::npos) << now;
        EXPECT_NE(now.find("SoundDeviceOut=JACK\n"), std::string::npos) << now;
        EXPECT_NE(now.find("[User]\nName=me\n"), std::string::npos) << now;
        if (c.text[0] == ';') {
            EXPECT_EQ(now.rfind("; written by hand\n[Settings]\n", 0), 0u) << now;
            EXPECT_NE(now.find("Name=me\n# the end\n"), std::string::npos) << now;
        }
    }
}

// A settings file not read whole, or that the settings would make too long
// to be, is left byte for byte; lines not understood stay as they stand and
// the rest is saved. Either is said in one line, on stderr and in Debug.txt.
TEST(CGlobalData, SettingsNotReadWholeOrNotUnderstoodSurviveAStartAndAnExit)
{
    std::string noise(4096, '\0');
    uint32_t seed = 7;
    for (char& c : noise) c = char((seed = seed * 1664525u + 1013904223u) >> 24);
    const std::string head = "[Settings]\nSoundDeviceOut=JACK\n";
    std::string nearMost = head + "; ";
    nearMost += std::string(1048570 - nearMost.size() - 1, 'c') + "\n";
    const char* kLeft = "; it is left as it is and the settings of this session are not saved.";
    const char* kKept = " is no section, setting or comment; it is kept as it stands.";
    struct Case {
        const char* what;
        std::string text;
        std::string said;  // empty: nothing
        const char* device;  // what the start took from the file
        bool left;           // the file stays byte for byte
        std::string end = "\n";  // the file's line end, which the exit writes too
    };
    // Lines ended by CR alone past the first megabyte: the line the limit
    // cuts is not taken, the whole ones before it are.
    std::string crLines = "[Settings]\rSoundDeviceOut=JACK\r";
    while (crLines.size() < 1048576 - 100) crLines += "; " + std::string(60, 'c') + "\r";
    crLines += "; " + std::string(1048576 - 20 - crLines.size() - 3, 'c') + "\r";
    crLines += "SoundDeviceOut=Cut by the limit\r" + std::string(100000, '\r');
    const std::string partial = std::string("longer than 1048576 bytes, only the lines before were read)") + kLeft;
    const Case cases[] = {
        {"1.1 MB value, then a section", head + "Big=" + std::string(1100000, 'v') + "\n[Tail]\nKey=1\n", partial,
         "JACK", true},
        {"one 50 MB line", std::string(50u << 20, 'x'), partial, "", true},
        {"1.1 MB of CR lines", crLines, partial, "JACK", true, "\r"},
        {"1,048,570 bytes", nearMost, std::string("longer than 1048576 bytes, more than a start reads)") + kLeft,
         "JACK", true},
        {"4 KB of noise", noise, kKept, "", false, "\r"},  // its first line end is a CR
        {"a line of no setting", head + "Port 7 is the keyboard\n", std::string("line 3") + kKept, "JACK", false},
        // What stands under a header without its "]" is in no section.
        {"[Broken", head + "[Broken\nSoundDeviceOut=Other\n", std::string("line 3") + kKept, "JACK", false},
        {"=value", head + "=value\n\n[User]\nName=me\n", std::string("line 3") + kKept, "JACK", false},
        {"a byte-order mark", "\xEF\xBB\xBF" + head, "", "JACK", false},
        {"CR line ends", "[Settings]\rSoundDeviceOut=JACK\r\r[User]\rName=me\r", "", "JACK", false, "\r"},
        {"CRLF line ends", "[Settings]\r\nSoundDeviceOut=JACK\r\n", "", "JACK", false, "\r\n"},
    };
    const std::string log = testutil::TestFolder() + "/Debug.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsFolder folder;
        std::filesystem::create_directories(folder.tmp / "zavo");
        WriteFile(folder.File(), c.text);
        const size_t logged = ReadFile(log).size();
        testing::internal::CaptureStderr();
        {
            CGlobalData g;
            EXPECT_STREQ(g.SoundDeviceOut, c.device);
            snprintf(g.MIDIDeviceIn, sizeof g.MIDIDeviceIn, "11");
        }
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string now = ReadFile(folder.File());
        if (c.left) {
            EXPECT_TRUE(now == c.text) << "the file changed";
        } else {
            // Each line is there, byte for byte and in order.
            std::istringstream had(c.text), has(now);
            std::string line, at;
            while (std::getline(had, line, c.end.back())) {
                bool found = false;
                while (!found && std::getline(has, at, c.end.back())) found = at == line;
                ASSERT_TRUE(found) << "a line of the file went missing: \"" << line << '"';
            }
            EXPECT_NE(now.find(c.end + "MIDIDeviceIn=11" + c.end), std::string::npos) << now;
        }
        if (c.said.empty()) {
            EXPECT_EQ(err, "");
            continue;
        }
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("zavo: The settings file " + folder.File(), 0), 0u) << err;
        EXPECT_NE(err.find(c.said + "\n"), std::string::npos) << err;
        const std::string added = ReadFile(log).substr(logged);
        EXPECT_EQ(added, err.substr(6)) << "the same line in the debug log";
    }
}
