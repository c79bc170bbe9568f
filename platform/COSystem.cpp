#include "platform/COSystem.h"

#include "os/OMessageBox.h"
#include "os/OReplaceFile.h"
#include "os/OShell.h"
#include "platform/CGlobalData.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void CopyBounded(char* out, size_t size, const char* from, size_t length)
{
    if (!out || size == 0)
        return;
    size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(out, from, n);
    out[n] = '\0';
}

const char* LastSeparator(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    const char* back = std::strrchr(path, '\\');
    if (!slash)
        return back;
    if (!back)
        return slash;
    return slash > back ? slash : back;
}

// notFound is said at once when nothing could be started; noProgram when
// the desktop turns out to have no program for the target (said on the
// editor's tick, ReportFailedOpens).
// Nothing is started for a null target; named is the target as the text
// shows it.
void OpenOrReport(const char* target, const char* notFound, const char* noProgram, const char* named)
{
    const char* t = named ? named : "";
    char text[1024];
    std::snprintf(text, sizeof text, noProgram, t);
    if (os::ShellOpen(target, text))
        return;
    std::snprintf(text, sizeof text, notFound, t);
    os::ShowMessageBox(text, "Error");
}

} // namespace

COSystem::COSystem()
{
    path[0] = '\0';
}

const char* COSystem::GetAppPath(const char* name)
{
    int n = std::snprintf(path, sizeof path, "%s%s", g_GlobalData.programFolder, name ? name : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        path[0] = '\0';
    return path;
}

int MakeDirectory(const char* path)
{
    if (!path)
        return -1;
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

bool CopyFileBytes(const char* target, const char* source)
{
    if (!target || !source)
        return false;
    if (std::strcmp(target, source) == 0)
        return true;
    // Opening the target for writing would empty the source when both
    // names lead to one file.
    struct stat s {}, t {};
    if (stat(source, &s) == 0 && stat(target, &t) == 0 && s.st_dev == t.st_dev &&
        s.st_ino == t.st_ino)
        return true;

    FILE* in = std::fopen(source, "rb");
    if (!in)
        return false;
    // Through the one write path: a copy that fails half-way leaves no
    // half file, and an older copy stays as it was.
    const bool ok = os::ReplaceFileWith(target, [in](FILE* out, std::string& why) {
        char block[1024];
        for (;;) {
            const size_t n = std::fread(block, 1, sizeof block, in);
            if (n == 0)
                break;
            if (std::fwrite(block, 1, n, out) != n)
                return false;
        }
        if (std::ferror(in)) {
            why = "the source could not be read";
            return false;
        }
        return true;
    });
    std::fclose(in);
    return ok;
}

const char* FileNameOf(const char* path, char* out, size_t size)
{
    if (!out || size == 0)
        return "";
    if (!path) {
        out[0] = '\0';
        return out;
    }
    const char* sep = LastSeparator(path);
    const char* name = sep ? sep + 1 : path;
    CopyBounded(out, size, name, std::strlen(name));
    return out;
}

void SplitPath(const char* path, char* folder, size_t folderSize, char* name, size_t nameSize,
               char* extension, size_t extensionSize)
{
    if (!path || !folder || !name || !extension || !folderSize || !nameSize || !extensionSize)
        return;
    const char* sep = LastSeparator(path);
    const char* file = sep ? sep + 1 : path;
    CopyBounded(folder, folderSize, path, static_cast<size_t>(file - path));
    size_t len = std::strlen(file);
    if (len >= 4 && file[len - 4] == '.') {
        CopyBounded(name, nameSize, file, len - 4);
        CopyBounded(extension, extensionSize, file + len - 3, 3);
    } else {
        CopyBounded(name, nameSize, file, len);
        extension[0] = '\0';
    }
}

void OpenWebPage(const char* target)
{
    OpenOrReport(target, "Web page >%s< not found", "No web browser is installed to open >%s<.", target);
}

void OpenDocument(const char* target)
{
    // A document that is not there is said at once, not as a missing program.
    const bool there = target && access(target, R_OK) == 0;
    const char* noProgram = "No program is installed that opens >%s<.";
    OpenOrReport(there ? target : nullptr, there ? noProgram : "Document >%s< not found", noProgram, target);
}

void ReportFailedOpens()
{
    for (const std::string& note : os::TakeShellFailures())
        os::ShowMessageBox(note.c_str(), "Error");
}
