#include "os/OReplaceFile.h"

#include "os/OMessageBox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace os {

namespace {

std::atomic<int> g_writeFault{0};
std::atomic<FolderSyncHook> g_folderSyncHook{nullptr};

// Whether the mode forbids writing. Root may write anything, so its own
// permission says nothing: a file (or folder) whose owner may not write it
// is what the user made read-only, and is kept so for root as well.
bool WriteProtected(const std::string& path, const struct stat& st)
{
    const uid_t me = geteuid();
    if ((st.st_mode & S_IWUSR) == 0 && (me == 0 || st.st_uid == me))
        return true;
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

bool Fail(std::string* why, int error, const std::string& text)
{
    if (why)
        *why = text.empty() ? std::strerror(error) : text;
    errno = error;
    return false;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file is named ".<name>.zavo-" and six random letters or
// digits, so that a later save of the same file knows what a killed save
// left there. A name too long for that keeps its start and gives the rest
// as a hash, so any name the file system takes can be saved.
constexpr size_t kRandomLetters = 6;
constexpr char kTempMark[] = ".zavo-";

std::string TempStem(const std::string& name)
{
    std::string stem = "." + name + kTempMark;
    if (stem.size() + kRandomLetters <= NAME_MAX)
        return stem;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char tail[40];
    std::snprintf(tail, sizeof tail, "~%016llx%s", static_cast<unsigned long long>(hash), kTempMark);
    const size_t keep = NAME_MAX - kRandomLetters - 1 - std::strlen(tail);
    stem.assign(1, '.').append(name, 0, keep).append(tail);
    return stem;
}

bool IsTempOf(const char* entry, const std::string& stem)
{
    if (std::strncmp(entry, stem.c_str(), stem.size()) != 0 || std::strlen(entry) != stem.size() + kRandomLetters)
        return false;
    for (const char* c = entry + stem.size(); *c; ++c)
        if (!(('0' <= *c && *c <= '9') || ('a' <= *c && *c <= 'z') || ('A' <= *c && *c <= 'Z')))
            return false;
    return true;
}

std::string RandomLetters()
{
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local std::mt19937_64 random{std::random_device{}() ^ (uint64_t(getpid()) << 32)};
    std::string out(kRandomLetters, '0');
    for (char& c : out)
        c = letters[random() % (sizeof letters - 1)];
    return out;
}

// The same file (not another one put in its name since).
bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the temporary files of this target that no save is writing any
// more. A save holds a lock on its temporary file until it is renamed or
// removed, and a killed one lost its lock with its process: what can be
// locked is left over.
void RemoveLeftTemps(const std::string& folder, const std::string& stem)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const int at = dirfd(dir);
    while (const dirent* e = readdir(dir)) {
        if (!IsTempOf(e->d_name, stem))
            continue;
        const int fd = openat(at, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {}, named {};
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(at, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named))
            unlinkat(at, e->d_name, 0);
        close(fd);
    }
    closedir(dir);
}

// Makes the temporary file, locked as one being written. A new file is
// made with the permissions the user's umask gives; one that replaces a
// file starts private and takes that file's mode before any byte is in it.
int MakeTemp(const std::string& folder, const std::string& stem, bool replacing, std::string& temp)
{
    for (int tries = 0; tries < 100; ++tries) {
        temp = (folder == "/" ? std::string() : folder) + "/" + stem + RandomLetters();
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Another save that took it for a left-over one between the open
        // and the lock has removed it (or holds it to do so): a new name.
        struct stat held {}, named {};
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && fstat(fd, &held) == 0 && lstat(temp.c_str(), &named) == 0 && SameFile(held, named))
            return fd;
        close(fd);
    }
    errno = EEXIST;
    return -1;
}

// A rename is lasting only once the folder that holds it is written out.
void SyncFolder(const std::string& folder)
{
    if (const FolderSyncHook hook = g_folderSyncHook.load())
        hook(folder.c_str());
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);  // best effort: the file itself is already on the disk
    close(fd);
}

} // namespace

