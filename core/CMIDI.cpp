#include "core/CMIDI.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/CKeyboard.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "engine/CEngine.h"
#include "engine/CTLParameter.h"
#include "os/ORandom.h"

namespace {

// Voice control record cells.
constexpr int kCellKey = 73;
constexpr int kCellPitch = 74;
constexpr int kCellGain = 76;
constexpr int kCellGate = 78;
constexpr int kCellRetrigger = 80;
constexpr int kCellEgLevel[4] = {81, 83, 85, 87};
constexpr int kCellNoteValue = 94;
// Stage; target and delay counter follow it.
constexpr int kCellEgStage[4] = {95, 99, 103, 107};
constexpr int kCellLfoPhase = 111;
constexpr int kCellCutoffRequest1 = 126;
constexpr int kCellCutoffRequest2 = 134;
constexpr int kCellCurveA = 176;
constexpr int kCellCurveB = 177;
constexpr int kCellEgHold = 182;
constexpr int kCellFormantJump = 230;
constexpr int kCellMegOutput[3] = {250, 254, 258};
constexpr int kCellPressure = 266;
constexpr int kCellPressureA = 267;
constexpr int kCellPressureB = 268;
constexpr int kCellAltSign = 278;
constexpr int kCellRandomOffset = 279;

// Voice audio record cells.
constexpr int kAudioPhase = 118;
constexpr int kAudioDelayLength = 172;
constexpr int kAudioRestartCount = 196;
constexpr int kAudioSpectralPhase[6] = {207, 220, 233, 246, 259, 272};
constexpr int kAudioUnisonPhase = 303;
constexpr int kAudioUnisonDetune = 309;
constexpr int32_t kUnisonDetuneSteps[6] = {2696, 1214, 913, -721, -1301, -2801};

// Part record cells.
constexpr int kPartKeyScaledDetune = 151;
constexpr int kPartWaveform[3] = {155, 163, 172};
constexpr int kPartWaveguidePitch1 = 180;
constexpr int kPartWaveguidePitch2 = 181;
constexpr int kPartEgDelay[4] = {185, 192, 199, 206};
constexpr int kPartEgTrigger[4] = {191, 198, 205, 212};
constexpr int kPartLfoSync[4] = {216, 220, 224, 228};
constexpr int kPartPhaseSync = 260;
constexpr int kPartKeyPriority = 269;
constexpr int kPartModuleOff = 270;
constexpr int kPartArpMode = 334;
constexpr int kPartUnison = 340;
constexpr int kPartUnisonDetune = 341;
constexpr int kPartUnisonSpread = 357;
constexpr int kPartMegFreeRunning = 396;
constexpr int kPartMegFirstLevel[3] = {1216, 1344, 1472};

// Program record slots (semitones stored + 48).
constexpr int kSlotTranspose = 148;
constexpr int kSlotOscSemitones[3] = {153, 161, 170};

constexpr int32_t kMultiSampleWave = 65;
constexpr int32_t kEgStart = -1;
constexpr int32_t kEgRelease = 3;
constexpr int32_t kEgFinished = 4;
constexpr int32_t kTriggerKey = 0;
constexpr int32_t kTriggerKeyReset = 1;
constexpr int32_t kTriggerKeySingle = 2;
constexpr int32_t kTriggerFirstLfo = 3;
constexpr int32_t kPriorityLow = 1;
constexpr int32_t kPriorityHigh = 2;
constexpr float kSemitone = 0.0052083333f; // 1/192
constexpr float kQuiet = 1e-9f;

bool ValidPart(int part) { return part >= 0 && part < CMIDI::kParts; }
bool ValidVoice(int voice) { return voice >= 0 && voice < CMIDI::kVoices; }
bool ValidData(int value) { return value >= 0 && value < 128; }

// Truncation toward zero that cannot overflow: a wild amount in a record
// gives the largest increment, not undefined behaviour.
int32_t TruncToInt(double x) {
    if (std::isnan(x))
        return 0;
    return static_cast<int32_t>(std::clamp(std::trunc(x), -2147483648.0, 2147483647.0));
}

} // namespace

