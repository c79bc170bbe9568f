#include "core/CSequencer.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "core/StepLength.h"
#include "editor/CEditor.h"
#include "os/ORandom.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"

namespace {

// The editor keeps the swing between 0 and 100 percent.
constexpr float kMaxSwing = 100.0f;
constexpr int kMaxNote = 127;
constexpr int kMaxHeldKey = 9;
constexpr int kMaxLength = 17;
constexpr int kMaxGate = 100;
// Engine cells the sequencer reads: a voice's key and gate, the part's
// unison setting and its MIDI-out target (0 the engine, n channel n).
constexpr int kCellKey = 73;
constexpr int kCellGate = 78;
constexpr int kPartUnison = 340;
constexpr int kSetMidiOut = 7;

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

int Clamp(int32_t v, int lo, int hi) { return std::clamp<int32_t>(v, lo, hi); }
int ClampChord(int32_t v) { return v >= 0 && v < CKeyboard::kChords ? v : 0; }

int AtMost(int v, int most) { return v < most ? v : most; }

// One stored 12-byte step of a pattern record (the last three bytes are
// not used).
void ReadStoredStep(const uint8_t* b, CSequencer::Step& step) {
    step.note = AtMost(b[0], kMaxNote);
    step.chord = ClampChord(b[1]);
    step.velocity = AtMost(b[2], 127);
    step.laneB = AtMost(b[3], 127);
    step.length = b[4];
    step.gate = b[5];
    step.skip = b[6] != 0 ? 1 : 0;
    step.rest = b[7] != 0 ? 1 : 0;
    step.heldKey = b[8];
}

void CutText(char* out, size_t size, const char* text) {
    if (!out || size == 0) return;
    std::snprintf(out, size, "%s", text);
}

} // namespace

CSequencer::CSequencer(CSynth* s) : synth(s) {
    for (int p = 0; p < kParts; ++p) {
        partOn[p] = 1;
        partOnShown[p] = 1;
        currentStep[p] = 0;
        currentPattern[p] = 0;
    }
    for (Pattern& pattern : patterns)
        for (int s = 0; s < kSteps; ++s)
            pattern.steps[s].heldKey = s % 3;
    BuildFactoryPatterns();
    UpdateTempo();
}

CSequencer::~CSequencer() = default;

void CSequencer::SetSongList(CSongList* list) { songList = list; }

// ---------------------------------------------------------------------------
// Clock

void CSequencer::UpdateTempo() {
    const int32_t sampleRate = std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
    const float rate = static_cast<float>(sampleRate);
    const float bpm = tempo;
    if (!(bpm > 0.0f) || !std::isfinite(bpm) || rate <= 0.0f) return;
    samplesPerTick = rate * 60.0f / (bpm * 96.0f);
    ticksPerBlock = 96.0f * static_cast<float>(g_GlobalData.blockSize) * bpm / (60.0f * rate);
    if (synth && synth->midi)
        synth->midi->SetTempoClamped(samplesPerTick);
}

void CSequencer::UpdateMidiOutClock() {
    // The offset is set by a command on the GUI thread while blocks render.
    const int32_t offset = std::atomic_ref<int32_t>(g_GlobalData.MIDIOutOffset).load(std::memory_order_relaxed);
    CMIDIDevices::SetOutClock(MidiOutTime() - static_cast<uint32_t>(offset));
}

bool CSequencer::TickDue() {
    // Swing stretches the ticks of the first half of each beat and shortens
    // those of the second half, in step with part 0's pattern.
    const int64_t phase = ((tickCounter - patternStartTick[0]) % kTicksPerBeat + kTicksPerBeat) % kTicksPerBeat;
    // A swing from outside 0..100 (NaN included) would stretch ticks to
    // nothing or make the clock run away.
    const float s = swing;
    const float amount = s >= 0.0f && s <= kMaxSwing ? s : (s > kMaxSwing ? kMaxSwing : 0.0f);
    const float interval =
        samplesPerTick * (1.0f - (static_cast<float>(phase) - 48.0f) / 48.0f * amount / 200.0f);
    if (static_cast<double>(sampleCounter.load()) < lastTickTime + static_cast<double>(interval))
        return false;
    tickCounter = tickCounter + 1;
    lastTickTime += static_cast<double>(interval);
    if (synth && synth->midi && !synth->midi->midiSync.load(std::memory_order_relaxed))
        synth->midi->SetTempo(interval);
    return true;
}

