#pragma once
// Writes a whole file so that it is either replaced completely or left as
// it was: the bytes go to a temporary file beside it, which is renamed over
// it only once every byte is written and the file is closed.
#include <cstddef>

namespace os {

// False (with errno from the failing call) when the file could not be
// written; the old file, if any, is then untouched and no temporary file
// is left behind.
bool ReplaceFile(const char* path, const void* data, size_t size);

} // namespace os
