#include "os/OShell.h"

#include "os/OPath.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace os {

namespace {

// xdg-open tries every way it knows before it gives up: on a loaded machine
// that takes a second or two. A program it starts in the foreground keeps it
// running far longer, and ending later is no failure to open.
constexpr auto kWatch = std::chrono::seconds(10);
constexpr auto kPoll = std::chrono::milliseconds(20);

struct Failures {
    std::mutex lock;
    std::vector<std::string> notes;
};

Failures& Failed()
{
    // Never destroyed: a watching thread may still report at exit.
    static Failures* failures = new Failures;
    return *failures;
}

// Waits for xdg-open, keeping the note when it ended in failure in time; past
// that only reaps it, so no process is left behind as a zombie.
void Watch(pid_t child, std::string note)
{
    const auto end = std::chrono::steady_clock::now() + kWatch;
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(child, &status, WNOHANG);
        if (r == child) {
            const bool opened = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (!opened && !note.empty()) {
                Failures& f = Failed();
                std::lock_guard<std::mutex> hold(f.lock);
                f.notes.push_back(std::move(note));
            }
            return;
        }
        if (r < 0 && errno != EINTR) return;
        if (std::chrono::steady_clock::now() >= end) break;
        std::this_thread::sleep_for(kPoll);
    }
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

bool ShellOpen(const char* target, const std::string& failureNote)
{
    if (!target || !*target)
        return false;
    // Resolved before forking: between fork and exec a threaded process may
    // only call async-signal-safe functions.
    std::string program;
    if (!FindProgram("xdg-open", program))
        return false;
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target), nullptr};
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Its lines about every program it did not find would only reach
        // a terminal; a failure is said in a box instead.
        const int none = open("/dev/null", O_WRONLY);
        if (none >= 0) {
            dup2(none, 1);
            dup2(none, 2);
            if (none > 2)
                close(none);
        }
        execve(program.c_str(), argv, environ);
        _exit(127);
    }
    try {
        std::thread(Watch, child, failureNote).detach();
    } catch (const std::system_error&) {
        // No thread to watch it: xdg-open is left to the end of the
        // process, and its failure goes unsaid.
    }
    return true;
}

std::vector<std::string> TakeShellFailures()
{
    Failures& f = Failed();
    std::lock_guard<std::mutex> hold(f.lock);
    return std::exchange(f.notes, {});
}

} // namespace os
