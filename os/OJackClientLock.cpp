#include "os/OJackClientLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/OJackClient.h"
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
// The last notification threads that ended, by thread id (a few clients
// at a time: the program's two and whatever the process opens besides).
std::atomic<int> g_endedNotifiers[16] = {};
std::atomic<unsigned> g_nextEnded{0};

bool NotifierEnded(int tid) {
    for (const std::atomic<int>& ended : g_endedNotifiers)
        if (ended.load() == tid) return true;
    return false;
}

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

// The holder writes when it took the lock at the file's start, and 0 as
// it lets go: CLOCK_MONOTONIC's milliseconds, one clock for every process.
int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

void WriteHeldSince(int fd, int64_t since) {
    [[maybe_unused]] const ssize_t written = pwrite(fd, &since, sizeof since, 0);
}

int64_t HeldSince(int fd) {
    int64_t since = 0;
    return pread(fd, &since, sizeof since, 0) == static_cast<ssize_t>(sizeof since) ? since : 0;
}

// Asked for again every millisecond, since a blocking flock cannot be
// given a time limit, nor be ended by a stop that another thread takes.
bool TakeFileLock(int fd) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            WriteHeldSince(fd, MonotonicMs());
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        // Opens and closes take milliseconds: a holder this long in one
        // waits on a server that does not answer, and may go on doing so.
        const int64_t since = HeldSince(fd);
        if (since != 0 && MonotonicMs() - since >= kLongestHolderWait.count()) return false;
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
        WriteHeldSince(LockFile(), 0);
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

bool OJackClientLock::HeldServerSilent() {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    return std::any_of(g_clients.begin(), g_clients.end(), [](const OJackHeldClient* c) { return c->Silent(); });
}

void OJackClientLock::NoteNotifier(std::atomic<int>& notifier) { notifier.store(gettid()); }

void OJackClientLock::NoteNotifierEnded() {
    g_endedNotifiers[g_nextEnded.fetch_add(1) % std::size(g_endedNotifiers)].store(gettid());
}

bool OJackClientLock::MayClose(jack_client_t* client, const std::atomic<int>& notifier) {
    // No server went: a close as usual, unless the server is frozen.
    if (!g_serverGone.load() && notifier.load() == 0) return OJackClient::Answers(client);
    const auto end = std::chrono::steady_clock::now() + kLongestNotifierWait;
    for (;;) {
        const int tid = notifier.load();
        if (tid != 0 && NotifierEnded(tid)) return true;
        if (std::chrono::steady_clock::now() >= end) return tid == 0 && OJackClient::Answers(client);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void OJackClientLock::NoteClientsFreed() {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    LetGoOfAll(true);
}

} // namespace os
