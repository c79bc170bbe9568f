#include "os/OPath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

bool ExecutableFolder(char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    char link[4096];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    bool ok = n > 0 && static_cast<size_t>(n) < sizeof link - 1;
    if (ok) {
        link[n] = '\0';
        char* slash = std::strrchr(link, '/');
        ok = slash != nullptr;
        if (ok) {
            slash[1] = '\0';
            size_t len = static_cast<size_t>(slash + 1 - link);
            ok = len < size;
            if (ok)
                std::memcpy(out, link, len + 1);
        }
    }
    if (!ok) {
        // Data files are then looked for in the root folder.
        if (size >= 2) {
            out[0] = '/';
            out[1] = '\0';
        } else {
            out[0] = '\0';
        }
    }
    return ok;
}

bool FindProgram(const char* name, std::string& out)
{
    out.clear();
    if (!name || !*name)
        return false;
    if (std::strchr(name, '/')) {
        if (access(name, X_OK) != 0)
            return false;
        out = name;
        return true;
    }
    const char* path = std::getenv("PATH");
    if (!path)
        path = "/usr/local/bin:/usr/bin:/bin";
    std::string folders(path);
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (folder.empty())
            folder.push_back('.');   // an empty entry means the working folder
        std::string candidate = folder + "/" + name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            out = candidate;
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool MakeFolders(const std::string& path)
{
    if (path.empty())
        return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace os
