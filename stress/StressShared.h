#pragma once
// What the stress's actors share besides the synthesizer.
#include <atomic>
#include <mutex>

namespace stress {

// The program does everything of its GUI thread on one thread: the actors
// that stand for it (the edits, the device menus, the recorder's buttons)
// each take this lock for a step.
inline std::mutex& GuiThread() {
    static std::mutex lock;
    return lock;
}

// The stress's own audio thread renders only while no output of the program
// does: two threads never render the synthesizer at once. Whoever opens an
// output first sets DevicePlays under AudioTurn; whoever closes the last
// one clears it there.
inline std::mutex& AudioTurn() {
    static std::mutex lock;
    return lock;
}
inline std::atomic<bool>& DevicePlays() {
    static std::atomic<bool> plays{false};
    return plays;
}

} // namespace stress
