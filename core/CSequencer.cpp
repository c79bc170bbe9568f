#include "core/CSequencer.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "platform/CGlobalData.h"

namespace {

// The editor keeps the swing between 0 and 100 percent.
constexpr float kMaxSwing = 100.0f;

bool SupportedRate(uint32_t rate) {
    switch (rate) {
    case 22050: case 32000: case 44100: case 48000: case 88200: case 96000: return true;
    default: return false;
    }
}

// A decimal number from an 8-byte text field that need not be terminated;
// false when the field holds no number.
bool ParseField(const uint8_t* field, float& out) {
    char text[9] = {};
    std::memcpy(text, field, 8);
    const char* p = text;
    const char* end = text + std::strlen(text);
    while (p < end && *p == ' ') ++p;
    if (p < end && *p == '+') ++p;
    float v = 0.0f;
    auto [stop, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || stop == p) return false;
    out = v;
    return true;
}

}  // namespace

CSequencer::CSequencer(CSynth* s) : synth(s) { UpdateTempo(); }
CSequencer::~CSequencer() = default;
void CSequencer::SetSongList(CSongList* list) { songList = list; }
void CSequencer::Process(CArpeggiator*) {}
void CSequencer::UpdateMidiOutClock() {}
void CSequencer::UpdateTempo() {
    const int32_t sampleRate = std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
    const float rate = static_cast<float>(sampleRate);
    const float bpm = tempo.load();
    if (bpm <= 0.0f || rate <= 0.0f) return;
    const float perTick = rate * 60.0f / (bpm * 96.0f);
    samplesPerTick = perTick;
    ticksPerBlock = 96.0f * static_cast<float>(g_GlobalData.blockSize) * bpm / (60.0f * rate);
    if (synth && synth->midi)
        synth->midi->SetTempoClamped(perTick);
}
void CSequencer::Play() {}
void CSequencer::OnHostStart() {}
void CSequencer::Stop() {}
int CSequencer::GetPartFunction(int) const { return 0; }

bool CSequencer::ReadProject(const uint8_t* data, size_t size) {
    if (!data) size = 0;
    if (size >= kProjectHeadSize) {
        const uint32_t rate = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                              (uint32_t{data[2]} << 8) | data[3];
        if (SupportedRate(rate)) g_GlobalData.SetSampleRate(static_cast<int>(rate));
        float value = 0.0f;
        if (ParseField(data + 4, value) && value >= kMinTempo && value <= kMaxTempo) tempo = value;
        if (ParseField(data + 12, value) && value >= 0.0f && value <= kMaxSwing) swing = value;
        songLoop = data[20] != 0 ? 1 : 0;
        editorSetting = data[21];
        UpdateTempo();
    }
    // The part and pattern records are stepped over until the sequencer
    // plays patterns.
    if (size < kProjectSectionSize) return false;
    if (!songList) return false;
    return songList->ReadProject(data + kProjectSectionSize, size - kProjectSectionSize);
}

bool CSequencer::ReadProject(std::FILE* file) {
    std::vector<uint8_t> section(kProjectSectionSize + CSongList::kProjectSectionSize);
    const size_t got = file ? std::fread(section.data(), 1, section.size(), file) : 0;
    return ReadProject(section.data(), got);
}
