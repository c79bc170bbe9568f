// The tests' own JACK servers never outlive the test process, however it
// ends: here a test program is killed with SIGKILL while its server runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
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
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                                     "--gtest_filter=JackServerFixture.DISABLED_HoldsAServerUntilKilled"};
    // Everything the killed program leaves in its temporary folder goes
    // with this test's.
    std::vector<std::string> env = {"ZAVO_TEST_JACKD_PID=" + pidFile, "TMPDIR=" + folder.Path()};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / "out.txt").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

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
