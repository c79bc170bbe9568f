#include "editor/CEditor.h"

#include <cstring>

#include <algorithm>
#include <cmath>

#include "core/CArpeggiator.h"
#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "gui/GUIHead.h"

namespace {

// CSynth writes its display texts without a size; they are at most 128
// characters, so they go through a buffer of ample size first.
constexpr size_t kSynthTextSize = 256;
// Commands 143..150 name the current program's labels.
constexpr int32_t kFirstLabel = 143;
constexpr int32_t kLabels = 8;

void CopyCut(char* out, size_t size, const char* text)
{
    if (!out || size == 0) return;
    const size_t n = strnlen(text ? text : "", size - 1);
    memcpy(out, text ? text : "", n);
    out[n] = '\0';
}

// The integer a widget's value stands for: value*128, truncated, with a
// little headroom for values that were n/128 in single precision. NaN and
// values far out of range saturate instead of overflowing the conversion.
int32_t Scaled(float value)
{
    const double n = std::isnan(value) ? 0.0 : double(value) * 128.0 + 0.1;
    return int32_t(std::clamp(n, -1.0e9, 1.0e9));
}

int32_t Whole(float value)
{
    return std::isnan(value) ? 0 : int32_t(std::clamp(double(value), -1.0e9, 1.0e9));
}

bool IsStepField(uint32_t group)
{
    switch (group) {
    case 10: case 11: case 12: case 14: case 16: case 17: case 18: case 19: case 20: return true;
    default: return false;
    }
}

void Transport(CSynth& synth, CSynth::Request::Kind kind)
{
    CSynth::Request request;
    request.kind = kind;
    synth.Post(request);
}

}  // namespace

CEditor::CEditor(CSynth* s) : synth(s) {}

CEditor::~CEditor()
{
    if (gui) gui->DetachEditor();
}

bool CEditor::Open() {
    return false;
}

void CEditor::SetGUI(GUIHead* g)
{
    gui = g;
    if (!synth) return;
    synth->parameters.SetGUI(g);
    if (g) g->SetCurrentPart(synth->program.GetCurrentPart());
}

void CEditor::Refresh()
{
    if (!gui) return;
    synth->parameters.RefreshPartPage();
    gui->RedrawAll();
}

void CEditor::RequestRedraw()
{
    redrawRequest.store(1, std::memory_order_release);
}

void CEditor::SetCurrentPart(int part)
{
    if (gui) gui->SetCurrentPart(part);
}

// ---- Values -----------------------------------------------------------------

void CEditor::SetValue(uint32_t group, uint32_t index, float value)
{
    const auto id = static_cast<int32_t>(index);
    switch (group) {
    case 0: synth->SetParameter(id, value); break;
    case 1: synth->SetMixerParameter(id, value); break;
    case 2: synth->SetGlobalParameter(id, value); break;
    case 9: synth->ExecuteCommand(id, value); break;
    default: SetSequencerValue(group, index, value); break;
    }
}

void CEditor::SetSequencerValue(uint32_t group, uint32_t index, float value)
{
    CSequencer* seq = synth->sequencer;
    if (!seq) return;
    const auto id = static_cast<int32_t>(index);
    const int32_t n = Scaled(value);
    const int32_t t = Whole(value);
    const bool validPart = id >= 0 && id < CSequencer::kParts;
    if (IsStepField(group)) {
        seq->SetStepValue(0, int(group), id, n);
        return;
    }
    switch (group) {
    case 13:
        if (!std::isfinite(value)) return;
        seq->tempo = std::clamp(value, CSequencer::kMinTempo, CSequencer::kMaxTempo);
        seq->UpdateTempo();
        if (synth->arpeggiator) synth->arpeggiator->SetTempo(seq->tempo);
        break;
    case 15:
        if (validPart) seq->SetStepValue(id, 15, 0, n);
        break;
    case 21: seq->SetPatternLoopStep(0, n); break;
    case 22: seq->SetPatternLastStep(0, n); break;
    case 23:
        switch (id) {
        case 0: seq->SetSelection(t, seq->GetSelectedBank(), seq->GetSelectedNumber()); break;
        case 1: seq->SetSelection(seq->GetSelectedGroup(), t, seq->GetSelectedNumber()); break;
        case 2:
            seq->SetSelection(seq->GetSelectedGroup(), seq->GetSelectedBank(), t);
            seq->ClearCurrentTranspose();
            break;
        case 3:
            if (t < 0 || (t >> 8) >= CSequencer::kParts) break;
            seq->PickSongCell(t);
            synth->Post({CSynth::Request::Kind::kKillVoices, (t >> 8) & 255, 0, 0.0f});
            break;
        case 4:
            if (t >= 0 && (t >> 8) < CSequencer::kParts) seq->SetSongCell(t);
            break;
        default: break;
        }
        Refresh();
        break;
    case 26:
        if (!validPart) return;
        synth->program.TrySetPartProgram(id, n);
        synth->InitPart(id);
        break;
    case 27: case 28:
        if (validPart) seq->SetStepValue(id, int(group), 0, t);
        break;
    case 29:
        sequencerLane = t > 0 ? 1 : 0;
        Refresh();
        break;
    case 30: seq->SetSongStart(t); break;
    case 31: seq->SetSongEnd(t); break;
    case 32: Transport(*synth, CSynth::Request::Kind::kStop); break;
    case 33: Transport(*synth, CSynth::Request::Kind::kPlay); break;
    case 35: seq->songLoop = value > 0.0f ? 1 : 0; break;
    case 37:
        if (std::isfinite(value)) seq->swing = std::clamp(value * 100.0f, 0.0f, 100.0f);
        break;
    case 38: seq->SetSongCursor(id); break;
    case 39: seq->SetCursorTranspose(t); break;
    case 41: seq->EditPattern(t); break;
    case 45:
        if (validPart) synth->SetMixerParameter((id << 10) | 7, value);
        break;
    case 50: OnScreenKey(id, value); break;
    default: break;
    }
}

