#include "engine/CEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/CTLLFOWaves.h"
#include "engine/CTLParameter.h"
#include "engine/CTLShapes.h"
#include "platform/CDebug.h"

namespace {

// The voices' wave rings are process-wide: one row of 2048 floats per voice
// in each of the three arrays.
float g_VoiceRings[3][CEngine::kVoices][CEngine::kWaveRing];

template <typename T, size_t N>
void Zero(T (&a)[N]) {
    std::memset(a, 0, sizeof(a));
}

constexpr float kReverbMatrix[6][6] = {
    {0.0f, 0.666f, 0.0f, -0.333f, 0.0f, 0.666f},
    {0.666f, 0.0f, -0.333f, 0.0f, 0.666f, 0.0f},
    {0.0f, 0.666f, 0.0f, 0.666f, 0.0f, -0.333f},
    {0.0f, -0.333f, 0.0f, 0.666f, 0.0f, 0.666f},
    {0.666f, 0.0f, 0.666f, 0.0f, -0.333f, 0.0f},
    {-0.333f, 0.0f, 0.666f, 0.0f, 0.666f, 0.0f},
};

// Start phases of the three oscillators after a reset (25-bit phases).
constexpr int32_t kResetPhase[3] = {0x147980, 0x341200, 0x0A7080};

bool ValidPart(int part) { return part >= 0 && part < CEngine::kParts; }

} // namespace

CEngine::CEngine() {
    g_TLLFOWaves.Build();
    g_TLParameter.Build();
    g_TLShapes.Build();
    for (auto& flag : partLoading)
        flag.store(0, std::memory_order_relaxed);
    Zero(partMix);
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < kVoices; ++v)
            voiceRing[k][v] = g_VoiceRings[k][v];
    Zero(noiseSeed);
    Zero(pinkState);
    Zero(partMeters);
    std::memcpy(reverbMatrix, kReverbMatrix, sizeof(reverbMatrix));
    Zero(reverbDamping);
    ClearAllEffectLines();
    for (auto& f : terrainFilters)
        f = new CTerrainFilter();
}

CEngine::~CEngine() {
    for (auto& f : terrainFilters) {
        delete f;
        f = nullptr;
    }
}

void CEngine::Init() {
    data.Reset();
    InitVoiceNoise();
    InitVoiceBuffers();
}

void CEngine::ResetVoice(int voice) {
    data.voiceState[voice] = CEngineData::kVoiceIdle;
    // Oscillator, filter, envelope and effect state all live in the two
    // records; clearing them whole and then restoring the start values is
    // the reset.
    std::fill(data.voiceControl[voice], data.voiceControl[voice] + CEngineData::kVoiceControlCells, 0u);
    std::fill(data.voiceAudio[voice], data.voiceAudio[voice] + CEngineData::kVoiceAudioCells, 0u);
    for (int k = 0; k < 3; ++k)
        data.SetAudioI(voice, 118 + k, kResetPhase[k]);
    data.InitVoice(voice);
    ClearVoiceBuffers(voice);
}

void CEngine::ResetPart(int part) {
    const bool all = !ValidPart(part);
    for (int p = 0; p < kParts; ++p) {
        if (!all && p != part)
            continue;
        for (auto& line : partModDelay)
            std::fill(line[p], line[p] + kShortLine, 0.0f);
        std::fill(partDelayLeft[p], partDelayLeft[p] + kPartDelayLine, 0.0f);
        std::fill(partDelayRight[p], partDelayRight[p] + kPartDelayLine, 0.0f);
        std::fill(partMix[p], partMix[p] + 128, 0.0f);
        for (int id = 0; id < 64; ++id)
            data.SetPartF(p, id, data.partTargets[p][id]);
    }
    // The master reverb and chorus keep their tails: a voice-count change
    // resets every part, and cutting the room's tail there would click.
    const int inUse = std::clamp(data.voicesInUse, 0, kVoices);
    for (int v = 0; v < inUse; ++v)
        if (all || data.voicePart[v] == part)
            ResetVoice(v);
    data.globalValues[CEngineData::kGlideCell] = 1.0f;
}

void CEngine::ClearAllEffectLines() {
    Zero(reverbLines);
    Zero(allpassLines);
    Zero(chorusLines);
    Zero(partModDelay);
    Zero(partDelayLeft);
    Zero(partDelayRight);
}

void CEngine::ClearVoiceBuffers(int voice) {
    if (voice < 0 || voice >= kVoices)
        return;
    for (auto& ring : voiceRing)
        std::fill(ring[voice], ring[voice] + kWaveRing, 0.0f);
    // The multi-sample scratch pairs are the oscillators' buffered output.
    for (int cell = 351; cell <= 356; ++cell)
        data.SetAudioF(voice, cell, 0.0f);
}

