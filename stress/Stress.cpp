// Thread stress: one synthesizer driven at once from the threads that drive
// it in the program, so that ThreadSanitizer sees every path between them.
//
//   zavo_stress [seconds]     (default 12)
//
// Each actor is one thread that repeats its step at its own pace until the
// time is up. An actor that a new thread of the program brings (a device, a
// timer) is added to MakeActors.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/GUIHead.h"
#include "os/OClock.h"
#include "stress/DeviceStress.h"
#include "stress/StressShared.h"
#include "tests/core/SampleFixtures.h"
#include "tools/FileFixtures.h"
#include "tests/os/TestFolders.h"
#include "stress/StressActor.h"

namespace {

// A widget that polls its value every tick and draws it when it changed,
// as the editor's controls do, while the audio thread writes learned values
// and asks for redraws.
struct PollingWidget : GUIObject {
    PollingWidget() : GUIObject("KNOB") {}
    GuiRect Draw() override {
        owner->GetFloatValue(&binding, shown);
        surface->SetColor(0x010101u * static_cast<uint32_t>(std::clamp(shown, 0.0f, 1.0f) * 255.0f));
        surface->FillRect(x, y, x + w, y + h, 1.0f);
        return Rect();
    }
    void OnIdle() override {
        float v = 0.0f;
        owner->GetFloatValue(&binding, v);
        if (v != shown)
            Update();
    }
    float shown = -1.0f;
};

// The audio device: 256-frame render calls at the pace of 44.1 kHz, while
// no output of the program renders.
class AudioActor : public Actor {
public:
    explicit AudioActor(CSynth& s) : Actor("audio", std::chrono::microseconds(5805), 1), synth(s) {}
    void Step() override {
        std::lock_guard<std::mutex> turn(stress::AudioTurn());
        if (stress::DevicePlays().load())
            return;
        float* outs[2] = {left, right};
        synth.Process(nullptr, outs, kFrames);
        for (int i = 0; i < kFrames; ++i) {
            if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
                ++nonFinite;
            if (left[i] != 0.0f)
                ++sounding;
        }
    }
    static constexpr int kFrames = 256;
    CSynth& synth;
    float left[kFrames] = {};
    float right[kFrames] = {};
    long nonFinite = 0;
    long sounding = 0;
};

// A MIDI input: notes on the first four channels, each released later.
class MidiInActor : public Actor {
public:
    explicit MidiInActor(CSynth& s) : Actor("midi in", std::chrono::microseconds(3000), 2), synth(s) {}
    void Step() override {
        const uint32_t channel = static_cast<uint32_t>(Pick(0, 3));
        const uint32_t key = static_cast<uint32_t>(Pick(36, 96));
        const uint32_t on = Pick(0, 2) != 0;
        synth.ProcessMidiMessage((on ? 0x90u : 0x80u) | channel | key << 8 | 100u << 16,
                                 CMIDIQueue::ClockMs());
        const uint32_t value = static_cast<uint32_t>(Pick(0, 127));
        switch (Pick(0, 20)) {
        case 0: synth.ProcessMidiMessage(0xB0u | channel | 123u << 8, CMIDIQueue::ClockMs()); break;
        case 1: synth.ProcessMidiMessage(0xE0u | channel | value << 16, CMIDIQueue::ClockMs()); break;
        case 2: synth.ProcessMidiMessage(0xB0u | channel | 1u << 8 | value << 16, CMIDIQueue::ClockMs()); break;
        case 3: synth.ProcessMidiMessage(0xB0u | channel | 64u << 8 | value << 16, CMIDIQueue::ClockMs()); break;
        case 4: synth.ProcessMidiMessage(0xC0u | channel | value << 8, CMIDIQueue::ClockMs()); break;
        // A learnable controller, and the clock that sets the tempo while
        // the editor has MIDI sync on.
        case 5: synth.ProcessMidiMessage(0xB0u | channel | 74u << 8 | value << 16, CMIDIQueue::ClockMs()); break;
        case 6:
        case 7: synth.ProcessMidiMessage(0xF8u, CMIDIQueue::ClockMs()); break;
        case 8: synth.ProcessMidiMessage(0xFAu, CMIDIQueue::ClockMs()); break;
        // Continue and stop drive the sequencer's transport under sync.
        case 9: synth.ProcessMidiMessage(0xFBu, CMIDIQueue::ClockMs()); break;
        case 10: synth.ProcessMidiMessage(0xFCu, CMIDIQueue::ClockMs()); break;
        default: break;
        }
    }
    CSynth& synth;
};

// A keyboard on the JACK input (the real-time MIDI thread's own queue):
// notes and the pitch wheel on a part of its own while the GUI actor storms
// edits, which keep the engine held for most render calls. In the last
// second it fills its queue, lets go of every key and brings the wheel back
// to centre; once the queues are drained the part must show exactly that.
class WheelActor : public Actor {
public:
    static constexpr int kPart = 8;
    WheelActor(CSynth& s, int seconds)
        : Actor("wheel", std::chrono::microseconds(1000), 6), synth(s),
          quietFrom(Clock::now() + std::chrono::milliseconds(seconds * 1000 - 1000)) {}
    void Step() override {
        const uint32_t channel = static_cast<uint32_t>(synth.midi->PartChannel(kPart)) & 0x0F;
        if (Clock::now() >= quietFrom) {
            if (!centred) {
                // A burst that fills the queue beyond its ordinary events
                // (a render call would have to come between the pushes to
                // take any): what follows must still go in.
                for (int i = 0; i < CMIDIQueue::kOrdinary + 45; ++i)
                    Send(0xE0u | channel | static_cast<uint32_t>(Pick(0, 127)) << 16);
                for (uint32_t key = 0; key < 128; ++key)
                    if (down[key])
                        Send(0x80u | channel | key << 8);
                down.fill(false);
                Send(0xE0u | channel | 64u << 16);
                centred = true;
            }
            return;
        }
        Send(0xE0u | channel | static_cast<uint32_t>(Pick(0, 127)) << 8 | static_cast<uint32_t>(Pick(0, 127)) << 16);
        if (Pick(0, 3) == 0) {
            const uint32_t key = static_cast<uint32_t>(Pick(48, 72));
            Send((down[key] ? 0x80u : 0x90u) | channel | key << 8 | (down[key] ? 0u : 100u) << 16);
            down[key] = !down[key];
        }
    }
    void Send(uint32_t message) { synth.ProcessRealTimeMidiMessage(message, os::StampMicros()); }
    // After every thread stopped: renders until both queues are empty, then
    // looks at the part.
    bool Check() {
        float* outs[2] = {left, right};
        for (int i = 0; i < 200 && (synth.midi->queue.HasPending() || synth.midi->realTimeQueue.HasPending()); ++i)
            synth.Process(nullptr, outs, 256);
        int gated = 0;
        const CEngineData& d = synth.engine.data;
        for (int v = 0; v < CEngineData::kVoices; ++v)
            gated += d.voicePart[v] == kPart && d.ControlI(v, 78) == 1;
        const float centre = 64.0f / 128.0f + 1e-9f;
        // The other actors' all-notes-offs release keys whose note-off was
        // lost: the queue's own view says whether every note-on that went
        // in was followed by its note-off.
        int queued = 0;
        for (uint32_t word : synth.midi->realTimeQueue.keysDown[synth.midi->PartChannel(kPart) & 0x0F])
            queued += __builtin_popcount(word);
        std::printf("wheel    part %d: wheel at %.4f (centre %.4f), %d keys down (%d in the queue), %d voices gated, "
                    "%u + %u events dropped\n",
                    kPart, synth.midi->pitchBend[kPart], centre, synth.midi->keyboard->CountDownKeys(kPart), queued,
                    gated, synth.midi->queue.DroppedCount(), synth.midi->realTimeQueue.DroppedCount());
        return centred && synth.midi->pitchBend[kPart] == centre && !synth.midi->keyboard->AnyKeyDown(kPart) &&
               queued == 0 && gated == 0;
    }
    CSynth& synth;
    Clock::time_point quietFrom;
    std::array<bool, 128> down{};
    bool centred = false;
    float left[256] = {};
    float right[256] = {};
};

// The GUI thread: the edits a user makes, the on-screen keyboard and the
// editor's 50 ms tick.
class GuiActor : public Actor {
public:
    GuiActor(CSynth& s, std::string sample)
        : Actor("gui", std::chrono::microseconds(700), 3), synth(s), samplePath(std::move(sample)) {}
    void Step() override {
        std::lock_guard<std::mutex> gui(stress::GuiThread());
        switch (Pick(0, 14)) {
        case 0: synth.SetProgram(Pick(0, 127)); break;
        case 1: synth.SetPartProgram(Pick(0, 3), Pick(0, 127)); break;
        case 2: Mixer(10, static_cast<float>(Pick(1, 12))); break;  // voices
        case 3: Mixer(Pick(0, 9), static_cast<float>(Pick(0, 127))); break;
        case 4: synth.SetGlobalParameter(Pick(0, 40), Unit()); break;
        case 5:
        case 6: synth.SetParameter(Pick(1, CProgram::kRecordSize - 1), Unit()); break;
        case 7:
            // A multi-sample on oscillator 1 of the current part, or back
            // to a basic wave.
            if (Pick(0, 1)) {
                synth.program.SetSampleName(0, samplePath.c_str());
                synth.SetParameter(155, 0.65f);
                samplesOpen += synth.engine.MultiSample(synth.program.GetCurrentPart(), 0).loaded != 0;
            } else {
                synth.SetParameter(155, 0.0f);
            }
            break;
        case 8:
        case 9: {
            const int key = Pick(48, 84);
            const uint32_t on = synth.midi->MakeNoteOn(synth.program.GetCurrentPart(), key, 90);
            screenNotes += synth.midi->RouteMessage(Pick(0, 1) ? on : on - 0x10u, -1, 0, 0, 0);
            break;
        }
        case 10: synth.SelectPart(Pick(0, 3), 1); break;
        case 11: Rare(); break;
        case 12:
        case 13: Sequencer(); break;
        default: Show(); break;
        }
        if (Clock::now() >= nextTick) {
            if (synth.editor)
                synth.editor->OnTimer();
            nextTick = Clock::now() + std::chrono::milliseconds(50);
        }
    }
    // Seldom done, slow or far-reaching: a combination bank (four parts
    // loaded at once), a new sample rate, every value pushed again, a preset
    // from the browser.
    void Rare() {
        switch (Pick(0, 20)) {
        case 0:
            synth.program.ToggleCombinationBank(synth.program.GetCurrentPart());
            synth.SetProgram(Pick(0, 127));
            break;
        case 1: synth.SetSampleRate(Pick(0, 1) ? 48000.0f : 44100.0f); break;
        case 2:
            synth.PushParameters();
            synth.Resume();
            break;
        case 3: synth.LoadPresetBody(preset.data(), static_cast<int32_t>(preset.size()), true); break;
        // Controller learning, the arpeggio, its tempo and MIDI sync.
        case 4: CMIDI::LearnNextController(0, Pick(1, CProgram::kRecordSize - 1)); break;
        case 5: CMIDI::AssignController(0, Pick(1, CProgram::kRecordSize - 1), static_cast<uint32_t>(Pick(0, 127))); break;
        case 6: synth.SetParameter(334, static_cast<float>(Pick(0, 3)) / 128.0f); break;
        case 7: synth.arpeggiator->SetTempo(static_cast<float>(Pick(40, 300))); break;
        case 8: synth.midi->midiSync.store(static_cast<uint8_t>(Pick(0, 1))); break;
        // The controller the MIDI input turns, learnt onto a routing depth:
        // the audio thread sets the depth while Show reads its text.
        case 9: CMIDI::AssignController(0, Pick(36, 55), 74); break;
        default: break;
        }
    }
    // The transport is the GUI thread's: its buttons post to the audio
    // thread (the request ring has this one producer), while the pattern
    // editor, the song editor and the commands write and read on this
    // thread as the sequencer plays.
    void Sequencer() {
        using Kind = CSynth::Request::Kind;
        CSequencer& seq = *synth.sequencer;
        char text[64];
        switch (Pick(0, 16)) {
        case 0: synth.Post({Pick(0, 2) ? Kind::kPlay : Kind::kStop}); break;
        case 1: synth.Post({static_cast<Kind>(static_cast<int>(Kind::kSongRewind) + Pick(0, 3))}); break;
        case 2: seq.SetStepValue(Pick(0, 3), CSequencer::kFieldPartOn, 0, Pick(0, 1)); break;
        case 3: seq.SetStepValue(Pick(0, 3), CSequencer::kFieldFunction, 0, Pick(0, 6)); break;
        case 4:
        case 5: seq.SetStepValue(0, Pick(10, 20), Pick(0, 63), Pick(0, 127)); break;
        case 6: seq.EditPattern(Pick(1, 12)); break;
        case 7: seq.SetSelection(0, 0, Pick(0, 3)); break;
        case 8:
            seq.SetSongCursor(Pick(0, 3) * 256 + Pick(0, 7));
            seq.SetSongCell(Pick(0, 3) * 256 + Pick(0, 7));
            seq.SetSongEnd(Pick(0, 7));
            break;
        case 9:
            seq.tempo = static_cast<float>(Pick(60, 200));
            seq.swing = static_cast<float>(Pick(0, 100));
            seq.UpdateTempo();
            break;
        case 10: Mixer(7, static_cast<float>(Pick(0, 3))); break;  // MIDI-out target
        case 11: synth.ExecuteCommand(135, 0.0f); break;
        case 12: synth.ExecuteCommand(Pick(0, 1) ? 160 : 174, Unit()); break;
        case 13: synth.ExecuteCommand(Pick(0, 1) ? 121 : 122, 0.0f); break;
        case 14: seq.songLoop = static_cast<uint8_t>(Pick(0, 1)); break;
        default:
            seq.GetPositionText(text, sizeof(text));
            seq.FormatStepNote(0, Pick(0, 63), text, sizeof(text));
            seq.GetPlayingStep();
            seq.GetStepValue(0, Pick(10, 28), Pick(0, 63));
            // Commands the editor polls (the meters and the load text read
            // render state the editor takes as it comes, and are left out).
            for (int id : {1, 5, 6, 42, 63, 99, 104, 105, 108, 160, 176})
                synth.GetCommandText(id, text, sizeof(text));
            for (int id : {5, 6, 12, 44, 63, 104, 119, 134, 151, 160, 166, 172, 174, 175})
                synth.GetCommandValue(id);
            break;
        }
    }
    // What the editor reads back to draw its controls and lights.
    void Show() {
        char text[256];
        for (int id : {56, 57, 155, 344, Pick(1, CProgram::kRecordSize - 1)}) {
            synth.GetParameter(id);
            synth.GetParameterDisplay(id, text);
        }
        for (int part = 0; part < 4; ++part) {
            synth.GetPartActivity(part);
            synth.GetMixerParameterDisplay(part << 10 | 10, text);
        }
        synth.GetGlobalParameterDisplay(Pick(0, 40), text);
        // The routing depths of the parts the MIDI input plays, one of which
        // a learnt controller sets.
        for (int part = 0; part < 4; ++part)
            for (int id = 36; id <= 55; ++id)
                synth.parameters.GetParameterDisplay(synth.program.GetProgramData(part), part, id);
        // The 8D pad draws its points as the audio thread glides them.
        double x = 0.0, y = 0.0;
        for (int point = 1; point <= 4; ++point)
            synth.parameters.Get8DPoint(point, &x, &y);
    }
    void Mixer(int id, float raw) { synth.SetMixerParameter(Pick(0, 3) << 10 | id, raw / 128.0f); }

