#pragma once
// Diagnostic lines appended to "Debug.txt" in the program folder. Each call
// opens and closes the file, so the lines written survive a crash.

class CDebug {
public:
    virtual ~CDebug() = default;
    static void Log(const char* text);
};

extern CDebug g_Debug;
