#pragma once
// The thread stress's actors: each is one thread that repeats its step at
// its own pace. Actors that stand for work of the program's GUI thread take
// GuiThread() for each step, as that work runs on one thread there.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "stress/StressShared.h"

class CSynth;

using Clock = std::chrono::steady_clock;

class Actor {
public:
    Actor(const char* name, std::chrono::microseconds period, uint32_t seed)
        : name(name), period(period), random(seed) {}
    virtual ~Actor() = default;
    virtual void Step() = 0;

    const char* name;
    std::chrono::microseconds period;
    std::mt19937 random;
    long steps = 0;

protected:
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); }
    float Unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(random); }
};

namespace stress {

// Preset pool scans and browser mask saves, bank and project saves while
// the audio renders, and layout-editor edits on the program's own layout
// (stress/FileActors.cpp).
void AddFileActors(std::vector<std::unique_ptr<Actor>>& actors, CSynth& synth);

} // namespace stress
