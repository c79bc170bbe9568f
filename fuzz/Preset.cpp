// Preset bodies: straight into the current program, and as a template file.
// Inputs whose first byte is even are the body itself; odd ones patch a
// generated body of version 1, 30 or 31.
#include <memory>
#include <span>

#include "core/CProgram.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = [] {
        fuzz::UseAbsentProgramFolder();
        return std::make_unique<CProgram>();
    }();
    static fuzz::Made made[] = {fuzz::Made(fixtures::FxpBody(1)), fuzz::Made(fixtures::FxpBody(30)),
                                fuzz::Made(fixtures::FxpBody(31))};
    static fuzz::Patcher patcher;
    static fixtures::Bytes templateFile;

    fuzz::Input in{data, size};
    std::span<const uint8_t> body;
    fuzz::Made* generated = nullptr;
    if (in.Byte() & 1) {
        const int which = in.Byte() % 3;
        const int8_t change = static_cast<int8_t>(in.Byte());
        generated = &made[which];
        patcher.Patch(*generated, 0, generated->length, in);
        body = fuzz::Patcher::Resized(*generated, change);
    } else {
        body = std::span<const uint8_t>(in.data, in.size);
    }
    store->LoadFxpBodyToCurrent(body.data(), static_cast<int>(body.size()));
    templateFile.assign(CProgram::kPresetHeaderBytes, 0xAB);
    templateFile.insert(templateFile.end(), body.begin(), body.end());
    store->ReadTemplateBytes(2, templateFile);
    if (generated) patcher.Undo(*generated);
    return 0;
}
