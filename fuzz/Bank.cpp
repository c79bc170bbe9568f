// Bank files: the reader and the bank list preview. Inputs whose first byte
// is even are the file itself; odd ones pick a version, kind and program
// count for a generated bank, then patch it. Bit 1 of the first byte also
// runs the preview.
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/CProgram.h"
#include "fuzz/FuzzSupport.h"
#include "gui/CUIMenuResource.h"
#include "platform/CGlobalData.h"

namespace {
const int kVersions[] = {0, 1, 2, 3, 4, 5, 20, 30, 31, 6, 21, 32};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = [] {
        std::filesystem::create_directories(fuzz::PathOf("Bank"));
        snprintf(g_GlobalData.programFolder, sizeof(g_GlobalData.programFolder), "%s/",
                 fuzz::Folder().c_str());
        return std::make_unique<CProgram>();
    }();
    static CUIMenuResource menu;
    fuzz::Input in{data, size};
    fixtures::Bytes file;
    const uint8_t mode = in.Byte();
    if ((mode & 1) == 0) {
        file.assign(in.data, in.data + in.size);
    } else {
        const int version = kVersions[in.Byte() % std::size(kVersions)];
        const int kind = in.Byte() % 3;
        const int programs = 1 + in.Byte() % 3;
        const int8_t change = static_cast<int8_t>(in.Byte());
        file = fixtures::Bank(version, kind, programs);
        fuzz::ApplyPatches(file, in, change);
    }
    const std::string path = fuzz::PathOf("Bank/QVBank001.qvb");
    if (!fixtures::WriteFile(path, file)) return 0;
    store->ReadBank(path.c_str(), "Fuzz");
    // The preview writes 128 menu texts, each a walk through the menu
    // table: slow, so only for some inputs.
    if (mode & 2) {
        store->SelectBankSlot(1);
        store->BuildBankMenu(-1, menu);
    }
    return 0;
}
