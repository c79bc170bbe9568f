#include "os/OJackDriver.h"

#include "os/OJackClient.h"

#include <jack/jack.h>

#include <cstdio>
#include <string>

namespace os {

namespace {

OJackClient& Client() { return OJackClient::Instance(); }

} // namespace

OJackDriver::~OJackDriver() { Exit(); }

bool OJackDriver::Init(char* name32, char* errorText124) {
    if (m_open != 0 && !Client().IsGone(m_open)) return true;
    std::string error;
    m_open = Client().OpenForAudio(error);
    m_buffers = false;
    if (m_open == 0) {
        if (errorText124) std::snprintf(errorText124, 124, "%s", error.c_str());
        return false;
    }
    if (name32) std::snprintf(name32, 32, "%s", kName);
    return true;
}

void OJackDriver::Exit() {
    if (m_open == 0) return;
    Stop();
    DisposeBuffers();
    m_open = 0;
}

bool OJackDriver::IsLost() const { return m_open != 0 && Client().IsGone(m_open); }

int32_t OJackDriver::Start() {
    if (m_open == 0) return kDriverNotPresent;
    return Client().StartAudio(m_open);
}

int32_t OJackDriver::Stop() {
    if (m_open == 0) return kDriverNotPresent;
    Client().StopAudio(m_open);
    return kDriverOK;
}

int32_t OJackDriver::GetChannels(int32_t& inputs, int32_t& outputs) {
    if (!Client().ClientOf(m_open)) return kDriverNotPresent;
    inputs = 0;
    outputs = OJackClient::kAudioOutputs;
    return kDriverOK;
}

int32_t OJackDriver::GetLatencies(int32_t& input, int32_t& output) {
    jack_client_t* client = Client().ClientOf(m_open);
    if (!client) return kDriverNotPresent;
    input = 0;
    output = static_cast<int32_t>(jack_get_buffer_size(client));
    if (jack_port_t* port = Client().AudioPort(0)) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(port, JackPlaybackLatency, &range);
        output += static_cast<int32_t>(range.max);
    }
    return kDriverOK;
}

int32_t OJackDriver::GetBufferSize(int32_t& minimum, int32_t& maximum, int32_t& preferred,
                                   int32_t& granularity) {
    jack_client_t* client = Client().ClientOf(m_open);
    if (!client) return kDriverNotPresent;
    // The server decides; each cycle brings its own frame count anyway.
    minimum = maximum = preferred = static_cast<int32_t>(jack_get_buffer_size(client));
    granularity = 0;
    return kDriverOK;
}

int32_t OJackDriver::GetSampleRate(double& rate) {
    jack_client_t* client = Client().ClientOf(m_open);
    if (!client) return kDriverNotPresent;
    rate = jack_get_sample_rate(client);
    return kDriverOK;
}

int32_t OJackDriver::SetSampleRate(double rate) {
    jack_client_t* client = Client().ClientOf(m_open);
    if (!client) return kDriverNotPresent;
    // A client cannot change the server's rate: only that rate is accepted.
    return rate == static_cast<double>(jack_get_sample_rate(client)) ? kDriverOK : kDriverNoClock;
}

// Process thread: the cycle's first frame and the time it falls at, which
// MIDI events played in the same cycle are measured against.
int32_t OJackDriver::GetSamplePosition(int64_t& position, int64_t& systemTimeNs) {
    if (m_open == 0) return kDriverNotPresent;
    const OJackClient::CycleTime& cycle = Client().CurrentCycle();
    position = cycle.FirstFrame();
    systemTimeNs = cycle.At(0) * 1000;
    return kDriverOK;
}

int32_t OJackDriver::GetChannelInfo(ODriverChannelInfo& info) {
    if (!Client().ClientOf(m_open)) return kDriverNotPresent;
    if (info.isInput || info.channel < 0 || info.channel >= OJackClient::kAudioOutputs) return kDriverInvalidParameter;
    info.type = kSampleFloat32LSB;
    std::snprintf(info.name, sizeof info.name, "out_%d", int(info.channel) + 1);
    return kDriverOK;
}

int32_t OJackDriver::CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t /*frames*/,
                                   const ODriverCallbacks& callbacks) {
    if (m_open == 0) return kDriverNotPresent;
    if (m_buffers) return kDriverInvalidMode;
    if (!infos || count <= 0 || !callbacks.bufferSwitch) return kDriverInvalidParameter;
    for (int32_t i = 0; i < count; ++i)
        if (infos[i].isInput || infos[i].channel < 0 || infos[i].channel >= OJackClient::kAudioOutputs)
            return kDriverInvalidParameter;
    const int32_t result = Client().RegisterAudio(m_open, infos, count, callbacks);
    m_buffers = result == kDriverOK;
    return result;
}

int32_t OJackDriver::DisposeBuffers() {
    if (m_open == 0) return kDriverNotPresent;
    Client().DisposeAudio(m_open);
    m_buffers = false;
    return kDriverOK;
}

int32_t OJackDriver::ControlPanel() {
    // The server's settings belong to the server's own tools.
    return m_open != 0 ? kDriverOK : kDriverNotPresent;
}

int32_t OJackDriver::OutputReady() { return kDriverNotPresent; }

} // namespace os
