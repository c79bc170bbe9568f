// Preset bodies: straight into the current program, and as a template file.
// Inputs whose first byte is even are the body itself; odd ones patch a
// generated body of version 1, 30 or 31.
#include <memory>

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
    if (fixtures::WriteFile(fuzz::PathOf("t.fxp"), fixtures::FxpFile(body))) store->ReadTemplate(2, "t.fxp");
    return 0;
}
