#pragma once
// A low-latency audio driver as the host drives it: init, channel and buffer
// queries, rate, buffer creation with callbacks, start and stop. The one
// implementation runs on a JACK server; tests put fakes in its place.
#include <cstdint>

namespace os {

// Results of the driver operations.
enum : int32_t {
    kDriverOK = 0,
    kDriverNotPresent = -1000,     // no driver loaded, or the operation is not supported
    kDriverMalfunction = -999,
    kDriverInvalidParameter = -998,
    kDriverInvalidMode = -997,
    kDriverNoClock = -995,         // the rate asked for is not the one the device runs at
};

// Sample types of a channel's buffers.
enum : int32_t {
    kSampleInt16MSB = 0, kSampleInt24MSB = 1, kSampleInt32MSB = 2,
    kSampleFloat32MSB = 3, kSampleFloat64MSB = 4,
    kSampleInt32MSB16 = 8, kSampleInt32MSB18 = 9, kSampleInt32MSB20 = 10, kSampleInt32MSB24 = 11,
    kSampleInt16LSB = 16, kSampleInt24LSB = 17, kSampleInt32LSB = 18,
    kSampleFloat32LSB = 19, kSampleFloat64LSB = 20,
    kSampleInt32LSB16 = 24, kSampleInt32LSB18 = 25, kSampleInt32LSB20 = 26, kSampleInt32LSB24 = 27,
};

struct ODriverBufferInfo {
    bool isInput = false;
    int32_t channel = 0;
    void* buffers[2] = {nullptr, nullptr};  // double buffer; the driver fills them in
};

struct ODriverChannelInfo {
    int32_t channel = 0;
    bool isInput = false;
    int32_t type = -1;
    char name[32] = "None";
};

struct ODriverCallbacks {
    // Driver thread: buffers[index] of every buffer info are due, `frames` long.
    void (*bufferSwitch)(int32_t index, int32_t frames, bool directProcess) = nullptr;
    void (*sampleRateChanged)(double rate) = nullptr;
    int32_t (*messages)(int32_t selector, int32_t value) = nullptr;
};

class OAudioDriver {
public:
    virtual ~OAudioDriver() = default;

    // The driver's own name; errorText (124 bytes) receives why init failed.
    virtual bool Init(char* name32, char* errorText124) = 0;
    virtual void Exit() = 0;
    virtual int32_t Start() = 0;
    // When it returns no buffer switch runs and none will.
    virtual int32_t Stop() = 0;
    virtual int32_t GetChannels(int32_t& inputs, int32_t& outputs) = 0;
    virtual int32_t GetLatencies(int32_t& input, int32_t& output) = 0;
    virtual int32_t GetBufferSize(int32_t& minimum, int32_t& maximum, int32_t& preferred,
                                  int32_t& granularity) = 0;
    virtual int32_t GetSampleRate(double& rate) = 0;
    virtual int32_t SetSampleRate(double rate) = 0;
    virtual int32_t GetSamplePosition(int64_t& position, int64_t& systemTimeNs) = 0;
    virtual int32_t GetChannelInfo(ODriverChannelInfo& info) = 0;
    // The infos stay the caller's until DisposeBuffers; the driver writes the
    // buffer pointers into them.
    virtual int32_t CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t frames,
                                  const ODriverCallbacks& callbacks) = 0;
    virtual int32_t DisposeBuffers() = 0;
    virtual int32_t ControlPanel() = 0;
    virtual int32_t OutputReady() = 0;
    // True once the device went away under the driver (a server that
    // stopped): no buffer switch comes any more, and only Exit is left to
    // do. Any thread.
    virtual bool IsLost() const { return false; }
};

} // namespace os
