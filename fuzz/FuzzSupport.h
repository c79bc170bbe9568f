#pragma once
// Shared by the fuzz targets: a private temporary folder, and the
// structured input form that mutates a well-formed file made by the
// fixture generator (random bytes alone would almost never get past the
// version and size checks into the decoders).
//
// Every target feeds the readers bytes in memory and keeps what is costly
// to build (the program store, generated files) for the whole process, so
// that an input costs little more than the decoding itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/CGlobalData.h"
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

// The program folder is one that does not exist: the readers' debug log
// lines (one per damaged file, which the fuzzer makes all the time) then
// cost a failed open instead of growing a file.
inline void UseAbsentProgramFolder() {
    snprintf(g_GlobalData.programFolder, sizeof(g_GlobalData.programFolder), "%s/absent/", Folder().c_str());
}

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

// A generated file kept for the whole process, followed by spare bytes
// (0x5A) that a length change may take in.
struct Made {
    static constexpr size_t kSpare = 127;
    explicit Made(fixtures::Bytes file) : bytes(std::move(file)), length(bytes.size()) {
        bytes.resize(length + kSpare, 0x5A);
    }
    fixtures::Bytes bytes;
    size_t length;
};

// Changes a made file in place and takes every change back afterwards, so
// that a large file is never copied per input.
class Patcher {
public:
    void Set(Made& file, size_t at, uint8_t value) {
        m_undo.emplace_back(at, file.bytes[at]);
        file.bytes[at] = value;
    }
    // Patches of 4 bytes: three bytes of offset (taken modulo `length`,
    // from `first` on), one new value; as many as the input holds.
    void Patch(Made& file, size_t first, size_t length, Input in) {
        if (length == 0) return;
        while (in.size >= 4) {
            size_t offset = in.Byte();
            offset |= static_cast<size_t>(in.Byte()) << 8;
            offset |= static_cast<size_t>(in.Byte()) << 16;
            Set(file, first + offset % length, in.Byte());
        }
    }
    // The file with its length changed by a signed amount: shorter by
    // 97 bytes a step, or longer by spare bytes.
    static std::span<const uint8_t> Resized(const Made& file, int8_t lengthChange) {
        size_t size = file.length;
        if (lengthChange < 0) {
            const size_t cut = static_cast<size_t>(-lengthChange) * 97;
            size = cut < size ? size - cut : 0;
        } else {
            size += static_cast<size_t>(lengthChange);
        }
        return {file.bytes.data(), size};
    }
    void Undo(Made& file) {
        for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) file.bytes[it->first] = it->second;
        m_undo.clear();
    }

private:
    std::vector<std::pair<size_t, uint8_t>> m_undo;
};

}  // namespace fuzz
