#include "platform/CClock.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"
#include "platform/COSystem.h"
#include "platform/OSFile.h"

#include "os/OMessageBox.h"
#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

using testutil::ReadFile;
using testutil::WriteFile;

TEST(COSystem, AppPathIsInTheProgramFolder)
{
    COSystem sys;
    EXPECT_STREQ(sys.path, "");
    std::string folder = g_GlobalData.programFolder;
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(std::string(sys.GetAppPath("Bank/Factory.qvb")), folder + "Bank/Factory.qvb");
    EXPECT_EQ(sys.GetAppPath("x"), sys.path);
    // A name that would not fit gives an empty path, never a cut one.
    std::string longName(600, 'n');
    EXPECT_STREQ(sys.GetAppPath(longName.c_str()), "");
}

TEST(COSystem, SplitPathAcceptsBothSeparators)
{
    char folder[512], name[512], ext[16];
    // Only a dot and three letters make an extension ("b.flac" keeps its dot).
    const struct { const char *path, *folder, *name, *ext; } cases[] = {
        {"C:\\data\\b.wav", "C:\\data\\", "b", "wav"}, {"/home/u/b.flac", "/home/u/", "b.flac", ""},
        {"a/b\\c.d/x.qvi", "a/b\\c.d/", "x", "qvi"},  {"b.wav", "", "b", "wav"},
        {"/x/ab", "/x/", "ab", ""},                   {"/x/", "/x/", "", ""}};
    for (const auto& c : cases) {
        SplitPath(c.path, folder, name, ext);
        EXPECT_STREQ(folder, c.folder) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }

    // Nothing is written unless all four are given.
    SplitPath("/y/z.wav", folder, sizeof folder, nullptr, 0, ext, sizeof ext);
    EXPECT_STREQ(folder, "/x/");

    // Small buffers are cut, and always terminated.
    char f4[4], n4[4], e2[2];
    SplitPath("/long/folder/longname.wav", f4, n4, e2);
    EXPECT_STREQ(f4, "/lo");
    EXPECT_STREQ(n4, "lon");
    EXPECT_STREQ(e2, "w");
}

TEST(COSystem, FileNameOfGivesTheLastComponent)
{
    char out[64];
    EXPECT_STREQ(FileNameOf("/home/u/Pads.qvb", out), "Pads.qvb");
    EXPECT_STREQ(FileNameOf("C:\\x/y\\z.wav", out), "z.wav");
    EXPECT_STREQ(FileNameOf("plain", out), "plain");
    EXPECT_STREQ(FileNameOf("folder/", out), "");
    EXPECT_STREQ(FileNameOf(nullptr, out), "");
    char small[5];
    EXPECT_STREQ(FileNameOf("/a/abcdefgh", small), "abcd");
}

TEST(COSystem, CopyFileBytes)
{
    testutil::TempFolder tmp;
    std::string data;
    for (int i = 0; i < 2500; ++i)  // more than two 1024-byte blocks
        data += static_cast<char>(i * 7 + (i >> 3));
    std::string src = tmp / "src.bin";
    WriteFile(src, data);

    EXPECT_TRUE(CopyFileBytes((tmp / "dst.bin").c_str(), src.c_str()));
    EXPECT_EQ(ReadFile(tmp / "dst.bin"), data);

    // The same file, by the same name or another, copies nothing.
    EXPECT_TRUE(CopyFileBytes(src.c_str(), src.c_str()));
    std::string other = tmp.Path() + "/./src.bin";
    EXPECT_TRUE(CopyFileBytes(other.c_str(), src.c_str()));
    EXPECT_EQ(ReadFile(src), data);

    EXPECT_FALSE(CopyFileBytes((tmp / "x.bin").c_str(), (tmp / "missing").c_str()));
    EXPECT_FALSE(std::filesystem::exists(tmp / "x.bin"));
    EXPECT_FALSE(CopyFileBytes((tmp / "no/such/dir").c_str(), src.c_str()));
    EXPECT_FALSE(CopyFileBytes(nullptr, src.c_str()));
    // A write that fails is not reported as a copy.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(CopyFileBytes("/dev/full", src.c_str()));
    }
}

