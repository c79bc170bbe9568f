#pragma once
// Shared by the fuzz targets: a private temporary folder, and the
// structured input form that mutates a well-formed file made by the
// fixture generator (random bytes alone would almost never get past the
// version and size checks into the decoders).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "tools/FileFixtures.h"

namespace fuzz {

// A folder that lives as long as the process; removed at exit.
inline const std::string& Folder() {
    static std::string folder = [] {
        char pattern[] = "/tmp/zavo-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        std::string path = made ? made : "/tmp";
        static std::string removeAtExit;
        if (made) {
            removeAtExit = path;
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(removeAtExit, ec);
            });
        }
        return path;
    }();
    return folder;
}

inline std::string PathOf(const std::string& name) { return Folder() + "/" + name; }

// Reads the input from the front.
struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t Byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

// Patches of 4 bytes: three bytes of offset (taken modulo the file size),
// one new value. Then the length may change by a signed amount.
inline void ApplyPatches(fixtures::Bytes& file, Input in, int8_t lengthChange) {
    while (in.size >= 4 && !file.empty()) {
        size_t offset = in.Byte();
        offset |= static_cast<size_t>(in.Byte()) << 8;
        offset |= static_cast<size_t>(in.Byte()) << 16;
        file[offset % file.size()] = in.Byte();
    }
    if (lengthChange < 0) {
        size_t cut = static_cast<size_t>(-lengthChange) * 97;
        file.resize(cut < file.size() ? file.size() - cut : 0);
    } else if (lengthChange > 0) {
        file.resize(file.size() + static_cast<size_t>(lengthChange), 0x5A);
    }
}

}  // namespace fuzz
