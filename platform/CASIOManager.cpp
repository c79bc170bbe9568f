#include "platform/CASIOManager.h"

#include <bit>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/CSynth.h"
#include "os/InitOrder.h"
#include "os/OAudioDriver.h"
#include "os/OJackClient.h"
#include "platform/CASIODriverList.h"
#include "platform/CDebug.h"
#include "platform/CMIDIDevices.h"

using namespace os;

namespace {

constexpr int32_t kMaxBufferInfos = 64;

// The driver's set-up, line by line, for the diagnostic log only: standard
// output belongs to what the program says to its user.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogLine(const char* format, ...) {
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    CDebug::Log(line);
}

// What the host knows of the loaded driver.
struct ASIOHostInfo {
    char driverName[32] = {};
    char errorMessage[124] = {};
    void* systemReference = nullptr;
    int32_t inputChannels = 0;
    int32_t outputChannels = 0;
    int32_t minSize = 0, maxSize = 0, preferredSize = 0, granularity = 0;
    double sampleRate = 0.0;
    bool outputReady = false;
    int32_t inputLatency = 0, outputLatency = 0;
    int32_t inputBuffers = 0, outputBuffers = 0;
    ODriverBufferInfo bufferInfos[kMaxBufferInfos];
    ODriverChannelInfo channelInfos[kMaxBufferInfos];
    int64_t samplePosition = 0, systemTime = 0;
    bool timeValid = false;
};

ASIOHostInfo g_ASIOHostInfo;

OAudioDriver* Driver() { return CASIODriverList::Loaded(); }

#define ASIO_CALL(expr) (Driver() ? Driver()->expr : kDriverNotPresent)

bool ASIOInit(ASIOHostInfo& info) {
    std::snprintf(info.errorMessage, sizeof info.errorMessage, "No ASIO Driver");
    if (!Driver()) return false;
    if (!Driver()->Init(info.driverName, info.errorMessage)) return false;
    std::snprintf(info.errorMessage, sizeof info.errorMessage, "No ASIO Driver Error");
    return true;
}
void ASIOExit() { if (Driver()) Driver()->Exit(); }
int32_t ASIOStart() { return ASIO_CALL(Start()); }
int32_t ASIOStop() { return ASIO_CALL(Stop()); }
int32_t ASIODisposeBuffers() { return ASIO_CALL(DisposeBuffers()); }
int32_t ASIOSetSampleRate(double rate) { return ASIO_CALL(SetSampleRate(rate)); }
int32_t ASIOGetSampleRate(double& rate) { return ASIO_CALL(GetSampleRate(rate)); }
int32_t ASIOOutputReady() { return ASIO_CALL(OutputReady()); }
int32_t ASIOGetChannelInfo(ODriverChannelInfo& info) {
    if (!Driver()) {
        info.type = -1;
        std::snprintf(info.name, sizeof info.name, "None");
        return kDriverNotPresent;
    }
    return Driver()->GetChannelInfo(info);
}

int32_t ASIOMessages(int32_t selector, int32_t value) {
    switch (selector) {
    case 1: return (value == 2 || value == 3 || (value >= 5 && value <= 9)) ? 1 : 0;
    case 2: return 2;
    case 3: case 5: case 6: case 7: return 1;
    default: return 0;
    }
}

void SampleRateChanged(double) {}

void BufferSwitchTimeInfo(int32_t index, int32_t frames) {
    ASIOHostInfo& h = g_ASIOHostInfo;
    ODriverBufferInfo* outs[2] = {};
    int32_t types[2] = {-1, -1};
    int found = 0;
    for (int32_t i = 0; i < h.inputBuffers + h.outputBuffers && found < 2; ++i) {
        if (h.bufferInfos[i].isInput) continue;
        outs[found] = &h.bufferInfos[i];
        types[found] = h.channelInfos[i].type;
        ++found;
    }
    if (found < 2 || index < 0 || index > 1) return;
    // MIDI events are placed against the time this buffer is due, where
    // the driver tells one.
    CSynth* synth = g_ASIOManager.GetSynth();
    if (h.timeValid && h.systemTime != 0 && synth)
        synth->SetRenderStartTime(static_cast<uint32_t>(static_cast<uint64_t>(h.systemTime / 1000)));
    g_ASIOManager.RenderAndConvert(outs[0]->buffers[index], outs[1]->buffers[index], frames, types[0]);
    // What the render sent out goes at the frames of the blocks that played
    // it, where the driver's cycle takes MIDI too.
    if (synth && os::OJackClient::InRenderCycle()) g_MIDIDevices.FlushInCycle(frames, synth->GetHeldOverCount());
    if (h.outputReady) ASIOOutputReady();
}

void BufferSwitch(int32_t index, int32_t frames, bool) {
    ASIOHostInfo& h = g_ASIOHostInfo;
    h.timeValid = Driver() && Driver()->GetSamplePosition(h.samplePosition, h.systemTime) == kDriverOK;
    BufferSwitchTimeInfo(index, frames);
}