CMIDI::CMIDI(CEngine* e, CSynth* s) : engine(e), keyboard(nullptr), synth(s) {
    keyboard = new CKeyboard(engine ? &engine->data.partSettings[0][0] : nullptr);
    for (auto& a : channelActivity)
        a.store(0, std::memory_order_relaxed);
    activityHold.store(0, std::memory_order_relaxed);
    for (int p = 0; p < kParts; ++p) {
        lastVoice[p] = -1;
        unisonMemory[p] = false;
        alternating[p] = 0;
        tuningLoaded[p] = 0;
        modWheel[p] = 0.0f;
        pitchBend[p] = 0.5f;
        sustain[p] = 0;
    }
    for (int p = 0; p < kParts; ++p)
        for (int k = 0; k < kKeys; ++k)
            tuning[p][k] = static_cast<float>(k - 69) / 192.0f;
    LoadSettings();
}

CMIDI::~CMIDI() {
    delete keyboard;
}

// ---------------------------------------------------------------------------
// Helpers

int CMIDI::VoicesInUse() const {
    return std::clamp(engine->data.voicesInUse, 0, kVoices);
}

int CMIDI::PartChannel(int part) const {
    return engine->data.SettingI(part, CEngineData::kSetMidiChannel);
}

bool CMIDI::IsMono(int part) const {
    return engine->data.SettingI(part, CEngineData::kSetVoiceCount) == 1;
}

int32_t CMIDI::Unison(int part) const {
    return engine->data.PartI(part, kPartUnison);
}

bool CMIDI::IsValidMessage(uint32_t message) {
    const uint32_t status = message & 0xFF;
    if (status < 0x80)
        return false;
    if (status >= 0xF0)
        return true;
    const uint32_t kind = status & 0xF0;
    const uint32_t data1 = (message >> 8) & 0xFF;
    const uint32_t data2 = (message >> 16) & 0xFF;
    // Program change and channel pressure carry one data byte.
    if (kind == 0xC0 || kind == 0xD0)
        return data1 < 0x80;
    return data1 < 0x80 && data2 < 0x80;
}

bool CMIDI::PartTakesNote(int part, int key) {
    if (synth && synth->IsPartPatternDriven(part))
        return false;
    return keyboard->InPartRange(part, key);
}

uint32_t CMIDI::MakeNoteOn(int part, int key, int velocity) const {
    if (!ValidPart(part) || !ValidData(key) || !ValidData(velocity))
        return 0;
    const int channel = PartChannel(part);
    if (channel < 0 || channel > 15)
        return 0;
    return (0x90u | static_cast<uint32_t>(channel)) | static_cast<uint32_t>(key) << 8 |
           static_cast<uint32_t>(velocity) << 16;
}

uint32_t CMIDI::MakeNoteOff(int part, int key, int velocity) const {
    const uint32_t on = MakeNoteOn(part, key, velocity);
    return on ? on - 0x10u : 0;
}

// ---------------------------------------------------------------------------
// Block dispatch