void CSequencer::SetSampleCounter(uint64_t samples) {
    sampleCounter = samples;
    lastTickTime = static_cast<double>(samples);
}

// ---------------------------------------------------------------------------
// Playing

int32_t CSequencer::StepTicks(const Step& step) { return StepLengthTicks(step.length); }

const CSequencer::Pattern* CSequencer::PlayingPattern(int part) const {
    const int32_t p = currentPattern[part];
    return p >= 0 && p < kPatterns ? &patterns[p] : nullptr;
}

int CSequencer::GetCurrentStep(int part) const { return ValidPart(part) ? currentStep[part].load() : 0; }
int CSequencer::GetCurrentPattern(int part) const { return ValidPart(part) ? currentPattern[part].load() : 0; }

void CSequencer::GetStepTimes(int part, int64_t& nextStepTick, int64_t& noteOffTick) const {
    nextStepTick = noteOffTick = 0;
    const Pattern* pattern = ValidPart(part) ? PlayingPattern(part) : nullptr;
    if (!pattern) return;
    const int start = passStart[part];
    const int last = pattern->lastStep;
    const int step = Clamp(currentStep[part], 0, kSteps - 1);
    const int dir = start <= last ? 1 : -1;
    const int lo = std::min(start, last);
    const int hi = std::max(start, last);
    // Only the steps inside the pattern count: after the editor moved a
    // bound past the current step the walk stops at the far bound.
    int64_t sum = patternStartTick[part];
    for (int s = start; s != step && s >= lo && s <= hi; s += dir)
        if (!pattern->steps[s].skip) sum += StepTicks(pattern->steps[s]);
    const Step& current = pattern->steps[step];
    const int64_t length = StepTicks(current);
    nextStepTick = sum + length;
    if (current.rest || current.length == 0)
        noteOffTick = sum + length / 2;
    else
        noteOffTick = sum + length * std::max<int32_t>(current.gate, 0) / 100;
}

void CSequencer::AdvanceStep(int part) {
    const Pattern* pattern = PlayingPattern(part);
    if (!pattern) return;
    const int start = passStart[part];
    const int last = pattern->lastStep;
    int s = currentStep[part];
    bool wrapped = false;
    if (start <= last) {
        ++s;
        while (s <= last && pattern->steps[s].skip) ++s;
        wrapped = s > last;
    } else {
        --s;
        while (s >= last && pattern->steps[s].skip) --s;
        wrapped = s < last;
    }
    if (wrapped) {
        s = pattern->loopStep;
        passStart[part] = s;
        patternStartTick[part] = tickCounter;
    }
    currentStep[part] = Clamp(s, 0, kSteps - 1);
}

bool CSequencer::AdvanceSong() {
    if (!barPending || !songList) return true;
    if (!songList->Next()) {
        if (!songLoop) {
            AllNotesOff();
            paused = 0;
            songList->Rewind();
            return false;
        }
        songList->Rewind();
        startTickOffset = tickCounter;
    }
    return true;
}

void CSequencer::StartPart(int part, int pattern, int64_t tick) {
    currentPattern[part] = pattern;
    const Pattern* p = PlayingPattern(part);
    const int start = p ? p->startStep.load() : 0;
    passStart[part] = start;
    currentStep[part] = start;
    patternStartTick[part] = tick;
}

void CSequencer::OnBarStart(int part) {
    if (!ValidPart(part)) return;
    nextPattern[part] = songList ? songList->GetPatternAt(part) : currentPattern[part].load();
    if (muteRequest[part]) {
        muteRequest[part] = 0;
        if (synth) synth->engine.TogglePartMute(part);
    }
    const Pattern* pattern = PlayingPattern(part);
    if (pattern && nextPattern[part] == currentPattern[part]) {
        passStart[part] = pattern->loopStep;
        if (currentStep[part] == pattern->lastStep) {
            currentStep[part] = passStart[part];
            patternStartTick[part] = tickCounter;
        }
        return;
    }
    StartPart(part, nextPattern[part], tickCounter);
    // A part left without a pattern has no step whose end would release what
    // the last one holds (a step reaching the bar line, or a pattern longer
    // than the bar): it would sound through the empty bars.
    if (pattern && !PlayingPattern(part)) ReleasePartNotes(part);
}

int CSequencer::MidiOutChannel(int part) const {
    if (!synth) return -1;
    const int32_t n = synth->engine.data.SettingI(part, kSetMidiOut);
    return n >= 1 && n <= 16 ? n - 1 : -1;
}

