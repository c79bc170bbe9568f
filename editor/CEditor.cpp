#include "editor/CEditor.h"

#include <cstring>

#include "common/base/Utf8.h"
#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "gui/GUIHead.h"
#include "platform/COSystem.h"

namespace {

// CSynth writes its display texts without a size; they are at most 128
// characters, so they go through a buffer of ample size first.
constexpr size_t kSynthTextSize = 256;
// Commands 143..150 name the current program's labels.
constexpr int32_t kFirstLabel = 143;
constexpr int32_t kLabels = 8;

void CopyCut(char* out, size_t size, const char* text)
{
    utf8::CopyCut(out, size, text ? text : "");
}

}  // namespace

CEditor::CEditor(CSynth* s) : synth(s) {}

CEditor::~CEditor()
{
    if (!gui) return;
    if (ownsGui) {
        GUIHead* old = gui;
        SetGUI(nullptr);
        delete old;
    } else {
        gui->DetachEditor();
    }
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
    default: SetGroupValue(group, index, value); break;
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
    default: {
        double out = 0.0;
        GetGroupValue(group, index, out);
        return out;
    }
    }
}

void CEditor::GetText(uint32_t group, int32_t index, char* out, size_t size)
{
    char text[kSynthTextSize] = "";
    switch (group) {
    case 0: synth->GetParameterDisplay(index, text); break;
    case 1: synth->GetMixerParameterDisplay(index, text); break;
    case 2: synth->GetGlobalParameterDisplay(index, text); break;
    case 9:
        if (index == 176) return;  // a command without a text
        // The current program's eight labels, else the command's own text.
        if (index >= kFirstLabel && index < kFirstLabel + kLabels)
            synth->program.GetLabel(index - kFirstLabel, text);
        else
            synth->GetCommandText(index, text, sizeof text);
        break;
    default: GetGroupText(group, index, out, size); return;
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

bool CEditor::TakesController(int kind, int index) { return CMIDI::Drives(kind, index); }

bool CEditor::AssignController(int kind, int index, int controller)
{
    if (!synth || controller < -1 || controller >= CMIDI::kControllers) return false;
    // -1: no controller moves the value any more.
    return CMIDI::AssignController(kind, index, controller < 0 ? CMIDI::kClearOnly : uint32_t(controller));
}

void CEditor::Get8DPoint(int point, double* x, double* y)
{
    synth->parameters.Get8DPoint(point, x, y);
}

namespace {

// The dialog of an effect editor's command, 0 for another command.
int EffectEditorDialog(int command)
{
    switch (command) {
    case 111: return 6;
    case 112: return 7;
    case 113: return 8;
    case 171: return 11;
    default: return 0;
    }
}

}  // namespace

bool CEditor::IsEffectEditorOpen(int command) const
{
    const int dialog = EffectEditorDialog(command);
    return dialog != 0 && gui && gui->GetOpenDialog() == dialog;
}

bool CEditor::ToggleEffectEditor(int command)
{
    const int dialog = EffectEditorDialog(command);
    if (dialog == 0) return false;
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

void CEditor::ShowChangesNow() {
    if (gui) gui->OnIdle();
}

void CEditor::OnTimer() {
    // A JACK server that went away: on to the sound device, told once.
    synth->CheckAudioOutput();
    synth->FollowMidiPorts();
    // A document or page the desktop had no program for (the help menu).
    ReportFailedOpens();
    ProcessProgramMessages();
    synth->parameters.ServicePendingRequests();
    // Learnt, forgotten or assigned controllers: written here, never on the
    // audio thread that completes a learn.
    CMIDI::SaveLearnFile();
    if (gui) gui->OnIdle();
    recorder.Drain();
}
