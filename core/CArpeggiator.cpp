#include "core/CArpeggiator.h"

#include <algorithm>
#include <cmath>

#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "core/StepLength.h"
#include "os/ORandom.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kPatterns = 8;
constexpr int kPatternSteps = 16;
// Rhythms 18..25: step lengths in ticks, a row ending early at its first 0.
constexpr int32_t kRhythmPatterns[kPatterns][kPatternSteps] = {
    {48, 24, 24, 48, 24, 24, 48, 24, 24, 48, 24, 24},
    {24, 24, 48, 24, 24, 48, 24, 24, 48, 24, 24, 48},
    {48, 48, 24, 48, 24, 48, 48, 24, 48, 24},
    {24, 48, 24, 48, 48, 24, 48, 24, 48, 48},
    {24, 24, 48, 48, 24, 24, 24, 48, 72, 48},
    {48, 24, 48, 24, 48, 24, 48, 48, 24, 48},
    {48, 48, 24, 48, 24, 48, 48, 24, 72},
    {32, 16, 32, 16, 32, 16, 32, 16, 32, 16, 32, 16, 32, 16, 32, 16},
};
constexpr int kFirstPattern = 18;

bool ValidPart(int part) { return part >= 0 && part < CArpeggiator::kParts; }

// The MIDI clock sets the tempo on the audio thread while the GUI thread may
// set a new rate.
double SamplesPerTick(double bpm) {
    const int32_t rate = std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
    return static_cast<double>(rate) * 60.0 / (bpm * 96.0);
}

} // namespace

CArpeggiator::CArpeggiator(CSynth* s) : synth(s) {
    samplesPerTick.store(SamplesPerTick(120.0));
    for (auto& up : directionUp)
        up = 1;
}

CArpeggiator::~CArpeggiator() = default;

void CArpeggiator::SetTempo(float bpm) {
    if (!(bpm > 0.0f) || !std::isfinite(bpm))
        return;
    samplesPerTick.store(SamplesPerTick(bpm));
}

int32_t CArpeggiator::Slot(int part, int slot) const {
    return synth->engine.data.PartI(part, slot);
}

int CArpeggiator::GetMode(int part) const {
    return ValidPart(part) && synth ? Slot(part, kSlotMode) : 0;
}

bool CArpeggiator::IsPartActive(int part) const {
    return (GetMode(part) & 1) != 0;
}

// Programs carry any number here: 0 would never be reached going up and
// would go below octave 0 going down.
int CArpeggiator::Octaves(int part) const {
    return std::clamp(Slot(part, kSlotOctaves), 1, kMaxOctaves);
}

bool CArpeggiator::AdvanceClock() {
    sampleCounter += static_cast<uint64_t>(std::max(g_GlobalData.blockSize, 1));
    const double step = samplesPerTick.load(std::memory_order_relaxed);
    if (static_cast<double>(sampleCounter) < nextTickTime + step)
        return false;
    ++tick;
    tickCopy = static_cast<int32_t>(tick);
    nextTickTime += step;
    return true;
}

bool CArpeggiator::IsActive(int part) {
    const bool on = (Slot(part, kSlotMode) & 1) != 0;
    CKeyboard* keys = synth->midi->keyboard;
    if (on && !active[part])
        keys->ClearHeld(part);
    active[part] = on ? 1 : 0;
    if (on && (Slot(part, kSlotMode) & 2) == 0)
        keys->ClearHeld(part);
    return on;
}

int CArpeggiator::CountKeys(int part) {
    holdMode[part] = (Slot(part, kSlotMode) & 2) != 0 ? 1 : 0;
    const CKeyboard* keys = synth->midi->keyboard;
    return static_cast<int>(holdMode[part] ? keys->CountDownOrHeldKeys(part) : keys->CountDownKeys(part));
}

bool CArpeggiator::GetNthKey(int part, int n, int32_t& key, uint32_t& velocity) {
    holdMode[part] = (Slot(part, kSlotMode) & 2) != 0 ? 1 : 0;
    CKeyboard* keys = synth->midi->keyboard;
    return holdMode[part] ? keys->GetNthDownOrHeldKey(part, n, key, velocity)
                          : keys->GetNthDownKey(part, n, key, velocity);
}