bool CSequencer::IsPartMono(int part) const {
    if (!synth || !ValidPart(part)) return false;
    const CEngineData& d = synth->engine.data;
    return d.SettingI(part, CEngineData::kSetVoiceCount) == 1 || d.PartI(part, kPartUnison) == 1;
}

int CSequencer::FirstVoiceGatedKey(int part) const {
    const CEngineData& d = synth->engine.data;
    for (int v = 0; v < d.voicesInUse && v < CEngineData::kVoices; ++v)
        if (d.voicePart[v] == part)
            return d.ControlI(v, kCellGate) == 1 ? d.ControlI(v, kCellKey) : -1;
    return -1;
}

void CSequencer::NoteOn(int part, int note, int velocity, int laneB, int channel) {
    if (note < 0 || note > kMaxNote || velocity <= 0) return;
    velocity = std::min(velocity, 127);
    if (channel >= 0) {
        synth->SendMidiOutNote(MidiOutTime(), 144, part, note, velocity);
        return;
    }
    synth->midi->HandlePartMessage(part, 0x90, note, velocity, 0, laneB, 0, 0);
    int32_t& count = soundingCount[part];
    for (int i = 0; i < count; ++i)
        if (sounding[part][i] == note) return;
    if (count < kMaxChordNotes) sounding[part][count++] = note;
}

void CSequencer::NoteOff(int part, int note) {
    synth->midi->HandlePartMessage(part, 0x90, note, 0, 0, -1, 0, 1);
    int32_t& count = soundingCount[part];
    for (int i = 0; i < count; ++i)
        if (sounding[part][i] == note) {
            sounding[part][i] = sounding[part][--count];
            break;
        }
}

void CSequencer::ReleasePartNotes(int part) {
    if (!synth || !synth->midi || !ValidPart(part)) return;
    while (soundingCount[part] > 0) NoteOff(part, sounding[part][soundingCount[part] - 1]);
    synth->SendMidiOutAllNotesOff(MidiOutTime(), part);
}

void CSequencer::PlayStep(int part) {
    if (!synth || !synth->midi || !ValidPart(part) || !partOn[part]) return;
    const Pattern* pattern = PlayingPattern(part);
    if (!pattern) return;
    const int s = Clamp(currentStep[part], 0, kSteps - 1);
    Step& step = patterns[currentPattern[part]].steps[s];
    if (step.rest || step.skip) return;
    const int function = GetPartFunction(part);
    CKeyboard* keys = synth->midi->keyboard;
    int base = 48;
    int keyVelocity = 128;
    if (function == 1 || function == 2) {
        const int which = step.heldKey;
        int32_t key = 0;
        uint32_t velocity = 0;
        bool found = false;
        if (function == 1)
            found = which >= 1 && which <= 8 ? keys->GetNthDownKey(part, which, key, velocity)
                                             : keys->NextDownKey(part, key, velocity);
        else
            found = which >= 1 && which <= 8 ? keys->GetNthDownOrHeldKey(part, which, key, velocity)
                                             : keys->NextDownOrHeldKey(part, key, velocity);
        if (!found) return;
        base = key;
        keyVelocity = static_cast<int>(std::min<uint32_t>(velocity, 127));
    } else if (function == 6) {
        int32_t key = 0;
        uint32_t velocity = 0;
        if (keys->FetchNewNote(part, key, velocity)) {
            step.note = Clamp(key, 0, kMaxNote);
            if (synth->editor) synth->editor->RequestRedraw();
        }
    }
    const int transpose = songList ? songList->GetTransposeAt(part) : 0;
    const int note = base + step.note + transpose - 48;
    const int velocity = step.velocity * keyVelocity / 128;
    const int channel = MidiOutChannel(part);
    // A part without voices has nothing to strike on the engine.
    if (channel < 0 && synth->engine.data.SettingI(part, CEngineData::kSetVoiceCount) <= 0) return;
    const int chord = ClampChord(step.chord);
    if (chord >= 1 && !IsPartMono(part)) {
        ReleasePartNotes(part);
        int32_t interval = 0;
        for (int n = 0; CKeyboard::GetChordInterval(chord, n, interval); ++n)
            NoteOn(part, note + interval, velocity, step.laneB, channel);
        return;
    }
    if (channel >= 0) {
        NoteOn(part, note, velocity, step.laneB, channel);
        return;
    }
    const int gated = FirstVoiceGatedKey(part);
    if (gated == note) return;
    NoteOn(part, note, velocity, step.laneB, channel);
    // Legato: the old key goes only after the new one has taken the voice.
    if (gated >= 0) NoteOff(part, gated);
}

