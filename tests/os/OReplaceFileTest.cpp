// The one write path: what a file is, where it is and what it may be are
// kept; every refusal and failure leaves the old file whole, no temporary
// file behind, and says why.
#include "os/OReplaceFile.h"

#include "os/OMessageBox.h"
#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

size_t Entries(const std::string& folder) { return size_t(std::distance(fs::directory_iterator(folder), {})); }

// The folder a save syncs and what its file held then.
struct FolderSync {
    static inline std::string file, seen;
    static void Hook(const char* folder) { seen = std::string(folder) + ": " + testutil::ReadFile(file); }
};

// How many of so many saves of one file fail (at most 100).
int SavesThatFail(const std::string& path, int times)
{
    int failed = 0;
    for (int i = 0; i < times; ++i)
        failed += !os::ReplaceFile(path.c_str(), "other", 5);
    return std::min(failed, 100);
}

} // namespace

TEST(OReplaceFile, KeepsModeAndLinksAndRefusesWhatMustNotBeWritten)
{
    enum Target { kNew, kPlain, kLinkChain, kDanglingLink, kLongName, kName243, kLeftTemps, kSavesAtOnce, kProtected,
                  kProtectedFolder, kFolder, kFull, kNoFolder, kLinkLoop, kLinkToDevNull };
    const struct {
        Target target;
        const char* why;  // none: written
        int error;
    } cases[] = {
        {kNew, nullptr, 0},
        {kPlain, nullptr, 0},
        {kLinkChain, nullptr, 0},
        {kDanglingLink, nullptr, 0},
        {kLongName, nullptr, 0},
        {kName243, nullptr, 0},
        {kLeftTemps, nullptr, 0},
        {kSavesAtOnce, nullptr, 0},
        {kProtected, "the file is write-protected", EACCES},
        {kProtectedFolder, "is write-protected", EACCES},
        {kFolder, "a folder of that name is in its place", EISDIR},
        {kFull, "No space left on device", ENOSPC},
        {kNoFolder, "No such file or directory", ENOENT},
        {kLinkLoop, "symbolic links lead round in a circle", ELOOP},
        {kLinkToDevNull, "it is no ordinary file", EINVAL},
    };
    // A new file gets the user's usual mode.
    const mode_t umaskBefore = umask(022);
    std::string box;
    const os::MessageBoxHook boxBefore = os::SetMessageBoxHook([&](const char* text, const char*) { box = text; });
    const os::FolderSyncHook syncBefore = os::SetFolderSyncHook(FolderSync::Hook);
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.target));
        testutil::TempFolder tmp;
        const std::string dir = tmp / "d";
        fs::create_directory(dir);
        // 255 bytes, the longest name a file system takes; 243, the shortest
        // whose temporary name must be shortened.
        std::string file = dir + (c.target == kLongName ? "/" + std::string(251, 'n') + ".bin"
                                  : c.target == kName243 ? "/" + std::string(239, 'n') + ".bin" : "/f.bin");
        FolderSync::file = file;
        FolderSync::seen.clear();
        std::string path = file;  // what the caller names
        const bool hasOld = c.target != kNew && c.target != kDanglingLink && c.target != kFolder &&
                            c.target != kNoFolder && c.target != kLinkLoop && c.target != kLinkToDevNull;
        if (hasOld) {
            testutil::WriteFile(file, "old");
            fs::permissions(file, fs::perms(c.target == kProtected ? 0444 : 0604));
        }
        if (c.target == kLinkChain) {
            fs::create_symlink("d/f.bin", tmp / "one");
            fs::create_symlink(tmp / "one", tmp / "two");
            path = tmp / "two";
        }
        if (c.target == kDanglingLink) {
            fs::create_symlink("d/f.bin", tmp / "one");
            path = tmp / "one";
        }
        if (c.target == kFolder) fs::create_directory(file);
        if (c.target == kNoFolder) path = file = dir + "/no/f.bin";
        if (c.target == kProtectedFolder) fs::permissions(dir, fs::perms(0555));
        if (c.target == kLinkLoop) fs::create_symlink("f.bin", dir + "/g.bin");
        if (c.target == kLinkLoop) fs::create_symlink("g.bin", file);
        if (c.target == kLinkToDevNull) fs::create_symlink("/dev/null", file);
        // Two temporary files that killed saves left, one a save still
        // writes (locked), one of another file, one not the program's.
        int writing = -1;
        const size_t kept = c.target == kLeftTemps ? 3 : 0;
        for (const char* n : {".f.bin.zavo-a1B2c3", ".f.bin.zavo-Z9Z9Z9", ".f.bin.zavo-live00",
                              ".f.bin.zavo-a1B2c3.bak", ".g.bin.zavo-a1B2c3"})
            if (kept) testutil::WriteFile(dir + "/" + n, "cut");
        if (kept) writing = open((dir + "/.f.bin.zavo-live00").c_str(), O_RDONLY);
        EXPECT_TRUE(!kept || flock(writing, LOCK_EX) == 0);
        const size_t before = Entries(dir);
        std::optional<testutil::ScopedWriteFault> full;
        if (c.target == kFull) full.emplace(ENOSPC);
        // Two other processes save the same file as this one does: no save
        // takes another's finished file for a left-over one and fails. Only
        // this row shows that a save keeps its lock up to the rename.
        std::vector<pid_t> others;
        for (int i = 0; c.target == kSavesAtOnce && i < 2; ++i)
            if (others.emplace_back(fork()) == 0) _exit(SavesThatFail(path, 300));
        EXPECT_EQ(SavesThatFail(path, others.empty() ? 0 : 300), 0);
        for (const pid_t pid : others) {
            int status = -1;
            EXPECT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_EQ(status, 0) << "saves that failed in another process: " << WEXITSTATUS(status);
        }
        std::string why;
        errno = 0;
        const bool written = os::ReplaceFile(path.c_str(), "new", 3, &why);
        const int error = errno;
        box.clear();  // the box of a save the user asked for, which says whether an old file is kept
        EXPECT_TRUE(written || !os::ReplaceFileOrSay(path.c_str(), "new", 3));
        full.reset();
        fs::permissions(dir, fs::perms(0755));
        if (writing >= 0) close(writing);
        if (!c.why) {
            EXPECT_TRUE(written) << why;
            EXPECT_EQ(testutil::ReadFile(file), "new");
            // An old file keeps its mode; a new one gets the user's.
            const fs::perms mode = fs::status(file).permissions();
            EXPECT_EQ(mode, fs::perms(c.target == kNew || c.target == kDanglingLink ? 0644 : 0604));
            if (c.target == kLinkChain || c.target == kDanglingLink) {
                EXPECT_TRUE(fs::is_symlink(tmp / "one"));
            }
            EXPECT_EQ(Entries(dir), 1u + kept);
            EXPECT_TRUE(!kept || fs::exists(dir + "/.f.bin.zavo-live00"));
            // The folder is synced once the new file is in its place.
            EXPECT_EQ(FolderSync::seen, dir + ": new");
            continue;
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(error, c.error);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(box.find("The old file is kept.") != std::string::npos, hasOld) << box;
        if (c.target == kLinkLoop || c.target == kLinkToDevNull) {
            EXPECT_TRUE(fs::is_symlink(file));
            EXPECT_TRUE(fs::is_character_file("/dev/null"));
        } else if (c.target == kFolder) {
            EXPECT_TRUE(fs::is_directory(file));
        } else if (c.target != kNoFolder) {
            EXPECT_EQ(testutil::ReadFile(file), "old");
            EXPECT_EQ(fs::status(file).permissions(), fs::perms(c.target == kProtected ? 0444 : 0604));
        }
        EXPECT_EQ(Entries(dir), before) << "no temporary file left";
    }
    os::SetMessageBoxHook(boxBefore);
    os::SetFolderSyncHook(syncBefore);
    umask(umaskBefore);
}