void CEngine::InitVoiceBuffers() {
    for (int v = 0; v < kVoices; ++v) {
        for (int k = 0; k < 3; ++k)
            voiceRing[k][v] = g_VoiceRings[k][v];
        ClearVoiceBuffers(v);
    }
}

void CEngine::InitVoiceNoise() {
    uint32_t seed = kNoiseSeed;
    for (int v = 0; v < kVoices; ++v) {
        noiseSeed[v] = seed;
        seed += kNoiseSeedStep;
    }
}

void CEngine::ResetVoiceNoise(int voice) {
    if (voice < 0 || voice >= kVoices)
        return;
    noiseSeed[voice] = kNoiseSeed;
    for (auto& state : pinkState)
        state[voice] = 0.0f;
}

void CEngine::ClearVoiceState(int voice) {
    if (voice < 0 || voice >= kVoices)
        return;
    // Phases and increments of the three oscillators, their pulse offsets
    // and the oscillator and filter states.
    for (int cell : {1, 2, 3, 4, 7, 8, 13, 14})
        data.SetAudioI(voice, cell, 0);
    for (int cell = 118; cell <= 143; ++cell)
        data.voiceAudio[voice][cell] = 0u;
    for (int cell = 153; cell <= 168; ++cell)
        data.voiceAudio[voice][cell] = 0u;
    smoothPole = 0.995f;
    smoothGain = 0.005f;
    data.voiceControl[voice][241] = data.voiceControl[voice][16];
    data.voiceControl[voice][242] = data.voiceControl[voice][32];
}

void CEngine::RestartSyncedLFOs(int part) {
    if (!ValidPart(part))
        return;
    static constexpr int kSyncCell[4] = {216, 220, 224, 228};
    for (int v = 0; v < kVoices; ++v) {
        if (data.voicePart[v] != part)
            continue;
        for (int n = 0; n < 4; ++n)
            if (data.PartI(part, kSyncCell[n]) == 1)
                data.SetControlI(v, 111 + n, 0x1000000);
    }
}

void CEngine::ResetVoiceModValues(int voice) {
    if (voice < 0 || voice >= kVoices)
        return;
    data.SetControlF(voice, 93, 1e-8f);
    data.SetControlF(voice, 94, 1e-8f);
}

int32_t CEngine::TogglePartMute(int part) {
    if (!ValidPart(part))
        return 0;
    const int32_t muted = data.SettingI(part, CEngineData::kSetMute) == 0 ? 1 : 0;
    data.SetSettingI(part, CEngineData::kSetMute, muted);
    return muted;
}

bool CEngine::SavePartMultiSamples(int part, std::string* failures) {
    if (!ValidPart(part))
        return false;
    bool result = true;
    for (int osc = 0; osc < kOscillators; ++osc)
        if (!MultiSample(part, osc).Save(failures))
            result = false;
    return result;
}

void CEngine::DumpVoice() const {
    // Diagnostic for the GUI thread only: the log opens a file per line.
    char line[64];
    for (int cell = 0; cell < CEngineData::kVoiceAudioCells; ++cell) {
        std::snprintf(line, sizeof(line), "%3d : %f %d", cell, data.AudioF(0, cell), data.AudioI(0, cell));
        CDebug::Log(line);
    }
}

void CEngine::ResetMeters() {
    for (auto& part : partMeters)
        for (float& meter : part) WriteMeter(meter, 0.0f);
    WriteMeter(masterMeterLeft, 0.0f);
    WriteMeter(masterMeterRight, 0.0f);
    data.globalValues[CEngineData::kGlobMeterLeft] = 0.0f;
    data.globalValues[CEngineData::kGlobMeterRight] = 0.0f;
}

float CEngine::LevelToMeter(float level) {
    if (!(level >= 0.001f))
        return 0.0f;
    const float y = (20.0f * std::log10(level) + 64.0f) / 64.0f;
    return std::clamp(y * y, 0.0f, 1.0f);
}

float CEngine::GetFilter1InputMeter(int part) const {
    return ValidPart(part) ? LevelToMeter(ReadMeter(partMeters[part][0])) : 0.0f;
}

float CEngine::GetFilter2InputMeter(int part) const {
    return ValidPart(part) ? LevelToMeter(ReadMeter(partMeters[part][1])) : 0.0f;
}

float CEngine::GetPartOutputMeter(int part) const {
    return ValidPart(part) ? LevelToMeter(ReadMeter(partMeters[part][3])) : 0.0f;
}
