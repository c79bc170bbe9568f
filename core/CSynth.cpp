#include "core/CSynth.h"

#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CPresetPool.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "engine/SafeMath.h"
#include "os/OClock.h"
#include "os/OReadFile.h"
#include "editor/CEditor.h"
#include "os/OMessageBox.h"
#include "platform/CAudioDevices.h"
#include "platform/CDebug.h"
#include "platform/CDlgFile.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"

namespace {

constexpr int kRecordSize = CProgram::kRecordSize;
constexpr int kMixerMidiChannel = 4;
constexpr int kMixerKeyLow = 5;
constexpr int kMixerKeyHigh = 6;
constexpr int kMixerMidiOut = 7;
constexpr int kMixerMute = 9;
constexpr int kMixerVoices = 10;
constexpr int kRecordVoices = 344;
constexpr int kRecordKeyLow = 359;
constexpr int kRecordKeyHigh = 360;
constexpr int kFxpHeaderBytes = 60;
constexpr int kFxpBodyBytes = 6532;

bool ValidPart(int32_t part) { return part >= 0 && part < CSynth::kParts; }

// For the time of a render call: flush-to-zero and denormals-are-zero, so
// that decaying filters and reverb tails never fall into slow denormal
// arithmetic; and the in-flight count that lets the GUI thread wait for the
// call to end before it rebuilds parts.
class RenderScope {
public:
    explicit RenderScope(std::atomic<int32_t>& inFlight) : m_inFlight(inFlight), m_csr(_mm_getcsr()) {
        m_inFlight.fetch_add(1);
        _mm_setcsr(m_csr | 0x8040u);
    }
    ~RenderScope() {
        _mm_setcsr(m_csr);
        m_inFlight.fetch_sub(1);
    }
    RenderScope(const RenderScope&) = delete;
    RenderScope& operator=(const RenderScope&) = delete;

private:
    std::atomic<int32_t>& m_inFlight;
    unsigned m_csr;
};

void CopyText(char* out, const char* text) {
    if (out)
        std::strcpy(out, text ? text : "");
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

CSynth::CSynth() {
    currentProgram = 0;
    suspended.store(1);
    heldOver = 0;
    nextHeldOver = 0;
    std::memset(renderBuffer, 0, sizeof(renderBuffer));
    std::memset(heldBuffer, 0, sizeof(heldBuffer));
    std::memset(midiOutNotes, 0, sizeof(midiOutNotes));

    editor = new (std::nothrow) CEditor(this);

    parameters.SetEngine(&engine);
    parameters.SetProgramStore(&program);
    engine.Init();

    midi = new CMIDI(&engine, this);
    sequencer = new CSequencer(this);
    arpeggiator = new CArpeggiator(this);
    songList = new CSongList();
    sequencer->SetSongList(songList);
    program.SetSequencer(sequencer);
    for (int part = 0; part < kParts; ++part)
        for (int osc = 0; osc < CEngine::kOscillators; ++osc)
            engine.MultiSample(part, osc).SetFreeGuard(&CSynth::MultiSampleGuard, this);

    if (editor) {
        program.LoadFactory();
        g_PresetPool.Scan(g_GlobalData.PresetPath);
        presetBrowser.Rebuild();
        // The engine plays every stored mixer and global value from the
        // start, as after a project load (the programs then apply what they
        // set of the mix): the knobs show what is heard.
        parameters.ApplyAllGlobal();
        parameters.ApplyAllMixer();
        const bool combination = program.IsCombinationBank(0);
        const int slot = program.GetCurrentBankSlot();
        for (int part = 0; part < kParts; part += combination ? 4 : 1) {
            program.SetPartProgram(part, slot, part);
            InitPart(part);
            if (part == program.GetCurrentPart())
                editor->Refresh();
        }
        parameters.ApplyReverbPreset(0);
        parameters.ApplyChorusPreset(0);
        // The preset fields name the presets applied.
        parameters.SetGlobalParameter(kGlobalReverbPreset, 0.0f);
        parameters.SetGlobalParameter(kGlobalChorusPreset, 0.0f);
        program.BuildProgramMenu(parameters.GetMenuView());

        if (editor->Open())
            OpenDevices();
    }
    std::memset(midiOutNotes, 0, sizeof(midiOutNotes));
}

CSynth::~CSynth() {
    // Every thread that calls into this object stops first: the audio
    // outputs (a JACK cycle, the ring's refill timer), whichever is open,
    // then the MIDI inputs. Nothing of the devices keeps a pointer to it.
    g_AudioDevices.CloseFor(this);
    g_MIDIDevices.Detach(this);
    // The editor goes first: it refers to this object, and nothing outlives
    // the synthesizer that could still use it.
    delete editor;
    editor = nullptr;
    // Controllers learnt since the editor's last tick still reach the file.
    CMIDI::SaveLearnFile(true);
    delete midi;
    delete sequencer;
    delete songList;
    delete arpeggiator;
}

// ---------------------------------------------------------------------------
// Render

int16_t CSynth::ToInt16(float sample) {
    if (std::isnan(sample))
        return 0;
    const double scaled = static_cast<double>(sample) * 32767.0;
    if (scaled >= 32767.0)
        return 32767;
    if (scaled <= -32767.0)
        return -32767;
    return static_cast<int16_t>(static_cast<int32_t>(scaled));
}

template <typename Sink>
void CSynth::Render(int32_t frames, Sink&& sink) {
    RenderScope scope(renderInFlight);
    // Learned controllers and the assignment refresh reach the parameter
    // model from here: it must know not to open files on this thread.
    CPIBase::AudioThreadScope audioThread;
    // Read once per call: a suspension that starts during the call takes
    // effect with the next one (the GUI thread waits for this call to end).
    const bool silent = suspended.load() != 0;
    perfMeter.BeginBlock();

    const int32_t held = nextHeldOver;
    {
        // MIDI events are placed against this call: its first new block
        // follows the frames held over.
        const int32_t block = std::clamp(g_GlobalData.blockSize, 1, kMaxHeldFrames);
        // The GUI thread may change the rate while a call is kept silent.
        const int32_t rate =
            std::max(std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed), 1);
        const uint32_t start = hasRenderStartTime ? renderStartTime : os::StampMicros();
        hasRenderStartTime = false;
        const auto heldUs = static_cast<uint32_t>(static_cast<int64_t>(held) * 1000000 / rate);
        const auto first = static_cast<int32_t>(engine.data.blockCounter.load(std::memory_order_relaxed));
        for (CMIDIQueue* q : {&midi->queue, &midi->realTimeQueue})
            q->SetRenderAnchor(first, start + heldUs, (frames + block - 1) / block);
    }
    heldOver = held;
    int32_t rendered = 0;
    if (frames <= held) {
        // Fewer frames asked than are held over: send what was asked and keep
        // the rest, in order, for the next call.
        for (int32_t i = 0; i < frames; ++i)
            sink(i, heldBuffer[2 * i], heldBuffer[2 * i + 1]);
        const int32_t rest = held - frames;
        std::memmove(heldBuffer, heldBuffer + 2 * frames, sizeof(float) * 2 * rest);
        nextHeldOver = rest;
    } else {
        for (int32_t i = 0; i < held; ++i)
            sink(i, heldBuffer[2 * i], heldBuffer[2 * i + 1]);
        const int32_t block = std::clamp(g_GlobalData.blockSize, 1, kMaxHeldFrames);
        int32_t done = held;
        int32_t remaining = frames - held;
        nextHeldOver = 0;
        // Requests beyond the render buffer are rendered in pieces; every
        // piece but the last is a whole number of blocks, so frames are only
        // held over after the last one.
        while (remaining > 0) {
            const int32_t want = std::min(remaining, kMaxRenderFrames);
            const int32_t r = want % block;
            const int32_t count = r == 0 ? want : want + (block - r);
            RenderBlocks(count, silent);
            rendered += count;
            for (int32_t i = 0; i < want; ++i)
                sink(done + i, renderBuffer[2 * i], renderBuffer[2 * i + 1]);
            done += want;
            remaining -= want;
            if (remaining == 0 && count > want) {
                nextHeldOver = count - want;
                std::memcpy(heldBuffer, renderBuffer + 2 * want, sizeof(float) * 2 * nextHeldOver);
            }
        }
    }
    perfMeter.EndBlock(rendered);
}

void CSynth::RenderBlocks(int32_t frames, bool silent) {
    const int32_t block = std::clamp(g_GlobalData.blockSize, 1, kMaxHeldFrames);
    const int32_t blocks = frames / block;
    if (silent) {
        // The GUI thread may be rebuilding voices: not even the requests are
        // carried out here.
        perfMeter.OverBudget(frames);
        std::fill(renderBuffer, renderBuffer + 2 * frames, 0.0f);
        engine.data.blockCounter.fetch_add(static_cast<uint32_t>(blocks), std::memory_order_relaxed);
        return;
    }
    sequencer->UpdateMidiOutClock();
    bool stopped = false;
    for (int32_t b = 0; b < blocks; ++b) {
        CarryOutRequests();
        midi->ProcessBlock();
        arpeggiator->Process();
        sequencer->Process(arpeggiator);
        // An assignment may move the voice count.
        const VoiceCounts before = CurrentVoiceCounts();
        parameters.UpdateAssignedSlice(static_cast<int>(engine.data.blockCounter));
        ReleaseIfLayoutChanged(before);
        if (perfMeter.OverBudget(frames)) {
            // The blocks not rendered pass all the same, as in a silent
            // call: MIDI falls due by them, and an engine that stays over
            // its budget would else hold every later event for good.
            engine.data.blockCounter.fetch_add(static_cast<uint32_t>(blocks - b), std::memory_order_relaxed);
            stopped = true;
            break;
        }
        engine.ControlTick();
        engine.RenderBlock(renderBuffer + 2 * block * b);
    }
    if (stopped) {
        std::fill(renderBuffer, renderBuffer + 2 * frames, 0.0f);
        return;
    }
    if (editor)
        editor->GetRecorder().Feed(renderBuffer, frames);
}

void CSynth::Process(float** /*inputs*/, float** outputs, int32_t frames) {
    if (!outputs || !outputs[0] || !outputs[1] || frames <= 0)
        return;
    float* left = outputs[0];
    float* right = outputs[1];
    // The master stage already puts out 0 for a non-finite frame; this
    // keeps the promise for whatever reaches the host, as the 16-bit path does.
    Render(frames, [left, right](int32_t i, float l, float r) {
        left[i] = std::isfinite(l) ? l : 0.0f;
        right[i] = std::isfinite(r) ? r : 0.0f;
    });
}

void CSynth::ProcessInt16(int16_t* interleaved, int32_t frames) {
    if (!interleaved || frames <= 0)
        return;
    Render(frames, [interleaved](int32_t i, float l, float r) {
        interleaved[2 * i] = ToInt16(l);
        interleaved[2 * i + 1] = ToInt16(r);
    });
}

void CSynth::ProcessAlias(float** inputs, float** outputs, int32_t frames) {
    Process(inputs, outputs, frames);
}

// ---------------------------------------------------------------------------
// Suspension

uint8_t CSynth::SuspendAndWait(int timeoutMs) {
    const uint8_t previous = suspended.exchange(1);
    // The render call raises the in-flight count before it reads the flag,
    // both sequentially consistent: once the count reads zero here, every
    // later call sees the flag.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (renderInFlight.load() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    // Requests asked before this point come before what the caller is about
    // to do with the engine. So does the MIDI that fell due, when the engine
    // ran until now: a render call that finds it held reads none, and under
    // a run of edits nearly every call does, while the events pile up until
    // they are dropped. Inside a hold the engine may be half rebuilt: the
    // outermost hold handles them.
    if (renderInFlight.load() == 0) {
        CarryOutRequests();
        if (previous == 0 && midi)
            midi->ProcessBlock();
    }
    return previous;
}

void CSynth::RestoreSuspended(uint8_t previous) {
    suspended.store(previous);
}

void CSynth::Resume() {
    suspended.store(0);
}

void CSynth::Suspend() {
    suspended.store(1);
}

// ---------------------------------------------------------------------------
// Requests

void CSynth::Post(const Request& request) {
    // The suspended flag is only ever set by this thread; with it set and no
    // call in flight, every later call sees it and stays out of the engine.
    if (IsSuspended() && !IsRenderInFlight()) {
        CarryOutRequests();
        CarryOut(request);
        return;
    }
    if (requests.Push(request))
        return;
    const uint8_t previous = SuspendAndWait();
    CarryOut(request);
    RestoreSuspended(previous);
}

void CSynth::CarryOutRequests() {
    Request request;
    while (requests.Pop(request))
        CarryOut(request);
}

void CSynth::CarryOut(const Request& request) {
    switch (request.kind) {
    case Request::Kind::kAllNotesOff:
        midi->AllNotesOff();
        break;
    case Request::Kind::kKillVoices:
        midi->KillVoices(request.a);
        break;
    case Request::Kind::kPlay: sequencer->Play(); break;
    case Request::Kind::kStop: sequencer->Stop(); break;
    case Request::Kind::kHostStart: sequencer->OnHostStart(); break;
    case Request::Kind::kSequencerAllNotesOff: sequencer->AllNotesOff(); break;
    case Request::Kind::kSongRewind: sequencer->SongRewind(); break;
    case Request::Kind::kSongToEnd: sequencer->SongToEnd(); break;
    case Request::Kind::kSongNext: sequencer->SongNext(); break;
    case Request::Kind::kSongPrevious: sequencer->SongPrevious(); break;
    case Request::Kind::kPartOn: sequencer->SetPartOn(request.a, request.b != 0); break;
    }
}

CSynth::VoiceCounts CSynth::CurrentVoiceCounts() const {
    VoiceCounts counts{};
    for (int p = 0; p < kParts; ++p)
        counts.n[p] = engine.data.SettingI(p, CEngineData::kSetVoiceCount);
    return counts;
}

void CSynth::ReleaseIfLayoutChanged(const VoiceCounts& before) {
    if (CurrentVoiceCounts() == before)
        return;
    engine.ResetPart(-1);
    midi->AllNotesOff();
}

// ---------------------------------------------------------------------------
// Programs

int32_t CSynth::CurrentPart() const {
    return std::clamp(program.GetCurrentPart(), 0, kParts - 1);
}

void CSynth::ApplyRecord(int32_t part, bool throughSlot8) {
    if (throughSlot8) {
        for (int id = 0; id < kRecordSize; ++id)
            SetParameter(id, GetParameter(id));
        part = CurrentPart();
    } else {
        float* record = program.GetProgramData(part);
        if (!record)
            return;
        for (int id = 0; id < kRecordSize; ++id)
            parameters.SetParameter(record, parameters.GetParameter(record, part, id), part, id,
                                    false, false);
    }
    // A NaN that reached a smoothed cell once would glide for good, even
    // toward the clean targets just set.
    engine.RepairSmoothedCells(part);
}

void CSynth::CheckVoiceCount(int32_t base, int32_t groupSize) {
    const float* record = program.GetProgramData(base);
    if (!record)
        return;
    const int v = engine::StoredInt(record[kRecordVoices]);
    const int m = engine::StoredInt(static_cast<double>(parameters.GetMixerParameter(kMixerVoices, base)) * 128.0);
    if (m == v)
        return;
    // The caller holds the engine: every part's voices are rebuilt.
    engine.ResetPart(-1);
    for (int q = base; q < base + groupSize; ++q)
        parameters.SetMixerParameter(kMixerVoices, q, static_cast<float>(v) / 128.0f);
    Post({Request::Kind::kAllNotesOff});
}

void CSynth::LoadPart(int32_t part, bool changeProgram, int32_t programNumber) {
    EngineHold hold(*this);
    engine.partLoading[part].store(1);
    if (changeProgram)
        program.SetProgram(programNumber);
    parameters.SetPartSynthesisType(part, program.GetProgramType(part));
    Post({Request::Kind::kKillVoices, part});
    engine.ResetPart(part);
    parameters.ResetPartVoices(part);
    ApplyRecord(part, changeProgram);
    CheckVoiceCount(part, 1);
    engine.partLoading[part].store(0);
}

void CSynth::SetProgram(int32_t programNumber) {
    if (programNumber < 0 || programNumber >= kPrograms)
        return;
    currentProgram = programNumber;
    const int32_t part = CurrentPart();
    if (program.IsCombinationBank(part)) {
        InitPartGroup(part, programNumber);
        return;
    }
    LoadPart(part, true, programNumber);
}

void CSynth::InitPart(int32_t part) {
    if (!ValidPart(part))
        return;
    if (program.IsCombinationBank(part)) {
        InitPartGroup(part, program.GetPartProgramNumber(part));
        return;
    }
    LoadPart(part, false, 0);
}

void CSynth::InitAllPartsKeepingMutes() {
    EngineHold hold(*this);
    float mutes[kParts];
    for (int part = 0; part < kParts; ++part)
        mutes[part] = parameters.GetMixerParameter(kMixerMute, part);
    for (int part = 0; part < kParts; ++part)
        InitPart(part);
    for (int part = 0; part < kParts; ++part)
        parameters.SetMixerParameter(kMixerMute, part, mutes[part]);
}

void CSynth::InitPartGroup(int32_t part, int32_t programNumber) {
    if (!ValidPart(part) || programNumber < 0 || programNumber >= kPrograms)
        return;
    EngineHold hold(*this);
    const int32_t base = (part / 4) * 4;
    const int32_t first = (programNumber / 4) * 4;
    for (int q = base; q < base + 4; ++q)
        engine.partLoading[q].store(1);
    for (int i = 0; i < 4; ++i) {
        const int q = base + i;
        program.SetPartProgram(q, 0, first + i);
        parameters.SetPartSynthesisType(q, program.GetProgramType(q));
        Post({Request::Kind::kKillVoices, q});
        engine.ResetPart(q);
        parameters.ResetPartVoices(q);
        ApplyRecord(q, false);
    }
    CheckVoiceCount(base, 4);
    const int channel = engine::StoredInt(parameters.GetMixerParameter(kMixerMidiChannel, base) * 128.0f);
    for (int q = base; q < base + 4; ++q)
        parameters.SetMixerParameter(kMixerMidiChannel, q, static_cast<float>(channel) / 128.0f);
    for (int q = base; q < base + 4; ++q) {
        const float* record = program.GetProgramData(q);
        if (!record)
            continue;
        parameters.SetMixerParameter(kMixerKeyLow, q,
                                     static_cast<float>(engine::StoredInt(record[kRecordKeyLow])) / 128.0f);
        parameters.SetMixerParameter(kMixerKeyHigh, q,
                                     static_cast<float>(engine::StoredInt(record[kRecordKeyHigh])) / 128.0f);
    }
    for (int q = base; q < base + 4; ++q)
        engine.partLoading[q].store(0);
}

void CSynth::SetPartProgram(int32_t part, int32_t programNumber) {
    if (!ValidPart(part))
        return;
    EngineHold hold(*this);
    program.SetPartProgram(part, program.GetCurrentBankSlot(), programNumber);
    InitPart(part);
    if (editor && part == program.GetCurrentPart())
        editor->Refresh();
}

void CSynth::PushParameters() {
    // Leaves the synthesizer suspended; the caller resumes it.
    SuspendAndWait();
    for (int id = 0; id < 1024; ++id)
        SetParameter(id, GetParameter(id));
}

void CSynth::SetProgramName(const char* name) {
    if (name)
        program.SetProgramName(currentProgram, name);
}

void CSynth::GetProgramName(char* out) {
    if (out)
        program.CopyProgramName(currentProgram, out);
}

bool CSynth::GetProgramNameIndexed(int32_t /*category*/, int32_t index, char* out) {
    if (index < 0 || index >= kPrograms || !out)
        return false;
    program.CopyProgramName(index, out);
    return true;
}

// ---------------------------------------------------------------------------
// Parameters

void CSynth::SetParameter(int32_t id, float normalized) {
    if (id < 0 || id >= kRecordSize)
        return;
    EngineHold hold(*this);
    const int32_t part = CurrentPart();
    float* record = program.GetProgramData(part);
    if (!record)
        return;
    const bool atOnce = engine.partLoading[part].load(std::memory_order_relaxed) != 0;
    parameters.SetParameter(record, normalized, part, id, atOnce, false);
}

// Every block the audio thread reads the assignment table to push the pad's
// deviation into the assigned values: the table is rewritten between blocks.
void CSynth::SetAssignment(int32_t part, int32_t id, int32_t amount) {
    EngineHold hold(*this);
    parameters.SetAssignment(part, id, amount);
}

float CSynth::GetParameter(int32_t id) {
    if (id < 0 || id >= kRecordSize)
        return 0.0f;
    const int32_t part = CurrentPart();
    const float* record = program.GetProgramData(part);
    return record ? parameters.GetParameter(record, part, id) : 0.0f;
}

void CSynth::GetParameterDisplay(int32_t id, char* out) {
    if (id < 0 || id >= kRecordSize) {
        CopyText(out, "");
        return;
    }
    const int32_t part = CurrentPart();
    const float* record = program.GetProgramData(part);
    CopyText(out, record ? parameters.GetParameterDisplay(record, part, id) : "");
}

void CSynth::GetParameterName(int32_t id, char* out) {
    CopyText(out, parameters.GetParameterLabel(0, id));
}

void CSynth::SetLearnedParameter(int32_t part, int32_t kind, int32_t id, float normalized) {
    if (kind != 0 || !ValidPart(part) || id < 0 || id >= kRecordSize)
        return;
    float* record = program.GetProgramData(part);
    if (!record)
        return;
    // This is the audio thread: a voice count moved by a controller is
    // dealt with here and now.
    const VoiceCounts before = CurrentVoiceCounts();
    parameters.SetParameter(record, normalized, part, id, false, false);
    ReleaseIfLayoutChanged(before);
    if (editor)
        editor->RequestRedraw();
}

bool CSynth::SetMixerParameter(int32_t code, float normalized) {
    bool changed = false;
    {
        EngineHold hold(*this);
        changed = parameters.SetMixerParameter(code & 0x3FF, code >> 10, normalized);
    }
    if (changed)
        Post({Request::Kind::kAllNotesOff});
    return changed;
}

float CSynth::GetMixerParameter(int32_t code) {
    return parameters.GetMixerParameter(code & 0x3FF, code >> 10);
}

void CSynth::GetMixerParameterDisplay(int32_t code, char* out) {
    CopyText(out, parameters.GetMixerParameterDisplay(code & 0x3FF, code >> 10));
}

void CSynth::SetGlobalParameter(int32_t id, float normalized) {
    EngineHold hold(*this);
    parameters.SetGlobalParameter(id, normalized);
}

float CSynth::GetGlobalParameter(int32_t id) {
    return parameters.GetGlobalParameter(id);
}

void CSynth::GetGlobalParameterDisplay(int32_t id, char* out) {
    CopyText(out, parameters.GetGlobalParameterDisplay(id));
}

void CSynth::SetSampleRate(float rate) {
    EngineHold hold(*this);
    const float tempo = sequencer->tempo;
    parameters.SetSampleRate(static_cast<int>(rate));
    arpeggiator->SetTempo(tempo);
    sequencer->tempo = tempo;
    sequencer->UpdateTempo();
    g_AudioDevices.SetSampleRate(g_GlobalData.sampleRate, g_GlobalData.refillPeriod);
    InitAllPartsKeepingMutes();
}

// ---------------------------------------------------------------------------
// MIDI

int32_t CSynth::ProcessMidiMessage(uint32_t message, uint32_t timeMs) {
    // Milliseconds back from now, on the finer clock. A time ahead of the
    // clock is taken as now, and one more than half an hour back is just
    // late (the finer clock wraps sooner).
    const auto back = static_cast<int32_t>(CMIDIQueue::ClockMs() - timeMs);
    const uint32_t ms = static_cast<uint32_t>(std::clamp(back, 0, 1800000));
    ProcessMidiMessageAt(message, os::StampMicros() - ms * 1000u);
    return 1;
}

void CSynth::ProcessMidiMessageAt(uint32_t message, uint32_t timeUs) {
    // The MIDI input thread: the counter is the one engine value read here.
    midi->queue.Push(static_cast<int32_t>(engine.data.blockCounter.load(std::memory_order_relaxed)), message,
                     timeUs);
}

int32_t CSynth::ProcessRealTimeMidiMessage(uint32_t message, uint32_t timeUs) {
    return midi->realTimeQueue.Push(static_cast<int32_t>(engine.data.blockCounter.load(std::memory_order_relaxed)),
                             message, timeUs);
}

int32_t CSynth::ProcessMidiMessageInCycle(uint32_t message, int32_t frame, uint32_t timeUs) {
    // The call's first frames were rendered by the call before it (held
    // over): an event among them is as early as this call can play it.
    const int32_t block = std::clamp(g_GlobalData.blockSize, 1, kMaxHeldFrames);
    const int32_t into = std::max(frame - nextHeldOver, 0);
    const auto first = engine.data.blockCounter.load(std::memory_order_relaxed);
    const auto due = static_cast<int32_t>(first + static_cast<uint32_t>((into + block - 1) / block));
    midi->realTimeQueue.PushDue(due, message, timeUs);
    return due;
}

void CSynth::ProcessMidiMessageAfter(uint32_t message, uint32_t timeUs, int32_t notBefore) {
    midi->queue.PushNotBefore(static_cast<int32_t>(engine.data.blockCounter.load(std::memory_order_relaxed)),
                              notBefore, message, timeUs);
}

uint8_t CSynth::GetMidiOutNoteFlag(int part, int note) const {
    if (!ValidPart(part) || note < 0 || note >= kNotes)
        return 0;
    return midiOutNotes[part][note] != 0 ? 1 : 0;
}

void CSynth::SendMidiOutNote(uint32_t sampleTime, int32_t status, int32_t part, int32_t note,
                             int32_t velocity) {
    if (!ValidPart(part) || note < 0 || note >= kNotes)
        return;
    uint8_t& flag = midiOutNotes[part][note];
    if (flag && status == 144)
        return;
    if (parameters.GetMixerParameter(kMixerMute, part) != 0.0f)
        return;
    // The part's target "MIDI Channel n" names the channel; a note-off goes
    // where its note-on went, even after the target changed. The flag keeps
    // that channel + 1.
    const int32_t target = engine.data.SettingI(part, kMixerMidiOut);
    const int channel = status == 144 ? (target >= 1 && target <= 16 ? target - 1 : part)
                                      : (flag ? flag - 1 : part);
    g_MIDIDevices.QueueOut(sampleTime, status + channel, note, velocity);
    flag = status == 144 ? static_cast<uint8_t>(channel + 1) : 0;
}

void CSynth::SendMidiOutAllNotesOff(uint32_t sampleTime, int32_t part) {
    if (!ValidPart(part))
        return;
    for (int note = 0; note < kNotes; ++note) {
        if (!midiOutNotes[part][note] || parameters.GetMixerParameter(kMixerMute, part) != 0.0f)
            continue;
        g_MIDIDevices.QueueOut(sampleTime, 128 + midiOutNotes[part][note] - 1, note, 0);
        midiOutNotes[part][note] = 0;
    }
}

bool CSynth::IsPartPatternDriven(int32_t part) {
    if (!ValidPart(part))
        return false;
    return arpeggiator->IsPartActive(part) || sequencer->GetPartFunction(part) != 0;
}

// The MIDI clock follower's start, continue and stop, on the audio thread.
// A start begins at the song start even after a pause.
void CSynth::StartSequencer() {
    sequencer->ClearPaused();
    sequencer->Play();
}
void CSynth::ContinueSequencer() { sequencer->OnHostStart(); }
void CSynth::StopSequencer() { sequencer->Stop(); }

// ---------------------------------------------------------------------------
// Names and capabilities

void CSynth::Slot10(int32_t, int32_t) {}
void CSynth::Slot14(int32_t) {}
bool CSynth::Slot18(int32_t) { return false; }
int32_t CSynth::Slot22() { return 1; }

bool CSynth::GetEffectName(char* out) {
    CopyText(out, "ZAVO");
    return true;
}

bool CSynth::GetVendorString(char* out) {
    CopyText(out, "Quorva");
    return true;
}

bool CSynth::GetProductString(char* out) {
    CopyText(out, "Quorva ZAVO");
    return true;
}

int32_t CSynth::CanDo(const char* text) {
    if (!text)
        return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
        return 1;
    return -1;
}

// ---------------------------------------------------------------------------
// Editor helpers

void CSynth::OpenDevices() {
    void* window = editor ? editor->GetWindow() : nullptr;
    g_AudioDevices.EnumerateDirectSound();
    // Open stores the name it is given, so the choice is written at exit.
    const char* output = g_GlobalData.SoundDeviceOut[0] != '\0' ? g_GlobalData.SoundDeviceOut
                                                               : CAudioDevices::FirstStartName();
    g_AudioDevices.Open(window, output, this, g_GlobalData.sampleRate, g_GlobalData.refillPeriod);
    ReportAudioOutput();
    g_MIDIDevices.SetInputMask(g_GlobalData.MIDIDeviceIn, g_GlobalData.MIDIDeviceInNames);
    g_MIDIDevices.SetOutputName(g_GlobalData.MIDIDeviceOut);
    g_MIDIDevices.Start(this);
    // What the start chose in place of a stored choice it could not take
    // is no choice of the user's: the stored one stays in the settings.
    g_GlobalData.StartFilledIn("SoundDeviceOut", g_GlobalData.SoundDeviceOut);
    g_GlobalData.StartFilledIn("MIDIDeviceIn", g_GlobalData.MIDIDeviceIn);
    g_AudioDevices.BuildMenu(parameters.GetMenuView());
    g_MIDIDevices.BuildMenus(parameters.GetMenuView());
    SetProgram(0);
    PushParameters();
    suspended.store(0);
}

bool CSynth::CheckAudioOutput() {
    void* window = editor ? editor->GetWindow() : nullptr;
    if (g_AudioDevices.WaitsForJack()) {
        // A start on a server that was stopped: it goes on, and so does the
        // music through it, with the MIDI ports of that server.
        if (!g_AudioDevices.OpenJackWhenItAnswers(window, this, g_GlobalData.sampleRate, g_GlobalData.refillPeriod))
            return false;
        g_MIDIDevices.CloseAll();
        g_AudioDevices.BuildMenu(parameters.GetMenuView());
        g_MIDIDevices.Start(this);
        g_MIDIDevices.BuildMenus(parameters.GetMenuView());
        if (editor) editor->ShowChangesNow();
        return true;
    }
    if (!g_AudioDevices.IsLost())
        return false;
    // A change of device, as the setup page makes it: the MIDI ports of
    // that server went with it, and the inputs let go of what they held.
    g_MIDIDevices.CloseAll();
    g_AudioDevices.Close();
    RestMeters();
    const bool playing =
        g_AudioDevices.ReopenAfterLoss(window, this, g_GlobalData.sampleRate, g_GlobalData.refillPeriod);
    g_AudioDevices.BuildMenu(parameters.GetMenuView());
    g_MIDIDevices.Start(this);
    g_MIDIDevices.BuildMenus(parameters.GetMenuView());
    if (editor) editor->ShowChangesNow();
    os::ShowMessageBox(playing ? "The JACK server has stopped. ZAVO plays through the sound device now."
                               : "The JACK server has stopped, and no sound device could be opened.",
                       "Audio output");
    return true;
}

void CSynth::RestMeters() {
    // Nothing renders now: the meters and the load would stay lit where the
    // last block left them.
    EngineHold hold(*this);
    engine.ResetMeters();
    perfMeter.shownLoad.store(0.0, std::memory_order_relaxed);
}

void CSynth::BuildMidiMenus() { g_MIDIDevices.BuildMenus(parameters.GetMenuView()); }

void CSynth::BuildAudioMenu() {
    g_AudioDevices.FindDrivers();
    g_AudioDevices.BuildMenu(parameters.GetMenuView());
}

void CSynth::FollowMidiPorts() {
    char shown[CMIDIDevices::kNameSize];
    std::snprintf(shown, sizeof shown, "%s", g_MIDIDevices.GetOutputName());
    g_MIDIDevices.FollowPorts();
    // The Setup page shows the output joined: one whose port left or came
    // back shows so at once, not at the next look at the page.
    if (editor && std::strcmp(shown, g_MIDIDevices.GetOutputName()) != 0)
        editor->RequestRedraw();
}

bool CSynth::ReportAudioOutput() {
    if (g_AudioDevices.IsOpen())
        return true;
    RestMeters();
    if (editor) editor->ShowChangesNow();
    char text[CAudioDevices::kNameSize + 160];
    std::snprintf(text, sizeof text,
                  "The audio output \"%s\" could not be opened, so ZAVO plays nothing. "
                  "Choose another audio output on the Setup page.",
                  g_GlobalData.SoundDeviceOut);
    os::ShowMessageBox(text, "Audio output");
    return false;
}

void CSynth::CloseDevices() {
    g_MIDIDevices.CloseAll();
    g_AudioDevices.Close();
    // Nothing feeds the recorder any more: finish its file now, so a
    // recording still going at exit keeps its sizes.
    if (editor)
        editor->GetRecorder().Stop();
}

CPresetBrowser* CSynth::GetPresetBrowser(int32_t kind, int32_t /*second*/) {
    return kind == 1 ? &presetBrowser : nullptr;
}

bool CSynth::OpenBank() {
    const bool result = program.OpenBank();
    EngineHold hold(*this);
    const int32_t part = CurrentPart();
    parameters.SetPartSynthesisType(part, program.GetProgramType(part));
    parameters.RefreshPartPage();
    SetProgram(program.GetCurrentProgramNumber());
    program.BuildProgramMenu(parameters.GetMenuView());
    if (editor)
        editor->Refresh();
    return result;
}

bool CSynth::NewBank(int32_t templateIndex) {
    const bool result = program.NewBank(templateIndex);
    EngineHold hold(*this);
    SetProgram(program.GetCurrentProgramNumber());
    program.BuildProgramMenu(parameters.GetMenuView());
    const int32_t part = CurrentPart();
    parameters.SetPartSynthesisType(part, program.GetProgramType(part));
    parameters.RefreshPartPage();
    if (editor)
        editor->Refresh();
    return result;
}

void CSynth::SaveAllMultiSamples(bool holdEngine) {
    std::string failures;
    {
        std::optional<EngineHold> hold;
        if (holdEngine)
            hold.emplace(*this);
        for (int part = 0; part < kParts; ++part)
            engine.SavePartMultiSamples(part, &failures);
    }
    if (!failures.empty())
        os::ShowMessageBox(failures.c_str(), "Error");
}

void CSynth::SavePartMultiSamples(int32_t part) {
    std::string failures;
    engine.SavePartMultiSamples(part, &failures);
    if (!failures.empty())
        os::ShowMessageBox(failures.c_str(), "Error");
}

float CSynth::GetPartActivity(int32_t part) {
    if (!ValidPart(part))
        return 0.0f;
    // A note arriving lights the part for a moment; a key held down on it
    // keeps it lit for as long as it plays.
    const bool playing = midi->PartActivity(part) != 0 || midi->keyboard->AnyKeyDown(part);
    const int bits = (playing ? 2 : 0) | (part == program.GetCurrentPart() ? 1 : 0);
    return static_cast<float>(bits) / 128.0f;
}

void CSynth::SelectPart(int32_t part, int32_t value) {
    if (value <= 0 || !ValidPart(part))
        return;
    EngineHold hold(*this);
    program.SetCurrentPart(part);
    if (editor)
        editor->SetCurrentPart(part);
    parameters.SetPartSynthesisType(part, program.GetProgramType(part));
    parameters.RefreshPartPage();
}

int32_t CSynth::LoadPresetBody(const uint8_t* body, int32_t size, bool apply) {
    // A body the store refuses (unknown version, too short) changes nothing.
    if (!apply || !body || size <= 0)
        return size;
    EngineHold hold(*this);
    if (program.LoadFxpBodyToCurrent(body, size)) {
        const int32_t part = CurrentPart();
        program.SetPartProgram(part, program.GetCurrentBankSlot(), program.GetCurrentProgramNumber());
        InitPart(part);
        if (editor && part == program.GetCurrentPart())
            editor->Refresh();
    }
    return size;
}

bool CSynth::LoadFxpPreset() {
    const char* path = nullptr;
    if (!g_DlgFile.ChoosePresetFile(&path, false) || !path)
        return false;
    // One byte more than the largest preset tells a file with something
    // appended from one of the right size.
    std::vector<uint8_t> file;
    std::string why;
    if (os::ReadWholeFile(path, kFxpHeaderBytes + kFxpBodyBytes + 1, file, why, true) == os::ReadStatus::kRead) {
        const size_t header = kFxpHeaderBytes;
        const size_t count = file.size() > header ? file.size() - header : 0;
        const uint8_t* body = file.data() + kFxpHeaderBytes;
        if (count > 0 && count == static_cast<size_t>(CProgram::FxpBodySize(body[0]))) {
            LoadPresetBody(body, static_cast<int32_t>(count), true);
            return true;
        }
        why = CProgram::PresetBodyProblem(count > 0 ? body : nullptr, count);
    }
    char line[1400];
    std::snprintf(line, sizeof(line), "preset %.1000s: %s; the preset was not loaded", path, why.c_str());
    CDebug::Log(line);
    return false;
}

void CSynth::MultiSampleGuard(void* context, const CMultiSample* which, bool begin) {
    auto* self = static_cast<CSynth*>(context);
    if (!begin) {
        self->RestoreSuspended(self->guardSuspended);
        return;
    }
    self->guardSuspended = self->SuspendAndWait();
    const CMultiSample* first = &self->engine.MultiSample(0, 0);
    const std::ptrdiff_t index = which - first;
    if (index >= 0 && index < CEngine::kMultiSamples && self->midi)
        self->Post({Request::Kind::kKillVoices, static_cast<int32_t>(index / CEngine::kOscillators)});
}
