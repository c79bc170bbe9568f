#pragma once
// Stand-ins for the two kinds of audio output: a driver whose buffer
// switches the test calls itself, and a ring device whose cursors the test
// sets. Both are plain data the test reads afterwards.
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/CSynth.h"
#include "os/OAudioDriver.h"
#include "os/OSoundOut.h"
#include "platform/CASIODriverList.h"

namespace testutil {

struct FakeDriverConfig {
    double rate = 44100.0;
    int32_t outputs = 2;
    int32_t type = os::kSampleFloat32LSB;
    int32_t preferred = 64;
};

class FakeDriver : public os::OAudioDriver {
public:
    using Config = FakeDriverConfig;
    static inline Config config;
    static inline FakeDriver* live = nullptr;
    static constexpr int32_t kMaxFrames = 40000;

    FakeDriver() { live = this; }
    ~FakeDriver() override { live = nullptr; }

    // Registers this fake as the only listed driver, named `name`.
    static void List(const char* name = "Fake") {
        std::vector<CASIODriverList::Source> sources{{name, [] { return std::make_unique<FakeDriver>(); }}};
        CASIODriverList::Rescan(&sources);
    }
    static void ListNone() {
        std::vector<CASIODriverList::Source> none;
        CASIODriverList::Rescan(&none);
    }

    // One buffer switch of `frames`, as the driver's thread would make it.
    void Switch(int32_t frames) { callbacks.bufferSwitch(0, frames, true); }
    uint8_t* Out(int channel) { return storage[channel].data(); }

    bool Init(char* name, char*) override { std::strcpy(name, "Fake"); return true; }
    void Exit() override {}
    int32_t Start() override { started = true; return 0; }
    int32_t Stop() override { started = false; return 0; }
    int32_t GetChannels(int32_t& in, int32_t& out) override { in = 0; out = config.outputs; return 0; }
    int32_t GetLatencies(int32_t& in, int32_t& out) override { in = out = 0; return 0; }
    int32_t GetBufferSize(int32_t& mn, int32_t& mx, int32_t& pref, int32_t& gran) override {
        mn = mx = pref = config.preferred;
        gran = 0;
        return 0;
    }
    int32_t GetSampleRate(double& rate) override { rate = config.rate; return 0; }
    int32_t SetSampleRate(double rate) override { return rate == config.rate ? 0 : os::kDriverNoClock; }
    int32_t GetSamplePosition(int64_t& p, int64_t& t) override { p = t = 0; return 0; }
    int32_t GetChannelInfo(os::ODriverChannelInfo& info) override { info.type = config.type; return 0; }
    int32_t CreateBuffers(os::ODriverBufferInfo* infos, int32_t count, int32_t,
                          const os::ODriverCallbacks& cb) override {
        callbacks = cb;
        storage.assign(static_cast<size_t>(count), std::vector<uint8_t>(kMaxFrames * 8, 0xAA));
        for (int32_t i = 0; i < count; ++i)
            infos[i].buffers[0] = infos[i].buffers[1] = storage[static_cast<size_t>(i)].data();
        return 0;
    }
    int32_t DisposeBuffers() override { return 0; }
    int32_t ControlPanel() override { return 0; }
    int32_t OutputReady() override { return os::kDriverNotPresent; }

    os::ODriverCallbacks callbacks;
    std::vector<std::vector<uint8_t>> storage;
    bool started = false;
};

class FakeSoundOut : public os::OSoundOut {
public:
    std::vector<std::string> devices{"Default audio device", "Card A", "Card B"};
    int32_t play = 0, write = 0;
    std::vector<int32_t> locked;  // offsets of the blocks written, in order
    std::string openedName;
    int32_t openedRate = 0;
    bool open = false;
    std::thread::id owner = std::this_thread::get_id();

    std::vector<std::string> ListDevices() override { return devices; }
    bool Open(const char* name, int32_t rate) override {
        openedName = name ? name : "(default)";
        openedRate = rate;
        open = true;
        return true;
    }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    // Answers only the test's own thread: the output's timer ticks find no
    // device and leave the ring to the refills the test makes.
    bool GetCurrentPosition(int32_t& p, int32_t& w) override {
        if (std::this_thread::get_id() != owner) return false;
        p = play;
        w = write;
        return open;
    }
    uint8_t* Lock(int32_t offset, int32_t bytes) override {
        if (!open || offset < 0 || offset + bytes > kRingBytes) return nullptr;
        locked.push_back(offset);
        return ring + offset;
    }
    alignas(16) uint8_t ring[kRingBytes] = {};
};

// A synthesizer whose every frame is `value` on both channels; counts frames
// and the longest single render.
class ConstSynth : public CSynth {
public:
    void Process(float**, float** outputs, int32_t frames) override {
        for (int32_t i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = value;
        longest = std::max(longest, frames);
        rendered += frames;
    }
    void ProcessInt16(int16_t* out, int32_t frames) override {
        for (int32_t i = 0; i < 2 * frames; ++i) out[i] = 7;
        rendered += frames;
    }
    float value = 0.0f;
    int32_t longest = 0;
    int64_t rendered = 0;
};

} // namespace testutil
