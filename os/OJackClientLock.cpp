#include "os/OJackClientLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/OStop.h"

namespace os {

namespace {

std::recursive_mutex g_mutex;
int g_depth = 0;      // under g_mutex
bool g_held = false;  // the file lock, under g_mutex
std::vector<OJackHeldClient*> g_clients;  // under g_mutex
// Set by a held client's shutdown notice; cleared once every held client
// was let go (their closes end the threads that set it).
std::atomic<bool> g_serverGone{false};

// Under g_mutex.
void LetGoOfAll(bool freed) {
    const std::vector<OJackHeldClient*> clients = std::move(g_clients);
    g_clients.clear();
    for (OJackHeldClient* client : clients)
        client->LetGo(freed);
    g_serverGone.store(false);
}

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
    // Only the outermost guard lets go: code under an outer guard keeps the
    // clients it looked at until that guard ends (an open meanwhile, which
    // would free them, has libjack say so).
    if (g_depth == 1 && g_serverGone.load())
        LetGoOfAll(false);
}

OJackClientLock::~OJackClientLock() {
    if (--g_depth == 0 && g_held) {
        flock(LockFile(), LOCK_UN);
        g_held = false;
    }
    g_mutex.unlock();
}

void OJackClientLock::Hold(OJackHeldClient* client) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    g_clients.push_back(client);
}

void OJackClientLock::Release(OJackHeldClient* client) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    std::erase(g_clients, client);
}

void OJackClientLock::NoteServerGone() { g_serverGone.store(true); }

bool OJackClientLock::ServerGone() { return g_serverGone.load(); }

void OJackClientLock::NoteClientsFreed() {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    LetGoOfAll(true);
}

} // namespace os
