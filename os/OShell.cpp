#include "os/OShell.h"

#include "os/OPath.h"

#include <cerrno>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace os {

bool ShellOpen(const char* target)
{
    if (!target || !*target)
        return false;
    // Resolved before forking: between fork and exec a threaded process may
    // only call async-signal-safe functions.
    std::string program;
    if (!FindProgram("xdg-open", program))
        return false;
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target), nullptr};

    // xdg-open may run the viewer in the foreground. The intermediate child
    // exits at once so that the viewer is adopted by init and the GUI thread
    // neither waits for it nor leaves a zombie behind.
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild < 0)
            _exit(1);
        if (grandchild == 0) {
            execve(program.c_str(), argv, environ);
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace os
