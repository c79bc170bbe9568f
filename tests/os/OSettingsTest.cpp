#include "os/OSettings.h"

#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <cstring>

using os::OSettings;
using testutil::ReadFile;
using testutil::WriteFile;

TEST(OSettings, EscapeRoundTripsEveryByte)
{
    std::string raw;
    for (int c = 1; c < 256; ++c)
        raw += static_cast<char>(c);
    for (const std::string& s : {raw, std::string(" lead"), std::string("trail\t"),
                                 std::string("C:\\x41\\path"), std::string("a=b;c[d]")}) {
        std::string escaped = OSettings::Escape(s);
        EXPECT_EQ(escaped.find('\n'), std::string::npos);
        EXPECT_EQ(escaped.find('\r'), std::string::npos);
        EXPECT_EQ(OSettings::Unescape(escaped), s);
    }
    // A stray backslash in a hand-edited file is kept as it stands.
    EXPECT_EQ(OSettings::Unescape("a\\qb\\"), "a\\qb\\");
    EXPECT_EQ(OSettings::Unescape("\\x4"), "\\x4");
}

TEST(OSettings, SaveCreatesFoldersAndLoadReadsBack)
{
    testutil::TempFolder tmp;
    std::string file = tmp / "a/b/settings.ini";
    {
        OSettings s(file);
        EXPECT_FALSE(s.Load());  // no file yet
        s.SetString("Settings", "Path", " /home/u/My Project/\\x\n");
        s.SetInt("Settings", "Offset", -800);
        s.SetInt("Other", "Count", 7);
        s.SetString("Settings", "Empty", "");
        ASSERT_TRUE(s.Save());
    }
    OSettings s(file);
    ASSERT_TRUE(s.Load());
    char buf[64];
    ASSERT_TRUE(s.GetString("Settings", "Path", buf, sizeof buf));
    EXPECT_STREQ(buf, " /home/u/My Project/\\x\n");
    ASSERT_TRUE(s.GetString("Settings", "Empty", buf, sizeof buf));
    EXPECT_STREQ(buf, "");
    int32_t v = 0;
    ASSERT_TRUE(s.GetInt("Settings", "Offset", v));
    EXPECT_EQ(v, -800);
    ASSERT_TRUE(s.GetInt("Other", "Count", v));
    EXPECT_EQ(v, 7);
    // Names are looked up in their own section only.
    EXPECT_FALSE(s.GetInt("Settings", "Count", v));
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

    // Settings of exactly the size a start reads are saved and read whole;
    // one byte more is not saved.
    const size_t size = ReadFile(file).size();
    s.SetString("Settings", "Fill", std::string(OSettings::kMostBytes - size - 6, 'f'));  // "Fill=" ... "\n"
    ASSERT_TRUE(s.Save()) << s.Why();
    EXPECT_EQ(ReadFile(file).size(), OSettings::kMostBytes);
    ASSERT_TRUE(s.Load());
    EXPECT_FALSE(s.LeftAsItIs());
    s.SetString("Settings", "Fill", std::string(OSettings::kMostBytes - size - 5, 'f'));
    EXPECT_FALSE(s.Save());
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(ReadFile(file).size(), OSettings::kMostBytes);
}