void CMIDI::ProcessBlock() {
    // Notes the GUI thread played since the last block.
    CMIDIInputRing::Event event;
    while (guiRing.Pop(event)) {
        // The on-screen keyboard's keys show as held, as a MIDI input's do.
        RecordKey(event.message);
        Dispatch(event.message, event.noteValueB, event.timeStamp, event.flagA, event.flagB);
    }

    if (!queue.HasPending() && !realTimeQueue.HasPending())
        return;
    const int32_t block = static_cast<int32_t>(engine->data.blockCounter);
    uint32_t message = 0;
    // Every event of the block is pre-scanned before the first is handled,
    // so that voices for all of its note-ons are freed together.
    while (queue.PopForPreScan(block, message))
        PreScanMessage(message);
    while (realTimeQueue.PopForPreScan(block, message))
        PreScanMessage(message);

    int32_t noteValueB = -1;
    uint32_t stamp = 0;
    uint8_t flagA = 0;
    uint8_t flagB = 0;
    // The due events of both queues, earlier stamps first.
    for (;;) {
        uint32_t shared = 0;
        uint32_t realTime = 0;
        const bool fromShared = queue.NextDue(block, shared);
        const bool fromRealTime = realTimeQueue.NextDue(block, realTime);
        if (!fromShared && !fromRealTime)
            break;
        CMIDIQueue& from =
            fromShared && (!fromRealTime || static_cast<int32_t>(realTime - shared) >= 0) ? queue : realTimeQueue;
        // Should the queue take back what NextDue answered, the rest waits
        // for the next block rather than the audio thread spinning here.
        if (!from.Pop(block, message, noteValueB, stamp, flagA, flagB))
            break;
        if (!IsValidMessage(message))
            continue;
        RecordKey(message);
        Dispatch(message, noteValueB, stamp, flagA, flagB);
    }
}

void CMIDI::RecordKey(uint32_t message) {
    if (!IsValidMessage(message))
        return;
    const int status = static_cast<int>(message & 0xFF);
    const int channel = status & 0x0F;
    const int key = static_cast<int>((message >> 8) & 0x7F);
    const int velocity = static_cast<int>((message >> 16) & 0x7F);
    if ((status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0))
        keyboard->NoteOff(channel, key);
    else if ((status & 0xF0) == 0x90)
        keyboard->NoteOn(channel, key, static_cast<uint32_t>(velocity));
}

void CMIDI::PreScanMessage(uint32_t message) {
    if (!IsValidMessage(message))
        return;
    const int status = static_cast<int>(message & 0xFF);
    if (status >= 0xF0)
        return;
    const int channel = status & 0x0F;
    const int kind = status & 0xF0;
    if (kind != 0x80 && kind != 0x90)
        return;
    channelActivity[channel].store(1, std::memory_order_relaxed);
    activityHold.store(kActivityHold, std::memory_order_relaxed);
    const int key = static_cast<int>((message >> 8) & 0x7F);
    const int velocity = static_cast<int>((message >> 16) & 0x7F);
    for (int p = 0; p < kParts; ++p) {
        // Only parts that will get the note make room for it: a note for the
        // other half of a split keyboard must not cut this half's notes.
        if (PartChannel(p) != channel || !PartTakesNote(p, key))
            continue;
        HandleNote(p, status, key, velocity);
    }
}

bool CMIDI::RouteMessage(uint32_t message, int32_t noteValueB, uint32_t timeStamp, uint8_t flagA,
                         uint8_t flagB) {
    CMIDIInputRing::Event event;
    event.message = message;
    event.noteValueB = noteValueB;
    event.timeStamp = timeStamp;
    event.flagA = flagA;
    event.flagB = flagB;
    return guiRing.Push(event);
}

void CMIDI::Dispatch(uint32_t message, int32_t noteValueB, uint32_t timeStamp, uint8_t flagA,
                     uint8_t flagB) {
    if (!IsValidMessage(message))
        return;
    const int status = static_cast<int>(message & 0xFF);
    const int data1 = static_cast<int>((message >> 8) & 0xFF);
    const int data2 = static_cast<int>((message >> 16) & 0xFF);
    if (status >= 0xF0) {
        HandlePartMessage(0, status, data1, data2, timeStamp, 0, 0, 0);
        return;
    }
    const int channel = status & 0x0F;
    const bool note = (status & 0xF0) == 0x80 || (status & 0xF0) == 0x90;
    for (int p = 0; p < kParts; ++p) {
        if (PartChannel(p) != channel)
            continue;
        if (note && !PartTakesNote(p, data1 & 0x7F))
            continue;
        HandlePartMessage(p, status, data1, data2, timeStamp, noteValueB, flagA, flagB);
    }
}

