#pragma once
// Running the program on a private X server and looking at its window:
// start it, wait for its window, take the screen, click through XTest.
// Include it last: the X headers define macros (None, Bool, Status) that
// clash with names in other headers.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "os/TestFolders.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace testutil {

using Clock = std::chrono::steady_clock;

// Runs the program (the built one, or a copy of it) in its folder with the
// environment given, its output to a file.
inline pid_t Spawn(const std::vector<std::string>& env, const std::string& errFile,
                   const std::string& program = ZAVO_PROGRAM)
{
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Ends with the test process, also when that is killed or crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        std::freopen(errFile.c_str(), "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> envp;
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        chdir(std::filesystem::path(program).parent_path().c_str());
        execle(program.c_str(), program.c_str(), static_cast<char*>(nullptr), envp.data());
        _exit(127);
    }
    return pid;
}

// The program is built with the sanitizers here: its leaks fail its exit, those
// of system libraries it does not own left out (tools/lsan-suppressions.txt).
inline std::string LeakRules(const testutil::TempFolder& home)
{
    (void)home;
    return "ASAN_OPTIONS=detect_leaks=1";
}

// The exit status within the time, or -1 (the child is killed then).
inline int WaitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// The top-level window of that title (only a mapped one when `mapped`), or 0.
inline Window TopWindowTitled(Display* display, const std::string& title, bool mapped)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    Window found = 0;
    // A window may go between the query and the look at its name (another
    // program's box closing): Xlib's default handler would end the test.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name) {
            if (title == name &&
                (!mapped || (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)))
                found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

// The mapped top-level window titled "ZAVO", or 0.
inline Window ZavoWindow(Display* display) { return TopWindowTitled(display, "ZAVO", true); }

// Whether a top-level window titled "ZAVO" is mapped on the display.
inline bool ZavoWindowShown(Display* display) { return ZavoWindow(display) != 0; }

// The screen from (0, 0), width x height, top row first, 3 bytes a pixel
// (red, green, blue); empty when the server gives no picture.
inline std::vector<uint8_t> ScreenRGB(Display* x, int width, int height)
{
    std::vector<uint8_t> rgb;
    XImage* shot = XGetImage(x, DefaultRootWindow(x), 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!shot) return rgb;
    rgb.resize(size_t(width) * size_t(height) * 3);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const unsigned long p = XGetPixel(shot, px, py);
            uint8_t* d = &rgb[(size_t(py) * size_t(width) + size_t(px)) * 3];
            d[0] = uint8_t(p >> 16), d[1] = uint8_t(p >> 8), d[2] = uint8_t(p);
        }
    XDestroyImage(shot);
    return rgb;
}

// A left click through the X server at (px, py).
inline void Click(Display* x, int px, int py)
{
    XTestFakeMotionEvent(x, -1, px, py, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XSync(x, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    XTestFakeButtonEvent(x, 1, False, 0);
    XSync(x, False);
}

} // namespace testutil