bool CSequencer::UpdatePatternSelectPart(int part) {
    const bool held = synth->midi->keyboard->AnyKeyDown(part);
    if (!held) {
        if (selectGate[part]) {
            selectGate[part] = 0;
            ReleasePartNotes(part);
        }
        return false;
    }
    if (!selectGate[part]) {
        selectGate[part] = 1;
        const Pattern* pattern = PlayingPattern(part);
        const int start = pattern ? pattern->startStep.load() : 0;
        passStart[part] = start;
        currentStep[part] = start;
        patternStartTick[part] = tickCounter;
        PlayStep(part);
    }
    return true;
}

void CSequencer::HandleSelectKeys(int part, int function) {
    int32_t key = 0;
    uint32_t velocity = 0;
    if (!synth->midi->keyboard->FetchNewNote(part, key, velocity) || key < 0) return;
    if (function == 5) {
        muteRequest[key % 12] = 1;
        return;
    }
    if (!songList) return;
    const int pattern = (selGroup * 8 + selBank) * 16 + key % 12;
    int next = songList->GetPosition() + 1;
    if (next > songList->GetEnd()) next = songList->GetStart();
    songList->SetCell(part, next, pattern, 0);
}

void CSequencer::Process(CArpeggiator* arpeggiator) {
    const uint64_t block = static_cast<uint64_t>(std::max(g_GlobalData.blockSize, 1));
    outCounter += block;
    if (!running || !synth || !synth->midi) return;
    sampleCounter = sampleCounter + block;
    if (!TickDue()) return;
    const bool bar = tickCounter % kTicksPerBar == 0;
    // The song moves on once per bar, whatever the parts do.
    if (bar && !AdvanceSong()) return;
    for (int p = 0; p < kParts; ++p) {
        if (arpeggiator && arpeggiator->GetMode(p) != 0) continue;
        const int function = GetPartFunction(p);
        if (function == 3 && !UpdatePatternSelectPart(p)) continue;
        if (function >= 3 && function <= 5) HandleSelectKeys(p, function);
        if (bar) {
            OnBarStart(p);
            if (currentStep[p] == passStart[p]) PlayStep(p);
        }
        if (!PlayingPattern(p)) continue;
        int64_t next = 0, off = 0;
        GetStepTimes(p, next, off);
        if (tickCounter >= next) {
            AdvanceStep(p);
            if (!IsPartMono(p)) ReleasePartNotes(p);
            PlayStep(p);
        } else if (tickCounter >= off) {
            ReleasePartNotes(p);
        }
    }
}

// ---------------------------------------------------------------------------
// Transport

void CSequencer::RestartParts(int64_t tick, bool sound) {
    for (int p = 0; p < kParts; ++p) {
        const int32_t pattern = songList ? songList->GetPatternAt(p) : currentPattern[p].load();
        nextPattern[p] = pattern;
        StartPart(p, pattern, tick);
        selectGate[p] = 0;
        if (sound && synth && synth->midi && synth->arpeggiator && synth->arpeggiator->GetMode(p) == 0 &&
            GetPartFunction(p) != 3)
            PlayStep(p);
    }
}

void CSequencer::Reset() {
    sampleCounter = 0;
    lastTickTime = 0.0;
    tickCounter = 0;
    startTickOffset = 0;
    for (int p = 0; p < kParts; ++p) ReleasePartNotes(p);
    RestartParts(0, true);
    if (synth)
        for (int p = 0; p < kParts; ++p) synth->engine.RestartSyncedLFOs(p);
    running = 1;
}

void CSequencer::Play() {
    if (paused) {
        paused = 0;
        running = 1;
        barPending = 1;
        return;
    }
    if (songList) songList->Rewind();
    Reset();
    barPending = 1;
}

void CSequencer::OnHostStart() { Play(); }

void CSequencer::Stop() {
    if (running) {
        AllNotesOff();
        paused = 1;
        return;
    }
    AllNotesOff();
    tickCounter = 0;
    startTickOffset = 0;
    barPending = 0;
    paused = 0;
    if (songList) songList->Rewind();
}

void CSequencer::AllNotesOff() {
    for (int p = 0; p < kParts; ++p) ReleasePartNotes(p);
    if (synth)
        for (int v = 0; v < CEngineData::kVoices; ++v) synth->engine.ResetVoiceModValues(v);
    running = 0;
    barPending = 0;
}

