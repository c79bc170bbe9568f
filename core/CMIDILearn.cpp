// CMIDI: controller learning with its file, the MIDI clock follower and the
// engine's tempo.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CMIDI.h"
#include "core/CProgram.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "engine/CEngine.h"
#include "os/OMessageBox.h"
#include "os/OReadFile.h"
#include "os/OReplaceFile.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"
#include "platform/COSystem.h"

namespace {

// The GUI thread may set a new rate while the clock reads it.
int32_t SampleRate() {
    return std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
}

// A binding is one word, kind in the low half and index in the high half,
// both signed 16-bit, so the audio thread never pairs one binding's kind
// with another's index. The slots hold the word inverted, so that the
// zero-initialised table reads as unbound before any code has run. The
// pending target of an armed learn is a word of the same form with the
// armed bit above it.
constexpr uint32_t kUnbound = 0xFFFFFFFFu;
constexpr uint64_t kArmed = uint64_t{1} << 32;

std::atomic<uint32_t> g_learnSlots[CMIDI::kControllers];
std::atomic<uint64_t> g_pendingLearn{0};
// Bumped by every change of a binding; the writer compares it with what it
// last wrote or tried to write (those two only on the GUI thread).
std::atomic<uint32_t> g_learnChanges{0};
uint32_t g_learnAttempted = 0;
uint32_t g_learnSaved = 0;

uint32_t LoadSlot(int c) { return ~g_learnSlots[c].load(); }
void StoreSlot(int c, uint32_t pair) { g_learnSlots[c].store(~pair); }

uint32_t Pack(int kind, int index) {
    return static_cast<uint16_t>(kind) | static_cast<uint32_t>(static_cast<uint16_t>(index)) << 16;
}
int KindOf(uint32_t pair) { return static_cast<int16_t>(pair & 0xFFFF); }
int IndexOf(uint32_t pair) { return static_cast<int16_t>(pair >> 16); }

bool Fits16(int v) { return v >= -32768 && v <= 32767; }

// Whether a learn file's pair is kept: kind 0 must name a part-sound
// parameter; higher kinds stay as a file holds them (they act on nothing
// here, and a file written elsewhere keeps them).
bool Kept(int kind, int index) {
    if (kind < 0 || !Fits16(kind) || !Fits16(index))
        return false;
    return kind != 0 || (index >= 0 && index < CProgram::kRecordSize);
}

void SetSlot(int controller, uint32_t pair) {
    if (~g_learnSlots[controller].exchange(~pair) != pair)
        g_learnChanges.fetch_add(1);
}

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool WriteLearnFile(const char* path, std::string& why) {
    uint8_t image[CMIDI::kLearnFileSize];
    for (int c = 0; c < CMIDI::kControllers; ++c) {
        const uint32_t pair = LoadSlot(c);
        image[2 * c] = static_cast<uint8_t>(pair);
        image[2 * c + 1] = static_cast<uint8_t>(pair >> 8);
        image[256 + 2 * c] = static_cast<uint8_t>(pair >> 16);
        image[256 + 2 * c + 1] = static_cast<uint8_t>(pair >> 24);
    }
    // A failed write leaves the bindings of the last good file in place.
    return os::ReplaceFile(path, image, sizeof(image), &why);
}

} // namespace

// ---------------------------------------------------------------------------
// Settings files

void CMIDI::LoadSettings() {
    COSystem sys;
    const char* path = sys.GetAppPath("QVMIDI.qvm");
    std::vector<uint8_t> image;
    std::string why;
    // One byte past the size tells a file that goes on.
    const os::ReadStatus read = os::ReadWholeFile(path, kLearnFileSize + 1, image, why, true);
    char line[900];
    line[0] = '\0';
    if (read == os::ReadStatus::kRefused) {
        std::snprintf(line, sizeof(line), "QVMIDI.qvm %.600s: %s; no learnt controller was loaded", path,
                      why.c_str());
    } else if (read == os::ReadStatus::kRead) {
        const int dropped = ReadLearnData(image.data(), image.size());
        if (image.size() != kLearnFileSize)
            std::snprintf(line, sizeof(line), "QVMIDI.qvm %.600s: %s bytes, a learn file has %zu; what it holds "
                          "was taken", path, image.size() > kLearnFileSize ? "more than 512" :
                          std::to_string(image.size()).c_str(), kLearnFileSize);
        else if (dropped > 0)
            std::snprintf(line, sizeof(line), "QVMIDI.qvm %.600s: %d assignments name nothing a controller can "
                          "drive and were dropped", path, dropped);
    }
    if (line[0])
        CDebug::Say(line);
    for (int part = 1; part <= kParts; ++part) {
        char name[32];
        std::snprintf(name, sizeof(name), "part%d.scl", part);
        LoadTuningFile(part - 1, name);
        std::snprintf(name, sizeof(name), "part%d.tun", part);
        LoadTuningFile(part - 1, name);
    }
}

