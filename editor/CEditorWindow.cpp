// The editor's window: opening it with its surface and GUI manager, the
// paint and close events, and the message loop.
#include "editor/CEditor.h"

#include <new>

#include "core/CSynth.h"
#include "gui/GUIHead.h"
#include "platform/CGlobalData.h"

namespace {

// Tests of the synthesizer build it without a window unless they ask.
bool g_windowAllowed = true;

} // namespace

void CEditor::AllowWindow(bool allowed)
{
    g_windowAllowed = allowed;
}

bool CEditor::Open()
{
    if (!g_windowAllowed || window.IsOpen()) return false;
    if (!window.Create(kWidth, kHeight, nullptr, this)) return false;
    // Without its surface or manager the window would show nothing and take
    // no input: the editor is not open then, and no device starts.
    GUIHead* made = nullptr;
    if (surface.CreateForWindow(window.GetDrawWindow(), 24))
        made = new (std::nothrow) GUIHead(&surface, this);
    if (!made) {
        window.Destroy();
        return false;
    }
    ownsGui = true;
    // The colour scheme chosen last time (a mode outside the table shows the
    // picture as it is, and is written back as it was read).
    surface.SetColorEffect(g_GlobalData.UIColorEffect);
    made->LoadLayout();
    SetGUI(made);
    synth->parameters.SetPartSynthesisType(0, 0);
    made->RedrawAll();
    window.SetTimer(1, 50);
    return true;
}

void* CEditor::GetWindow()
{
    return window.IsOpen() ? &window : nullptr;
}

void CEditor::OnPaint()
{
    if (gui) window.Paint(&surface);
}

void CEditor::OnDestroy()
{
    // Written before the devices close: a device that does not answer
    // (a frozen JACK server) may leave the rest to the process's end.
    g_GlobalData.WriteSettings();
    synth->CloseDevices();
    // The recording ends with the devices, complete on disk.
    recorder.Stop();
    window.Destroy();
    if (!gui) return;
    // Written only while layout editing is allowed, never over a file that
    // was refused at start.
    gui->SaveLayout();
    GUIHead* old = gui;
    // The parameter model lets go of the manager before it goes.
    SetGUI(nullptr);
    if (ownsGui) delete old;
    ownsGui = false;
}

void CEditor::Run()
{
    window.Run();
}