void CSequencer::SetPartOn(int part, bool on) {
    if (!ValidPart(part)) return;
    ReleasePartNotes(part);
    partOn[part] = on ? 1 : 0;
    partOnShown[part] = on ? 1 : 0;
}

void CSequencer::JumpToSongPosition() {
    paused = 0;
    // Every part starts over from the bar it is moved to, as at a bar start
    // with a new pattern: its old step and start tick belong to another bar.
    const int64_t tick = static_cast<int64_t>(GetSongPosition()) * kTicksPerBar;
    tickCounter = tick;
    startTickOffset = tick;
    for (int p = 0; p < kParts; ++p) ReleasePartNotes(p);
    RestartParts(tick, running);
}

void CSequencer::SongRewind() {
    if (songList) songList->Rewind();
    JumpToSongPosition();
}

void CSequencer::SongToEnd() {
    if (songList) songList->ToEnd();
    JumpToSongPosition();
}

void CSequencer::SongNext() {
    if (songList) songList->Next();
    JumpToSongPosition();
}

void CSequencer::SongPrevious() {
    if (songList) songList->Previous();
    JumpToSongPosition();
}

// ---------------------------------------------------------------------------
// Editor fields

int CSequencer::GetPartFunction(int part) const {
    if (!ValidPart(part)) return 0;
    const int32_t f = partFunction[part];
    return f >= 0 && f < kFunctions ? f : 0;
}

const char* CSequencer::GetPartFunctionText(int part, int function) {
    static const char* const kTexts[kFunctions] = {"none",        "arpeggio",  "arpeggio/hold", "pattern sel",
                                                   "pattern sel", "mute part", "record"};
    if (!ValidPart(part)) return "";
    return function >= 0 && function < kFunctions ? kTexts[function] : "undef";
}

int32_t CSequencer::GetStepValue(int part, int field, int stepIndex) const {
    if (!ValidPart(part) || !ValidStep(stepIndex)) return 0;
    const Step& step = patterns[SelectedPattern()].steps[stepIndex];
    switch (field) {
    case kFieldNote: return step.note;
    case kFieldVelocity: return step.velocity;
    case kFieldLaneB: return step.laneB;
    case kFieldTransport: return static_cast<int32_t>(tickCounter.load());
    case kFieldHeldKey: return step.heldKey;
    case kFieldFunction: return GetPartFunction(part);
    case kFieldLength: return step.length;
    case kFieldChord: return step.chord;
    case kFieldGate: return step.gate;
    case kFieldRest: return step.rest ? 127 : 0;
    case kFieldSkip: return step.skip ? 127 : 0;
    case kFieldPartOn: return partOnShown[part];
    case kFieldEditorSetting: return editorSetting;
    default: return 0;
    }
}

void CSequencer::SetStepValue(int part, int field, int stepIndex, int32_t value) {
    if (!ValidPart(part) || !ValidStep(stepIndex)) return;
    Step& step = patterns[SelectedPattern()].steps[stepIndex];
    switch (field) {
    case kFieldNote: step.note = Clamp(value, 0, kMaxNote); break;
    case kFieldVelocity: step.velocity = Clamp(value, 0, 127); break;
    case kFieldLaneB: step.laneB = Clamp(value, 0, 127); break;
    case kFieldHeldKey: step.heldKey = Clamp(value, 0, kMaxHeldKey); break;
    case kFieldFunction: partFunction[part] = value >= 0 && value < kFunctions ? value : 0; break;
    case kFieldLength: step.length = Clamp(value, 0, kMaxLength); break;
    case kFieldChord: step.chord = ClampChord(value); break;
    case kFieldGate: step.gate = Clamp(value, 0, kMaxGate); break;
    case kFieldRest: step.rest = value >= 64 ? 1 : 0; break;
    case kFieldSkip: step.skip = value >= 64 ? 1 : 0; break;
    case kFieldPartOn:
        // Notes of the part may be sounding: the audio thread switches it.
        partOnShown[part] = value != 0 ? 1 : 0;
        if (synth)
            synth->Post({CSynth::Request::Kind::kPartOn, part, value != 0 ? 1 : 0});
        else
            SetPartOn(part, value != 0);
        break;
    case kFieldEditorSetting: editorSetting = value; break;
    default: break;
    }
}

void CSequencer::SetSelection(int group, int bank, int number) {
    selGroup = Clamp(group, 0, 3);
    selBank = Clamp(bank, 0, 7);
    selNumber = Clamp(number, 0, 15);
}

