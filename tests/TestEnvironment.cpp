// Linked into every test program and the stress. Before any global reads
// the settings, XDG_CONFIG_HOME points at a temporary folder; right after
// the global data is built, the program folder moves there too. Run by hand
// or by CTest, no test touches the user's settings or files beside the
// program. The folder goes after the last global has written to it. The
// load guard is off: a slow sanitizer build must not silence renders.
#include <sched.h>
#include <sys/mount.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/CPerfMeter.h"
#include "editor/CEditor.h"
#include "os/InitOrder.h"
#include "platform/CGlobalData.h"
#include "tests/os/TestFolders.h"

namespace {

// JACK keeps what its servers and clients share in /dev/shm under names
// that do not say which server they belong to: a client's socket is named
// after the client alone, the servers of a user share one registry and one
// metadata database, and a server that ends deletes that database under
// the others. Test programs that run side by side (ctest -j, a second
// checkout), each with servers of its own, break each other's servers
// then: a server that had just answered cannot reach a client's socket
// ("Cannot connect to server socket"). So each test program gets a
// /dev/shm of its own where it may (as root, as CI runs), shared with the
// servers, programs and test programs it starts; elsewhere it runs as
// before.
void OwnSharedMemory()
{
    constexpr const char* kMark = "ZAVO_TEST_OWN_SHM";
    if (std::getenv(kMark) || unshare(CLONE_NEWNS) != 0) return;
    // Nothing mounted here is seen outside.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
        return;
    setenv(kMark, "1", 1);
}

struct Settings {
    Settings()
    {
        OwnSharedMemory();
        if (folder.Path().empty())
            std::abort();
        setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
        // No test plays through or shows on the user's desktop unless it
        // asks for a driver itself.
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        // SDL shows a message box on the desktop whatever the video driver;
        // such a box (a window's missing layout) would wait for a click.
        // Tests that want a display name their own Xvfb.
        const char* video = std::getenv("SDL_VIDEODRIVER");
        if (video && std::string(video) == "dummy") {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
    }
    testutil::TempFolder folder;
} g_Settings ZAVO_INIT(ZAVO_PRIO_TEST_ENVIRONMENT);

struct ProgramFolder {
    ProgramFolder()
    {
        std::snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s/",
                      g_Settings.folder.Path().c_str());
        g_GlobalData.ReadSettings(); // the paths that follow the program folder
        CPerfMeter::EnableGuard(false);
        // Synthesizers built by tests open no window and so no device.
        CEditor::AllowWindow(false);
    }
} g_ProgramFolder ZAVO_INIT(ZAVO_PRIO_TEST_PROGRAM_FOLDER);

} // namespace

const std::string& testutil::TestFolder() { return g_Settings.folder.Path(); }