void CMIDI::HandlePartMessage(int part, int status, int data1, int data2, uint32_t timeStamp,
                              int32_t noteValueB, uint8_t flagA, uint8_t flagB) {
    (void)flagA;
    if (status < 0x80 || status > 0xFF)
        return;
    if (status >= 0xF0) {
        switch (status) {
        case 0xF8: OnClockTick(timeStamp); break;
        case 0xFA: OnStart(timeStamp); break;
        case 0xFB: OnContinue(); break;
        case 0xFC: OnStop(); break;
        default: break;
        }
        return;
    }
    // A note computed by transposition, or a data byte with its top bit set,
    // would index past the 128-entry key tables.
    if (!ValidPart(part) || !ValidData(data1))
        return;
    const int kind = status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0 && !ValidData(data2))
        return;

    const int inUse = VoicesInUse();
    CEngineData& d = engine->data;
    switch (kind) {
    case 0x80:
        NoteOff(part, data1, flagB);
        break;
    case 0x90:
        if (data2 == 0)
            NoteOff(part, data1, flagB);
        else
            NoteOn(part, data1, data2, noteValueB, flagB);
        break;
    case 0xA0:
        for (int v = 0; v < inUse; ++v) {
            if (d.voicePart[v] != part || d.ControlI(v, kCellKey) != data1)
                continue;
            d.SetControlF(v, kCellPressure, static_cast<float>(data2) / 127.0f);
            d.SetControlF(v, kCellPressureA, VelocityCurveA(data2));
            d.SetControlF(v, kCellPressureB, VelocityCurveB(data2));
        }
        break;
    case 0xB0:
        ControlChange(part, status, data1, data2);
        break;
    case 0xC0:
        if (synth && synth->editor)
            synth->editor->PostProgramChange(part, data1);
        break;
    case 0xD0:
        for (int v = 0; v < inUse; ++v) {
            if (d.voicePart[v] != part)
                continue;
            d.SetControlF(v, kCellPressure, static_cast<float>(data1) / 127.0f);
            d.SetControlF(v, kCellPressureA, VelocityCurveA(data1));
            d.SetControlF(v, kCellPressureB, VelocityCurveB(data1));
        }
        break;
    case 0xE0:
        pitchBend[part] = static_cast<float>(data1) / 16384.0f + static_cast<float>(data2) / 128.0f + 1e-9f;
        if (synth)
            synth->SetLearnedParameter(part, 0, 57, pitchBend[part]);
        break;
    default:
        break;
    }
}

void CMIDI::ControlChange(int part, int status, int controller, int value) {
    switch (controller) {
    case 32:
    case 122:
    case 124:
    case 125:
    case 126:
    case 127:
        return;
    case 1:
        modWheel[part] = static_cast<float>(value) / 127.0f + 1e-9f;
        if (synth)
            synth->SetLearnedParameter(part, 0, 56, modWheel[part]);
        break;
    case 7:
        if (synth)
            synth->parameters.SetPartVolumeFactor(part, static_cast<float>(value) / 127.0f + 1e-9f);
        break;
    case 64:
        if (value >= 64) {
            keyboard->SetHold(part, 1);
            sustain[part] = 1;
        } else {
            keyboard->SetHold(part, 0);
            ReleaseUngatedVoices(part);
            sustain[part] = 0;
        }
        break;
    case 123:
        AllNotesOff();
        return;
    default:
        break;
    }
    ApplyLearnedController(part, status, controller, value);
}

uint8_t CMIDI::PartActivity(int part) {
    if (!ValidPart(part))
        return 0;
    const int channel = PartChannel(part);
    // Combinations can give a part channel 16..18: no light to show.
    if (channel < 0 || channel > 15)
        return 0;
    const uint8_t lit = channelActivity[channel].load(std::memory_order_relaxed);
    const int32_t hold = activityHold.load(std::memory_order_relaxed);
    if (hold == 0)
        channelActivity[channel].store(0, std::memory_order_relaxed);
    else
        activityHold.store(hold - 1, std::memory_order_relaxed);
    return lit;
}

