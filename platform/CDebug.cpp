#include "platform/CDebug.h"

#include "os/InitOrder.h"
#include "platform/COSystem.h"

#include <cstdio>

CDebug ZAVO_INIT(ZAVO_PRIO_DEBUG) g_Debug;

void CDebug::Log(const char* text)
{
    COSystem sys;
    const char* name = sys.GetAppPath("Debug.txt");
    if (!*name)
        return;
    FILE* f = std::fopen(name, "a+");
    if (!f)
        return;
    std::fputs(text ? text : "", f);
    std::fputs("\n", f);
    std::fclose(f);
}

void CDebug::Say(const char* text)
{
    std::fprintf(stderr, "zavo: %s\n", text ? text : "");
    Log(text);
}
