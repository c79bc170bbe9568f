#pragma once
// Where the program lives and where helper programs are found.
#include <cstddef>
#include <string>

namespace os {

// Writes the folder of the running executable, ending in '/', into out.
// Answers false (and writes "/") when it cannot be found or does not fit,
// so that callers always get a terminated folder name.
bool ExecutableFolder(char* out, size_t size);

// Looks name up in the folders of $PATH like the shell would, without
// running a shell. A name holding a '/' is taken as it stands.
bool FindProgram(const char* name, std::string& out);

// Creates path and every missing folder above it (mode 0777 less umask).
bool MakeFolders(const std::string& path);

} // namespace os
