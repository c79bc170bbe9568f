// Renders every page of the built layout headless, with a synthesizer's
// values behind it, into one PNG per page, then every dialog of the layout
// opened over the page it is opened from most often (one PNG per dialog),
// and the about box.
//
//   zavo_screenshots <program folder holding ZAVO.gui> <output folder>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/GUIHead.h"
#include "platform/CGlobalData.h"
#include "tools/PngFile.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: zavo_screenshots <program folder> <output folder>\n");
        return 2;
    }
    CEditor::AllowWindow(false);
    snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s/", argv[1]);
    std::filesystem::create_directories(argv[2]);
    CUnifiedDC dc;
    if (!dc.CreateMemory(960, 650, 24)) return 1;
    auto synth = std::make_unique<CSynth>();
    auto head = std::make_unique<GUIHead>(&dc, synth->editor);
    synth->editor->SetGUI(head.get());
    head->LoadLayout();
    if (head->Objects().size() < 10) {
        fprintf(stderr, "no layout in %s\n", argv[1]);
        return 1;
    }
    // The pages that have a background of their own.
    uint32_t pages = 0;
    for (const auto& w : head->Objects())
        if (strcmp(w->GetTag(), "BKGD") == 0)
            for (int page = 0; page < 16; ++page)
                if (w->properties[page]) pages |= 1u << page;
    int written = 0;
    for (int page = 0; page < 16; ++page) {
        if (!(pages >> page & 1)) continue;
        // A type's own page shows the captions of that type.
        synth->parameters.SetPartSynthesisType(0, page >= 6 && page <= 10 ? page - 4 : page == 5 ? 1 : 0);
        head->SetPage(page);
        head->RedrawAll();
        const std::string path = std::string(argv[2]) + "/page" + (page < 10 ? "0" : "") + std::to_string(page) + ".png";
        if (!png::Write(*dc.GetBackSurface(), path)) return 1;
        ++written;
    }
    std::vector<int> dialogs;
    for (const auto& w : head->Objects())
        if (strcmp(w->GetTag(), "DLOG") == 0) dialogs.push_back(w->dialogId);
    // The properties dialog shows the master volume knob's.
    GUIObject* knob = nullptr;
    for (const auto& w : head->Objects())
        if (!knob && strcmp(w->GetTag(), "KNOB") == 0 && w->binding.group == 2) knob = w.get();
    for (int id : dialogs) {
        head->SetMenuTarget(knob, 100, 100);
        // Sound dialogs open over the oscillator page, those of the type
        // pages over the fm page; the others over the mixer.
        synth->parameters.SetPartSynthesisType(0, id >= 20 && id <= 99 ? 3 : 0);
        head->SetPage(id >= 2 && id <= 12 ? 2 : id >= 20 && id <= 99 ? 7 : 0);
        if (id == 10) {
            // The modulation dialog belongs to a knob: opened from its
            // parameter menu ("Modulation") over the first one that can be a
            // destination on the page.
            for (const auto& w : head->Objects())
                if (w->IsVisibleNow() && strcmp(w->GetTag(), "KNOB") == 0) {
                    head->SetMenuTarget(w.get(), w->x + w->w, w->y + w->h);
                    head->OnParameterMenu(52);
                    if (head->GetOpenDialog() == 10) break;
                }
        } else {
            head->OpenDialog(100, 100, id, 0);
        }
        head->RedrawAll();
        const std::string path = std::string(argv[2]) + "/dialog" + (id < 10 ? "00" : id < 100 ? "0" : "") +
                                 std::to_string(id) + ".png";
        if (!png::Write(*dc.GetBackSurface(), path)) return 1;
        head->CloseDialog();
        ++written;
    }
    // The about box over the mixer.
    head->SetPage(0);
    head->RedrawAll();
    head->ToggleAboutBox();
    if (head->GetOpenDialog() == GUIHead::kAboutDialog) {
        if (!png::Write(*dc.GetBackSurface(), std::string(argv[2]) + "/about.png")) return 1;
        head->ToggleAboutBox();
        ++written;
    }
    synth->editor->SetGUI(nullptr);
    head.reset();
    printf("%d pages and dialogs written to %s\n", written, argv[2]);
    return 0;
}