void CEditor::OnScreenKey(int32_t index, float value)
{
    const int32_t key = Scaled(value);
    CMIDI* midi = synth->midi;
    if (!midi) return;
    const int part = synth->program.GetCurrentPart();
    switch (index) {
    case 0:
    case 1: {
        // Played exactly as a MIDI input's note: the audio thread records the
        // key with its velocity and routes it with no second note value.
        if (key < 0 || key >= CMIDI::kKeys) return;
        const uint32_t message = index == 1 ? midi->MakeNoteOn(part, key, kOnScreenVelocity)
                                            : midi->MakeNoteOff(part, key, kOnScreenVelocity);
        if (message) midi->RouteMessage(message, -1, 0, 0, 0);
        break;
    }
    case 2:
        synth->program.BuildBankMenu(Whole(value), synth->parameters.GetMenuView());
        break;
    case 3: synth->Post({CSynth::Request::Kind::kAllNotesOff, 0, 0, 0.0f}); break;
    default: break;
    }
}

double CEditor::GetValue(uint32_t group, uint32_t index)
{
    const auto id = static_cast<int32_t>(index);
    switch (group) {
    case 0: return synth->GetParameter(id);
    case 1: return synth->GetMixerParameter(id);
    case 2: return synth->GetGlobalParameter(id);
    case 9: return synth->GetCommandValue(id);
    default: return GetSequencerValue(group, index);
    }
}

double CEditor::GetSequencerValue(uint32_t group, uint32_t index)
{
    const CSequencer* seq = synth->sequencer;
    if (!seq) return 0.0;
    const auto id = static_cast<int32_t>(index);
    constexpr double kStep = 0.0078125;
    if (IsStepField(group)) return seq->GetStepValue(0, int(group), id) * kStep;
    switch (group) {
    case 13: return seq->tempo;
    case 15: return seq->GetPartFunction(id) * kStep;
    case 21: return seq->GetPatternLoopStep(0) * kStep;
    case 22: return seq->GetPatternLastStep(0) * kStep;
    case 23:
        switch (id) {
        case 0: return seq->GetSelectedGroup();
        case 1: return seq->GetSelectedBank();
        case 2: return seq->GetSelectedNumber();
        default: return 0.0;
        }
    case 24: {
        const CMIDI* midi = synth->midi;
        if (!midi || !midi->keyboard || id < 0 || id >= CMIDI::kKeys) return 0.0;
        return midi->keyboard->IsKeyActive(synth->program.GetCurrentPart(), id) ? 128.0 : 0.0;
    }
    case 25: return seq->GetSongCellPattern(id);
    case 27: case 28: return seq->GetStepValue(id, int(group), 0);
    case 29: return sequencerLane;
    case 30: return seq->GetSongStart();
    case 31: return seq->GetSongEnd();
    case 32: return seq->IsRunning() ? 0.0 : 1.0;
    case 33: return seq->IsRunning() ? 1.0 : 0.0;
    case 35: return seq->songLoop ? 1.0 : 0.0;
    case 36: return seq->GetPlayingStep();
    case 37: return seq->swing / 100.0;
    case 39: {
        // The transpose of the cell under the song cursor.
        const CSongList* song = synth->songList;
        if (!song) return seq->GetCursorTranspose();
        return song->GetCellTranspose(song->GetCursorTrack(), song->GetCursorPosition());
    }
    case 40: return seq->GetSongPosition();
    default: return 0.0;
    }
}

