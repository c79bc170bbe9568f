// Bank files: the reader and the bank list preview. Inputs whose first byte
// is even are the file itself; odd ones pick a version, kind and program
// count for a generated bank, then patch it. Bit 1 of the first byte also
// runs the preview.
#include <map>
#include <memory>
#include <span>
#include <utility>

#include "core/CProgram.h"
#include "fuzz/FuzzSupport.h"

namespace {
const int kVersions[] = {0, 1, 2, 3, 4, 5, 20, 30, 31, 6, 21, 32};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = [] {
        fuzz::UseAbsentProgramFolder();
        return std::make_unique<CProgram>();
    }();
    static std::map<std::pair<int, int>, fuzz::Made> made;
    static fuzz::Patcher patcher;
    static char preview[CProgram::kPrograms][CProgram::kNameSize];

    fuzz::Input in{data, size};
    const uint8_t mode = in.Byte();
    std::span<const uint8_t> file(in.data, in.size);
    fuzz::Made* bank = nullptr;
    if (mode & 1) {
        const int version = kVersions[in.Byte() % std::size(kVersions)];
        const uint8_t kind = in.Byte() % 3;
        const int programs = 1 + in.Byte() % 3;
        const int8_t change = static_cast<int8_t>(in.Byte());
        auto found = made.find({version, programs});
        if (found == made.end())
            found = made.emplace(std::make_pair(version, programs), fixtures::Bank(version, 0, programs)).first;
        bank = &found->second;
        patcher.Set(*bank, 33, kind);
        patcher.Patch(*bank, 0, bank->length, in);
        file = fuzz::Patcher::Resized(*bank, change);
    }
    store->ReadBankBytes(file, "Fuzz");
    if (mode & 2) CProgram::PreviewBankNames(file, preview);
    if (bank) patcher.Undo(*bank);
    return 0;
}
