// Nothing on the audio thread allocates: this test binary replaces the global
// allocation functions with counting ones, and counts only while a render
// call runs on the rendering thread. Ten seconds of audio are rendered (much
// faster than real time) while notes, controllers, parameter and program
// changes arrive the way the MIDI input and the editor send them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "core/CSynth.h"
#include "platform/CGlobalData.h"

namespace {

thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size)
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(AudioThreadAlloc, TenSecondsOfPlayingAllocateNothing)
{
    auto synth = std::make_unique<CSynth>();
    for (int part = 0; part < 8; ++part) {
        synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);  // channel
        synth->SetMixerParameter(part << 10 | 10, 8.0f / 128.0f);
    }
    // Parts 4..7 play one program: their few voices share lanes, and the
    // leftovers go to the narrower kernel or render alone.
    for (int part = 4; part < 8; ++part)
        synth->SetPartProgram(part, 0);
    synth->Resume();
    constexpr int kFrames = 256;
    std::vector<float> left(kFrames), right(kFrames);
    float* outs[2] = {left.data(), right.data()};
    const int calls = 10 * g_GlobalData.sampleRate / kFrames;
    auto midi = [&](int status, int data1, int data2) {
        synth->ProcessMidiMessage(static_cast<uint32_t>(status | data1 << 8 | data2 << 16), 0);
    };
    long rendered = 0;
    float loudest = 0.0f;
    for (int c = 0; c < calls; ++c) {
        const int part = c % 4;
        // Notes come and go; controllers, pitch bend and pressure move.
        if (c % 8 == 0)
            midi(0x90 | part, 36 + (c * 7) % 60, 100);
        if (c % 8 == 5)
            midi(0x80 | part, 36 + ((c - 5) * 7) % 60, 0);
        if (c % 6 == 0)
            midi(0x94 + (c / 6) % 4, 40 + (c * 5) % 40, 90);
        if (c % 6 == 4)
            midi(0x84 + ((c - 4) / 6) % 4, 40 + ((c - 4) * 5) % 40, 0);
        if (c % 3 == 0) {
            midi(0xB0 | part, 1, c % 128);
            midi(0xB0 | part, 74, (c * 5) % 128);
            midi(0xE0 | part, 0, (c * 3) % 128);
            midi(0xD0 | part, c % 128, 0);
        }
        // The editor changes sound parameters and, now and then, programs.
        if (c % 16 == 0)
            synth->SetParameter(16, static_cast<float>(c % 100) / 100.0f);
        if (c % 400 == 200)
            synth->SetPartProgram(part, (c / 400) % 8);
        t_counting = true;
        synth->Process(nullptr, outs, kFrames);
        t_counting = false;
        rendered += kFrames;
        for (float x : left)
            loudest = std::max(loudest, std::abs(x));
    }
    EXPECT_GE(rendered, 10L * g_GlobalData.sampleRate - kFrames);
    EXPECT_GT(loudest, 0.01f);
    EXPECT_EQ(g_allocations.load(), 0);
    // The counting itself works.
    t_counting = true;
    auto probe = std::make_unique<int>(1);
    t_counting = false;
    EXPECT_EQ(g_allocations.load(), 1);
}

} // namespace
