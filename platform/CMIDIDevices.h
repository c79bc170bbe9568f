#pragma once
// MIDI input and output devices. Every input marked '1' in the input mask
// is opened and hands its short messages, stamped on the process's MIDI
// clock, to the synthesizer; one output, chosen by name, sends what the
// sequencer queued once the MIDI-out clock reaches its sample time, from a
// 1 ms timer. The device lists also fill the input and output menus.
//
// The input mask is the user's choice, one character per row of the input
// list: it changes only by SetInputMask (the stored setting) and by a click
// in the menu, never because a port went away or would not open. Once a
// list has a port on a chosen row, that row stands for the port by name, so
// that ports made or gone meanwhile do not shift the choice onto another
// port. Whenever the list is taken, a chosen port that is listed and not
// joined (opened late, or gone and back) is opened again. The names the
// chosen rows stand for are stored beside the mask (MIDIDeviceInNames), so
// that the next start joins the same ports, wherever the list has them then.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "os/OMidiPorts.h"
#include "os/OTimer.h"

class CSynth;
class CUIMenuResource;

class CMIDIDevices {
public:
    static constexpr int kMaxDevices = 32;
    static constexpr int kRingSize = 256;
    static constexpr int kNameSize = 64;
    static constexpr int kErrorSize = 256;
    static constexpr uint32_t kInputMenu = 10020;
    static constexpr uint32_t kOutputMenu = 10030;
    // Output device 0 and the first row of the output menu: no output.
    static constexpr const char* kNoOutput = "none";

    CMIDIDevices();
    // Closes whatever is still open.
    ~CMIDIDevices();
    CMIDIDevices(const CMIDIDevices&) = delete;
    CMIDIDevices& operator=(const CMIDIDevices&) = delete;

    // Puts in the ports the devices are listed and opened from; null goes
    // back to the system's. Only while nothing is open.
    void SetPorts(os::OMidiPorts* ports);

    // Taken (63 characters) only when it starts with '0' or '1'; the mask in
    // use goes to the MIDIDeviceIn setting in every case. names, as the
    // MIDIDeviceInNames setting holds them (one entry per '1' of the mask, in
    // order, an empty one for a row no port stood on yet), says which port
    // each chosen row stands for; names past the mask's '1's are chosen on
    // rows of their own. Without names a row stands for the port the first
    // list has on it. While the rows stand for what names says, the setting
    // keeps names as it was written.
    void SetInputMask(const char* text, std::string_view names = {});
    const char* GetInputMask() const { return inputMask; }
    // The output chosen (the MIDIDeviceOut setting keeps it); the name of
    // the output joined, "none" while the chosen port is away or would not
    // open (what the Setup page shows).
    void SetOutputName(const char* name);
    const char* GetOutputName() const { return outputName; }

    // Opens the inputs and, when they opened, the output; asks for the 1 ms
    // timer in every case. True when inputs and output opened.
    bool Start(CSynth* synth);
    // Takes the input list: an open input whose port left (or left and
    // came back) closes, and every chosen port listed and not open opens.
    // The error texts (errorText may be null, else kErrorSize bytes) are the
    // reason the port gave. An input that fails stops the opening of later
    // ones; those opened before stay open, and the choice stays as it is.
    bool OpenInputs(char* errorText = nullptr);
    // GUI timer: when the JACK server said ports were made or removed, an
    // open input whose port left lets go of what it held and a chosen port
    // that came (back) is joined, as OpenInputs does, while the rows the
    // menu shows stay as they are; the output follows its port the same
    // way. A join that failed is tried again at the next few ticks.
    void FollowPorts();
    // Closing an input releases what it holds: a note-off for every key it
    // left down and the sustain pedal up on each channel it held it.
    void CloseInputs();
    // Opens the output of the chosen name; when no device has that name, or
    // its port would not open, device 0 ("none": nothing is connected),
    // whose name becomes the output name. False when a name was chosen and
    // is not there, as when its port would not open.
    bool OpenOutput(char* errorText = nullptr);
    // Waits for a flush in progress before the output goes.
    void CloseOutputs();
    // The flush timer ticks only while an output is open: asked for here, it
    // starts with the output (now, or when one opens) and rests while none
    // is open. False for a period outside 1..10000 or when no thread could
    // be made.
    bool StartTimer(int32_t periodMs);
    // Closes every device; the choices stay as they are.
    void CloseAll();
    // When the devices play into synth: closes everything and forgets it,
    // so that no input opened later calls into an object that is gone.
    void Detach(const CSynth* synth);

    // Menu commands: open or close the input port on row index of the
    // input list last taken, which the menu shows (the others keep
    // playing), and store the choice by the rows of that list; open output
    // index of the list (0 "none" closes the output). Other indexes do
    // nothing.
    void ToggleInput(int32_t index);
    void SelectOutput(int32_t index);
    // Takes the input list (OpenInputs), joins the chosen output when its
    // port is there and lists the ports as they are now into the menus, a
    // port ticked when it is joined; row 1 of the output menu is "none".
    void BuildMenus(CUIMenuResource& menu);

    // Audio thread: queues a short message for the MIDI-out clock time. A
    // full ring drops the message and counts it, as does a port that
    // refuses it at the flush.
    void QueueOut(uint32_t sampleTime, int32_t status, int32_t data1, int32_t data2);
    // Timer thread: advances the clock by one millisecond of samples and
    // sends every queued message whose time the clock has reached. It
    // rests while the render's own cycles send (FlushInCycle).
    void FlushOut();
    // The render's thread, right after a render call of `frames` in a
    // cycle whose output takes messages at frames (the JACK client the
    // audio renders on): sends every queued message whose time falls in
    // the call, at its frame. The call's first `held` frames were rendered
    // by the call before it.
    void FlushInCycle(int32_t frames, int32_t held);
    uint32_t DroppedOutCount() const { return droppedOut.load(std::memory_order_relaxed); }

