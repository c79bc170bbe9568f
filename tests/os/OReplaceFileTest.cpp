// The one write path: what a file is, where it is and what it may be are
// kept; every refusal and failure leaves the old file whole, no temporary
// file behind, and says why.
#include "os/OReplaceFile.h"

#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

size_t Entries(const std::string& folder) { return size_t(std::distance(fs::directory_iterator(folder), {})); }

} // namespace

TEST(OReplaceFile, KeepsModeAndLinksAndRefusesWhatMustNotBeWritten)
{
    enum Target { kNew, kPlain, kLinkChain, kDanglingLink, kProtected, kProtectedFolder, kFolder, kFull, kNoFolder };
    const struct {
        Target target;
        const char* why;  // none: written
        int error;
    } cases[] = {
        {kNew, nullptr, 0},
        {kPlain, nullptr, 0},
        {kLinkChain, nullptr, 0},
        {kDanglingLink, nullptr, 0},
        {kProtected, "the file is write-protected", EACCES},
        {kProtectedFolder, "is write-protected", EACCES},
        {kFolder, "a folder of that name is in its place", EISDIR},
        {kFull, "No space left on device", ENOSPC},
        {kNoFolder, "No such file or directory", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.target));
        testutil::TempFolder tmp;
        const std::string dir = tmp / "d";
        fs::create_directory(dir);
        std::string file = dir + "/f.bin";  // where the bytes belong
        std::string path = file;                 // what the caller names
        if (c.target != kNew && c.target != kDanglingLink && c.target != kFolder && c.target != kNoFolder) {
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
        const size_t before = Entries(dir);
        std::optional<testutil::ScopedWriteFault> full;
        if (c.target == kFull) full.emplace(ENOSPC);
        std::string why;
        errno = 0;
        const bool written = os::ReplaceFile(path.c_str(), "new", 3, &why);
        const int error = errno;
        full.reset();
        fs::permissions(dir, fs::perms(0755));
        if (!c.why) {
            EXPECT_TRUE(written) << why;
            EXPECT_EQ(testutil::ReadFile(file), "new");
            // An old file keeps its mode; a new one gets the user's (the
            // test program runs with umask 022 or stricter).
            const fs::perms mode = fs::status(file).permissions();
            if (c.target == kNew || c.target == kDanglingLink) {
                EXPECT_EQ(mode & fs::perms(0600), fs::perms(0600));
            } else {
                EXPECT_EQ(mode, fs::perms(0604));
            }
            if (c.target == kLinkChain || c.target == kDanglingLink) {
                EXPECT_TRUE(fs::is_symlink(tmp / "one"));
            }
            EXPECT_EQ(Entries(dir), 1u);
            continue;
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(error, c.error);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        if (c.target == kFolder) {
            EXPECT_TRUE(fs::is_directory(file));
        } else if (c.target != kNoFolder) {
            EXPECT_EQ(testutil::ReadFile(file), "old");
            EXPECT_EQ(fs::status(file).permissions(), fs::perms(c.target == kProtected ? 0444 : 0604));
        }
        EXPECT_EQ(Entries(dir), before) << "no temporary file left";
    }
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
}
