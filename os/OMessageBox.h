#pragma once
// Message boxes. Until a window exists the text goes to stderr; the window
// layer installs a hook that shows a real box, and tests install one that
// records what would have been shown.
#include <cstddef>
#include <functional>
#include <string>

namespace os {

using MessageBoxHook = std::function<void(const char* text, const char* title)>;

// Shows text under title (through the hook when one is installed).
void ShowMessageBox(const char* text, const char* title);

// Installs hook and answers the one it replaces; an empty hook restores the
// stderr form ("<title>: <text>").
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The text with its lines broken at spaces so that none passes width
// characters where a space allows it: a box sizes itself to its longest
// line, and one sentence after another would run past the screen's edges.
std::string WrapLines(const char* text, size_t width = 72);

} // namespace os
