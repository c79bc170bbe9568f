#pragma once
// The one way the program writes a file: the bytes go to a temporary file
// beside it, which is renamed over it only once every byte is written and
// the file is synced, and the folder is synced after the rename, so a file
// is either replaced completely or left as it was, also across a power
// cut. A symbolic link is written through to the file it names, which
// keeps its mode; a loop of links is refused; a write-protected file or
// folder is never written, also where the user (root) could. A new file
// gets the mode the user's umask gives. The temporary file is named
// ".<name>.zavo-" and six letters; those that a killed save left of a file
// are removed by its next save.
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace os {

// Writes the bytes of a file to the stream; false when it could not (with
// errno set, or why filled in).
using FileWriter = std::function<bool(FILE* out, std::string& why)>;

// False when the file could not be written; why (when given) then says why
// in words for the user ("the file is write-protected", "No space left on
// device") and errno holds the error. The old file, if any, is untouched
// and no temporary file is left behind.
bool ReplaceFile(const char* path, const void* data, size_t size, std::string* why = nullptr);
bool ReplaceFileWith(const char* path, const FileWriter& write, std::string* why = nullptr);

// For a write the user asked for: a failure is said in an "Error" box that
// names the file, says why and, when there is one, that the old file is
// kept. With failures given the text is added to it as a line instead, for
// a caller that says several failures in one box.
bool ReplaceFileOrSay(const char* path, const void* data, size_t size, std::string* failures = nullptr);

// The file a path names, through any symbolic links (also a link to a file
// not made yet); the path itself when it is no link.
std::string ThroughLinks(const std::string& path);

// Tests stand in a full disk with this: while error is not 0 every write
// fails with it once its temporary file was made.
void SetWriteFault(int error);
// And see with this that the folder is synced once the file is renamed:
// the hook is called with the folder just before. Gives the hook before.
using FolderSyncHook = void (*)(const char* folder);
FolderSyncHook SetFolderSyncHook(FolderSyncHook hook);

} // namespace os
