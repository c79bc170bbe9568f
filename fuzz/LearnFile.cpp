// Learn files ("QVMIDI.qvm"): the bytes go to the reader in memory, which
// must never bind a controller to something no controller can drive.
#include <cstdlib>

#include "core/CMIDI.h"
#include "core/CProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMIDI::ReadLearnData(data, size);
    for (int index : {-1, -32768, CProgram::kRecordSize, 32767})
        if (CMIDI::FindLearnSlot(0, index) >= 0)
            std::abort();
    for (int kind : {-2, -32768})
        for (int index : {-1, 0, 1})
            if (CMIDI::FindLearnSlot(kind, index) >= 0)
                std::abort();
    return 0;
}
