#pragma once
// The editor controller (placeholder: there is no window yet, so Open
// fails and the synthesizer runs without devices).
#include <atomic>
#include <cstdint>

#include "core/CProgMsgQueue.h"
#include "platform/CWaveIO.h"

class CSynth;

class CEditor {
public:
    explicit CEditor(CSynth* synth);
    virtual ~CEditor();

    bool Open();
    void* GetWindow() const { return nullptr; }
    void Refresh();
    void RequestRedraw();
    void SetCurrentPart(int part);
    CWaveIO& GetRecorder() { return recorder; }

    // Audio thread: hands a MIDI program change to the GUI thread.
    void PostProgramChange(int part, int program);
    // GUI thread, every timer tick: applies at most one queued change.
    void ProcessProgramMessages();
    // GUI thread, the 50 ms tick: one queued program change, the
    // multi-sample switches the audio thread asked for, the learn file when
    // the controller bindings changed, then the recorded audio to its file.
    void OnTimer();

    CSynth* synth;
    CWaveIO recorder;
    CProgMsgQueue programMessages;
    uint8_t busy = 0;
};
