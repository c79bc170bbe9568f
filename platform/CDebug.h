#pragma once
// Diagnostic lines appended to "Debug.txt" in the program folder. Each call
// opens and closes the file, so the lines written survive a crash.

class CDebug {
public:
    virtual ~CDebug() = default;
    static void Log(const char* text);
    // For what the program does by itself (a file refused at start, a write
    // that failed at exit): the line goes to stderr as "zavo: <text>" too,
    // so it is seen where the log cannot be written.
    static void Say(const char* text);
};

extern CDebug g_Debug;