// ---------------------------------------------------------------------------
// Voice allocation

void CMIDI::HandleNote(int part, int status, int key, int velocity) {
    if (!ValidPart(part) || (status & 0xF0) != 0x90 || velocity <= 0)
        return;
    const CEngineData& d = engine->data;
    const int n = VoicesInUse();
    for (int v = 0; v < n; ++v)
        if (d.voicePart[v] == part && d.ControlI(v, kCellKey) == key && d.ControlI(v, kCellGate) == 1)
            return;
    const int start = std::max(lastVoice[part] + 1, 0);
    for (int i = 0; i < n; ++i) {
        const int v = (start + i) % n;
        if (d.voicePart[v] == part && d.ControlI(v, kCellGate) == 0)
            return;
    }
    for (int i = 0; i < n; ++i) {
        const int v = (start + i) % n;
        if (d.voicePart[v] != part)
            continue;
        if (!IsMono(part) && Unison(part) != 1)
            ReleaseVoice(v);
        return;
    }
}

void CMIDI::NoteOn(int part, int key, int velocity, int32_t noteValueB, uint8_t flagB) {
    const CEngineData& d = engine->data;
    const int n = VoicesInUse();
    if (n == 0)
        return;
    const int32_t unison = Unison(part);
    const int start = unison == 1 ? 0 : std::max(lastVoice[part] + 1, 0);
    int started = 0;
    for (int i = 0; i < n; ++i) {
        const int v = (start + i) % n;
        if (d.voicePart[v] != part || d.ControlI(v, kCellGate) != 0)
            continue;
        ++started;
        if (d.voiceState[v] < CEngineData::kVoiceFree)
            StartVoice(v, key, velocity, true, noteValueB, 0, 1);
        else
            StartVoice(v, key, velocity, false, noteValueB, flagB, 0);
        lastVoice[part] = v;
        if (unison <= 0 || (unison > 1 && started >= unison))
            return;
    }
    if (started > 0)
        return;

    // No free voice: steal one.
    const bool stack = IsMono(part) || unison == 1;
    const int32_t priority = engine->data.PartI(part, kPartKeyPriority);
    for (int i = 0; i < n; ++i) {
        const int v = (start + i) % n;
        if (d.voicePart[v] != part)
            continue;
        if (!stack) {
            StartVoice(v, key, velocity, true, noteValueB, flagB, 0);
            lastVoice[part] = v;
            return;
        }
        const int sounding = d.ControlI(v, kCellKey);
        const bool takes = priority == kPriorityLow ? key < sounding
                           : priority == kPriorityHigh ? key > sounding
                                                       : true;
        if (!takes)
            continue;
        StartVoice(v, key, velocity, true, noteValueB, flagB, 0);
        lastVoice[part] = v;
        if (unison <= 0)
            return;
    }
}

void CMIDI::NoteOff(int part, int key, uint8_t flagB) {
    const CEngineData& d = engine->data;
    const int n = VoicesInUse();
    const bool returns = (IsMono(part) || Unison(part) != 0) && flagB == 0;
    for (int v = 0; v < n; ++v) {
        if (d.voicePart[v] != part || d.ControlI(v, kCellKey) != key || d.ControlI(v, kCellGate) != 1)
            continue;
        int other = 0;
        int otherVelocity = 0;
        if (returns && FindPriorityKey(part, other, otherVelocity)) {
            StartVoice(v, other, otherVelocity, true, -1, 0, 0);
            lastVoice[part] = v;
        } else {
            ReleaseVoice(v);
        }
    }
}

bool CMIDI::FindPriorityKey(int part, int& key, int& velocity) {
    if (!ValidPart(part))
        return false;
    const bool allowed = IsMono(part) || (Unison(part) == 1 && engine->data.PartI(part, kPartArpMode) == 0);
    if (!allowed)
        return false;
    const bool low = engine->data.PartI(part, kPartKeyPriority) == kPriorityLow;
    for (int i = 0; i < kKeys; ++i) {
        const int k = low ? i : kKeys - 1 - i;
        if (keyboard->IsKeyDown(part, k)) {
            key = k;
            velocity = static_cast<int>(std::min<uint32_t>(keyboard->GetVelocity(part, k), 127u));
            return true;
        }
    }
    return false;
}

