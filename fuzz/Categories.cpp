// "Categories.txt": any text goes to the pool's reader in memory. What the
// pool writes back must read back to the same text.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CProgram.h"

namespace {

// A pool of three presets ("a.fxp", "Factory/b.fxp", "c.fxp"), built once.
CPresetPool& Pool() {
    static CPresetPool* pool = [] {
        auto* p = new CPresetPool;
        std::vector<uint8_t> file(CProgram::kPresetHeaderBytes + CProgram::kPresetBodyV30, 0);
        file[CProgram::kPresetHeaderBytes] = 30;
        for (const char* name : {"a.fxp", "Factory/b.fxp", "c.fxp"})
            p->Add(file.data(), file.size(), name);
        return p;
    }();
    return *pool;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPresetPool& pool = Pool();
    pool.ReadCategories(std::string(reinterpret_cast<const char*>(data), size));
    const std::string written = pool.WriteCategories();
    if (pool.ReadCategories(written) != 0 || pool.WriteCategories() != written)
        std::abort();
    return 0;
}
