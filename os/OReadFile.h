#pragma once
// Reads a whole file into memory and says why when it cannot: the readers
// of the program's files log a refused file with its reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

enum class ReadStatus { kRead, kMissing, kRefused };

// The bytes of the regular file at path, when it holds at most `most` of
// them (with keepPrefix, a longer file gives its first `most` bytes). A file
// that is not there answers kMissing; one that cannot be read, is no
// regular file ("not a file") or is too large answers kRefused; why says
// which in either case.
ReadStatus ReadWholeFile(const char* path, size_t most, std::vector<uint8_t>& out, std::string& why,
                         bool keepPrefix = false);

} // namespace os
