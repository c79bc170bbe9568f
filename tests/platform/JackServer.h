#pragma once
// A private JACK server for one test: jackd with the dummy backend under a
// name of its own, made the default server of this process for the test's
// duration, so no other test's or the user's server is ever touched.
// Construction waits (at most 5 s) until a client can connect; when it cannot,
// Error() holds jackd's own output. The destructor stops it with SIGTERM, and
// the kernel does when the test process ends without it.
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <thread>
#include <vector>

#include "os/OJackClientLock.h"
#include "os/ORtMidiPorts.h"
#include "os/TestFolders.h"

namespace testutil {

// The lock the program takes around every open and close of its JACK
// clients, one for each user (os/OJackClientLock).
inline std::string JackLockPath() { return "/dev/shm/zavo-jack-" + std::to_string(getuid()) + ".lock"; }

// libjack keeps one metadata database for each user (/dev/shm/jack_db-<uid>),
// whatever the server: every server as it starts, and every process as it
// opens its first client (even one that fails), joins it by its files'
// names, and a server that ends cleanly deletes those files. A test
// program's servers and clients share them (its /dev/shm is its own where
// it may be, see TestEnvironment), and a join while they are deleted or
// made anew maps a file of another size (SIGBUS inside libdb) or finds the
// database broken (libdb's report, and its leak): a test that stops a
// server and goes on at once. So what starts or stops a server, and the
// tests' own opens and closes, are made under the program's lock: while
// one of these guards lives no program of this user opens a client. It
// waits for the lock as the program's guards do and, as they do, says
// since when it holds it, so that none waits for it longer than
// os::kLongestHolderWait. Guards nest on one thread.
class JackFilesGuard {
public:
    JackFilesGuard() {
        if (Depth()++ > 0) return;
        m_fd = open(JackLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const auto start = std::chrono::steady_clock::now();
        while (m_fd >= 0 && !(m_held = flock(m_fd, LOCK_EX | LOCK_NB) == 0)) {
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            int64_t since = 0;
            const bool stuck = pread(m_fd, &since, sizeof since, 0) == ssize_t(sizeof since) && since != 0 &&
                               NowMs() - since >= os::kLongestHolderWait.count();
            if (stuck || std::chrono::steady_clock::now() - start >= os::kLongestLockWait) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Say(NowMs());
    }
    ~JackFilesGuard() {
        --Depth();
        if (m_held) {
            Say(0);
            flock(m_fd, LOCK_UN);
        }
        if (m_fd >= 0) close(m_fd);
    }
    JackFilesGuard(const JackFilesGuard&) = delete;
    JackFilesGuard& operator=(const JackFilesGuard&) = delete;

private:
    static int& Depth() {
        thread_local int depth = 0;
        return depth;
    }
    static int64_t NowMs() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
    }
    void Say(int64_t since) {
        [[maybe_unused]] const ssize_t written = m_held ? pwrite(m_fd, &since, sizeof since, 0) : 0;
    }

    int m_fd = -1;
    bool m_held = false;
};

// A client of the test's own on the default server, opened and closed under
// a JackFilesGuard.
inline jack_client_t* OpenJackClient(const std::string& name, jack_status_t* status = nullptr) {
    JackFilesGuard files;
    return jack_client_open(name.c_str(), JackNoStartServer, status);
}

inline void CloseJackClient(jack_client_t* client) {
    JackFilesGuard files;
    if (client) jack_client_close(client);
}

// A server or client name nobody else has: unique per process and per call.
inline std::string UniqueJackName(const char* stem) {
    static std::atomic<int> counter{0};
    return std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// The path of jackd, looked up before a fork; empty when it is not installed.
inline std::string FindJackd() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(at, end - at) + "/jackd";
        if (end > at && access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

// How long a server is given to end on its own before it is killed.
inline constexpr std::chrono::seconds kServerStopWait{5};

// Ends a server started below with `signal` (SIGTERM: as a user or a service
// manager does) and waits until it is gone and reaped: a frozen server is
// let run to see it, and one still there after kServerStopWait (stuck in
// its own shutdown, or deaf to SIGTERM) is killed.
inline void StopJackd(pid_t& pid, int signal = SIGTERM) {
    if (pid <= 0) return;
    JackFilesGuard files;
    kill(pid, signal);
    kill(pid, SIGCONT);
    const auto deadline = std::chrono::steady_clock::now() + kServerStopWait;
    int st = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &st, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    }
    pid = -1;
}

// One try of StartJackd: the server's pid once a client can connect (at most
// 5 s), else -1 with jackd's output in error.
inline pid_t TryJackd(const std::string& program, const std::string& name, int rate, const std::string& logPath,
                      std::string& error, int* serverRate) {
    // A client under the sanitizers on a loaded machine can take longer to
    // answer than the server's 500 ms by default: it would be thrown out.
    std::vector<std::string> args = {"jackd", "-n", name, "-r", "-t", "5000", "-p", "64", "-d", "dummy",
                                     "-r", std::to_string(rate), "-p", "256"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = {"JACK_NO_AUDIO_RESERVATION=1"};
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    // The server joins or makes libjack's metadata files as it starts.
    JackFilesGuard files;
    const pid_t parent = getpid();
    // Only system calls between fork and exec: the caller may run threads.
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);  // the caller ended before prctl
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (log >= 0) close(log);
    if (pid < 0) {
        error = "jackd could not be started (no process)";
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open(UniqueJackName("zavo-probe").c_str(),
                                                     JackOptions(JackNoStartServer | JackServerName),
                                                     &status, name.c_str())) {
            if (serverRate) *serverRate = static_cast<int>(jack_get_sample_rate(client));
            jack_client_close(client);
            return pid;
        }
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid) {
            pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "jackd did not answer within 5 s:\n" + ReadFile(logPath);
    StopJackd(pid);
    return -1;
}

// Starts jackd with the dummy backend as server `name`, its output in
// logPath, and waits until a client can connect. Answers its process id, or
// -1 with the reason in error. The machine runs a few JACK servers at once
// (eight): while others hold every place (tests running side by side), or
// one could not start a thread, it tries again, for at most 60 s. The server is bound to the calling thread's
// life: when that ends in any way (a failed assertion, an exception, a
// crash, SIGKILL) the kernel sends the server SIGTERM. Start it from the
// thread that outlives it.
inline pid_t StartJackd(const std::string& name, int rate, const std::string& logPath, std::string& error,
                        int* serverRate = nullptr) {
    const std::string program = FindJackd();
    if (program.empty()) {
        error = "jackd could not be started (is jackd2 installed?)";
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        error.clear();
        const pid_t pid = TryJackd(program, name, rate, logPath, error, serverRate);
        // A loaded machine can also keep a thread of the server's from
        // starting in the time libjack gives it.
        const bool busy = error.find("Too many servers") != std::string::npos ||
                          error.find("start thread") != std::string::npos;
        if (pid > 0 || !busy || std::chrono::steady_clock::now() >= deadline)
            return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

class JackServer {
public:
    explicit JackServer(int rate = 44100)
        : m_name(UniqueJackName("zavo-test")), m_env("JACK_DEFAULT_SERVER", m_name),
          m_log(m_folder / "jackd.log") {
        m_pid = StartJackd(m_name, rate, m_log, m_error, &m_rate);
    }

    ~JackServer() { Stop(); }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // The program's MIDI client, kept between its lists, goes first: the
    // next test's server is another one.
    void Stop() {
        os::SystemMidiPorts().LetGo();
        StopJackd(m_pid);
    }
    // The server ends by `signal`, whatever the program holds on it; back
    // once it is gone.
    void Kill(int signal) { StopJackd(m_pid, signal); }

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::string& Name() const { return m_name; }
    pid_t Pid() const { return m_pid; }
    int Rate() const { return m_rate; }
    // What jackd has written so far, and how it ended when it is gone.
    std::string Log() {
        std::string log = ReadFile(m_log);
        int st = 0;
        if (m_pid > 0 && waitpid(m_pid, &st, WNOHANG) == m_pid) {
            m_pid = -1;
            log += WIFSIGNALED(st) ? "\njackd died of signal " + std::to_string(WTERMSIG(st))
                                   : "\njackd exited with " + std::to_string(WEXITSTATUS(st));
        }
        return log;
    }

private:
    TempFolder m_folder;
    std::string m_name;
    ScopedEnv m_env;
    std::string m_log;
    std::string m_error;
    pid_t m_pid = -1;
    int m_rate = 0;
};

// Runs this test program once more for one test (a disabled one, run only
// so), with `env` ("NAME=value") over its own environment and its output in
// outPath. Answers the child's pid, or -1.
inline pid_t SpawnThisTest(const std::string& test, const std::vector<std::string>& env, const std::string& outPath) {
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_also_run_disabled_tests", "--gtest_filter=" + test};
    std::vector<std::string> envText = env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const std::string& own : env)
            replaced = replaced || entry.compare(0, own.find('=') + 1, own, 0, own.find('=') + 1) == 0;
        if (!replaced) envText.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : envText) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// For tests that need no server at all: the default server becomes a name
// nothing answers to.
class NoJackServer {
public:
    NoJackServer() : m_env("JACK_DEFAULT_SERVER", UniqueJackName("zavo-none")) {}

private:
    ScopedEnv m_env;
};

} // namespace testutil
