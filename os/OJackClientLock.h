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
// The lock is a courtesy among this user's programs, so a guard does not
// wait for it without end: when another process holds it past
// kLongestLockWait (stuck in an open to a server that does not answer), or
// past kLongestLockWaitStopping once this process was asked to stop, the
// guard goes on without it, as the program did before there was a lock.
//
// Once a client of the process has seen its server go, libjack's next open
// in the process (even one that fails) closes and frees every client the
// process still holds. So every client kept past a guard is held here, with
// a shutdown notice of its own: an outermost guard, before anything is done
// under it, lets go of every held client once a notice came. Only libjack's own
// report tells of an open that came between the server going and the
// notice; the held clients are then forgotten, never touched again.
#include <chrono>

namespace os {

inline constexpr std::chrono::milliseconds kLongestLockWait{10000};
inline constexpr std::chrono::milliseconds kLongestLockWaitStopping{100};

// A JACK client kept past a guard's scope (the audio driver's, a MIDI
// port's).
class OJackHeldClient {
public:
    // Under a guard, on the thread that takes it: the client's server went.
    // freed: libjack freed the client already, it is only forgotten; else
    // it is closed. Either way the holder never touches it again.
    virtual void LetGo(bool freed) = 0;

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
    // libjack says, inside an open, that it freed every client of the
    // process.
    static void NoteClientsFreed();
};

} // namespace os
