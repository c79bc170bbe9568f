#pragma once
// A private X server for the tests that open a real window: Xvfb on a
// display number no other test run uses, stopped with SIGTERM at the end.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testutil {

class XvfbDisplay {
public:
    XvfbDisplay()
    {
        if (!FindProgram()) {
            m_why = "Xvfb is not installed";
            return;
        }
        // A display number from the process id; on a clash the next one.
        for (int attempt = 0; attempt < 20 && m_pid <= 0; ++attempt) {
            const int number = 200 + (getpid() * 7 + attempt) % 700;
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
                continue;
            Start(number);
        }
        if (m_pid <= 0 && m_why.empty()) m_why = "Xvfb did not start";
    }
    ~XvfbDisplay()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool Running() const { return m_pid > 0; }
    const std::string& Name() const { return m_name; }
    const std::string& WhyNot() const { return m_why; }

private:
    static bool FindProgram() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

    void Start(int number)
    {
        const std::string name = ":" + std::to_string(number);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Ends with the test process, also when that is killed or crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            std::freopen("/dev/null", "w", stderr);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid < 0) return;
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) return;  // it gave up
            if (std::filesystem::exists(socket)) {
                m_pid = pid;
                m_name = name;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    pid_t m_pid = -1;
    std::string m_name;
    std::string m_why;
};

} // namespace testutil
