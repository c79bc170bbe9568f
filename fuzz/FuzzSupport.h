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

// Patches of 4 bytes: three bytes of offset (taken modulo the length), one
// new value. False when the input holds no whole patch any more.
inline bool NextPatch(Input& in, size_t length, size_t& offset, uint8_t& value) {
    if (in.size < 4 || length == 0) return false;
    offset = in.Byte();
    offset |= static_cast<size_t>(in.Byte()) << 8;
    offset |= static_cast<size_t>(in.Byte()) << 16;
    offset %= length;
    value = in.Byte();
    return true;
}

// The length of a file changed by a signed amount: shorter by 97 bytes a
// step, or longer by one byte a step.
inline size_t ChangedLength(size_t length, int8_t lengthChange) {
    if (lengthChange >= 0) return length + static_cast<size_t>(lengthChange);
    const size_t cut = static_cast<size_t>(-lengthChange) * 97;
    return cut < length ? length - cut : 0;
}

// Patches a small file, then changes its length (new bytes are 0x5A).
inline void ApplyPatches(fixtures::Bytes& file, Input in, int8_t lengthChange) {
    size_t offset;
    uint8_t value;
    while (NextPatch(in, file.size(), offset, value)) file[offset] = value;
    file.resize(ChangedLength(file.size(), lengthChange), 0x5A);
}

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
    // As many patches as the input holds, within `length` bytes from
    // `first` on.
    void Patch(Made& file, size_t first, size_t length, Input in) {
        size_t offset;
        uint8_t value;
        while (NextPatch(in, length, offset, value)) Set(file, first + offset, value);
    }
    // The file with its length changed (growing into the spare bytes).
    static std::span<const uint8_t> Resized(const Made& file, int8_t lengthChange) {
        return {file.bytes.data(), ChangedLength(file.length, lengthChange)};
    }
    void Undo(Made& file) {
        for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) file.bytes[it->first] = it->second;
        m_undo.clear();
    }

private:
    std::vector<std::pair<size_t, uint8_t>> m_undo;
};

}  // namespace fuzz