int CMIDI::ReadLearnData(const uint8_t* data, size_t size) {
    int dropped = 0;
    if (!data)
        return dropped;
    size = std::min(size, kLearnFileSize);
    for (int c = 0; c < kControllers; ++c) {
        const size_t kindAt = 2 * static_cast<size_t>(c);
        const size_t indexAt = 256 + kindAt;
        if (kindAt + 2 > size)
            break;
        const uint32_t old = LoadSlot(c);
        int kind = static_cast<int16_t>(Word(data + kindAt));
        int index = indexAt + 2 <= size ? static_cast<int16_t>(Word(data + indexAt)) : IndexOf(old);
        if (!Kept(kind, index)) {
            if (kind != -1 || index != -1)
                ++dropped;
            kind = index = -1;
        }
        StoreSlot(c, Pack(kind, index));
    }
    return dropped;
}

bool CMIDI::SaveLearnFile(bool atExit) {
    const uint32_t changes = g_learnChanges.load();
    if (changes == (atExit ? g_learnSaved : g_learnAttempted))
        return true;
    g_learnAttempted = changes;
    COSystem sys;
    const char* path = sys.GetAppPath("QVMIDI.qvm");
    std::string why = "the program folder's name is too long";
    if (*path && WriteLearnFile(path, why)) {
        g_learnSaved = changes;
        return true;
    }
    char line[900];
    std::snprintf(line, sizeof(line), "The learnt controllers could not be saved to \"%.600s\": %s.", path,
                  why.c_str());
    // While the editor runs the user has just learnt or assigned one: a box.
    // At exit nobody looks at a box any more.
    if (atExit) {
        CDebug::Say(line);
    } else {
        CDebug::Log(line);
        os::ShowMessageBox(line, "Error");
    }
    return false;
}

// ---------------------------------------------------------------------------
// Learning

void CMIDI::RemapController(int& kind, int& index) {
    if (kind == 3 && index >= 143 && index <= 150) {
        kind = 0;
        index += 156;
    }
}

bool CMIDI::Drives(int kind, int index) {
    RemapController(kind, index);
    return kind == 0 && index >= 0 && index < CProgram::kRecordSize;
}

bool CMIDI::LearnNextController(int kind, int index) {
    if (!Drives(kind, index))
        return false;
    RemapController(kind, index);
    ClearController(kind, index);
    g_pendingLearn.store(kArmed | Pack(kind, index));
    return true;
}

void CMIDI::ApplyLearnedController(int part, int /*status*/, int controller, int value) {
    if (controller < 0 || controller >= kControllers)
        return;
    uint64_t pending = g_pendingLearn.load();
    if ((pending & kArmed) && g_pendingLearn.compare_exchange_strong(pending, 0))
        SetSlot(controller, static_cast<uint32_t>(pending));
    const uint32_t pair = LoadSlot(controller);
    if (KindOf(pair) >= 0 && synth)
        synth->SetLearnedParameter(part, KindOf(pair), IndexOf(pair),
                                   static_cast<float>(value) / 127.0f);
}

int CMIDI::FindLearnSlot(int kind, int index) {
    RemapController(kind, index);
    // Kind -1 marks the unbound controllers; it is no target.
    if (kind < 0 || !Fits16(kind) || !Fits16(index))
        return -1;
    const uint32_t pair = Pack(kind, index);
    for (int c = 0; c < kControllers; ++c)
        if (LoadSlot(c) == pair)
            return c;
    return -1;
}

void CMIDI::ClearController(int kind, int index) {
    RemapController(kind, index);
    if (!Fits16(kind) || !Fits16(index))
        return;
    const uint32_t pair = Pack(kind, index);
    for (int c = 0; c < kControllers; ++c) {
        uint32_t expected = ~pair;
        if (g_learnSlots[c].compare_exchange_strong(expected, ~kUnbound))
            g_learnChanges.fetch_add(1);
    }
}

