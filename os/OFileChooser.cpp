#include "os/OFileChooser.h"

#include "os/OMessageBox.h"
#include "os/OPath.h"
#include "os/OStop.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace os {

namespace {

// Whether name ends with "." + extension, in any case.
bool EndsWithExtension(const std::string& name, const std::string& extension)
{
    if (extension.empty() || name.size() <= extension.size() + 1)
        return false;
    const size_t dot = name.size() - extension.size() - 1;
    return name[dot] == '.' && strcasecmp(name.c_str() + dot + 1, extension.c_str()) == 0;
}

// Whether name ends with the default extension or one its filters offer
// ("*.aif;*.aiff" offers aif and aiff; "*" and "*.*" offer none).
bool HasOfferedExtension(const std::string& name, const FileChooserRequest& request)
{
    if (EndsWithExtension(name, request.defaultExtension))
        return true;
    for (const FileFilter& filter : request.filters) {
        size_t at = 0;
        while ((at = filter.pattern.find("*.", at)) != std::string::npos) {
            at += 2;
            const size_t end = filter.pattern.find_first_of("; ", at);
            const std::string extension = filter.pattern.substr(at, end == std::string::npos ? end : end - at);
            if (extension.find_first_of("*?[") == std::string::npos && EndsWithExtension(name, extension))
                return true;
        }
    }
    return false;
}

} // namespace

std::string ApplyDefaultExtension(const std::string& path, const FileChooserRequest& request)
{
    if (path.empty() || request.defaultExtension.empty())
        return path;
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Only an extension the chooser offers is one: any other dot belongs to
    // the name ("Mr. Bass", "Take 1.2"), which saved as it stands would be
    // left out of the lists and hidden by the chooser's own filter.
    if (name.empty() || HasOfferedExtension(name, request))
        return path;
    if (!request.save) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0)
            return path;
    }
    return path + "." + request.defaultExtension;
}

std::vector<std::string> OZenityChooser::Arguments(const FileChooserRequest& request)
{
    std::vector<std::string> args{"--file-selection", "--title=" + request.title};
    if (request.save) {
        args.emplace_back("--save");
        if (request.overwritePrompt)
            args.emplace_back("--confirm-overwrite");
    }
    // The kind's start folder wins over the folder of its last choice, so
    // that a folder remembered by another chooser takes effect; the last
    // file name is still offered.
    std::string start;
    if (!request.startFolder.empty()) {
        size_t slash = request.initialName.rfind('/');
        start = request.startFolder;
        if (start.back() != '/')
            start += '/';
        start += slash == std::string::npos ? request.initialName
                                            : request.initialName.substr(slash + 1);
    } else {
        start = request.initialName;
    }
    if (!start.empty())
        args.push_back("--filename=" + start);
    for (const FileFilter& f : request.filters) {
        // zenity separates patterns with blanks, the filters here with ';'.
        std::string patterns;
        size_t pos = 0;
        while (pos <= f.pattern.size()) {
            size_t end = f.pattern.find(';', pos);
            if (end == std::string::npos)
                end = f.pattern.size();
            std::string one = f.pattern.substr(pos, end - pos);
            while (!one.empty() && one.front() == ' ')
                one.erase(0, 1);
            if (!one.empty()) {
                if (!patterns.empty())
                    patterns += ' ';
                patterns += one;
            }
            pos = end + 1;
        }
        args.push_back("--file-filter=" + f.description + " | " + patterns);
    }
    return args;
}

namespace {

constexpr int kNotStarted = -2;

std::string NoChooserText(const FileChooserRequest& request, const char* why)
{
    // The action by its chooser title, without the dots of a menu item.
    std::string action = request.title;
    while (!action.empty() && (action.back() == '.' || action.back() == ' '))
        action.pop_back();
    if (action.empty())
        action = request.save ? "Save" : "Open";
    return action + ": no file chooser (" + why +
           "), so no file can be chosen. Install the package zenity.";
}

} // namespace

// Every action that needs a file says so, not only the first: a user who
// dismissed the first message would otherwise see later ones do nothing.
void OZenityChooser::TellNoChooser(const FileChooserRequest& request, const char* why)
{
    ShowMessageBox(NoChooserText(request, why).c_str(), "Error");
}

// Runs zenity with args, pumping the caller's events meanwhile, and keeps
// the first line it printed. Its exit status; kNotStarted when it could
// not be started, -1 when it ended otherwise than by exiting or the program
// was asked to stop meanwhile (zenity is then ended).
int OZenityChooser::RunZenity(const std::string& program, const std::vector<std::string>& arguments,
                              std::string& output)
{
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("zenity"));
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // An in-memory settings backend keeps zenity from waiting on (or
    // complaining about) a missing desktop settings service.
    std::vector<std::string> envStore;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "GSETTINGS_BACKEND=", 18) != 0)
            envStore.emplace_back(*e);
    envStore.emplace_back("GSETTINGS_BACKEND=memory");
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return kNotStarted;
    }

    output.clear();
    char buffer[1024];
    bool stopped = false;
    for (;;) {
        // SIGINT or SIGTERM while the chooser is up: it goes as if cancelled,
        // and the program goes on to stop instead of waiting for the user.
        if (StopRequested()) {
            kill(pid, SIGKILL);
            stopped = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int ready = poll(&p, 1, 20);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n == 0)
                break;
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                break;
            if (n > 0 && output.size() < 65536)
                output.append(buffer, static_cast<size_t>(n));
        }
        if (m_pump)
            m_pump();
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (stopped || !WIFEXITED(status))
        return -1;
    size_t newline = output.find('\n');
    if (newline != std::string::npos)
        output.resize(newline);
    return WEXITSTATUS(status);
}

std::optional<std::string> OZenityChooser::Choose(const FileChooserRequest& request)
{
    // A stopping program asks nobody for a file.
    if (StopRequested())
        return std::nullopt;
    std::string program;
    if (!FindProgram("zenity", program)) {
        TellNoChooser(request, "zenity is not installed");
        return std::nullopt;
    }

    FileChooserRequest asked = request;
    for (;;) {
        std::string output;
        const int status = RunZenity(program, Arguments(asked), output);
        if (status == kNotStarted)
            TellNoChooser(request, "zenity could not be started");
        if (status != 0 || output.empty())
            return std::nullopt;
        std::string chosen = ApplyDefaultExtension(output, request);
        // zenity asked about the name as typed; a file that the added
        // extension names is asked about here, as it would be replaced
        // without a word. "No" goes back to the chooser.
        struct stat st {};
        if (!request.save || !request.overwritePrompt || chosen == output || stat(chosen.c_str(), &st) != 0)
            return chosen;
        const size_t slash = chosen.rfind('/');
        const std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
        std::string answer;
        const int replace = RunZenity(program,
                                      {"--question", "--title=" + request.title,
                                       "--text=A file named \"" + name + "\" already exists. Do you want to replace it?",
                                       "--no-markup"},
                                      answer);
        if (replace == 0)
            return chosen;
        if (replace < 0)
            return std::nullopt;
        asked.startFolder.clear();
        asked.initialName = chosen;
    }
}

OZenityChooser& DesktopFileChooser()
{
    static OZenityChooser chooser;
    return chooser;
}

} // namespace os
