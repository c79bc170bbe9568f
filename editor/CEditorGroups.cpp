// The editor groups of the sequencer, the song, the transport, the parts,
// the on-screen keyboard and the recorder, and the multi-sample items.
// Indexes come from layout bindings and widgets: every one is checked here,
// and one outside its range does nothing, reads 0 and gives "".
#include "editor/CEditor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/base/Utf8.h"
#include "core/CArpeggiator.h"
#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CMultiSample.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "gui/GUIHead.h"
#include "os/OMessageBox.h"
#include "platform/CAudioDevices.h"
#include "platform/CDlgFile.h"
#include "platform/CMIDIDevices.h"

namespace {

constexpr int kParts = 16;
constexpr int kKeys = 128;
constexpr int kSteps = 64;
constexpr int kZones = 16;
// The velocity of the on-screen keyboard's notes.
constexpr int kScreenVelocity = 80;
constexpr int kProgramMenu = 10040;  // the program field's list of the current bank

bool ValidPart(uint32_t part) { return part < kParts; }
bool ValidStep(uint32_t step) { return step < kSteps; }

// (int)x truncated toward zero, saturated; NaN is 0.
int32_t Truncate(double x)
{
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

// A widget value as the integer the sequencer stores: value*128, truncated.
int32_t Scaled(float value) { return Truncate(static_cast<double>(value) * 128.0 + 0.1); }
double Unscaled(int32_t n) { return n * 0.0078125; }

void Put(char* out, size_t size, const char* text)
{
    utf8::CopyCut(out, size, text ? text : "");
}

// The text of the row with the value in one of the built-in menus ("" when
// none has it).
void MenuText(uint32_t menuId, int value, char* out, size_t size)
{
    Put(out, size, CUIMenuResource::TextOfValue(menuId, value));
}

// Transport and song moves run on the audio thread, which owns the voices.
void Post(CSynth& synth, CSynth::Request::Kind kind, int32_t a = 0)
{
    CSynth::Request request;
    request.kind = kind;
    request.a = a;
    synth.Post(request);
}

} // namespace

// ---- Sequencer, song, transport ------------------------------------------

bool CEditor::SetGroupValue(uint32_t group, uint32_t index, float value)
{
    CSequencer& seq = *synth->sequencer;
    const int32_t n = Scaled(value);
    const int32_t t = Truncate(value);
    switch (group) {
    case 10: case 11: case 12: case 14: case 16: case 17: case 18: case 19: case 20:
        if (ValidStep(index)) seq.SetStepValue(0, int(group), int(index), n);
        return true;
    case 13:
        // A tempo the clock can run at; NaN is refused.
        if (std::isnan(value)) return true;
        seq.tempo = std::fmin(std::fmax(value, CSequencer::kMinTempo), CSequencer::kMaxTempo);
        seq.UpdateTempo();
        synth->arpeggiator->SetTempo(seq.tempo);
        return true;
    case 15:
        if (ValidPart(index)) seq.SetStepValue(int(index), 15, 0, n);
        return true;
    case 21: seq.SetPatternLoopStep(0, n); return true;
    case 22: seq.SetPatternLastStep(0, n); return true;
    case 23: SetPatternSelector(index, t); return true;
    case 26:
        if (!ValidPart(index)) return true;
        synth->program.TrySetPartProgram(int(index), n);
        synth->InitPart(int32_t(index));
        return true;
    case 27: case 28:
        if (ValidPart(index)) seq.SetStepValue(int(index), int(group), 0, t);
        return true;
    case 29:
        sequencerLane = t;
        Refresh();
        return true;
    case 30: seq.SetSongStart(t); return true;
    case 31: seq.SetSongEnd(t); return true;
    case 32: Post(*synth, CSynth::Request::Kind::kStop); return true;
    case 33: Post(*synth, CSynth::Request::Kind::kPlay); return true;
    case 35: seq.songLoop = value > 0.0f ? 1 : 0; return true;
    case 37:
        if (!std::isnan(value)) seq.swing = value * 100.0f;
        return true;
    case 38: seq.SetSongCursor(int(index)); return true;
    case 39: seq.SetCursorTranspose(t); return true;
    case 41: seq.EditPattern(t); return true;
    case 42: synth->midi->midiSync.store(value > 0.0f ? 1 : 0, std::memory_order_relaxed); return true;
    case 45:
        if (ValidPart(index)) synth->SetMixerParameter(int32_t(index << 10 | 7), value);
        return true;
    case 46:
        switch (index) {
        case 0:
            Post(*synth, seq.IsRunning() ? CSynth::Request::Kind::kStop : CSynth::Request::Kind::kPlay);
            break;
        case 1: Post(*synth, CSynth::Request::Kind::kSongRewind); break;
        case 2: Post(*synth, CSynth::Request::Kind::kSongToEnd); break;
        case 3: Post(*synth, CSynth::Request::Kind::kSongNext); break;
        case 4: Post(*synth, CSynth::Request::Kind::kSongPrevious); break;
        default: break;
        }
        return true;
    case 50: ScreenKeyboard(index, value); return true;
    case 54:
        switch (index) {
        case 0: recorder.ChooseFile(); break;
        case 1: recorder.Start(); break;
        case 2: recorder.Stop(); break;
        case 3: recorder.TogglePause(); break;
        default: return true;
        }
        Refresh();
        return true;
    default: return false;
    }
}

bool CEditor::GetGroupValue(uint32_t group, uint32_t index, double& out)
{
    const CSequencer& seq = *synth->sequencer;
    out = 0.0;
    switch (group) {
    case 10: case 11: case 12: case 14: case 16: case 17: case 18: case 19: case 20:
        if (ValidStep(index)) out = Unscaled(seq.GetStepValue(0, int(group), int(index)));
        return true;
    case 13: out = seq.tempo; return true;
    case 15:
        if (ValidPart(index)) out = Unscaled(seq.GetStepValue(int(index), 15, 0));
        return true;
    case 21: out = Unscaled(seq.GetPatternLoopStep(0)); return true;
    case 22: out = Unscaled(seq.GetPatternLastStep(0)); return true;
    case 23:
        if (index == 0) out = seq.GetSelectedGroup();
        if (index == 1) out = seq.GetSelectedBank();
        if (index == 2) out = seq.GetSelectedNumber();
        return true;
    case 24:
        // The key state is kept per part (every part on the key's channel
        // records it), so the current part's own row is the one shown.
        if (index < kKeys && synth->midi->keyboard->IsKeyActive(synth->program.GetCurrentPart(), int(index)))
            out = 128.0;
        return true;
    case 25: out = seq.GetSongCellPattern(int(index)); return true;
    case 27: case 28:
        if (ValidPart(index)) out = seq.GetStepValue(int(index), int(group), 0);
        return true;
    case 29: out = sequencerLane; return true;
    case 30: out = seq.GetSongStart(); return true;
    case 31: out = seq.GetSongEnd(); return true;
    case 32: out = seq.IsRunning() ? 0.0 : 1.0; return true;
    case 33: out = seq.IsRunning() ? 1.0 : 0.0; return true;
    case 34: out = double(seq.GetSongTicks()); return true;
    case 35: out = seq.songLoop ? 1.0 : 0.0; return true;
    case 36: out = seq.GetPlayingStep(); return true;
    case 37: out = seq.swing / 100.0f; return true;
    case 39: {
        // The transpose of the cell under the song cursor, which the song
        // page reads cell by cell.
        const CSongList* song = synth->songList;
        out = song ? song->GetCellTranspose(song->GetCursorTrack(), song->GetCursorPosition())
                   : seq.GetCursorTranspose();
        return true;
    }
    case 40: out = seq.GetSongPosition(); return true;
    case 42: out = synth->midi->midiSync.load(std::memory_order_relaxed) ? 1.0 : 0.0; return true;
    case 54:
        if (index == 1) out = recorder.IsRecording() ? 1.0 : 0.0;
        if (index == 3) out = recorder.IsPaused() ? 1.0 : 0.0;
        return true;
    default: return false;
    }
}

bool CEditor::GetGroupText(uint32_t group, int32_t index, char* out, size_t size)
{
    const CSequencer& seq = *synth->sequencer;
    const bool part = index >= 0 && index < kParts;
    char text[256] = "";
    switch (group) {
    case 15:
        if (part) Put(text, sizeof text, seq.GetPartFunctionText(index));
        break;
    case 26:
        if (part) synth->program.GetProgramDisplayName(index, text);
        break;
    case 29: MenuText(316, sequencerLane, text, sizeof text); break;
    case 34: seq.GetPositionText(text, sizeof text); break;
    case 37: seq.GetSwingText(text, sizeof text); break;
    case 45:
        if (part) MenuText(315, synth->program.GetPartSetting7(index), text, sizeof text);
        break;
    case 54:
        if (index == 0) recorder.GetFileName(text);
        else if (index == 4) recorder.GetStatusText(text);
        else return true;
        break;
    default: return false;
    }
    Put(out, size, text);
    return true;
}

void CEditor::SetPatternSelector(uint32_t index, int32_t t)
{
    CSequencer& seq = *synth->sequencer;
    switch (index) {
    case 0: seq.SetSelection(t, seq.GetSelectedBank(), seq.GetSelectedNumber()); break;
    case 1: seq.SetSelection(seq.GetSelectedGroup(), t, seq.GetSelectedNumber()); break;
    case 2:
        seq.SetSelection(seq.GetSelectedGroup(), seq.GetSelectedBank(), t);
        // Only the transpose that placing takes is reset: the cell under the
        // song cursor keeps its own.
        seq.ClearCurrentTranspose();
        break;
    case 3: {
        seq.PickSongCell(t);
        // The cell's track is silenced by the audio thread, which owns the
        // voices.
        const int track = (t >> 8) & 255;
        if (track < kParts) Post(*synth, CSynth::Request::Kind::kKillVoices, track);
        break;
    }
    case 4: seq.SetSongCell(t); break;
    default: break;
    }
    Refresh();
}

void CEditor::ScreenKeyboard(uint32_t index, float value)
{
    const int32_t key = Scaled(value);
    const int part = synth->program.GetCurrentPart();
    switch (index) {
    case 0:
    case 1: {
        if (key < 0 || key >= kKeys) return;
        // The note goes through the MIDI input's path; the audio thread
        // records the key when it takes the note from the ring.
        const uint32_t message = index == 1 ? synth->midi->MakeNoteOn(part, key, kScreenVelocity)
                                            : synth->midi->MakeNoteOff(part, key, kScreenVelocity);
        if (message) synth->midi->RouteMessage(message, -1, 0, 0, 0);
        break;
    }
    case 2:
        synth->program.BuildBankMenu(Truncate(value), synth->parameters.GetMenuView());
        break;
    case 3: Post(*synth, CSynth::Request::Kind::kAllNotesOff); break;
    default: break;
    }
}

// ---- Multi-sample items --------------------------------------------------
// The multi-sample of the oscillator selected for editing, of the current
// part.

CMultiSample& CEditor::EditedMultiSample(int& osc)
{
    osc = synth->parameters.GetSampleEditOscillator();
    if (osc < 0 || osc > 2) osc = 0;
    return synth->engine.MultiSample(synth->program.GetCurrentPart(), osc);
}

void CEditor::SetSampleValue(int32_t item, int32_t index, float value)
{
    int osc = 0;
    CMultiSample& ms = EditedMultiSample(osc);
    const bool zone = index >= 0 && index < kZones;
    const char* path = nullptr;
    switch (item) {
    case 1:
    case 2:
        if (!g_DlgFile.ChooseMultiSampleFile(&path, item == 2)) return;
        if (item == 1 ? ms.Open(path) : ms.New(path)) {
            char stored[512];
            ms.GetStoredPath(stored);
            synth->program.SetSampleName(osc, stored);
        }
        Refresh();
        return;
    case 3: ms.Save(); return;
    case 5:
    case 6: {
        if (!zone) return;
        const int layer = item - 5;
        const int32_t k = Truncate(static_cast<double>(value) * 128.0 + 0.5);
        // A zone's sound file is copied into its multi-sample's folder: with
        // no multi-sample there is nowhere to put it, and the click says so.
        if (!ms.loaded) {
            if (k == 0)
                os::ShowMessageBox("This oscillator has no multi-sample yet. Open one (\"Open\") or make one "
                                   "(\"New\") first; then its zones take sound files.",
                                   "Multi-sample");
            return;
        }
        if (k == 0 && g_DlgFile.ChooseSampleFile(&path))
            ms.AssignZoneFile(path, index, layer);
        else if (k == 1)
            ms.ClearZoneLayer(index, layer);
        Refresh();
        return;
    }
    case 7: if (zone) ms.SetZoneRootKey(index, Truncate(value)); return;
    case 8: if (zone) ms.SetZoneUpperKey(index, Truncate(value)); return;
    case 13: if (zone) ms.SetZoneLoopStart(index, value); return;
    case 14: if (zone) ms.SetZoneLoopEnd(index, value); return;
    case 20: ms.SetLoopEnable(static_cast<uint32_t>(Truncate(value))); return;
    case 21: ms.SetLoopCrossfade(value); return;
    case 22: ms.SetValueA(value); return;
    case 24: synth->SetParameter(387 + osc, value); return;
    case 25: synth->SetParameter(390 + osc, value); return;
    case 26: ms.SetUseSinc(value); return;
    default: return;
    }
}

double CEditor::GetSampleValue(int32_t item, int32_t index)
{
    int osc = 0;
    CMultiSample& ms = EditedMultiSample(osc);
    const bool zone = index >= 0 && index < kZones;
    switch (item) {
    case 7: return zone ? ms.GetZoneRootKey(index) : 0.0;
    case 8: return zone ? ms.GetZoneUpperKey(index) : 0.0;
    case 13: return zone ? ms.GetZoneLoopStart(index) : 0.0;
    case 14: return zone ? ms.GetZoneLoopEnd(index) : 0.0;
    case 20: return ms.GetLoopEnable();
    case 21: return ms.GetLoopCrossfade();
    case 22: return ms.GetValueA();
    case 24: return synth->GetParameter(387 + osc);
    case 25: return synth->GetParameter(390 + osc);
    case 26: return ms.GetUseSinc();
    default: return 0.0;
    }
}

void CEditor::GetSampleText(int32_t item, int32_t index, char* out, size_t size)
{
    Put(out, size, "");
    int osc = 0;
    CMultiSample& ms = EditedMultiSample(osc);
    const bool zone = index >= 0 && index < kZones;
    char text[512] = "";
    auto percent = [&](float v) {
        if (ms.loaded) std::snprintf(text, sizeof text, "%5.2f", static_cast<double>(v) * 100.0);
    };
    switch (item) {
    case 1: ms.GetName(text, sizeof text); break;
    case 5:
    case 6:
        if (zone) ms.GetZoneFileName(index, item - 5, text, sizeof text);
        break;
    case 7:
    case 8:
        if (zone) MenuText(317, item == 7 ? ms.GetZoneRootKey(index) : ms.GetZoneUpperKey(index), text,
                           sizeof text);
        break;
    case 13: if (zone) percent(ms.GetZoneLoopStart(index)); break;
    case 14: if (zone) percent(ms.GetZoneLoopEnd(index)); break;
    case 20:
        if (ms.loaded) MenuText(318, int(ms.GetLoopEnable()), text, sizeof text);
        break;
    case 21: percent(ms.GetLoopCrossfade()); break;
    case 22: percent(ms.GetValueA()); break;
    case 23: std::snprintf(text, sizeof text, "OSC %d Sample", osc + 1); break;
    case 24: synth->GetParameterDisplay(387 + osc, text); break;
    case 25: synth->GetParameterDisplay(390 + osc, text); break;
    default: break;
    }
    Put(out, size, text);
}

// ---- Menu commands -------------------------------------------------------

void CEditor::PrepareMenu(int menuId)
{
    if (synth && (menuId == int(CMIDIDevices::kInputMenu) || menuId == int(CMIDIDevices::kOutputMenu)))
        synth->BuildMidiMenus();
    if (synth && menuId == int(CAudioDevices::kMenuId)) synth->BuildAudioMenu();
    // The program list names what the bank holds now: a preset loaded, a
    // program pasted or renamed changes a name without anyone asking for
    // the list's value.
    if (synth && menuId == kProgramMenu) synth->program.BuildProgramMenu(synth->parameters.GetMenuView());
}

bool CEditor::OnMenuCommand(int menuId, int value)
{
    if (menuId == 312) {
        synth->ExecuteCommand(141, float(value));
        return true;
    }
    if (menuId != 280) return false;
    static constexpr int kCommands[16] = {0, 132, 130, 131, 129, 125, 126, 0, 128, 109, 103, 0, 161, 163, 165, 177};
    if (value >= 20 && value <= 26)
        synth->ExecuteCommand(133, float(value - 20));
    else if (value >= 40 && value <= 46)
        synth->ExecuteCommand(127, float(value - 40));
    else if (value == 11) {
        if (gui) gui->OpenDialog(0, 0, 100, 0);
    } else if (value >= 0 && value < 16 && kCommands[value] != 0)
        synth->ExecuteCommand(kCommands[value], 0.0f);
    return true;
}
