#pragma once
// A private JACK server for one test: jackd with the dummy backend under a
// name of its own, made the default server of this process for the test's
// duration, so no other test's or the user's server is ever touched.
// Construction waits (at most 5 s) until a client can connect; when it cannot,
// Error() holds jackd's own output. The destructor stops it with SIGTERM.
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <vector>

#include "os/TestFolders.h"

namespace testutil {

// A server name no running server has: unique per process and per call.
inline std::string UniqueJackName(const char* stem) {
    static std::atomic<int> counter{0};
    return std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

class JackServer {
public:
    explicit JackServer(int rate = 44100)
        : m_name(UniqueJackName("zavo-test")), m_env("JACK_DEFAULT_SERVER", m_name),
          m_log(m_folder / "jackd.log") {
        const std::string rateText = std::to_string(rate);
        // Spawned rather than forked: the test process may already run threads.
        std::vector<std::string> args = {"jackd", "-n", m_name, "-r", "-p", "64", "-d", "dummy",
                                         "-r", rateText, "-p", "256"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText = {"JACK_NO_AUDIO_RESERVATION=1"};
        for (char** e = environ; *e; ++e) envText.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int spawned = posix_spawnp(&m_pid, "jackd", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_pid = -1;
            m_error = "jackd could not be started (is jackd2 installed?)";
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            jack_status_t status{};
            if (jack_client_t* client = jack_client_open(
                    "zavo-probe", JackOptions(JackNoStartServer | JackServerName), &status,
                    m_name.c_str())) {
                m_rate = static_cast<int>(jack_get_sample_rate(client));
                jack_client_close(client);
                return;
            }
            int st = 0;
            if (waitpid(m_pid, &st, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_error = "jackd did not answer within 5 s:\n" + ReadFile(m_log);
    }

    ~JackServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int st = 0;
            waitpid(m_pid, &st, 0);
        }
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::string& Name() const { return m_name; }
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

// For tests that need no server at all: the default server becomes a name
// nothing answers to.
class NoJackServer {
public:
    NoJackServer() : m_env("JACK_DEFAULT_SERVER", UniqueJackName("zavo-none")) {}

private:
    ScopedEnv m_env;
};

} // namespace testutil