int CSequencer::GetPatternLastStep(int) const { return patterns[SelectedPattern()].lastStep; }
void CSequencer::SetPatternLastStep(int, int step) { patterns[SelectedPattern()].lastStep = Clamp(step, 0, kSteps - 1); }
int CSequencer::GetPatternLoopStep(int) const { return patterns[SelectedPattern()].loopStep; }
void CSequencer::SetPatternLoopStep(int, int step) { patterns[SelectedPattern()].loopStep = Clamp(step, 0, kSteps - 1); }

int CSequencer::GetPatternStartStep(int pattern) const {
    return pattern >= 0 && pattern < kPatterns ? patterns[pattern].startStep.load() : 0;
}

void CSequencer::SetPatternStartStep(int pattern, int step) {
    if (pattern >= 0 && pattern < kPatterns) patterns[pattern].startStep = Clamp(step, 0, kSteps - 1);
}

int CSequencer::GetPlayingStep() const {
    if (!running) return 0;
    const int selected = SelectedPattern();
    for (int p = 0; p < kParts; ++p)
        if (currentPattern[p] == selected) return currentStep[p];
    return -1;
}

// ---------------------------------------------------------------------------
// Pattern commands

void CSequencer::EditPattern(int command) {
    Pattern& pattern = patterns[SelectedPattern()];
    auto copy = [](const Step& s) {
        return StepCopy{s.note, s.chord, s.velocity, s.laneB, s.length, s.gate, s.heldKey, s.skip, s.rest};
    };
    auto assign = [](Step& s, const StepCopy& c) {
        s.note = c.note; s.chord = c.chord; s.velocity = c.velocity; s.laneB = c.laneB; s.length = c.length;
        s.gate = c.gate; s.heldKey = c.heldKey; s.skip = c.skip; s.rest = c.rest;
    };
    const int start = Clamp(pattern.startStep, 0, kSteps - 1);
    const int last = Clamp(pattern.lastStep, 0, kSteps - 1);
    const int lo = std::min(start, last);
    const int hi = std::max(start, last);
    switch (command) {
    case 1:
        for (int s = 0; s < kSteps; ++s) clipboard[s] = copy(pattern.steps[s]);
        clipboardStart = start;
        clipboardLast = last;
        clipboardFull = true;
        break;
    case 2:
        if (!clipboardFull) break;
        for (int s = 0; s < kSteps; ++s) assign(pattern.steps[s], clipboard[s]);
        pattern.startStep = clipboardStart;
        pattern.lastStep = clipboardLast;
        break;
    case 3:
        for (Step& s : pattern.steps) assign(s, StepCopy{48, 0, 100, 100, 4, 50, 0, 0, 0});
        pattern.startStep = 0;
        pattern.lastStep = 15;
        break;
    case 4:
    case 5: {
        StepCopy row[kSteps];
        const int n = hi - lo + 1;
        for (int i = 0; i < n; ++i) row[i] = copy(pattern.steps[lo + i]);
        const int shift = command == 4 ? 1 : n - 1;
        for (int i = 0; i < n; ++i) assign(pattern.steps[lo + i], row[(i + shift) % n]);
        break;
    }
    case 6: VaryPattern(1); break;
    case 7: VaryPattern(7); break;
    case 8: VaryPattern(8); break;
    case 9: VaryPattern(64); break;
    case 10: VaryPattern(16); break;
    case 11: VaryPattern(128); break;
    case 12: VaryPattern(255); break;
    default: return;
    }
    if (synth && synth->editor) synth->editor->RequestRedraw();
}

void CSequencer::VaryPattern(uint32_t mask) {
    Pattern& pattern = patterns[SelectedPattern()];
    const int start = pattern.startStep;
    const int last = pattern.lastStep;
    if (start > last) return;
    auto offset = [](int range) {
        const double r = os::Rand();
        return static_cast<int>(r * range / 32767.0 - range / 2.0);
    };
    for (int s = std::max(start, 0); s <= std::min(last, kSteps - 1); ++s) {
        Step& step = pattern.steps[s];
        if (mask & 1) step.note = std::abs((step.note + offset(12)) % 96);
        if (mask & 2) step.velocity = std::abs((step.velocity + offset(64)) % 128);
        if (mask & 4) step.laneB = std::abs((step.laneB + offset(64)) % 128);
        if (mask & 8) step.length = std::abs((step.length + offset(6)) % 15);
        if (mask & 16) step.gate = ((os::Rand() & 3) + 1) * 25;
        if (mask & 32) step.skip = os::Rand() > 16383 ? 1 : 0;
        if (mask & 64) step.rest = os::Rand() > 16383 ? 1 : 0;
        if (mask & 128) step.heldKey = os::Rand() % 7 + 1;
    }
}