// A streamed write that fails half-way (a source that cannot be read)
// leaves the old file and says the writer's reason.
TEST(OReplaceFile, AWriterThatFailsKeepsTheOldFile)
{
    testutil::TempFolder tmp;
    const std::string file = tmp / "f";
    testutil::WriteFile(file, "old");
    std::string why;
    EXPECT_FALSE(os::ReplaceFileWith(
        file.c_str(),
        [](FILE* out, std::string& reason) {
            std::fputs("half", out);
            reason = "the source could not be read";
            return false;
        },
        &why));
    EXPECT_EQ(why, "the source could not be read");
    EXPECT_EQ(testutil::ReadFile(file), "old");
    EXPECT_EQ(Entries(tmp.Path()), 1u);

    // A save of the same file from inside a writer, while the outer save
    // writes its temporary file, neither takes that file for a left-over one
    // nor outlasts it. The lock held after the writer, up to the rename,
    // only the row of three processes shows (kSavesAtOnce).
    EXPECT_TRUE(os::ReplaceFileWith(file.c_str(), [&](FILE* out, std::string&) {
        EXPECT_TRUE(os::ReplaceFile(file.c_str(), "inner", 5));
        return std::fputs("outer", out) >= 0;
    }));
    EXPECT_EQ(testutil::ReadFile(file), "outer");
    EXPECT_EQ(Entries(tmp.Path()), 1u);
}
