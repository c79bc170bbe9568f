// Preset bodies: straight into the current program, as a template file and
// as a file of the preset folder (with or without the browser masks).
// Inputs whose first byte is even are the body itself; odd ones patch a
// generated body of version 1, 30 or 31.
#include <memory>
#include <span>

#include "core/CPresetPool.h"
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
    // The body as a whole preset file: 60 header bytes, then the body.
    static fixtures::Bytes file;

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
    file.assign(CProgram::kPresetHeaderBytes, 0xAB);
    file.insert(file.end(), body.begin(), body.end());
    store->ReadTemplateBytes(2, file);
    static CPresetPool pool;
    if (pool.Entries().size() > 64) pool.Clear();
    if (body.size() % 2 == 1) {
        const uint32_t masks[kCategoryGroups] = {static_cast<uint32_t>(body.size()), 1, 0xFFFFFFFF, 0, 7};
        CPresetPool::WriteHeader(file.data(), masks);
    }
    pool.Add(file.data(), file.size(), "fuzz");
    if (generated) patcher.Undo(*generated);
    return 0;
}
