#include "core/CPerfMeter.h"

#include <atomic>
#include <cstdio>

#include "platform/CGlobalData.h"

CPerfMeter::CPerfMeter() = default;

std::string CPerfMeter::GetText() const {
    const double shown = shownLoad.load(std::memory_order_relaxed);
    if (shown < 0.0)
        return "?? %";
    char text[32];
    std::snprintf(text, sizeof(text), "%2.0f %%", shown * 100.0);
    return text;
}

void CPerfMeter::BeginBlock() {
    BeginBlockAt(Start());
}

void CPerfMeter::BeginBlockAt(double now) {
    if (callCount > period) {
        const double d = now - windowStart;
        load = d > 0.0 ? busy / d : 0.0;
        shownLoad.store(load, std::memory_order_relaxed);
        busy = 0.0;
        callCount = 0;
    }
    if (callCount == 0)
        windowStart = now;
}

int32_t CPerfMeter::EndBlock(int32_t frames) {
    Stop();
    return EndBlockAfter(Elapsed(), frames);
}

int32_t CPerfMeter::EndBlockAfter(double elapsedSeconds, int32_t frames) {
    lastElapsed = elapsedSeconds;
    ++callCount;
    busy += elapsedSeconds;
    return frames;
}

bool CPerfMeter::OverBudget(int32_t frames) {
    const double s = SecondsSinceStart();
    if (!s_guard.load(std::memory_order_relaxed)) {
        lastElapsed = s;
        return false;
    }
    return OverBudgetAfter(s, frames);
}

bool CPerfMeter::OverBudgetAfter(double s, int32_t frames) {
    lastElapsed = s;
    if (s > kMaxCallSeconds)
        return true;
    if (overloaded) {
        if (--slowCount <= 0) {
            slowCount = 0;
            overloaded = 0;
        }
        return true;
    }
    // Read while the GUI thread may be changing it (a silent call runs
    // during a rebuild).
    const int32_t current = std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
    const int32_t rate = current > 0 ? current : 44100;
    const double r = static_cast<double>(frames) / rate;
    if (s <= r) {
        slowCount = 0;
        return false;
    }
    if (slowCount >= kSlowChecksToTrip) {
        overloaded = 1;
        return true;
    }
    ++slowCount;
    return false;
}