    CSynth& synth;
    std::string samplePath;
    Clock::time_point nextTick = Clock::now();
    const fixtures::Bytes preset = fixtures::FxpBody(31);
    long samplesOpen = 0;
    long screenNotes = 0;
};

// A knob dragged while the 8D pad's dialog has an axis chosen: the window
// writes the part's assignment table, which the audio thread reads every
// block to push the pad's deviation into the assigned values (the part is
// the one the GUI actor selects).
class AssignActor : public Actor {
public:
    AssignActor(CSynth& s, GUIHead& w) : Actor("assign", std::chrono::microseconds(900), 5), synth(s), window(w) {}
    void Step() override {
        std::lock_guard<std::mutex> gui(stress::GuiThread());
        // The header menu's copy, pastes and inits of the program, its 8D
        // setting and its routings.
        if (Pick(0, 3) == 0) {
            static constexpr int kCommands[] = {125, 126, 127, 161, 163, 165};
            synth.ExecuteCommand(kCommands[Pick(0, std::size(kCommands) - 1)], 0.0f);
        }
        // An axis chosen (-1: "none") now and then in the dialog.
        if (steps == 0 || Pick(0, 40) == 0)
            window.GetModel()->ArmAssignSource(Pick(-1, 7), true);
        // Knobs and spin fields take assignments, lists do not: the routing
        // depths and the values of a few knobs of the sound pages.
        static constexpr int kKnobs[] = {58, 64, 153, 161, 170, 214, 279, 298, 324, 357, 390};
        const int id = Pick(0, 1) ? Pick(1, 55) : kKnobs[Pick(0, std::size(kKnobs) - 1)];
        const CIParameter* knob = CIParameter::Find(0, static_cast<uint32_t>(id), 0);
        // The knob reads its depth as the drag starts; amounts of -1..1
        // remove the entry.
        int amount = 0;
        window.GetAssignAmount(knob, amount);
        window.SetAssignAmount(knob, Pick(0, 3) == 0 ? 0 : Pick(-64, 64));
    }
    CSynth& synth;
    GUIHead& window;
};

// A looped sine multi-sample (one zone over every key) in folder.
std::string WriteMultiSample(const std::string& folder) {
    samplefix::Qvi q;
    q.loopEnable = 1;
    q.zones[0].files[0] = "sine.wav";
    q.zones[0].root = 69;
    q.zones[0].upper = 127;
    const std::string path = samplefix::WriteQvi(folder, "stress", q);
    std::vector<float> s(2000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * static_cast<double>(i) / 100.0));
    samplefix::WriteSound(samplefix::SampleFolder(folder, "stress") + "sine.wav",
                          SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, s);
    return path;
}

