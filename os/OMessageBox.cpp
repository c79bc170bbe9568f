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

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

} // namespace os