int32_t InitASIOStaticData(ASIOHostInfo& h) {
    if (ASIO_CALL(GetChannels(h.inputChannels, h.outputChannels)) != kDriverOK) return -1;
    LogLine("ASIOGetChannels (inputs: %d, outputs: %d);", int(h.inputChannels), int(h.outputChannels));
    if (ASIO_CALL(GetBufferSize(h.minSize, h.maxSize, h.preferredSize, h.granularity)) != kDriverOK) return -2;
    LogLine("ASIOGetBufferSize (min: %d, max: %d, preferred: %d, granularity: %d);", int(h.minSize),
            int(h.maxSize), int(h.preferredSize), int(h.granularity));
    if (ASIOGetSampleRate(h.sampleRate) != kDriverOK) return -3;
    if (!(h.sampleRate > 0.0 && h.sampleRate <= 96000.0)) {
        ASIOSetSampleRate(44100.0);
        if (ASIOGetSampleRate(h.sampleRate) != kDriverOK) return -5;
    }
    LogLine("ASIOGetSampleRate (sampleRate: %f);", h.sampleRate);
    h.outputReady = ASIOOutputReady() == kDriverOK;
    LogLine("ASIOOutputReady(); - %s", h.outputReady ? "Supported" : "Not supported");
    return 0;
}

bool CreateASIOBuffers(ASIOHostInfo& h, const ODriverCallbacks& callbacks) {
    // Both channels of the render need a buffer.
    if (h.outputChannels < 2) return false;
    h.inputBuffers = std::min<int32_t>(32, h.inputChannels);
    h.outputBuffers = std::min<int32_t>(32, h.outputChannels);
    int32_t n = 0;
    for (int32_t i = 0; i < h.inputBuffers; ++i) h.bufferInfos[n++] = ODriverBufferInfo{true, i, {}};
    for (int32_t i = 0; i < h.outputBuffers; ++i) h.bufferInfos[n++] = ODriverBufferInfo{false, i, {}};
    if (ASIO_CALL(CreateBuffers(h.bufferInfos, n, h.preferredSize, callbacks)) != kDriverOK) return false;
    for (int32_t i = 0; i < n; ++i) {
        h.channelInfos[i] = ODriverChannelInfo{};
        h.channelInfos[i].channel = h.bufferInfos[i].channel;
        h.channelInfos[i].isInput = h.bufferInfos[i].isInput;
        if (ASIOGetChannelInfo(h.channelInfos[i]) != kDriverOK) return false;
    }
    if (ASIO_CALL(GetLatencies(h.inputLatency, h.outputLatency)) == kDriverOK) {
        LogLine("ASIOGetLatencies (input: %d, output: %d);", int(h.inputLatency), int(h.outputLatency));
    }
    return true;
}

void ReleaseDriver() {
    if (CASIODriverList::Loaded()) CASIODriverList::Get().RemoveCurrentDriver();
}

// Opens the named driver at `rate`. A driver that keeps to another of the
// engine's rates takes the engine there (so pitch stays right); one at a
// rate the engine cannot run at is refused.
bool OpenASIO(void* window, CSynth* synth, int32_t& rate, char* nameOut) {
    ASIOHostInfo& h = g_ASIOHostInfo;
    h = ASIOHostInfo{};
    if (!LoadASIODriver(nameOut)) return false;
    h.systemReference = window;
    if (!ASIOInit(h)) {
        ReleaseDriver();
        return false;
    }
    bool ok = InitASIOStaticData(h) == 0;
    if (ok && ASIOSetSampleRate(rate) != kDriverOK) {
        const int32_t driverRate = static_cast<int32_t>(h.sampleRate);
        ok = IsSupportedSampleRate(driverRate) && h.sampleRate == driverRate && synth;
        if (ok) {
            synth->SetSampleRate(static_cast<float>(driverRate));
            rate = driverRate;
            ok = ASIOSetSampleRate(rate) == kDriverOK;
        }
    }
    const ODriverCallbacks callbacks{&BufferSwitch, &SampleRateChanged, &ASIOMessages};
    ok = ok && CreateASIOBuffers(h, callbacks);
    if (ok && ASIOStart() != kDriverOK) {
        ASIODisposeBuffers();
        ok = false;
    }
    if (!ok) {
        ASIOExit();
        ReleaseDriver();
        return false;
    }
    std::snprintf(nameOut, 64, "%.31s", h.driverName);
    return true;
}

void CloseASIO() {
    // Stop returns once no buffer switch runs; only then do the buffers go.
    ASIOStop();
    ASIODisposeBuffers();
    ASIOExit();
    ReleaseDriver();
}

// Integer conversions saturate: full scale is below the type's limit, and a
// louder sample must not wrap to the opposite sign.
int32_t Saturate(double v, double lo, double hi) {
    if (std::isnan(v)) return 0;
    if (v <= lo) return static_cast<int32_t>(lo);
    if (v >= hi) return static_cast<int32_t>(hi);
    return static_cast<int32_t>(v);
}

void PutBytes(uint8_t* p, uint64_t bits, int bytes, bool msb) {
    for (int i = 0; i < bytes; ++i) p[msb ? bytes - 1 - i : i] = static_cast<uint8_t>(bits >> (8 * i));
}