// ---------------------------------------------------------------------------
// Song

void CSequencer::SetSongCell(int cell) {
    if (songList && cell >= 0) songList->SetCell(cell >> 8, cell & 255, SelectedPattern(), currentTranspose);
}

void CSequencer::PickSongCell(int cell) {
    if (!songList || cell < 0) return;
    const int track = cell >> 8;
    const int n = cell & 255;
    const int32_t pattern = songList->GetCellPattern(track, n);
    if (pattern < 0) return;
    SetSelection(pattern / 128, (pattern % 128) / 16, pattern % 16);
    currentTranspose = songList->GetCellTranspose(track, n);
    songList->ClearCell(track, n);
}

int32_t CSequencer::GetSongCellPattern(int cell) const {
    return songList && cell >= 0 ? songList->GetCellPattern(cell >> 8, cell & 255) : -1;
}

void CSequencer::SetSongCursor(int cell) {
    if (songList && cell >= 0 && (cell >> 8) < CSongList::kTracks) songList->SetCursor(cell >> 8, cell & 255);
}

void CSequencer::SetCursorTranspose(int transpose) {
    // A project keeps a transpose in a signed byte.
    currentTranspose = Clamp(transpose, -128, 127);
    if (!songList) return;
    const int track = songList->GetCursorTrack();
    const int n = songList->GetCursorPosition();
    const int32_t pattern = songList->GetCellPattern(track, n);
    if (pattern >= 0) songList->SetCell(track, n, pattern, currentTranspose);
}

void CSequencer::SetSongStart(int n) { if (songList) songList->SetStart(n); }
void CSequencer::SetSongEnd(int n) { if (songList) songList->SetEnd(n); }
int CSequencer::GetSongStart() const { return songList ? songList->GetStart() : 0; }
int CSequencer::GetSongEnd() const { return songList ? songList->GetEnd() : 0; }
int CSequencer::GetSongPosition() const { return songList ? songList->GetPosition() : 0; }

int64_t CSequencer::GetSongTicks() const {
    const int64_t withinBar = ((tickCounter - startTickOffset) % kTicksPerBar + kTicksPerBar) % kTicksPerBar;
    return static_cast<int64_t>(GetSongPosition()) * kTicksPerBar + withinBar;
}

// ---------------------------------------------------------------------------
// Texts

void CSequencer::GetPositionText(char* out, size_t size) const {
    if (!out || size == 0) return;
    const int64_t ticks = GetSongTicks();
    std::snprintf(out, size, "%04d:%02d:%02d", static_cast<int>(ticks / kTicksPerBar + 1),
                  static_cast<int>(ticks % kTicksPerBar / kTicksPerBeat + 1), static_cast<int>(ticks % kTicksPerBeat));
}

void CSequencer::GetSwingText(char* out, size_t size) const {
    if (!out || size == 0) return;
    std::snprintf(out, size, "%3.0f %%", static_cast<double>(swing.load()));
}

void CSequencer::FormatStepNote(int part, int stepIndex, char* out, size_t size) const {
    if (!ValidPart(part) || !ValidStep(stepIndex)) {
        CutText(out, size, "");
        return;
    }
    const Step& step = patterns[SelectedPattern()].steps[stepIndex];
    const char* chord = step.chord > 0 ? CKeyboard::ChordName(step.chord) : "";
    const int function = GetPartFunction(part);
    if (!out || size == 0) return;
    if (function == 1 || function == 2)
        std::snprintf(out, size, "k%+d%s", step.note - 48, chord);
    else
        std::snprintf(out, size, "%s%s", CKeyboard::NoteName(step.note), chord);
}

// ---------------------------------------------------------------------------
// Project section