void CMIDI::ReleaseEnvelopes(int voice, int part) {
    CEngineData& d = engine->data;
    for (int k = 0; k < 4; ++k) {
        // Envelopes that follow an LFO are not the keys' business.
        if (d.PartI(part, kPartEgTrigger[k]) >= kTriggerFirstLfo)
            continue;
        d.SetControlI(voice, kCellEgStage[k], kEgRelease);
        d.SetControlF(voice, kCellEgStage[k] + 1, kQuiet);
    }
}

void CMIDI::ReleaseVoice(int voice) {
    if (!ValidVoice(voice))
        return;
    CEngineData& d = engine->data;
    const int part = d.voicePart[voice];
    if (!ValidPart(part))
        return;
    d.SetControlI(voice, kCellGate, 0);
    if (keyboard->GetHold(part))
        return;
    if (d.ControlI(voice, kCellEgStage[2]) == kEgFinished)
        return;
    ReleaseEnvelopes(voice, part);
}

void CMIDI::ReleaseUngatedVoices(int part) {
    if (!ValidPart(part))
        return;
    const CEngineData& d = engine->data;
    for (int v = 0; v < kVoices; ++v) {
        if (d.voicePart[v] != part || d.ControlI(v, kCellGate) != 0 ||
            d.ControlI(v, kCellEgStage[2]) == kEgFinished)
            continue;
        ReleaseEnvelopes(v, part);
    }
}

void CMIDI::KillVoices(int part) {
    CEngineData& d = engine->data;
    for (int v = 0; v < kVoices; ++v) {
        if (part >= 0 && d.voicePart[v] != part)
            continue;
        ReleaseVoice(v);
        for (int k = 0; k < 4; ++k) {
            d.SetControlI(v, kCellEgStage[k], kEgFinished);
            d.SetControlF(v, kCellEgStage[k] + 1, kQuiet);
            d.SetControlF(v, kCellEgLevel[k], kQuiet);
        }
        d.voiceState[v] = CEngineData::kVoiceFree;
    }
}

void CMIDI::AllNotesOff() {
    // The pedal goes up first: released under a held pedal, the notes would
    // ring on after the panic.
    for (int p = 0; p < kParts; ++p) {
        keyboard->SetHold(p, 0);
        sustain[p] = 0;
    }
    for (int v = 0; v < kVoices; ++v)
        ReleaseVoice(v);
    keyboard->Reset();
}

float CMIDI::VelocityCurveA(int v) {
    return 1.0f - std::pow(10.0f, 3.0f * static_cast<float>(v) / 127.0f - 3.0f);
}

float CMIDI::VelocityCurveB(int v) {
    return 1.0f - std::pow(10.0f, -3.0f * static_cast<float>(v) / 127.0f);
}

// ---------------------------------------------------------------------------
// Note start

void CMIDI::StartMultiSamples(int voice, int part, float pitch, int velocity, float startOffset) {
    CEngineData& d = engine->data;
    const float* program = synth ? synth->program.GetProgramData(part) : nullptr;
    const int transpose = program ? TruncToInt(program[kSlotTranspose] - 48.0f) : 0;
    const int32_t moduleOff = d.PartI(part, kPartModuleOff);
    for (int osc = 0; osc < 3; ++osc) {
        if (d.PartI(part, kPartWaveform[osc]) != kMultiSampleWave || (moduleOff >> osc) & 1)
            continue;
        const int semitones = transpose + (program ? TruncToInt(program[kSlotOscSemitones[osc]] - 48.0f) : 0);
        CMultiSample& sample = engine->MultiSample(part, osc);
        const float ratio = sample.StartVoice(voice, pitch + static_cast<float>(semitones) / 192.0f,
                                              static_cast<float>(velocity));
        const int r = voice * CEngine::kOscillators + osc;
        if (!sample.UsesSincResampler()) {
            if (ratio > 0.0f)
                engine->fastResamplers[r].Setup(&sample, voice, startOffset);
            else
                engine->fastResamplers[r].Reset();
        } else if (ratio <= 0.0f) {
            // No zone for this key: a resampler still running from the
            // voice's previous note would hold its last samples for as long
            // as the key is down.
            engine->resamplers[r].Free();
        } else if (!engine->resamplers[r].IsRunning()) {
            engine->resamplers[r].Free();
            engine->resamplers[r].Start(&sample, ratio, CResample::kDefaultHalfWidth, voice);
        }
    }
}

