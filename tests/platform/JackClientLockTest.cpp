// Programs on servers of their own open and close their JACK clients, all
// named alike, at the same moment: none of them may fail for the others.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/OJackClientLock.h"
#include "os/OJackClient.h"
#include "os/OJackDriver.h"
#include "os/OStop.h"
#include "os/ORtMidiPorts.h"
#include "platform/JackProbe.h"
#include "platform/JackServer.h"

using namespace testutil;

// Run only by the test below, in a process of its own, on the server
// JACK_DEFAULT_SERVER names.
TEST(JackClientLock, DISABLED_OpensAndClosesTheClientOverAndOver) {
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(os::OJackClient::ServerAnswers());
        os::OJackDriver driver;
        char name[32] = {}, error[124] = {};
        ASSERT_TRUE(driver.Init(name, error)) << error;
        driver.Exit();
    }
}

TEST(JackClientLock, ProgramsOnServersOfTheirOwnOpenTheirClientsAtOnce) {
    constexpr int kPrograms = 3;
    std::vector<std::unique_ptr<JackServer>> servers;
    for (int i = 0; i < kPrograms; ++i) {
        servers.push_back(std::make_unique<JackServer>(44100));
        ASSERT_TRUE(servers.back()->Ok()) << servers.back()->Error();
    }
    TempFolder folder;
    pid_t children[kPrograms] = {};
    for (int i = 0; i < kPrograms; ++i) {
        children[i] = SpawnThisTest("JackClientLock.DISABLED_OpensAndClosesTheClientOverAndOver",
                                    {"JACK_DEFAULT_SERVER=" + servers[i]->Name()}, folder / std::to_string(i));
        ASSERT_GT(children[i], 0);
    }
    for (int i = 0; i < kPrograms; ++i) {
        int status = 0;
        ASSERT_EQ(waitpid(children[i], &status, 0), children[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "program " << i << ":\n" << ReadFile(folder / std::to_string(i)) << servers[i]->Log();
    }
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The lock as another program holds it: a description of the file of its
// own (flock locks belong to the open file, so this one competes with the
// guards of this process as another process would).
class OtherHolder {
public:
    OtherHolder()
        : m_fd(open(JackLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
    ~OtherHolder() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Take() { return m_fd >= 0 && flock(m_fd, LOCK_EX) == 0; }
    bool TryTake() { return m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) == 0; }
    void Release() { flock(m_fd, LOCK_UN); }
    // What a holder says of itself: since when it holds the lock.
    ssize_t Write(int64_t since) { return pwrite(m_fd, &since, sizeof since, 0); }

private:
    int m_fd;
};

// How long a guard took to come in, when it did, and whether the lock was
// held while it lived (a description that holds nothing cannot take it then).
struct Entry {
    milliseconds waited;
    bool held;
    Clock::time_point in;
};

Entry Enter() {
    const auto start = Clock::now();
    os::OJackClientLock guard;
    const auto in = Clock::now();
    OtherHolder probe;
    const bool free = probe.TryTake();
    if (free) probe.Release();
    return {std::chrono::duration_cast<milliseconds>(in - start), !free, in};
}

} // namespace

// A guard waits for another program's open to end and then holds the lock.
TEST(JackClientLock, AGuardWaitsForAnotherProgramToLetGo) {
    OtherHolder other;
    ASSERT_TRUE(other.Take());
    // Times are taken where they truly precede what they bound: however
    // late a thread runs, the guard comes in only after the let-go.
    Clock::time_point released;
    std::thread letGo([&] {
        std::this_thread::sleep_for(milliseconds(300));
        released = Clock::now();
        other.Release();
    });
    const Entry entry = Enter();
    letGo.join();
    EXPECT_GE(entry.in, released);
    EXPECT_LT(entry.waited, os::kLongestLockWait);
    EXPECT_TRUE(entry.held);
    // A holder that says it took the lock a while ago is stuck on a server
    // that does not answer: nobody waits for it longer than that while.
    ASSERT_TRUE(other.Take());
    timespec now{};
    const auto written = Clock::now();  // the same clock
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t since = int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000 - 300;
    ASSERT_EQ(other.Write(since), ssize_t(sizeof since));
    const Entry stuck = Enter();
    other.Write(0);
    other.Release();
    EXPECT_GE(stuck.in - written, os::kLongestHolderWait - milliseconds(350));
    EXPECT_LT(stuck.waited, os::kLongestHolderWait + milliseconds(500));
}

// Run only by the test below: the stop it posts stays for the process.
TEST(JackClientLock, DISABLED_ChildOfTheStopTest) {
    // The MIDI ports of the parent's server, listed before the stop.
    JackProbe probe(1024);
    ASSERT_TRUE(probe.ok);
    const std::vector<std::string> listed = os::SystemMidiPorts().InputNames();
    ASSERT_NE(std::find(listed.begin(), listed.end(), jack_port_name(probe.keys)), listed.end());
    OtherHolder other;
    ASSERT_TRUE(other.Take());
    // Asked to stop while the guard waits, and again with the stop already
    // in: a stopping program waits a short while in all, then goes on.
    std::thread stop([] {
        std::this_thread::sleep_for(milliseconds(50));
        os::PostStop();
    });
    const Entry during = Enter();
    stop.join();
    const Entry after = Enter();
    for (const Entry& e : {during, after}) {
        EXPECT_GE(e.waited, os::kLongestLockWaitStopping - milliseconds(5));
        EXPECT_LT(e.waited, milliseconds(2000)) << "the stop was not heeded";
    }
    // It still takes a lock that is free (other programs of the test run
    // may hold it a moment).
    other.Release();
    bool held = false;
    for (int i = 0; i < 5 && !held; ++i) held = Enter().held;
    EXPECT_TRUE(held);
    // A stopping program lists and opens no more ports.
    EXPECT_TRUE(os::SystemMidiPorts().InputNames().empty());
    EXPECT_TRUE(os::SystemMidiPorts().OutputNames().empty());
    std::string error;
    EXPECT_FALSE(os::SystemMidiPorts().OpenInput(jack_port_name(probe.keys), 0, [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error));
    EXPECT_FALSE(os::SystemMidiPorts().OpenOutput(jack_port_name(probe.sink), error));
    os::SystemMidiPorts().LetGo();
}

TEST(JackClientLock, AStopEndsTheWaitForAHolderThatDoesNotLetGo) {
    JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    TempFolder folder;
    const pid_t child = SpawnThisTest("JackClientLock.DISABLED_ChildOfTheStopTest", {}, folder / "out");
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(folder / "out");
}

// Each way the program hears of a server gone lets go of the held clients on
// its own: the audio client's notice, and libjack's report inside an open
// that it freed them (the MIDI client's notice: MIDIJackTest).
TEST(JackClientLock, EachNoticeOfAServerGoneLetsGoOfTheHeldClients) {
    {
        JackServer server;
        ASSERT_TRUE(server.Ok()) << server.Error();
        os::OJackDriver driver;
        char name[32] = {}, error[124] = {};
        ASSERT_TRUE(driver.Init(name, error)) << error;
        // Stopped: its process thread is gone, cancelled in the middle of
        // nothing it counted.
        os::ODriverBufferInfo info;
        os::ODriverCallbacks callbacks;
        callbacks.bufferSwitch = [](int32_t, int32_t, bool) {};
        ASSERT_EQ(driver.CreateBuffers(&info, 1, 256, callbacks), os::kDriverOK);
        ASSERT_EQ(driver.Start(), os::kDriverOK);
        ASSERT_EQ(driver.Stop(), os::kDriverOK);
        kill(server.Pid(), SIGKILL);
        for (int i = 0; i < 500 && !driver.IsLost(); ++i) std::this_thread::sleep_for(milliseconds(10));
        ASSERT_TRUE(driver.IsLost());
        const auto start = Clock::now();
        { os::OJackClientLock guard; }
        EXPECT_LT(Clock::now() - start, milliseconds(1000));
        int32_t inputs = 0, outputs = 0;
        EXPECT_EQ(driver.GetChannels(inputs, outputs), os::kDriverNotPresent);
    }
    struct Held : os::OJackHeldClient {
        void LetGo(bool freed) override { this->freed = freed ? 1 : 0; }
        int freed = -1;
    } held;
    {
        os::OJackClientLock guard;
        os::OJackClientLock::Hold(&held);
        // A notice while a guard lives: code under it keeps what it looks at.
        os::OJackClientLock::NoteServerGone();
        { os::OJackClientLock nested; }
        EXPECT_EQ(held.freed, -1);
    }
    { os::OJackClientLock guard; }
    EXPECT_EQ(held.freed, 0);
    held.freed = -1;
    {
        os::OJackClientLock guard;
        os::OJackClientLock::Hold(&held);
    }
    NoJackServer none;
    os::OJackClient::ServerAnswers();  // puts the program's report in place
    jack_error_callback("Jack server was closed but clients are still allocated, cleanup...");
    EXPECT_EQ(held.freed, 1);
    os::OJackClientLock::Release(&held);
}
