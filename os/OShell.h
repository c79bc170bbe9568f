#pragma once
// Opens a document or a web address with the desktop's preferred program.
#include <string>
#include <vector>

namespace os {

// Starts xdg-open on target without a shell (the target is one argument,
// never parsed) and without waiting for the program it launches. Answers
// false when xdg-open is not installed or could not be started.
//
// xdg-open may then find no program for the target (no PDF viewer, no
// browser): when it ends in failure within a few seconds, failureNote is
// kept for TakeShellFailures. A program that opens the target runs on and
// is never waited for by the caller; its output and xdg-open's go nowhere.
bool ShellOpen(const char* target, const std::string& failureNote = {});

// The notes of the opens that failed since the last call, oldest first.
std::vector<std::string> TakeShellFailures();

} // namespace os
