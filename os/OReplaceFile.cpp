#include "os/OReplaceFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace os {

bool ReplaceFile(const char* path, const void* data, size_t size) {
    if (!path || !*path || (!data && size > 0)) {
        errno = EINVAL;
        return false;
    }
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    // A temporary file is private to its owner; the file it becomes gets the
    // permissions a new file of the user would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        const int error = errno;
        close(fd);
        std::remove(temp.c_str());
        errno = error;
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path) != 0) {
        const int error = errno;
        std::remove(temp.c_str());
        errno = error;
        return false;
    }
    return true;
}

} // namespace os