void CMIDI::StartModulators(int voice, int part, bool continued, uint8_t generator, uint8_t retrigger) {
    CEngineData& d = engine->data;
    // LFO phases: restarted, random, or in step with the part's newest
    // sounding voice.
    int sibling = -1;
    for (int v = kVoices - 1; v >= 0; --v) {
        if (v != voice && d.voicePart[v] == part && d.voiceState[v] < CEngineData::kVoiceFree) {
            sibling = v;
            break;
        }
    }
    for (int n = 0; n < 4; ++n) {
        const int32_t mode = d.PartI(part, kPartLfoSync[n]);
        if (mode == 1 || mode == 3)
            d.SetControlI(voice, kCellLfoPhase + n, 0x1000000);
        else if (mode == 2)
            d.SetControlI(voice, kCellLfoPhase + n, os::Rand() << 8);
        else if ((mode == 0 || mode == 4) && sibling >= 0)
            d.voiceControl[voice][kCellLfoPhase + n] = d.voiceControl[sibling][kCellLfoPhase + n];
    }

    if (d.PartI(part, kPartMegFreeRunning) == 0) {
        if (d.SettingI(part, CEngineData::kSetVoiceCount) > 1)
            for (int i = 0; i < 3; ++i)
                d.SetControlF(voice, kCellMegOutput[i], d.PartF(part, kPartMegFirstLevel[i]));
        for (int cell : {243, 244, 245, 272, 273, 274, 275, 276, 277})
            d.SetControlI(voice, cell, 0);
    }

    for (int k = 0; k < 4; ++k)
        if (d.PartI(part, kPartEgTrigger[k]) == kTriggerKeyReset)
            d.SetControlF(voice, kCellEgLevel[k], 0.0f);
    for (int k = 0; k < 4; ++k) {
        const int32_t mode = d.PartI(part, kPartEgTrigger[k]);
        if (mode >= kTriggerFirstLfo || (mode == kTriggerKeySingle && continued && !retrigger) ||
            (mode == kTriggerKey && continued && generator))
            continue;
        d.SetControlI(voice, kCellEgStage[k], kEgStart);
        d.SetControlF(voice, kCellEgStage[k] + 1, 1.2f);
        d.SetControlI(voice, kCellEgStage[k] + 2, d.PartI(part, kPartEgDelay[k]));
        d.SetControlI(voice, kCellEgHold + k, 30);
    }
}

