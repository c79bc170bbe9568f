// Envelope preset files: the bytes go to the reader in memory. A file it
// takes must hold a usable envelope and write back to the same record; a
// file it refuses must leave the target untouched.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>

#include "editor/EnvelopeRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnvelopeRecord r;
    r.count = 7;
    r.times[3] = 12.5f;
    const std::vector<uint8_t> before = r.WritePreset();
    char reason[96];
    if (!EnvelopeRecord::ReadPreset(std::span<const uint8_t>(data, size), r, reason, sizeof reason)) {
        if (r.WritePreset() != before || reason[0] == '\0')
            std::abort();
        return 0;
    }
    if (r.count < 1 || r.count > EnvelopeRecord::kPoints || r.loopStart < 0 || r.loopStart >= r.count ||
        r.loopEnd < 0 || r.loopEnd >= r.count)
        std::abort();
    for (int i = 0; i < r.count; ++i)
        if (!(r.times[i] >= 0.0f) || (i > 0 && r.times[i] < r.times[i - 1]) || !(r.levels[i] >= 0.0f) ||
            r.levels[i] > 1.0f || std::fabs(r.slopes[i]) > 1.0f)
            std::abort();
    // Past the kind word, the record writes back byte for byte.
    const std::vector<uint8_t> again = r.WritePreset();
    if (std::memcmp(again.data() + 132, data + 132, EnvelopeRecord::kFileSize - 132) != 0)
        std::abort();
    return 0;
}
