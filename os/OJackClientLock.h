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
#include <chrono>

namespace os {

inline constexpr std::chrono::milliseconds kLongestLockWait{10000};
inline constexpr std::chrono::milliseconds kLongestLockWaitStopping{100};

class OJackClientLock {
public:
    OJackClientLock();
    ~OJackClientLock();
    OJackClientLock(const OJackClientLock&) = delete;
    OJackClientLock& operator=(const OJackClientLock&) = delete;
};

} // namespace os
