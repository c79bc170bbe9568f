// Entry point. The process-wide objects (settings, tables, devices) are
// built before main runs and torn down after it returns; the settings are
// written back then, once the window has opened.
//
// The synthesizer opens the window and then its audio and MIDI devices; the
// window's loop runs until the window is closed or the process gets SIGINT
// or SIGTERM, which close it the same way. The device menus are printed on
// standard output, since the settings file names the devices by them.
#include <cstdio>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUIMenuResource.h"
#include "platform/CBaseWnd.h"
#include "platform/CGlobalData.h"

namespace {

void PrintMenu(const char* title, uint32_t menuId) {
    std::printf("%s:\n", title);
    CUIMenuResource view;
    if (!view.Open(menuId)) return;
    for (const MenuEntry* row = view.First(); row; row = view.Next()) {
        if (row->type == kMenuSeparator)
            std::printf("      --------\n");
        else
            std::printf("  %c %2d %s\n", row->checked ? '*' : ' ', int(row->value), row->text);
    }
}

} // namespace

int main()
{
    // Installed first: a stop asked for while the synthesizer is being built
    // closes the window as soon as its loop runs.
    os::OWindow::InstallStopSignals();
    CSynth* synth = new CSynth;
    CEditor* editor = synth->editor;
    if (!editor || !editor->IsOpen()) {
        // Nobody could see or stop a program without its window: no device
        // was opened, and it ends at once, leaving the settings file alone
        // (the exit would fill it with defaults nobody chose).
        const std::string& why = CBaseWnd::LastError();
        std::fprintf(stderr, "zavo: cannot open the window (%s); a graphical desktop is needed\n",
                     why.empty() ? "no window could be made" : why.c_str());
        g_GlobalData.LeaveSettingsFile();
        delete synth;
        os::OWindow::Shutdown();
        return 1;
    }
    PrintMenu("Audio output", 10010);
    PrintMenu("MIDI input", 10020);
    PrintMenu("MIDI output", 10030);
    std::fflush(stdout);
    editor->Run();
    delete synth;
    os::OWindow::Shutdown();
    return 0;
}
