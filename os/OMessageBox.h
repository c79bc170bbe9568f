#pragma once
// Message boxes. Until a window exists the text goes to stderr; the window
// layer installs a hook that shows a real box, and tests install one that
// records what would have been shown.
#include <functional>

namespace os {

using MessageBoxHook = std::function<void(const char* text, const char* title)>;

// Shows text under title (through the hook when one is installed).
void ShowMessageBox(const char* text, const char* title);

// Installs hook and answers the one it replaces; an empty hook restores the
// stderr form ("<title>: <text>").
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

} // namespace os
