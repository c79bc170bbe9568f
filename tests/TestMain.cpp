// The main of every test program. The settings are read while the globals
// are built, before main: an object built ahead of them all points
// XDG_CONFIG_HOME at a temporary folder, and main moves the program folder
// there too. Run by hand or by CTest, no test touches the user's settings or
// files beside the program. The folder goes after the last global.
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
        if (folder.Path().empty())
            std::abort();
        setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    }
    testutil::TempFolder folder;
} g_TestEnvironment ZAVO_INIT(ZAVO_PRIO_TEST_ENVIRONMENT);

} // namespace

int main(int argc, char** argv)
{
    std::snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s/",
                  g_TestEnvironment.folder.Path().c_str());
    g_GlobalData.ReadSettings(); // the paths that follow the program folder
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
