#include "os/OMessageBox.h"

#include <cstdio>
#include <utility>

namespace os {

namespace {

MessageBoxHook& Hook()
{
    // A function-local static: messages may be shown while other globals
    // are still being built.
    static MessageBoxHook hook;
    return hook;
}

} // namespace

void ShowMessageBox(const char* text, const char* title)
{
    const char* t = text ? text : "";
    const char* h = title ? title : "";
    if (Hook()) {
        Hook()(t, h);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", h, t);
}

std::string WrapLines(const char* text, size_t width)
{
    std::string out = text ? text : "";
    size_t lineStart = 0, lastSpace = std::string::npos;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n') {
            lineStart = i + 1;
            lastSpace = std::string::npos;
            continue;
        }
        if (out[i] == ' ') lastSpace = i;
        if (i - lineStart >= width && lastSpace != std::string::npos && lastSpace > lineStart) {
            out[lastSpace] = '\n';
            lineStart = lastSpace + 1;
            lastSpace = std::string::npos;
        }
    }
    return out;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

} // namespace os