TEST(COSystem, MakeDirectory)
{
    testutil::TempFolder tmp;
    EXPECT_EQ(MakeDirectory((tmp / "new").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "new"));
    EXPECT_EQ(MakeDirectory((tmp / "new").c_str()), -1);
    EXPECT_EQ(MakeDirectory((tmp / "a/b").c_str()), -1);
    EXPECT_EQ(MakeDirectory(nullptr), -1);
}

TEST(COSystem, ShellFailuresShowAnErrorBox)
{
    testutil::TempFolder empty;
    testutil::ScopedEnv path("PATH", empty.Path());  // no xdg-open to be found
    std::vector<std::string> shown;
    os::MessageBoxHook previous = os::SetMessageBoxHook(
        [&](const char* text, const char* title) { shown.push_back(std::string(title) + "|" + text); });
    OpenWebPage("https://example.invalid/");
    OpenDocument("/x/Manual.pdf");
    // A document that is there, with nothing to open it.
    const std::string manual = empty / "Manual.pdf";
    testutil::WriteFile(manual, "%PDF-1.4\n");
    OpenDocument(manual.c_str());
    os::SetMessageBoxHook(previous);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "Error|Web page >https://example.invalid/< not found");
    EXPECT_EQ(shown[1], "Error|Document >/x/Manual.pdf< not found");
    EXPECT_EQ(shown[2], "Error|No program is installed that opens >" + manual + "<.");
}

TEST(OSFile, WordsAreLittleEndian)
{
    testutil::TempFolder tmp;
    std::string name = tmp / "w.bin";
    OSFile f;
    EXPECT_EQ(f.ReadWord(), 0);  // no file
    EXPECT_EQ(f.Read(nullptr, 1, 1), 0u);
    ASSERT_TRUE(f.Open(name.c_str(), "wb"));
    EXPECT_EQ(f.path, name);
    f.WriteWord(0x1234);
    f.WriteWord(0xFFFE);
    const char tail = 'z';
    EXPECT_EQ(f.Write(&tail, 1, 1), 1u);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(ReadFile(name), std::string("\x34\x12\xFE\xFF", 4) + "z");

    ASSERT_TRUE(f.Open(name.c_str(), "rb"));
    EXPECT_EQ(f.ReadWord(), 0x1234);
    EXPECT_EQ(f.ReadWord(), 0xFFFE);
    EXPECT_EQ(f.ReadWord(), 0);  // only the last byte is left
    EXPECT_FALSE(f.Open((tmp / "missing").c_str(), "rb"));
    EXPECT_FALSE(f.IsOpen());

    ASSERT_TRUE(f.Open(name.c_str(), "rb"));
    uint16_t words[4] = {};
    EXPECT_EQ(f.Read(words, 4, 2), 2u);  // two whole words, the odd byte is not an item
}

TEST(CDebug, LogAppendsLinesToDebugTxt)
{
    COSystem sys;
    std::string name = sys.GetAppPath("Debug.txt");
    std::string before = ReadFile(name);
    CDebug::Log("first line");
    g_Debug.Log("second line");
    EXPECT_EQ(ReadFile(name), before + "first line\nsecond line\n");
}

TEST(CClock, MeasuresForwardAndKeepsTheLastElapsedWithoutAFrequency)
{
    CClock c;
    double start = c.Start();
    EXPECT_GT(start, 0.0);
    EXPECT_GE(c.SecondsSinceStart(), 0.0);
    double stop = c.Stop();
    EXPECT_GE(stop, start);
    double e = c.Elapsed();
    EXPECT_GE(e, 0.0);

    c.frequency = 0.0;
    EXPECT_EQ(c.Start(), 0.0);
    EXPECT_EQ(c.Stop(), 0.0);
    EXPECT_EQ(c.SecondsSinceStart(), 0.0);
    EXPECT_EQ(c.Elapsed(), e);
}