void CEditor::GetText(uint32_t group, int32_t index, char* out, size_t size)
{
    char text[kSynthTextSize] = "";
    switch (group) {
    case 0: synth->GetParameterDisplay(index, text); break;
    case 1: synth->GetMixerParameterDisplay(index, text); break;
    case 2: synth->GetGlobalParameterDisplay(index, text); break;
    case 15:
        if (synth->sequencer && index >= 0 && index < CSequencer::kParts)
            CopyCut(text, sizeof text, synth->sequencer->GetPartFunctionText(index));
        break;
    case 26:
        if (index >= 0 && index < CSequencer::kParts) synth->program.GetProgramDisplayName(index, text);
        break;
    case 45:
        if (index >= 0 && index < CSequencer::kParts)
            CopyCut(text, sizeof text, CUIMenuResource::TextOfValue(315, synth->program.GetPartSetting7(index)));
        break;
    case 9:
        // The current program's eight labels, else the command's own text.
        if (index >= kFirstLabel && index < kFirstLabel + kLabels)
            synth->program.GetLabel(index - kFirstLabel, text);
        else
            synth->GetCommandText(index, text, sizeof text);
        break;
    default: return;
    }
    CopyCut(out, size, text);
}

void CEditor::SetText(int32_t group, int32_t index, const char* text)
{
    if (group != 9 || !text) return;
    if (index == 5)
        synth->program.SetProgramName(synth->program.GetCurrentProgramNumber(), text);
    else if (index >= kFirstLabel && index < kFirstLabel + kLabels)
        synth->program.SetLabel(index - kFirstLabel, text);
}
void CEditor::SetSampleValue(int32_t, int32_t, float) {}
double CEditor::GetSampleValue(int32_t, int32_t) { return 0.0; }

void CEditor::GetSampleText(int32_t, int32_t, char* out, size_t size)
{
    CopyCut(out, size, "");
}

CPresetBrowser* CEditor::GetBrowser(const CIParameter& binding)
{
    if (binding.kind != 0 || binding.group != 10) return nullptr;
    return synth->GetPresetBrowser(int32_t(binding.index), int32_t(binding.sub));
}

void CEditor::LearnNextController(int kind, int index)
{
    if (synth) CMIDI::LearnNextController(kind, index);
}

void CEditor::ForgetController(int kind, int index)
{
    if (synth) CMIDI::ClearController(kind, index);
}

int CEditor::FindControllerAssignment(int kind, int index)
{
    return synth ? CMIDI::FindLearnSlot(kind, index) : -1;
}

bool CEditor::AssignController(int kind, int index, int controller)
{
    return synth && controller >= 0 && controller < CMIDI::kControllers &&
           CMIDI::AssignController(kind, index, uint32_t(controller));
}
bool CEditor::OnMenuCommand(int, int) { return false; }

void CEditor::Get8DPoint(int point, double* x, double* y)
{
    synth->parameters.Get8DPoint(point, x, y);
}

bool CEditor::ToggleEffectEditor(int command)
{
    int dialog = 0;
    switch (command) {
    case 111: dialog = 6; break;
    case 112: dialog = 7; break;
    case 113: dialog = 8; break;
    case 171: dialog = 11; break;
    default: return false;
    }
    if (!gui) return true;
    if (gui->GetOpenDialog() == dialog) {
        gui->CloseDialog();
        return true;
    }
    // Opening an effect's editor switches the effect on.
    if (command == 171)
        synth->SetGlobalParameter(23, 1.0f);
    else
        synth->SetParameter(315 + (command - 111), 1.0f);
    gui->OpenDialog(100, 120, dialog, 0);
    return true;
}

// ---- Timer and program changes ---------------------------------------------

void CEditor::PostProgramChange(int part, int program) {
    programMessages.Push(static_cast<uint32_t>(part), static_cast<uint32_t>(program));
}

void CEditor::ProcessProgramMessages() {
    if (busy)
        return;
    busy = 1;
    uint32_t part = 0;
    uint32_t program = 0;
    if (programMessages.Pop(&part, &program))
        synth->SetPartProgram(static_cast<int>(part), static_cast<int>(program));
    busy = 0;
}

void CEditor::OnTimer() {
    ProcessProgramMessages();
    synth->parameters.ServicePendingRequests();
    // Learnt, forgotten or assigned controllers: written here, never on the
    // audio thread that completes a learn.
    CMIDI::SaveLearnFile();
    if (gui) gui->OnIdle();
    recorder.Drain();
}
