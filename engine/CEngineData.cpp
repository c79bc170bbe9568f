#include "engine/CEngineData.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

template <typename T, size_t N>
void Zero(T (&a)[N]) {
    std::memset(a, 0, sizeof(a));
}

} // namespace

CEngineData::CEngineData() {
    waves.Init();
    voicesInUse = 0;
    blockCounter = 0;
    Zero(voicePart);
    std::fill(std::begin(voiceState), std::end(voiceState), kVoiceIdle);
    Zero(partActive);
    Zero(globalTargets);
    Zero(globalValues);
    Zero(globalWork);
    Zero(partMixerTargets);
    Zero(partSettings);
    Zero(partTargets);
    Zero(partRecord);
    Zero(partWork);
    Zero(voiceControl);
    Zero(voiceAudio);
    for (int v = 0; v < kVoices; ++v)
        InitVoice(v);
}

CEngineData::~CEngineData() = default;

void CEngineData::Reset() {
    blockCounter = 0;
    // Every voice goes back to part 0 with a zero state; the render lets such
    // voices count their quiet blocks and frees them.
    Zero(voicePart);
    Zero(voiceState);
    Zero(globalTargets);
    Zero(globalValues);
    globalTargets[6] = 1.0f;
    globalTargets[7] = 0.5f;
    globalTargets[8] = 0.5f;
    globalValues[kGlideCell] = 1.0f;

    Zero(partSettings);
    for (int p = 0; p < kParts; ++p) {
        partMixerTargets[p][0] = 0.0f;
        partMixerTargets[p][1] = 0.0f;
        partMixerTargets[p][2] = 1.0f;
        partMixerTargets[p][3] = 0.5f;
        SetSettingI(p, kSetMidiChannel, p);
        partActive[p] = -1;
    }
    SetSettingI(0, kSetVoiceCount, 4);
    voicesInUse = 4;
    partActive[0] = 0;

    Zero(partTargets);
    for (int p = 0; p < kParts; ++p) {
        // Cells 512 and up (partials, curves, sequencer data) keep their values.
        std::fill(partRecord[p], partRecord[p] + kPartTargets, 0u);
        for (int id : {155, 163, 172, 269, 325, 333})
            SetPartI(p, id, 0);
        SetPartI(p, 182, kDefaultTable);
        SetPartF(p, 708, 1.0f);
        for (int id : {190, 197, 204, 211})
            SetPartF(p, id, 0.222353f);
    }

    Zero(voiceControl);
    Zero(voiceAudio);
    for (int v = 0; v < kVoices; ++v) {
        SetAudioI(v, 172, 0);
        SetAudioF(v, 173, 0.0f);
        SetAudioF(v, 174, 0.0f);
        InitVoice(v);
    }
}

void CEngineData::InitVoice(int voice) {
    if (voice < 0 || voice >= kVoices)
        return;
    for (int cell = 115; cell <= 117; ++cell)
        SetAudioI(voice, cell, kDefaultTable);
    // Six spectral sub-oscillator groups of 13 cells from 202; their table
    // references Y1, X1, Y2, X2 are cells 6..9 of a group.
    for (int g = 0; g < 6; ++g)
        for (int k = 6; k <= 9; ++k)
            SetAudioI(voice, 202 + g * 13 + k, kDefaultTable);
}

void CEngineData::ClearVoiceRecords(int voice) {
    std::fill(voiceControl[voice], voiceControl[voice] + kVoiceControlCells, 0u);
    std::fill(voiceAudio[voice], voiceAudio[voice] + kVoiceAudioCells, 0u);
    InitVoice(voice);
}

void CEngineData::ClearPartVoices(int part) {
    if (part >= kParts)
        return;
    for (int v = 0; v < kVoices; ++v)
        if (part < 0 || voicePart[v] == part)
            ClearVoiceRecords(v);
    for (int p = 0; p < kParts; ++p)
        if (part < 0 || p == part)
            std::fill(partTargets[p], partTargets[p] + 64, 0.0f);
}

int32_t CEngineData::GetPartValueInt(int part, int id) const {
    if (part < 0 || part >= kParts || id < 0 || id >= kPartCells)
        return 0;
    return PartI(part, id);
}

int32_t CEngineData::GetPartSetting(int part, int word) const {
    if (part < 0 || part >= kParts || word < 0 || word >= kSettingsWords)
        return 0;
    return SettingI(part, word);
}
