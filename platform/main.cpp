// Entry point. The process-wide objects (settings, tables, devices) are
// built before main runs and torn down after it returns; the settings are
// written back then.
//
// There is no window yet: the program opens its devices as it will once its
// window is open, shows the device menus on standard output and plays until
// it is interrupted (SIGINT or SIGTERM).
#include <csignal>
#include <cstdio>

#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"

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
    // Blocked before any thread starts, so every thread inherits the mask and
    // the signals wait for sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    CSynth* synth = new CSynth;
    if (synth->IsSuspended())
        synth->OpenDevices();
    PrintMenu("Audio output", 10010);
    PrintMenu("MIDI input", 10020);
    PrintMenu("MIDI output", 10030);
    std::printf("Playing; Ctrl+C ends.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);

    synth->CloseDevices();
    delete synth;
    return 0;
}
