// Actors of the stress that read and write files on the GUI thread while
// the audio renders: preset pool scans and browser mask saves, bank and
// project saves, and the layout editor at work on the program's own layout.
// Their steps are slow beside the GUI actor's, and all of them hold the GUI
// thread: their pace leaves it most of its time.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "os/OFileChooser.h"
#include "os/OMessageBox.h"
#include "os/OPath.h"
#include "stress/StressActor.h"
#include "tests/os/TestFolders.h"
#include "tools/FileFixtures.h"

namespace stress {

namespace {

namespace fs = std::filesystem;

// A folder of presets with masks in their headers, for the pool to scan.
std::string WritePresets() {
    const std::string folder = testutil::TestFolder() + "/StressPresets";
    fs::create_directories(folder + "/Factory");
    for (int i = 0; i < 24; ++i) {
        fixtures::Bytes file(CProgram::kPresetHeaderBytes, 0);
        const uint32_t masks[kCategoryGroups] = {1u << (i % 15), 1u << (i % 5), 0, 2, 0};
        CPresetPool::WriteHeader(file.data(), masks);
        const fixtures::Bytes body = fixtures::FxpBody(31, i);
        file.insert(file.end(), body.begin(), body.end());
        char name[64];
        std::snprintf(name, sizeof name, "%s/preset%02d.fxp", i % 2 ? "/Factory" : "", i);
        testutil::WriteFile(folder + name, std::string(file.begin(), file.end()));
    }
    return folder;
}

// The pool scanned again, the browser's list rebuilt and filtered, a preset
// loaded from it, and its words stored (which rewrites the categories file).
class PresetActor : public Actor {
public:
    PresetActor(CSynth& s, std::string folder)
        : Actor("presets", std::chrono::microseconds(100000), 11), synth(s), folder(std::move(folder)) {}
    void Step() override {
        std::lock_guard<std::mutex> thread(GuiThread());
        CPresetBrowser& browser = synth.presetBrowser;
        switch (Pick(0, 5)) {
        case 0:
            g_PresetPool.Scan(folder);
            browser.Rebuild();
            break;
        case 1: browser.SetFilterMode(static_cast<uint8_t>(Pick(0, 1))); break;
        case 2:
            browser.SetSelection(Pick(0, 23));
            loads += browser.ApplySelection();
            break;
        default:
            // Outside filter mode these store the selected preset's words.
            browser.SetFilterMode(0);
            browser.SetSelection(Pick(0, 23));
            browser.ApplySelection();
            browser.SetCategoryMask0(static_cast<uint32_t>(Pick(0, 0xFFFF)));
            browser.SetCategoryMask4(static_cast<uint32_t>(Pick(0, 0xFF)));
            break;
        }
    }
    CSynth& synth;
    std::string folder;
    long loads = 0;
};

class FixedChooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest&) override { return path; }
    std::string path;
};

// Bank and project saves by their commands, the engine rendering meanwhile.
class SaveActor : public Actor {
public:
    explicit SaveActor(CSynth& s) : Actor("saves", std::chrono::microseconds(300000), 12), synth(s) {
        synth.program.GetFileDialog().SetChooser(&chooser);
    }
    ~SaveActor() override { synth.program.GetFileDialog().SetChooser(nullptr); }
    void Step() override {
        std::lock_guard<std::mutex> thread(GuiThread());
        const bool project = Pick(0, 1) != 0;
        chooser.path = testutil::TestFolder() + (project ? "/stress.qzp" : "/stress.qvb");
        synth.ExecuteCommand(project ? 103 : 106, 0.0f);
    }
    CSynth& synth;
    FixedChooser chooser;
};

// The layout editor on the layout the program ships: widgets dragged about,
// the window ticked (its widgets read the synthesizer's values) and the
// layout saved now and then.
class LayoutActor : public Actor {
public:
    explicit LayoutActor(CSynth& s) : Actor("layout", std::chrono::microseconds(400000), 13) {
        char exe[512] = {};
        std::error_code ec;
        if (os::ExecutableFolder(exe, sizeof exe))
            fs::copy_file(std::string(exe) + "ZAVO.gui", GUIResource::LayoutPath(),
                          fs::copy_options::overwrite_existing, ec);
        surface.CreateMemory(960, 650);
        head = std::make_unique<GUIHead>(&surface, s.editor);
        std::lock_guard<std::mutex> thread(GuiThread());
        head->LoadLayout();
        widgets = head->Objects().size();
        head->SetEditingAllowed(true);
        head->OnOwnMenu(GUIHead::kLayoutMenu, 49);  // edit mode
    }
    void Step() override {
        std::lock_guard<std::mutex> thread(GuiThread());
        // A save writes the layout with its images: seldom.
        switch (Pick(0, 29)) {
        case 0: head->SaveLayout(); break;
        case 1:
        case 2:
        case 3: head->OnIdle(); break;
        default: {
            const int x = Pick(0, 959), y = Pick(0, 649);
            head->OnMouseDown(1, x, y);
            head->OnMouseMove(1, x + Pick(-20, 20), y + Pick(-20, 20));
            head->OnMouseUp(0, x, y);
            break;
        }
        }
    }
    CUnifiedDC surface;
    std::unique_ptr<GUIHead> head;
    size_t widgets = 0;
};

} // namespace

void AddFileActors(std::vector<std::unique_ptr<Actor>>& actors, CSynth& synth) {
    // An "Error" box here is a line on stderr, not a wait.
    os::SetMessageBoxHook([](const char* text, const char* title) { std::fprintf(stderr, "%s: %s\n", title, text); });
    actors.push_back(std::make_unique<PresetActor>(synth, WritePresets()));
    actors.push_back(std::make_unique<SaveActor>(synth));
    auto layout = std::make_unique<LayoutActor>(synth);
    std::printf("layout   %zu widgets loaded\n", layout->widgets);
    actors.push_back(std::move(layout));
}

} // namespace stress
