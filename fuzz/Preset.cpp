// Preset bodies: straight into the current program, as a template file and
// as a file of the preset folder (with or without the browser masks).
// Inputs whose first byte is even are the body itself; odd ones patch a
// generated body of version 1, 30 or 31.
#include <memory>

#include "core/CPresetPool.h"
#include "core/CProgram.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CGlobalData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = [] {
        snprintf(g_GlobalData.programFolder, sizeof(g_GlobalData.programFolder), "%s/",
                 fuzz::Folder().c_str());
        return std::make_unique<CProgram>();
    }();
    fuzz::Input in{data, size};
    fixtures::Bytes body;
    if ((in.Byte() & 1) == 0) {
        body.assign(in.data, in.data + in.size);
    } else {
        const int versions[] = {1, 30, 31};
        const int version = versions[in.Byte() % 3];
        const int8_t change = static_cast<int8_t>(in.Byte());
        body = fixtures::FxpBody(version);
        fuzz::ApplyPatches(body, in, change);
    }
    store->LoadFxpBodyToCurrent(body.data(), static_cast<int>(body.size()));
    fixtures::Bytes file = fixtures::FxpFile(body);
    if (fixtures::WriteFile(fuzz::PathOf("t.fxp"), file)) store->ReadTemplate(2, "t.fxp");
    static CPresetPool pool;
    if (pool.Entries().size() > 64) pool.Clear();
    if (body.size() % 2 == 1) {
        const uint32_t masks[kCategoryGroups] = {static_cast<uint32_t>(body.size()), 1, 0xFFFFFFFF, 0, 7};
        CPresetPool::WriteHeader(file.data(), masks);
    }
    pool.Add(file.data(), file.size(), "fuzz");
    return 0;
}