bool CMIDI::AssignController(int kind, int index, uint32_t controller) {
    if (controller != kClearOnly && controller >= static_cast<uint32_t>(kControllers))
        return false;
    if (controller != kClearOnly && !Drives(kind, index))
        return false;
    RemapController(kind, index);
    ClearController(kind, index);
    if (controller != kClearOnly)
        SetSlot(static_cast<int>(controller), Pack(kind, index));
    return true;
}

// ---------------------------------------------------------------------------
// Clock and tempo

void CMIDI::OnClockTick(uint32_t timeStamp) {
    if (!midiSync.load(std::memory_order_relaxed))
        return;
    // Stamps are the clocks' own times in microseconds (a JACK clock's
    // frames), not the times their callbacks ran. A stamp from before the
    // last one (a restarted input, a reordered burst) cannot give an
    // interval: the average starts over from here.
    const auto interval = static_cast<int32_t>(timeStamp - lastClockTime);
    if (clockTicks > 0 && interval < 0) {
        clockTicks = 0;
        clockAccumulator = 0.0;
    }
    if (clockTicks > 0) {
        // 24 clocks per quarter note against 96 ticks: us x rate / 4e6.
        clockAccumulator += static_cast<double>(interval) * static_cast<double>(SampleRate()) / 4.0e6;
    }
    // The first clock only records its time: an average needs 16 intervals.
    if (clockTicks > 0 && clockTicks % 16 == 0) {
        const double average = clockAccumulator * 0.0625;
        const double rate = static_cast<double>(SampleRate());
        const double bpm = average > 0.0 ? rate * 60.0 / (average * 96.0) : 0.0;
        // A burst of equal stamps, a pause or a clock far off the tempo the
        // editor allows is not a tempo: it is dropped with its window.
        const bool usable = std::isfinite(bpm) && bpm >= CSequencer::kMinTempo && bpm <= CSequencer::kMaxTempo;
        const float current = engine ? CEngine::LoadTempo(engine->tempoValue) : 0.0f;
        if (usable && engine && std::fabs(average - static_cast<double>(current)) > 5.0) {
            CEngine::StoreTempo(engine->tempoValue, static_cast<float>(average));
            if (synth) {
                synth->sequencer->tempo = static_cast<float>(bpm);
                synth->sequencer->UpdateTempo();
                synth->arpeggiator->SetTempo(static_cast<float>(bpm));
            }
            CEngine::StoreTempo(engine->tempoFactor, static_cast<float>(120.0 / bpm));
        }
        clockAccumulator = 0.0;
        // Counted on for months the count would overflow; a window has just
        // closed, so it can start over here.
        if (clockTicks >= (1 << 30))
            clockTicks = 0;
        const float perTick = engine ? CEngine::LoadTempo(engine->tempoValue) : 0.0f;
        if (perTick != 0.0f)
            CEngine::StoreTempo(engine->tempoIncrement,
                                16777216.0f * static_cast<float>(g_GlobalData.blockSize) / perTick);
    }
    ++clockTicks;
    lastClockTime = timeStamp;
}

void CMIDI::OnStart(uint32_t /*timeStamp*/) {
    if (!midiSync.load(std::memory_order_relaxed))
        return;
    clockAccumulator = 0.0;
    clockTicks = 0;
    if (synth)
        synth->StartSequencer();
}

void CMIDI::OnContinue() {
    if (midiSync.load(std::memory_order_relaxed) && synth)
        synth->ContinueSequencer();
}

void CMIDI::OnStop() {
    if (midiSync.load(std::memory_order_relaxed) && synth)
        synth->StopSequencer();
}

void CMIDI::SetTempo(float samplesPerTick) {
    if (!engine || !std::isfinite(samplesPerTick))
        return;
    CEngine::StoreTempo(engine->tempoValue, samplesPerTick);
    if (samplesPerTick == 0.0f)
        return;
    const float rate = static_cast<float>(SampleRate());
    CEngine::StoreTempo(engine->tempoIncrement,
                        16777216.0f * static_cast<float>(g_GlobalData.blockSize) / samplesPerTick);
    CEngine::StoreTempo(engine->tempoFactor, 120.0f / (rate * 60.0f / (samplesPerTick * 96.0f)));
}

void CMIDI::SetTempoClamped(float samplesPerTick) {
    if (samplesPerTick > 10.0f && samplesPerTick < 1000.0f)
        SetTempo(samplesPerTick);
}
