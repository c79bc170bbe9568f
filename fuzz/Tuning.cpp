// Tuning files: the bytes go to the parser in memory over an
// equal-tempered table. Whatever it accepts must leave finite pitches
// within range, and what it refuses must leave the table untouched.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/CMIDI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    float before[CMIDI::kKeys];
    for (int k = 0; k < CMIDI::kKeys; ++k)
        before[k] = static_cast<float>(k - 69) / 192.0f;
    float table[CMIDI::kKeys];
    std::memcpy(table, before, sizeof(table));
    char reason[96];
    if (!CMIDI::ParseTuning(data, size, table, reason, sizeof(reason))) {
        if (std::memcmp(table, before, sizeof(table)) != 0 || std::strncmp(reason, "line ", 5) != 0)
            std::abort();
        return 0;
    }
    for (float pitch : table)
        if (!std::isfinite(pitch) || std::fabs(pitch) > 1.0f)
            std::abort();
    return 0;
}