    // The MIDI-out clock in samples, modulo 2^32. The sequencer sets it once
    // per render call; the timer advances it in between.
    static void SetOutClock(uint32_t sampleTime) { s_outClock.store(sampleTime, std::memory_order_relaxed); }
    static uint32_t GetOutClock() { return s_outClock.load(std::memory_order_relaxed); }

    CSynth* GetSynth() const { return synth.load(); }
    // Whether the port on row index of the input list last taken is open.
    bool IsInputOpen(int index) const;
    int32_t GetOutputDevice() const { return outputDevice; }

    // The menu texts of the last BuildMenus.
    char inputDeviceNames[kMaxDevices][kNameSize] = {};
    char outputDeviceNames[kMaxDevices][kNameSize] = {};

private:
    // What one input holds down, kept on its own MIDI thread and read by
    // the GUI thread once the input is closed.
    struct InputSlot {
        CMIDIDevices* owner = nullptr;
        std::atomic<uint32_t> keys[16][4] = {};  // bit k of word k / 32 per channel
        std::atomic<uint32_t> pedals{0};         // bit c: sustain down on channel c
        // The latest time of a message it handed on: what the input's close
        // releases comes after everything it sent.
        std::atomic<uint32_t> lastTime{0};
        // The block its last message in the real-time queue is due in, and
        // whether it sent one there since it opened.
        std::atomic<int32_t> lastDue{0};
        std::atomic<bool> realTime{false};
        void Track(uint32_t message);
        void Clear();
    };
    void CloseInput(int slot);
    int SlotOf(const std::string& name) const;
    bool OpenInput(const std::string& name, int place, char* errorText);
    bool JoinInputs(const std::vector<std::string>& names, char* errorText);
    int ChosenRow(const std::string& name) const;
    bool IsChosen(const std::string& name) const;
    size_t ChosenOutputIn(const std::vector<std::string>& names) const;
    bool OpenOutputFrom(const std::vector<std::string>& names, char* errorText);
    bool FollowOutput(const std::vector<std::string>& names);
    void NameChosenRows(const std::vector<std::string>& names);
    void NameStoredPorts(std::string_view names);
    void RebaseMask(const std::vector<std::string>& rows);
    void StoreMask(size_t listed);
    void StoreNames();
    void ReleaseHeld(InputSlot& slot);
    static void MidiInProc(void* user, uint32_t message, uint32_t timeUs, int32_t frame);
    // The GUI thread: the output the render's cycles send to changes.
    void PublishCycleOutput(os::OMidiOutput* out);
    static void TimerProc(void* user);
    bool RunTimerWithOutput();
    os::OMidiPorts& Ports();
    std::vector<std::string> ListInputs();
    std::vector<std::string> ListOutputs();
    template <class Checked>
    static void FillMenu(uint32_t menuId, const std::vector<std::string>& names,
                         char (&texts)[kMaxDevices][kNameSize], Checked checked);

    os::OMidiPorts* ports = nullptr;
    std::atomic<CSynth*> synth{nullptr};
    std::unique_ptr<os::OMidiInput> inputs[kMaxDevices];  // by slot, not by row
    std::string inputNames[kMaxDevices];  // the port each open input is
    InputSlot inputSlots[kMaxDevices];
    char inputMask[kNameSize] = {};
    // The port a chosen row of the mask stands for; empty until the stored
    // names or a list named it.
    std::string maskPorts[kMaxDevices];
    // The MIDIDeviceInNames text SetInputMask was given.
    std::string storedNames;
    // The input list last taken: the rows the menu shows and a click means.
    std::vector<std::string> listedInputs;
    int32_t outputDevice = -1;
    char outputName[kNameSize] = {};    // joined
    char chosenOutput[kNameSize] = {};  // the setting
    // Ticks left on which FollowPorts tries again a join that failed.
    static constexpr int kJoinRetries = 3;
    int joinRetries = 0;
    bool joinFailed = false;

    // The output as the timer thread sees it; the lock keeps the GUI thread
    // from closing it under a flush.
    std::mutex outputLock;
    std::unique_ptr<os::OMidiOutput> output;

    uint32_t outMessages[kRingSize] = {};
    uint32_t outTimes[kRingSize] = {};
    std::atomic<int32_t> outRead{0};
    std::atomic<int32_t> outWrite{0};
    std::atomic<uint32_t> droppedOut{0};
    std::atomic<bool> droppedSaid{false};  // since the output opened
    // A port is chosen and none is joined (it left, is away or would not
    // open): until one opens or the output closes, what the flush takes is
    // dropped.
    std::atomic<bool> outputLost{false};

    os::OTimer timer;
    std::atomic<int32_t> timerPeriod{0};  // 0: not asked for
    // Taken by whoever flushes (the timer, the render's cycle) and by the
    // GUI thread while it changes what the cycle sends to: never waited
    // for by the cycle, which then sends at its next call.
    std::atomic<bool> flushBusy{false};
    // The output as the render's cycle sees it, when it takes messages at
    // frames; null otherwise.
    std::atomic<os::OMidiOutput*> cycleOutput{nullptr};
    // The render's cycles sent to it: the timer leaves the clock to them.
    std::atomic<bool> flushedInCycle{false};

    static inline std::atomic<uint32_t> s_outClock{0};
};

extern CMIDIDevices g_MIDIDevices;