TEST(OSettings, ReadersRefuseWhatDoesNotFit)
{
    testutil::TempFolder tmp;
    std::string file = tmp / "s.ini";
    WriteFile(file,
              "; comment\r\n"
              "[Settings]\r\n"
              "  Name =abcdefg\r\n"
              "Big=4294967295\r\n"
              "Huge=4294967296\r\n"
              "Neg=-2147483648\r\n"
              "Junk=12abc\r\n"
              "Blank=\r\n"
              "no equals sign\r\n"
              "[Broken\r\n"
              "Lost=1\r\n");
    OSettings s(file);
    ASSERT_TRUE(s.Load());

    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    // Seven characters and the terminator fit exactly; one byte less does not.
    EXPECT_TRUE(s.GetString("Settings", "Name", buf, 8));
    EXPECT_STREQ(buf, "abcdefg");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(s.GetString("Settings", "Name", buf, 7));
    EXPECT_EQ(buf[0], 'x');

    int32_t v = 42;
    EXPECT_TRUE(s.GetInt("Settings", "Big", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(s.GetInt("Settings", "Neg", v));
    EXPECT_EQ(v, INT32_MIN);
    v = 42;
    for (const char* name : {"Huge", "Junk", "Blank", "Lost"}) EXPECT_FALSE(s.GetInt("Settings", name, v)) << name;
    EXPECT_FALSE(s.GetInt("Broken", "Lost", v));
    EXPECT_EQ(v, 42);
    // Lines not understood are kept as they stand, as is every other line
    // but a changed one; a new one goes to the end of its section. Both end
    // as the file's lines do.
    EXPECT_FALSE(s.LeftAsItIs());
    EXPECT_EQ(s.StrangeLine(), 9);
    EXPECT_EQ(s.Why(), "line 9 is no section, setting or comment");
    const std::string before = ReadFile(file);
    EXPECT_TRUE(s.Save());
    EXPECT_EQ(ReadFile(file), before);
    s.SetInt("Settings", "Neg", INT32_MIN);
    s.SetInt("Settings", "Big", 5);
    s.SetString("Settings", "New", "n");
    EXPECT_TRUE(s.Save());
    std::string after = before;
    after.replace(after.find("Big=4294967295"), 14, "Big=5");
    after.insert(after.find("[Broken"), "New=n\r\n");
    EXPECT_EQ(ReadFile(file), after);

    // A key set twice reads as its last line, which a change rewrites; a
    // new key goes after the last setting of its section (of its last part
    // when it is named twice), before the blank line that ends it.
    s.LoadText("[S]\nK=first\n\n[T]\nK=t\n\n[S]\nK=last\n\n[U]\n");
    ASSERT_TRUE(s.GetString("S", "K", buf, sizeof buf));
    EXPECT_STREQ(buf, "last");
    s.SetString("S", "K", "new");
    s.SetString("S", "New", "n");
    s.SetInt("T", "Add", 1);
    EXPECT_TRUE(s.Save());
    EXPECT_EQ(ReadFile(file), "[S]\nK=first\n\n[T]\nK=t\nAdd=1\n\n[S]\nK=new\nNew=n\n\n[U]\n");
}

TEST(OSettings, DefaultFileFollowsXdgConfigHome)
{
    {
        testutil::ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg/");
        EXPECT_EQ(OSettings::DefaultFilePath(), "/tmp/cfg/zavo/settings.ini");
    }
    testutil::ScopedEnv home("HOME", "/home/someone");
    {
        // A relative XDG_CONFIG_HOME is ignored, as the desktop rules say.
        testutil::ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(OSettings::DefaultFilePath(), "/home/someone/.config/zavo/settings.ini");
    }
    testutil::ScopedEnv xdg("XDG_CONFIG_HOME", "");
    EXPECT_EQ(OSettings::DefaultFilePath(), "/home/someone/.config/zavo/settings.ini");
}

TEST(OSettings, FailedSaveKeepsTheOldFile)
{
    testutil::TempFolder tmp;
    std::string file = tmp / "s.ini";
    WriteFile(file, "[Settings]\nA=1\n");
    OSettings s(file);
    ASSERT_TRUE(s.Load());
    s.SetInt("Settings", "A", 2);
    {
        testutil::ScopedWriteFault full(ENOSPC);
        EXPECT_FALSE(s.Save());
    }
    EXPECT_EQ(s.Why(), std::strerror(ENOSPC));
    EXPECT_EQ(ReadFile(file), "[Settings]\nA=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1) << "no temporary file left";
    EXPECT_TRUE(s.Save());
    EXPECT_EQ(ReadFile(file), "[Settings]\nA=2\n");
}