bool CSequencer::ReadProject(const uint8_t* data, size_t size) {
    if (!data) size = 0;
    storedSampleRate = 0;
    if (size >= kProjectHeadSize) {
        const uint32_t rate = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) | (uint32_t{data[2]} << 8) | data[3];
        if (SupportedRate(rate)) storedSampleRate = rate;
        float value = 0.0f;
        if (ParseField(data + 4, value) && value >= kMinTempo && value <= kMaxTempo) tempo = value;
        if (ParseField(data + 12, value) && value >= 0.0f && value <= kMaxSwing) swing = value;
        songLoop = data[20] != 0 ? 1 : 0;
        editorSetting = data[21];
        UpdateTempo();
    }
    for (int p = 0; p < kParts; ++p) {
        const size_t at = kPartRecordsAt + static_cast<size_t>(p) * kPartRecordSize;
        if (size < at + kPartRecordSize) break;
        partOn[p] = data[at] != 0 ? 1 : 0;
        partOnShown[p] = data[at + 1] != 0 ? 1 : 0;
        partFunction[p] = data[at + 2] < kFunctions ? data[at + 2] : 0;
    }
    for (int i = 0; i < kPatterns; ++i) {
        const size_t at = kPatternRecordsAt + static_cast<size_t>(i) * kPatternRecordSize;
        if (size < at + kPatternRecordSize) break;
        const uint8_t* record = data + at;
        Pattern& pattern = patterns[i];
        pattern.lastStep = std::min<int>(record[0], kSteps - 1);
        pattern.startStep = std::min<int>(record[1], kSteps - 1);
        // Loop steps are not stored: every load plays the same way.
        pattern.loopStep = 0;
        for (int s = 0; s < kSteps; ++s) ReadStoredStep(record + 4 + 12 * s, pattern.steps[s]);
    }
    if (size < kProjectSectionSize) return false;
    if (!songList) return false;
    return songList->ReadProject(data + kProjectSectionSize, size - kProjectSectionSize);
}

bool CSequencer::ReadProject(std::FILE* file) {
    std::vector<uint8_t> section(kProjectSectionSize + CSongList::kProjectSectionSize);
    const size_t got = file ? std::fread(section.data(), 1, section.size(), file) : 0;
    return ReadProject(section.data(), got);
}

void CSequencer::WriteProject(uint8_t* out) const {
    std::memset(out, 0, kProjectSectionSize);
    const uint32_t rate = static_cast<uint32_t>(g_GlobalData.sampleRate);
    out[0] = static_cast<uint8_t>(rate >> 24);
    out[1] = static_cast<uint8_t>(rate >> 16);
    out[2] = static_cast<uint8_t>(rate >> 8);
    out[3] = static_cast<uint8_t>(rate);
    char text[16];
    std::snprintf(text, sizeof(text), "%.3f", static_cast<double>(tempo.load()));
    std::memcpy(out + 4, text, std::min<size_t>(std::strlen(text), 8));
    std::snprintf(text, sizeof(text), "%.3f", static_cast<double>(swing.load()));
    std::memcpy(out + 12, text, std::min<size_t>(std::strlen(text), 8));
    out[20] = songLoop;
    out[21] = static_cast<uint8_t>(editorSetting.load());
    for (int p = 0; p < kParts; ++p) {
        uint8_t* record = out + kPartRecordsAt + static_cast<size_t>(p) * kPartRecordSize;
        record[0] = partOn[p];
        record[1] = partOnShown[p];
        record[2] = static_cast<uint8_t>(GetPartFunction(p));
    }
    for (int i = 0; i < kPatterns; ++i) {
        uint8_t* record = out + kPatternRecordsAt + static_cast<size_t>(i) * kPatternRecordSize;
        const Pattern& pattern = patterns[i];
        record[0] = static_cast<uint8_t>(Clamp(pattern.lastStep, 0, kSteps - 1));
        record[1] = static_cast<uint8_t>(Clamp(pattern.startStep, 0, kSteps - 1));
        for (int s = 0; s < kSteps; ++s) {
            uint8_t* b = record + 4 + 12 * s;
            const Step& step = pattern.steps[s];
            b[0] = static_cast<uint8_t>(Clamp(step.note, 0, 255));
            b[1] = static_cast<uint8_t>(Clamp(step.chord, 0, 255));
            b[2] = static_cast<uint8_t>(Clamp(step.velocity, 0, 255));
            b[3] = static_cast<uint8_t>(Clamp(step.laneB, 0, 255));
            b[4] = static_cast<uint8_t>(Clamp(step.length, 0, 255));
            b[5] = static_cast<uint8_t>(Clamp(step.gate, 0, 255));
            b[6] = step.skip;
            b[7] = step.rest;
            b[8] = static_cast<uint8_t>(Clamp(step.heldKey, 0, 255));
        }
    }
    if (songList) songList->WriteProject(out + kProjectSectionSize);
}
