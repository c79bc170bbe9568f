#pragma once
// Paths in the program folder and small file and shell helpers.
#include <cstddef>

class COSystem {
public:
    COSystem();
    virtual ~COSystem() = default;

    // The program folder followed by name; every data file is found this way,
    // never through the working folder. An empty string when the result
    // would not fit (a cut path would name another file).
    const char* GetAppPath(const char* name);

    char path[512];
};

// Creates the folder: 0 on success, -1 on error (also when it exists).
int MakeDirectory(const char* path);

// Copies source to target in 1024-byte blocks. Equal names, or two names of
// the same file, copy nothing and answer true. False when a file cannot be
// opened, read or written completely.
bool CopyFileBytes(const char* target, const char* source);

// The part after the last '/' or '\\' copied into out (at most size bytes
// with the terminator); an empty string for a null path. Answers out.
const char* FileNameOf(const char* path, char* out, size_t size);
template <size_t N>
const char* FileNameOf(const char* path, char (&out)[N])
{
    return FileNameOf(path, out, N);
}

// Splits path into its folder (up to and including the last '/' or '\\'),
// name and three-letter extension: a name whose fourth character from the
// end is '.' loses the dot and the last three characters to extension,
// otherwise extension is empty. Nothing happens unless all four are given.
// Each part is cut to fit its buffer.
void SplitPath(const char* path, char* folder, size_t folderSize, char* name, size_t nameSize,
               char* extension, size_t extensionSize);
template <size_t F, size_t N, size_t E>
void SplitPath(const char* path, char (&folder)[F], char (&name)[N], char (&extension)[E])
{
    SplitPath(path, folder, F, name, N, extension, E);
}

// Open a web address or a document with the desktop's program; a failure
// shows a message box titled "Error": at once when the document is not
// there or nothing could be started, else once it shows that the desktop
// has no program for it (ReportFailedOpens).
void OpenWebPage(const char* target);
void OpenDocument(const char* target);
// GUI thread: says each open that failed since the last call in an "Error"
// box.
void ReportFailedOpens();