std::string ThroughLinks(const std::string& path)
{
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        std::string target(4096, '\0');
        const ssize_t n = readlink(at.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return at;
        target.resize(static_cast<size_t>(n));
        if (target[0] != '/') {
            const size_t slash = at.rfind('/');
            target = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + target;
        }
        at = target;
    }
    return at;
}

void SetWriteFault(int error) { g_writeFault.store(error); }

FolderSyncHook SetFolderSyncHook(FolderSyncHook hook) { return g_folderSyncHook.exchange(hook); }

bool ReplaceFileWith(const char* path, const FileWriter& write, std::string* why)
{
    if (!path || !*path || !write)
        return Fail(why, EINVAL, "no file name");
    const std::string target = ThroughLinks(path);
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    const int missing = exists ? 0 : errno;
    // Only "nothing there" lets a new file be made: a loop of symbolic
    // links, a folder that cannot be searched or a path too long is no
    // place to write, and writing beside it would replace a link.
    if (!exists && missing != ENOENT)
        return Fail(why, missing, missing == ELOOP ? "its symbolic links lead round in a circle" : "");
    if (exists && S_ISDIR(st.st_mode))
        return Fail(why, EISDIR, "a folder of that name is in its place");
    if (exists && !S_ISREG(st.st_mode))
        return Fail(why, EINVAL, "it is no ordinary file");
    if (exists && WriteProtected(target, st))
        return Fail(why, EACCES, "the file is write-protected");
    const std::string folder = FolderOf(target);
    struct stat fs {};
    if (stat(folder.c_str(), &fs) == 0 && S_ISDIR(fs.st_mode) && WriteProtected(folder, fs))
        return Fail(why, EACCES, "the folder " + folder + " is write-protected");

    const std::string stem = TempStem(NameOf(target));
    RemoveLeftTemps(folder, stem);
    std::string temp;
    const int fd = MakeTemp(folder, stem, exists, temp);
    if (fd < 0)
        return Fail(why, errno, {});
    if (exists) {
        // The file keeps what it was: its mode and, where we may, its owner.
        fchmod(fd, st.st_mode & 07777);
        if (geteuid() == 0 && fchown(fd, st.st_uid, st.st_gid) != 0) {
            // another owner is no reason to lose the save
        }
    }
    // The bytes go through a stream on a descriptor of their own: the lock
    // stays with fd until the rename is done, so a save of the same file
    // that comes in between never takes the finished file for one a killed
    // save left.
    const int streamFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    FILE* f = streamFd < 0 ? nullptr : fdopen(streamFd, "wb");
    if (!f) {
        const int error = errno;
        if (streamFd >= 0)
            close(streamFd);
        std::remove(temp.c_str());
        close(fd);
        return Fail(why, error, {});
    }
    std::string said;
    errno = 0;
    bool ok = write(f, said);
    int error = errno;
    if (const int fault = g_writeFault.load()) {
        ok = false;
        error = fault;
        said.clear();
    }
    if (ok && std::fflush(f) != 0) {
        ok = false;
        error = errno;
    }
    if (ok && fsync(fileno(f)) != 0) {
        ok = false;
        error = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        std::remove(temp.c_str());
        close(fd);
        return Fail(why, error ? error : EIO, said);
    }
    close(fd);
    SyncFolder(folder);
    return true;
}

bool ReplaceFile(const char* path, const void* data, size_t size, std::string* why)
{
    if (!data && size > 0)
        return Fail(why, EINVAL, "nothing to write");
    return ReplaceFileWith(
        path,
        [&](FILE* out, std::string&) { return size == 0 || std::fwrite(data, 1, size, out) == size; }, why);
}

bool ReplaceFileOrSay(const char* path, const void* data, size_t size, std::string* failures)
{
    // Only a file can be kept: not a folder, a device or nothing.
    struct stat st {};
    const bool had = path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
    std::string why;
    if (ReplaceFile(path, data, size, &why))
        return true;
    const int error = errno;
    const std::string text = "Cannot write \"" + std::string(path ? path : "") + "\": " + why +
                             (had ? ". The old file is kept." : ".");
    if (failures)
        *failures += (failures->empty() ? "" : "\n") + text;
    else
        ShowMessageBox(text.c_str(), "Error");
    errno = error;
    return false;
}

} // namespace os