int32_t CArpeggiator::StepTicks(int rhythm, int part) {
    if (rhythm < kFirstPattern || rhythm >= kFirstPattern + kPatterns || !ValidPart(part))
        return StepLengthTicks(rhythm);
    const int32_t* row = kRhythmPatterns[rhythm - kFirstPattern];
    int32_t& step = patternStep[part];
    if (step < 0 || step >= kPatternSteps)
        step = 0;
    int32_t v = row[step];
    if (v < 1) {
        v = row[0];
        step = 1;
    } else if (++step >= kPatternSteps) {
        step = 0;
    }
    return v;
}

void CArpeggiator::NextNote(int p) {
    const int count = CountKeys(p);
    const int octaves = Octaves(p);
    int32_t key = 0;
    uint32_t velocity = 0;
    if (GetNthKey(p, noteIndex[p], key, velocity)) {
        int note = key + 12 * octave[p];
        while (note > 127)
            note -= 12;
        currentNote[p] = note;
        currentVelocity[p] = static_cast<int32_t>(std::min<uint32_t>(velocity, 127));
    }

    const int32_t direction = Slot(p, kSlotDirection);
    if (direction == kUp)
        directionUp[p] = 1;
    else if (direction == kDown)
        directionUp[p] = 0;
    const bool alternate = direction == kAlternate;
    if (directionUp[p]) {
        if (++noteIndex[p] > count) {
            ++octave[p];
            noteIndex[p] = 1;
            if (octave[p] >= octaves) {
                if (alternate) {
                    directionUp[p] = 0;
                    noteIndex[p] = count;
                    octave[p] = octaves - 1;
                } else {
                    octave[p] = 0;
                }
            }
        }
    } else if (--noteIndex[p] < 1) {
        noteIndex[p] = count;
        if (--octave[p] < 0) {
            if (alternate) {
                directionUp[p] = 1;
                noteIndex[p] = 1;
                octave[p] = 0;
            } else {
                octave[p] = octaves - 1;
            }
        }
    }
    if (direction == kRandom)
        directionUp[p] = os::Rand() < 16383 ? 1 : 0;

    const int32_t length = StepTicks(Slot(p, kSlotRhythm), p);
    nextStepTick[p] = static_cast<int64_t>(tick) + length;
    noteOffTick[p] = static_cast<int64_t>(tick) + static_cast<int64_t>(0.75 * length);
}

void CArpeggiator::SendNoteOn(int p) {
    // A key held with velocity 0 would turn the note-on into a note-off.
    const int velocity = std::clamp(currentVelocity[p], 1, 127);
    synth->midi->HandlePartMessage(p, 0x90, currentNote[p] & 127, velocity, 0, -1, 0, 1);
    noteSounding[p] = 1;
}

void CArpeggiator::SendNoteOff(int p) {
    synth->midi->HandlePartMessage(p, 0x90, currentNote[p] & 127, 0, 0, -1, 0, 1);
    noteSounding[p] = 0;
}

void CArpeggiator::Process() {
    if (!AdvanceClock() || !synth || !synth->midi)
        return;
    const int64_t now = static_cast<int64_t>(tick);
    for (int p = 0; p < kParts; ++p) {
        const bool on = IsActive(p);
        const int count = on ? CountKeys(p) : 0;
        if (on && count > 0) {
            if (previousKeyCount[p] == 0) {
                noteIndex[p] = 1;
                octave[p] = 0;
                patternStep[p] = 0;
                nextStepTick[p] = now;
                synth->engine.RestartSyncedLFOs(p);
            }
            if (noteSounding[p] && noteOffTick[p] <= now)
                SendNoteOff(p);
            if (nextStepTick[p] <= now) {
                NextNote(p);
                SendNoteOn(p);
            }
            previousKeyCount[p] = CountKeys(p);
        } else {
            // Switched off, a sounding note still ends at its own time; with
            // no key left it ends now.
            if (noteSounding[p] && (on || noteOffTick[p] <= now))
                SendNoteOff(p);
            previousKeyCount[p] = 0;
        }
    }
}
