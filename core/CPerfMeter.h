#pragma once
// Audio load meter and guard. The render loop asks it before every engine
// block whether to go on; when the machine cannot keep up it makes whole
// render calls silent instead of letting the audio thread fall further and
// further behind. It also keeps the load text shown by the editor.
#include <atomic>
#include <string>
#include <cstdint>

#include "platform/CClock.h"

class CPerfMeter : public CClock {
public:
    static constexpr double kMaxCallSeconds = 0.1;
    static constexpr int32_t kSlowChecksToTrip = 9;

    CPerfMeter();

    // Start of a render call.
    void BeginBlock();
    // End of a render call; answers frames.
    int32_t EndBlock(int32_t frames);
    // Once per engine block; frames is the frame count of the whole call.
    bool OverBudget(int32_t frames);

    // The same steps with the clock readings given, so that the rules can be
    // exercised without waiting for real time to pass.
    void BeginBlockAt(double now);
    int32_t EndBlockAfter(double elapsedSeconds, int32_t frames);
    bool OverBudgetAfter(double secondsSinceStart, int32_t frames);

    // The load as the editor shows it ("34 %"; "?? %" before a first
    // measurement), made on the reading thread from one atomic word.
    std::string GetText() const;

    // Test programs render long stretches under the sanitizers on a loaded
    // machine, where the wall-clock guard would silence calls at random; they
    // switch it off for the whole process. The meter still measures.
    static void EnableGuard(bool on) { s_guard.store(on, std::memory_order_relaxed); }

    double load = 0.0;
    // The last load measured, for the GUI thread; negative before the first.
    std::atomic<double> shownLoad{-1.0};
    int32_t period = 100;
    int32_t callCount = 0;
    double busy = 0.0;
    double windowStart = 0.0;
    double lastElapsed = 0.0;
    uint8_t overloaded = 0;
    int32_t slowCount = 0;

private:
    static inline std::atomic<bool> s_guard{true};
};
