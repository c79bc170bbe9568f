#pragma once
// libjack binds a client's notification socket at a path made of the
// client's name alone (/dev/shm/jack_<name>_<uid>_0), whatever the server.
// Two processes opening or closing clients of one name at the same moment,
// each on a server of its own, unlink each other's socket and an open fails
// ("Cannot connect to client"). While one of these guards lives, no other
// process of this user opens or closes a client under it: every open and
// close of this program's JACK clients (audio, MIDI, the probes) is made
// inside one. Guards nest on one thread.
//
// The path holds no server name, so the lock ties programs on every server
// together; it is a courtesy among this user's programs, and a guard does
// not wait for it without end: once another process has held it for
// kLongestHolderWait (stuck in a call to a server that does not answer),
// past kLongestLockWait in all, or past kLongestLockWaitStopping once this
// process was asked to stop, the guard goes on without it, as the program
// did before there was a lock.
//
// Once a client of the process has seen its server go, libjack's next open
// in the process (even one that fails) closes and frees every client the
// process still holds. So every client kept past a guard is held here, with
// a shutdown notice of its own: an outermost guard, before anything is done
// under it, lets go of every held client once a notice came. Only libjack's own
// report tells of an open that came between the server going and the
// notice; the held clients are then forgotten, never touched again.
//
// A close cancels the client's notification thread wherever it is. While
// a server shuts down that thread goes on past the notice, handling the
// removal of the server's other clients under a lock of libjack's; a
// cancel there leaves the lock held for good and every later close in
// the process waits on it. So a client whose server went is closed only
// once its notification thread said its last (its read failed), and
// forgotten when that does not come within kLongestNotifierWait.
#include <atomic>
#include <chrono>

typedef struct _jack_client jack_client_t;

namespace os {

inline constexpr std::chrono::milliseconds kLongestLockWait{10000};
inline constexpr std::chrono::milliseconds kLongestLockWaitStopping{100};
inline constexpr std::chrono::milliseconds kLongestHolderWait{1000};
inline constexpr std::chrono::milliseconds kLongestNotifierWait{500};

// A JACK client kept past a guard's scope (the audio driver's, a MIDI
// port's).
class OJackHeldClient {
public:
    // Under a guard, on the thread that takes it: the client's server went.
    // freed: libjack freed the client already, it is only forgotten; else
    // it is closed. Either way the holder never touches it again.
    virtual void LetGo(bool freed) = 0;
    // Whether its server stopped answering (see OJackClient::Answers).
    virtual bool Silent() const { return false; }

protected:
    ~OJackHeldClient() = default;
};

class OJackClientLock {
public:
    OJackClientLock();
    ~OJackClientLock();
    OJackClientLock(const OJackClientLock&) = delete;
    OJackClientLock& operator=(const OJackClientLock&) = delete;

    // Under a guard: from its open (with its shutdown notice in place) to
    // its close.
    static void Hold(OJackHeldClient* client);
    static void Release(OJackHeldClient* client);
    // A held client's shutdown notice, on libjack's thread: only a flag is
    // set, the next guard lets go.
    static void NoteServerGone();
    // Whether a notice came that no guard acted on yet.
    static bool ServerGone();
    // Under a guard: whether a held client's server stopped answering. An
    // open to it would wait as long (the program's clients all go to the
    // one default server).
    static bool HeldServerSilent();
    // libjack says, inside an open, that it freed every client of the
    // process.
    static void NoteClientsFreed();

    // A held client's shutdown notice keeps the thread it came on in its
    // own notifier (the notice may come before the thread's last word).
    static void NoteNotifier(std::atomic<int>& notifier);
    // libjack's notification thread, on itself: its server's socket is
    // closed, it ends now.
    static void NoteNotifierEnded();
    // Under a guard, letting go of a client: whether it may be closed.
    // Once a server went, waits at most kLongestNotifierWait for the
    // client's notification thread to end; a client without a notice of
    // its own is closed once that time is over if its server still answers
    // (another server's, still there). A client of a server that does not
    // answer is never closed: the close would wait on it.
    static bool MayClose(jack_client_t* client, const std::atomic<int>& notifier);
};

} // namespace os
