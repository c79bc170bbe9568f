#include "os/OReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace os {

ReadStatus ReadWholeFile(const char* path, size_t most, std::vector<uint8_t>& out, std::string& why,
                         bool keepPrefix)
{
    out.clear();
    if (!path || !*path) {
        why = "no file name";
        return ReadStatus::kMissing;
    }
    // Not blocking: a pipe or a device in the file's place is refused
    // below, not waited on.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = errno == ENOENT ? "no such file" : std::strerror(errno);
        return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kRefused;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        why = "not a file";
        return ReadStatus::kRefused;
    }
    if (static_cast<uint64_t>(st.st_size) > most && !keepPrefix) {
        close(fd);
        why = "larger than " + std::to_string(most) + " bytes";
        return ReadStatus::kRefused;
    }
    // The buffer grows with what is read, one byte past the limit, so a
    // file that grew meanwhile is noticed.
    size_t got = 0;
    out.resize(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), most) + 1);
    for (;;) {
        if (got == out.size()) {
            if (out.size() > most) break;
            out.resize(std::min(out.size() * 2, most + 1));
        }
        const ssize_t n = read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            close(fd);
            out.clear();
            return ReadStatus::kRefused;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got > most) {
        if (!keepPrefix) {
            out.clear();
            why = "larger than " + std::to_string(most) + " bytes";
            return ReadStatus::kRefused;
        }
        got = most;
    }
    out.resize(got);
    why.clear();
    return ReadStatus::kRead;
}

} // namespace os
