#pragma once
// The audio driver on a JACK server: the outputs "out_1" and "out_2"
// (Float32 LSB) of the program's one client (OJackClient), connected to the
// first two physical playback ports when it starts. The server sets the rate
// and the buffer size; each process cycle is one buffer switch with the
// cycle's frame count, after the cycle's MIDI was read. The driver holds
// nothing a callback of libjack's reaches: it goes without closing the
// client, which keeps the MIDI ports. Never starts a server.
#include <cstdint>

#include "os/OAudioDriver.h"

namespace os {

class OJackDriver : public OAudioDriver {
public:
    static constexpr const char* kName = "JACK";

    OJackDriver() = default;
    ~OJackDriver() override;

    bool Init(char* name32, char* errorText124) override;
    void Exit() override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetChannels(int32_t& inputs, int32_t& outputs) override;
    int32_t GetLatencies(int32_t& input, int32_t& output) override;
    int32_t GetBufferSize(int32_t& minimum, int32_t& maximum, int32_t& preferred,
                          int32_t& granularity) override;
    int32_t GetSampleRate(double& rate) override;
    int32_t SetSampleRate(double rate) override;
    int32_t GetSamplePosition(int64_t& position, int64_t& systemTimeNs) override;
    int32_t GetChannelInfo(ODriverChannelInfo& info) override;
    int32_t CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t frames,
                          const ODriverCallbacks& callbacks) override;
    int32_t DisposeBuffers() override;
    int32_t ControlPanel() override;
    int32_t OutputReady() override;
    bool IsLost() const override;

private:
    // The client's open this driver runs under; 0 before Init and after Exit.
    uint32_t m_open = 0;
    bool m_buffers = false;
};

} // namespace os
