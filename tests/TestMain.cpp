// The main of every test program. The settings are read while the
// program's process-wide objects are built, before main, so the settings
// folder is moved to a temporary folder by an object built ahead of all of
// them; main then moves the program folder there too. A test program run by
// hand thus behaves as under CTest: it never reads or writes the user's own
// settings, nor files beside the program. The folder goes after the last
// process-wide object (which writes the settings as it ends).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "os/InitOrder.h"
#include "os/TestFolders.h"
#include "platform/CGlobalData.h"

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        if (folder.Path().empty()) {
            std::fputs("test: cannot make a temporary folder\n", stderr);
            std::abort();
        }
        setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    }
    testutil::TempFolder folder;
};

TestEnvironment g_TestEnvironment ZAVO_INIT(ZAVO_PRIO_TEST_ENVIRONMENT);

} // namespace

int main(int argc, char** argv)
{
    std::snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s/",
                  g_TestEnvironment.folder.Path().c_str());
    g_GlobalData.ReadSettings();  // the paths that follow the program folder
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
