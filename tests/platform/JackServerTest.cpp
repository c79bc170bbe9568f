// The tests' own JACK servers never outlive the test process, however it
// ends: here a test program is killed with SIGKILL while its server runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/JackServer.h"

using namespace testutil;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// While it lives, processes orphaned below this one become its children,
// so that it can wait for them.
class Subreaper {
public:
    Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~Subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

} // namespace

// Run only by the test below, in a process of its own: holds a server and
// waits to be killed.
TEST(JackServerFixture, DISABLED_HoldsAServerUntilKilled) {
    JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    const char* file = std::getenv("ZAVO_TEST_JACKD_PID");
    ASSERT_NE(file, nullptr);
    std::ofstream(std::string(file) + ".part") << server.Pid() << "\n";
    std::rename((std::string(file) + ".part").c_str(), file);
    for (;;) pause();
}

TEST(JackServerFixture, AServerEndsWithATestProgramKilledInTheMiddle) {
    Subreaper reaper;
    TempFolder folder;
    const std::string pidFile = folder / "jackd.pid";
    // Everything the killed program leaves in its temporary folder goes
    // with this test's.
    const pid_t child = SpawnThisTest("JackServerFixture.DISABLED_HoldsAServerUntilKilled",
                                      {"ZAVO_TEST_JACKD_PID=" + pidFile, "TMPDIR=" + folder.Path()}, folder / "out.txt");
    ASSERT_GT(child, 0);

    pid_t jackd = -1;
    for (int i = 0; i < 1000 && jackd <= 0; ++i) {
        std::ifstream(pidFile) >> jackd;
        int status = 0;
        if (jackd <= 0 && waitpid(child, &status, WNOHANG) == child) break;
        if (jackd <= 0) Sleep(10);
    }
    ASSERT_GT(jackd, 0) << "the child never had its server:\n" << ReadFile(folder / "out.txt");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // The orphaned server is this process's child now.
    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
        ended = waitpid(jackd, nullptr, WNOHANG) == jackd;
        if (!ended) Sleep(10);
    }
    EXPECT_TRUE(ended) << "jackd " << jackd << " outlived its test program";
    if (!ended) {
        kill(jackd, SIGKILL);
        waitpid(jackd, nullptr, 0);
    }
}
