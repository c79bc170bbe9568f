// The tests' own JACK servers never outlive the test process, however it
// ends: here a test program is killed with SIGKILL while its server runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
    // The server ends cleanly (SIGTERM from the kernel): as a stop does.
    JackFilesGuard files;
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

// A server deaf to SIGTERM is killed once kServerStopWait is over, and
// reaped; until it is gone no program of the user opens a JACK client.
TEST(JackServerFixture, AServerThatDoesNotHeedSIGTERMIsKilledAndReaped) {
    const pid_t parent = getpid();
    int ready[2] = {-1, -1};
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const pid_t deaf = fork();
    if (deaf == 0) {
        signal(SIGTERM, SIG_IGN);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        [[maybe_unused]] const ssize_t said = write(ready[1], "", 1);
        for (;;) pause();
    }
    ASSERT_GT(deaf, 0);
    // Deaf only once it said so.
    close(ready[1]);
    char byte = 1;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    std::atomic<bool> stopped{false};
    auto waited = std::chrono::steady_clock::duration::zero();
    pid_t pid = deaf;
    std::thread stop([&] {
        const auto start = std::chrono::steady_clock::now();
        StopJackd(pid);
        waited = std::chrono::steady_clock::now() - start;
        stopped.store(true);
    });
    Sleep(500);
    const int probe = open(JackLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0) << "the lock was free during the stop";
    close(probe);
    // A stop that waits for good ends when the process goes after all.
    for (int i = 0; i < 3000 && !stopped.load(); ++i) Sleep(10);
    if (!stopped.load()) kill(deaf, SIGKILL);
    stop.join();
    EXPECT_GE(waited, kServerStopWait);
    EXPECT_LT(waited, kServerStopWait + os::kLongestHolderWait + std::chrono::seconds(3));
    EXPECT_EQ(pid, -1);
    EXPECT_EQ(waitpid(deaf, nullptr, WNOHANG), -1) << "not reaped";
    EXPECT_EQ(errno, ECHILD);
}