std::vector<std::unique_ptr<Actor>> MakeActors(CSynth& synth, GUIHead& window, const std::string& sample,
                                               int seconds) {
    std::vector<std::unique_ptr<Actor>> actors;
    actors.push_back(std::make_unique<AudioActor>(synth));
    actors.push_back(std::make_unique<MidiInActor>(synth));
    actors.push_back(std::make_unique<GuiActor>(synth, sample));
    actors.push_back(std::make_unique<AssignActor>(synth, window));
    actors.push_back(std::make_unique<WheelActor>(synth, seconds));
    stress::AddFileActors(actors, synth);
    return actors;
}

// Repeats the actor's step every period (at once when it falls behind) until
// the deadline.
void Run(Actor& actor, Clock::time_point deadline) {
    auto next = Clock::now();
    while (Clock::now() < deadline) {
        actor.Step();
        ++actor.steps;
        next += actor.period;
        const auto now = Clock::now();
        if (next > now)
            std::this_thread::sleep_until(next);
        else
            next = now;
    }
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    // Settings and files of this run stay in the test folder.
    const std::string sample = WriteMultiSample(testutil::TestFolder());

    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    // The window's widgets on a memory surface, ticked by the GUI actor.
    CUnifiedDC surface;
    surface.CreateMemory(960, 650);
    GUIHead window(&surface, synth->editor);
    synth->editor->SetGUI(&window);
    for (int id : {16, 56, 57, 344}) {
        GUIObject* w = window.Adopt(std::make_unique<PollingWidget>());
        w->binding = *CIParameter::Find(0, static_cast<uint32_t>(id), 0);
        w->x = id;
    }
    auto actors = MakeActors(*synth, window, sample, seconds);

    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    // The program's own device threads: JACK cycles, the ring's refill
    // timer, MIDI inputs, and the recorder they feed. First: it sets the
    // environment the devices read.
    stress::DeviceStress devices(*synth, deadline);
    std::vector<std::thread> threads;
    for (auto& actor : actors)
        threads.emplace_back(Run, std::ref(*actor), deadline);
    for (auto& thread : threads)
        thread.join();
    devices.Join();

    bool ok = true;
    for (auto& actor : actors)
        std::printf("%-8s %ld steps\n", actor->name, actor->steps);
    const auto& audio = static_cast<const AudioActor&>(*actors[0]);
    const auto& gui = static_cast<const GuiActor&>(*actors[2]);
    std::printf("audio    %ld sounding frames, %ld non-finite samples\n", audio.sounding, audio.nonFinite);
    std::printf("gui      %ld multi-samples opened, %ld on-screen notes\n", gui.samplesOpen, gui.screenNotes);
    // A stress that never sounded or never reached a multi-sample tested
    // less than it claims.
    if (audio.nonFinite != 0 || audio.sounding == 0 || gui.samplesOpen == 0)
        ok = false;
    if (!devices.Report())
        ok = false;
    if (!static_cast<WheelActor&>(*actors[4]).Check())
        ok = false;
    // The actors refer to the synthesizer: they go first.
    actors.clear();
    synth.reset();
    std::printf(ok ? "stress passed\n" : "stress FAILED\n");
    return ok ? 0 : 1;
}
