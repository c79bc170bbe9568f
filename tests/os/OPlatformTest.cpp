#include "os/OMessageBox.h"
#include "os/OPath.h"
#include "os/OShell.h"

#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

void MakeScript(const std::string& path, const std::string& body)
{
    testutil::WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

} // namespace

TEST(OPath, ExecutableFolderNamesTheTestProgramsFolder)
{
    char folder[512];
    ASSERT_TRUE(os::ExecutableFolder(folder, sizeof folder));
    std::string f = folder;
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(f + "test_os"));

    // Too small a buffer gives the root folder, still terminated.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(os::ExecutableFolder(small, sizeof small));
    EXPECT_STREQ(small, "/");
}

TEST(OPath, FindProgramSearchesPathForExecutables)
{
    testutil::TempFolder tmp;
    MakeScript(tmp / "tool", "exit 0\n");
    testutil::WriteFile(tmp / "plain", "not a program");
    testutil::ScopedEnv path("PATH", "/nonexistent:" + tmp.Path());
    std::string found;
    EXPECT_TRUE(os::FindProgram("tool", found));
    EXPECT_EQ(found, tmp / "tool");
    EXPECT_FALSE(os::FindProgram("plain", found));
    EXPECT_TRUE(found.empty());
    EXPECT_FALSE(os::FindProgram("", found));
    EXPECT_TRUE(os::FindProgram((tmp / "tool").c_str(), found));
}

TEST(OPath, MakeFoldersCreatesEveryLevel)
{
    testutil::TempFolder tmp;
    EXPECT_TRUE(os::MakeFolders(tmp / "a/b/c"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "a/b/c"));
    EXPECT_TRUE(os::MakeFolders(tmp / "a/b/c"));  // already there
    testutil::WriteFile(tmp / "file", "x");
    EXPECT_FALSE(os::MakeFolders(tmp / "file/sub"));
}

TEST(OShell, OpensThroughXdgOpenWithTheTargetAsOneArgument)
{
    testutil::TempFolder tmp;
    std::string log = tmp / "args.txt";
    MakeScript(tmp / "xdg-open", "printf '%s|%s' \"$#\" \"$1\" > '" + log + "'\n");
    std::string target = "https://example.invalid/a b;$(echo no)";
    {
        testutil::ScopedEnv path("PATH", tmp.Path());
        ASSERT_TRUE(os::ShellOpen(target.c_str()));
    }
    // The launched program runs on its own; wait for its output.
    std::string got;
    for (int i = 0; i < 500 && got.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        got = testutil::ReadFile(log);
    }
    EXPECT_EQ(got, "1|" + target);

    testutil::TempFolder empty;
    testutil::ScopedEnv path("PATH", empty.Path());
    EXPECT_FALSE(os::ShellOpen("https://example.invalid/"));
    EXPECT_FALSE(os::ShellOpen(nullptr));
}

TEST(OShell, AnOpenThatXdgOpenGivesUpOnLeavesItsNote)
{
    // xdg-open ends with 3 when it finds no program for the target, and
    // with 0 when one opened it.
    testutil::TempFolder tmp;
    std::string done = tmp / "done";
    MakeScript(tmp / "xdg-open", "case \"$1\" in *.pdf) : > '" + done + "'; exit 3;; esac\n");
    testutil::ScopedEnv path("PATH", tmp.Path());
    ASSERT_TRUE(os::ShellOpen("https://example.invalid/", "page note"));
    ASSERT_TRUE(os::ShellOpen("/x/a.pdf", "pdf note"));
    std::vector<std::string> notes;
    for (int i = 0; i < 500 && notes.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        notes = os::TakeShellFailures();
    }
    EXPECT_EQ(notes, std::vector<std::string>{"pdf note"});
    EXPECT_TRUE(std::filesystem::exists(done));
    EXPECT_TRUE(os::TakeShellFailures().empty()) << "each note is taken once";
}

TEST(OMessageBox, LongTextsAreBrokenAtSpacesForTheBox)
{
    struct Case { const char* text; size_t width; const char* wrapped; };
    const Case cases[] = {
        {"short", 10, "short"},
        {"one two three four", 8, "one two\nthree\nfour"},
        {"kept\nbreak here and", 9, "kept\nbreak\nhere and"},
        {"averyveryverylongword next", 5, "averyveryverylongword\nnext"},
        {"", 5, ""},
        {nullptr, 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(os::WrapLines(c.text, c.width), c.wrapped) << (c.text ? c.text : "(null)");
    // A sentence pair as the rate message gives it: no line past the width.
    const std::string rate = os::WrapLines(
        "The audio output runs at 44100 Hz and cannot be set to 48000 Hz, so ZAVO stays at 44100 Hz. "
        "Change the rate of the JACK server to play at 48000 Hz.");
    size_t longest = 0, start = 0;
    for (size_t end = rate.find('\n'); ; end = rate.find('\n', start)) {
        longest = std::max(longest, (end == std::string::npos ? rate.size() : end) - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_LE(longest, 72u);
    EXPECT_GT(rate.find('\n'), 40u);
}

TEST(OMessageBox, HookReceivesTextAndTitleAndCanBeReplaced)
{
    std::vector<std::string> seen;
    os::MessageBoxHook previous = os::SetMessageBoxHook(
        [&](const char* text, const char* title) { seen.push_back(std::string(title) + "|" + text); });
    os::ShowMessageBox("Something failed", "Error");
    os::ShowMessageBox(nullptr, nullptr);
    os::MessageBoxHook mine = os::SetMessageBoxHook(previous);
    ASSERT_TRUE(static_cast<bool>(mine));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Error|Something failed");
    EXPECT_EQ(seen[1], "|");

    // Without a hook the text goes to stderr as "<title>: <text>".
    os::MessageBoxHook none = os::SetMessageBoxHook({});
    testing::internal::CaptureStderr();
    os::ShowMessageBox("Web page >x< not found", "Error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Web page >x< not found\n");
    os::SetMessageBoxHook(none);
}
