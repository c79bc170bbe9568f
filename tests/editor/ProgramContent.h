#pragma once
// The content the program reads at start (layout, factory bank, templates,
// presets),
// copied from the program's own folder into the test's program folder, so
// that a synthesizer made in a test starts as the program does.
#include <filesystem>
#include <string>

#include "os/TestFolders.h"

namespace testutil {

inline void CopyProgramContent()
{
    namespace fs = std::filesystem;
    const fs::path from = fs::path(ZAVO_PROGRAM).parent_path(), to = TestFolder();
    std::error_code ec;
    fs::create_directories(to / "Bank", ec);
    fs::copy_file(from / "Bank" / "ZavoFactory.qvb", to / "Bank" / "ZavoFactory.qvb",
                  fs::copy_options::overwrite_existing, ec);
    fs::copy(from / "Presets", to / "Presets",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    for (const auto& entry : fs::directory_iterator(from, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == "ZAVO.gui" || (name.rfind("DEF", 0) == 0 && entry.path().extension() == ".fxp"))
            fs::copy_file(entry.path(), to / name, fs::copy_options::overwrite_existing, ec);
    }
}

// Takes it away again: other tests start from an empty program folder.
inline void RemoveProgramContent()
{
    namespace fs = std::filesystem;
    const fs::path to = TestFolder();
    std::error_code ec;
    fs::remove_all(to / "Bank", ec);
    fs::remove_all(to / "Presets", ec);
    for (const auto& entry : fs::directory_iterator(to, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == "ZAVO.gui" || (name.rfind("DEF", 0) == 0 && entry.path().extension() == ".fxp"))
            fs::remove(entry.path(), ec);
    }
}

} // namespace testutil