void CMIDI::StartVoice(int voice, int key, int velocity, bool continued, int32_t noteValueB,
                       uint8_t generator, uint8_t retrigger) {
    if (!ValidVoice(voice) || !ValidData(key))
        return;
    velocity = std::clamp(velocity, 0, 127);
    CEngineData& d = engine->data;
    const int p = d.voicePart[voice];
    if (!ValidPart(p) || d.SettingI(p, CEngineData::kSetMute) != 0)
        return;
    if (!continued)
        engine->ClearVoiceBuffers(voice);

    const int32_t unison = Unison(p);
    const bool unisonAll = unison == 1;
    if (unisonAll != unisonMemory[p]) {
        KillVoices(p);
        unisonMemory[p] = unisonAll;
    }
    if (!unisonAll)
        d.SetControlI(voice, kCellCutoffRequest1, 1);

    d.SetControlI(voice, kCellKey, key);
    d.SetControlI(voice, kCellGate, 1);
    d.SetControlI(voice, kCellRetrigger, continued ? 1 : 0);

    float pitch = tuningLoaded[p] ? tuning[p][key] : static_cast<float>(key - 69) * kSemitone;
    float startOffset = 0.0f;
    if (unison != 0) {
        const int r = os::Rand();
        pitch += static_cast<float>(r - 16383) * d.PartF(p, kPartUnisonDetune) / 32767.0f;
        const int r2 = os::Rand();
        startOffset = static_cast<float>(r2) * 0.03f / 32767.0f;
    }
    d.SetControlF(voice, kCellPitch, pitch);

    StartMultiSamples(voice, p, pitch, velocity, startOffset);

    // Unison detune increments.
    const float x = d.PartI(p, kPartKeyScaledDetune) != 0 ? std::exp(static_cast<float>(key) / 20.0f) * 0.25f
                                                           : std::exp(3.0f) * 0.25f;
    const float y = x * d.PartF(p, kPartUnisonSpread);
    for (int i = 0; i < 6; ++i)
        d.SetAudioI(voice, kAudioUnisonDetune + i, TruncToInt(static_cast<float>(kUnisonDetuneSteps[i]) * y));

    d.SetControlF(voice, kCellGain, static_cast<float>(velocity) / 127.0f);
    d.SetControlF(voice, kCellCurveA, VelocityCurveA(velocity));
    d.SetControlF(voice, kCellCurveB, VelocityCurveB(velocity));
    d.SetControlF(voice, kCellNoteValue, noteValueB < 0 ? 1.0f : static_cast<float>(noteValueB) / 127.0f);

    if (d.PartI(p, kPartPhaseSync) != 0 && !continued) {
        for (int i = 0; i < 3; ++i)
            d.SetAudioI(voice, kAudioPhase + i, 0);
        for (int cell : kAudioSpectralPhase)
            d.SetAudioI(voice, cell, 0);
        for (int i = 0; i < 6; ++i)
            d.SetAudioI(voice, kAudioUnisonPhase + i, 0);
        engine->ResetVoiceNoise(voice);
    }

    StartModulators(voice, p, continued, generator, retrigger);

    // Waveguide delay: high pitches give lengths below one sample, which
    // would divide by zero; the line holds 2048 samples.
    const float wavePitch = pitch + d.PartF(p, kPartWaveguidePitch1) + d.PartF(p, kPartWaveguidePitch2);
    const int32_t length =
        std::clamp(TruncToInt(CTLParameter::PitchToDelayLength(wavePitch * 4096.0f)), 1, 2047);
    d.SetAudioI(voice, kAudioDelayLength, length);
    d.SetAudioF(voice, kAudioDelayLength + 1, -1.0f);
    d.SetAudioF(voice, kAudioDelayLength + 2, 2.0f / static_cast<float>(length));
    if (d.AudioI(voice, kAudioRestartCount) > 0)
        d.SetAudioI(voice, kAudioRestartCount, 2);

    if (!unisonAll && !continued) {
        for (int cell = 121; cell <= 143; ++cell)
            d.SetAudioF(voice, cell, kQuiet);
        for (int cell : {145, 151, 165, 166})
            d.SetAudioF(voice, cell, kQuiet);
        d.SetControlI(voice, kCellFormantJump, 1);
        d.SetControlI(voice, kCellCutoffRequest1, 2);
        d.SetControlI(voice, kCellCutoffRequest2, 2);
    }

    d.voiceState[voice] = 0;
    engine->partSounding[p] = 1;
    d.globalValues[CEngineData::kGlideCell] = 1.0f;
    d.SetControlF(voice, kCellRandomOffset, static_cast<float>(os::Rand() - 16383) / 16383.0f);
    d.SetControlF(voice, kCellAltSign, alternating[p] ? 1.0f : -1.0f);
    alternating[p] ^= 1;
}