// Bytes per sample of a type, 0 for a type not written.
int SampleBytes(int32_t type) {
    switch (type) {
    case kSampleInt16LSB: case kSampleInt16MSB: return 2;
    case kSampleInt24LSB: case kSampleInt24MSB: return 3;
    case kSampleInt32LSB: case kSampleInt32MSB: case kSampleFloat32LSB: case kSampleFloat32MSB: return 4;
    case kSampleFloat64LSB: case kSampleFloat64MSB: return 8;
    default:
        if ((type >= kSampleInt32LSB16 && type <= kSampleInt32LSB24) ||
            (type >= kSampleInt32MSB16 && type <= kSampleInt32MSB24))
            return 4;
        return 0;
    }
}

void Convert(const float* in, uint8_t* out, int32_t frames, int32_t type) {
    const int bytes = SampleBytes(type);
    const bool msb = type < kSampleInt16LSB;
    const int32_t base = msb ? type : type - kSampleInt16LSB;  // LSB types mirror the MSB ones + 16
    for (int32_t i = 0; i < frames; ++i) {
        const double s = in[i];
        uint64_t bits = 0;
        switch (base) {
        case 0: bits = static_cast<uint16_t>(Saturate(s * 32000.0, -32768.0, 32767.0)); break;
        case 1: bits = static_cast<uint32_t>(Saturate(s * 8300000.0, -8388608.0, 8388607.0)); break;
        case 2: bits = static_cast<uint32_t>(Saturate(s * 2100000000.0, -2147483648.0, 2147483647.0)); break;
        case 3: bits = std::bit_cast<uint32_t>(in[i]); break;
        case 4: bits = std::bit_cast<uint64_t>(s); break;
        default: {
            static constexpr int kShift[4] = {16, 14, 12, 8};
            const int32_t v = Saturate(s * 2100000000.0, -2147483648.0, 2147483647.0);
            bits = static_cast<uint32_t>(v >> kShift[base - 8]);
            break;
        }
        }
        PutBytes(out + static_cast<size_t>(i) * bytes, bits, bytes, msb);
    }
}

} // namespace

CASIOManager g_ASIOManager ZAVO_INIT(ZAVO_PRIO_DEVICES);

bool IsSupportedSampleRate(int32_t rate) {
    for (int32_t r : {22050, 32000, 44100, 48000, 88200, 96000})
        if (r == rate) return true;
    return false;
}

CASIOManager::CASIOManager() {
    std::memset(m_left, 0, sizeof m_left);
    std::memset(m_right, 0, sizeof m_right);
}

// A driver left open at exit would call into a synthesizer that is gone.
CASIOManager::~CASIOManager() { Close(); }

bool CASIOManager::Open(void* window, CSynth* synth, int32_t rate) {
    Close();
    m_synth = synth;
    if (!OpenASIO(window, synth, rate, m_driverName)) return false;
    m_sampleRate = rate;
    m_open = true;
    return true;
}

void CASIOManager::Close() {
    if (!m_open) return;
    CloseASIO();
    m_open = false;
}

void CASIOManager::CloseFor(const CSynth* synth) {
    if (!synth || m_synth != synth) return;
    Close();
    m_synth = nullptr;
}

bool CASIOManager::IsLost() const { return m_open && Driver() && Driver()->IsLost(); }

void CASIOManager::SetDriverName(const char* name) {
    std::snprintf(m_driverName, sizeof m_driverName, "%s", name ? name : "");
}

bool CASIOManager::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    return ASIOSetSampleRate(rate) == kDriverOK;
}

int32_t CASIOManager::GetDriverRate() {
    double rate = 0.0;
    return ASIOGetSampleRate(rate) == kDriverOK ? static_cast<int32_t>(rate) : 0;
}

void CASIOManager::OpenControlPanel() { ASIO_CALL(ControlPanel()); }

bool GetASIODriverName(int32_t index, char* out) {
    CASIODriverList& list = CASIODriverList::Get();
    if (!out || index < 0 || index >= list.Count()) return false;
    return list.GetDriverName(index, out, 64) == 0;
}

void CASIOManager::RenderAndConvert(void* outLeft, void* outRight, int32_t frames, int32_t sampleType) {
    const int bytes = SampleBytes(sampleType);
    if (bytes == 0 || !outLeft || !outRight || frames <= 0) return;
    auto* left = static_cast<uint8_t*>(outLeft);
    auto* right = static_cast<uint8_t*>(outRight);
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(frames - done, kMaxFrames);
        float* outputs[2] = {m_left, m_right};
        if (m_synth)
            m_synth->Process(nullptr, outputs, n);
        else {
            std::memset(m_left, 0, sizeof(float) * n);
            std::memset(m_right, 0, sizeof(float) * n);
        }
        Convert(m_left, left + static_cast<size_t>(done) * bytes, n, sampleType);
        Convert(m_right, right + static_cast<size_t>(done) * bytes, n, sampleType);
        done += n;
    }
}
