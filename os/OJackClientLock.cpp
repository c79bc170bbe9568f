#include "os/OJackClientLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <thread>

#include "os/OStop.h"

namespace os {

namespace {

std::recursive_mutex g_mutex;
int g_depth = 0;      // under g_mutex
bool g_held = false;  // the file lock, under g_mutex

// The lock file lies beside libjack's sockets; where it cannot be made,
// the guards still serialise this process's own opens.
int LockFile() {
    static const int fd = [] {
        const std::string path = "/dev/shm/zavo-jack-" + std::to_string(getuid()) + ".lock";
        return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }();
    return fd;
}

// Asked for again every millisecond, since a blocking flock cannot be
// given a time limit, nor be ended by a stop that another thread takes.
bool TakeFileLock(int fd) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const auto limit = StopRequested() ? kLongestLockWaitStopping : kLongestLockWait;
        if (std::chrono::steady_clock::now() - start >= limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

OJackClientLock::OJackClientLock() {
    g_mutex.lock();
    if (g_depth++ == 0) {
        const int fd = LockFile();
        g_held = fd >= 0 && TakeFileLock(fd);
    }
}

OJackClientLock::~OJackClientLock() {
    if (--g_depth == 0 && g_held) {
        flock(LockFile(), LOCK_UN);
        g_held = false;
    }
    g_mutex.unlock();
}

} // namespace os
