#pragma once
// The editor controller: joins the user interface to the synthesizer. Every
// value a widget shows or edits passes through SetValue, GetValue and
// GetText, addressed by an editor group (which part of the synthesizer is
// meant) and an index within it. There is no window yet, so Open fails and
// the synthesizer runs without devices; a GUI manager can still be attached
// (the tests drive one on a memory surface).
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/CProgMsgQueue.h"
#include "gui/CUnifiedDC.h"
#include "platform/CBaseWnd.h"
#include "platform/CWaveIO.h"

class CIParameter;
class CMultiSample;
class CPresetBrowser;
class CSynth;
class GUIHead;

class CEditor {
public:
    explicit CEditor(CSynth* synth);
    virtual ~CEditor();

    static constexpr int kWidth = 960;
    static constexpr int kHeight = 650;

    // Opens the window with its surface and GUI manager, loads the layout
    // and starts the 50 ms timer. False, with nothing left open, when any of
    // them cannot be made (the synthesizer then opens no device).
    bool Open();
    bool IsOpen() const { return window.IsOpen(); }
    // The window the audio devices belong to, null while none is open.
    void* GetWindow();
    // Whether Open may make a window at all. The test programs switch it
    // off, so that a synthesizer built in a test opens neither a window nor
    // devices; window tests switch it on for their own.
    static void AllowWindow(bool allowed);
    // The window's events: paint shows the surface; close stops the devices
    // and the recording, saves the layout and lets go of the GUI manager.
    void OnPaint();
    void OnDestroy();
    // The message loop, until the window is closed or the process stopped.
    void Run();
    // Selects the page that fits the current part and redraws everything.
    void Refresh();
    // Any thread: the next idle tick redraws everything. Only a flag is
    // set; the GUI thread alone draws.
    void RequestRedraw();
    // GUI thread: whether a redraw was asked for since the last call.
    bool TakeRedrawRequest() { return redrawRequest.exchange(0, std::memory_order_acq_rel) != 0; }
    void SetCurrentPart(int part);
    CWaveIO& GetRecorder() { return recorder; }

    // The GUI manager showing the synthesizer, or null; attaching also makes
    // it the parameter model's listener.
    void SetGUI(GUIHead* gui);
    GUIHead* GetGUI() const { return gui; }

    // ---- Values by editor group (GUI thread) ----
    // 0 sound parameter of the current part, 1 mixer (part << 10 | value),
    // 2 global value, 9 command; other groups do nothing and read 0.
    void SetValue(uint32_t group, uint32_t index, float value);
    double GetValue(uint32_t group, uint32_t index);
    // Writes at most size - 1 characters and the terminator; a group without
    // texts leaves out as it was.
    void GetText(uint32_t group, int32_t index, char* out, size_t size);
    void SetText(int32_t group, int32_t index, const char* text);
    void SetSampleValue(int32_t item, int32_t index, float value);
    double GetSampleValue(int32_t item, int32_t index);
    void GetSampleText(int32_t item, int32_t index, char* out, size_t size);
    CPresetBrowser* GetBrowser(const CIParameter& binding);

    // ---- MIDI learn: controller bindings of (kind, index) targets ----
    void LearnNextController(int kind, int index);
    void ForgetController(int kind, int index);
    // The controller bound to the target, -1 when none (or no synthesizer).
    int FindControllerAssignment(int kind, int index);
    // A controller below 128 binds it, -1 leaves it unbound; false without
    // a synthesizer, for any other number and for a target no controller
    // moves.
    bool AssignController(int kind, int index, int controller);
    // Whether a controller bound to the target would move it (a sound value).
    static bool TakesController(int kind, int index);

    bool OnMenuCommand(int menuId, int value);
    // Called as a menu opens: the MIDI device menus list the ports present
    // now (a port made since the start is there, one gone is not).
    void PrepareMenu(int menuId);
    void Get8DPoint(int point, double* x, double* y);

    // Commands 111, 112, 113 (distortion, delay, modulation effect) and 171
    // (reverb): closes that effect's editor dialog when it is open, else
    // switches the effect on and opens it. Answers whether the command was
    // one of these; nothing happens without a GUI manager.
    bool ToggleEffectEditor(int command);
    // Whether that command's effect editor is open: its button is lit then.
    bool IsEffectEditorOpen(int command) const;

    // Audio thread: hands a MIDI program change to the GUI thread.
    void PostProgramChange(int part, int program);
    // GUI thread, every timer tick: applies at most one queued change.
    void ProcessProgramMessages();
    // GUI thread, the 50 ms tick: an audio output whose server went away
    // replaced by the sound device, one queued program change, the
    // multi-sample switches the audio thread asked for, the learn file when
    // the controller bindings changed, the GUI's idle step, then the
    // recorded audio to its file.
    void OnTimer();
    // The GUI's idle step now (the meters drawn as they are): a box about to
    // be shown holds the timer while it is open.
    void ShowChangesNow();

private:
    // Groups 10..54: false for a group they do not know.
    bool SetGroupValue(uint32_t group, uint32_t index, float value);
    bool GetGroupValue(uint32_t group, uint32_t index, double& out);
    bool GetGroupText(uint32_t group, int32_t index, char* out, size_t size);
    void SetPatternSelector(uint32_t index, int32_t value);
    void ScreenKeyboard(uint32_t index, float value);
    CMultiSample& EditedMultiSample(int& osc);

public:
    CBaseWnd window;
    CUnifiedDC surface;
    CSynth* synth;
    GUIHead* gui = nullptr;
    // The manager was made by Open (tests attach their own).
    bool ownsGui = false;
    CWaveIO recorder;
    CProgMsgQueue programMessages;
    uint8_t busy = 0;
    std::atomic<uint8_t> redrawRequest{0};
    // The lane the step editor shows: 0 velocity, 1 controller.
    int32_t sequencerLane = 0;
};
