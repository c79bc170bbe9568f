#pragma once
// Opens a document or a web address with the desktop's preferred program.

namespace os {

// Starts xdg-open on target without a shell (the target is one argument,
// never parsed) and without waiting for the program it launches. Answers
// false when xdg-open is not installed or could not be started.
bool ShellOpen(const char* target);

} // namespace os
