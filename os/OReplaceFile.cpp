#include "os/OReplaceFile.h"

#include "os/OMessageBox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace os {

namespace {

std::atomic<int> g_writeFault{0};

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

bool ReplaceFileWith(const char* path, const FileWriter& write, std::string* why)
{
    if (!path || !*path || !write)
        return Fail(why, EINVAL, "no file name");
    const std::string target = ThroughLinks(path);
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
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

    std::string temp = target + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return Fail(why, errno, {});
    if (exists) {
        // The file keeps what it was: its mode and, where we may, its owner.
        fchmod(fd, st.st_mode & 07777);
        if (geteuid() == 0 && fchown(fd, st.st_uid, st.st_gid) != 0) {
            // another owner is no reason to lose the save
        }
    } else {
        // A temporary file is private to its owner; a new file gets the
        // permissions a new file of the user would have.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        const int error = errno;
        close(fd);
        std::remove(temp.c_str());
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
        return Fail(why, error ? error : EIO, said);
    }
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

bool ReplaceFileOrSay(const char* path, const void* data, size_t size)
{
    const bool had = path && access(path, F_OK) == 0;
    std::string why;
    if (ReplaceFile(path, data, size, &why))
        return true;
    const int error = errno;
    const std::string text = "Cannot write \"" + std::string(path ? path : "") + "\": " + why +
                             (had ? ". The old file is kept." : ".");
    ShowMessageBox(text.c_str(), "Error");
    errno = error;
    return false;
}

} // namespace os
