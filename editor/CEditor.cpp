#include "editor/CEditor.h"

#include "core/CMIDI.h"
#include "core/CSynth.h"

CEditor::CEditor(CSynth* s) : synth(s) {}
CEditor::~CEditor() = default;

bool CEditor::Open() {
    return false;
}

void CEditor::Refresh() {}
void CEditor::RequestRedraw() {}
void CEditor::SetCurrentPart(int) {}

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
    recorder.Drain();
}
