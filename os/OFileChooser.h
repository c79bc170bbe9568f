#pragma once
// File choosers for opening and saving. The program asks through the
// OFileChooser interface; the desktop form runs zenity, tests put in an
// object that answers what they want.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace os {

struct FileFilter {
    std::string description;  // "Wave files (*.wav)"
    std::string pattern;      // "*.wav" or several joined by ';'
};

struct FileChooserRequest {
    bool save = false;
    std::string title;
    std::vector<FileFilter> filters;
    std::string defaultExtension;  // without the dot; added to a bare name
    std::string startFolder;       // where the chooser opens
    std::string initialName;       // last choice of this kind, may be empty
    bool overwritePrompt = false;  // save: ask before replacing a file
};

class OFileChooser {
public:
    virtual ~OFileChooser() = default;
    // The chosen path, or nothing when the user cancelled or the chooser
    // failed.
    virtual std::optional<std::string> Choose(const FileChooserRequest& request) = 0;
};

// Adds "." + extension to path unless its file name already ends with the
// default extension or one of the filters' (in any case), as the desktop
// dialogs do for a typed name. When opening, the name as given wins if such
// a file exists.
std::string ApplyDefaultExtension(const std::string& path, const FileChooserRequest& request);

// Runs `zenity --file-selection` as a child process and waits for it while
// pumping the caller's events, so the window keeps painting and its timers
// keep running. Without zenity every request answers cancelled and says
// why, naming the action. A stop of the program (SIGINT, SIGTERM) ends
// zenity and answers cancelled.
class OZenityChooser : public OFileChooser {
public:
    std::optional<std::string> Choose(const FileChooserRequest& request) override;

    // Called about every 20 ms while zenity runs (the window layer's event
    // pump); empty means just wait.
    void SetPump(std::function<void()> pump) { m_pump = std::move(pump); }

    // The command line that would be run for request (without the program).
    static std::vector<std::string> Arguments(const FileChooserRequest& request);

private:
    void TellNoChooser(const FileChooserRequest& request, const char* why);
    int RunZenity(const std::string& program, const std::vector<std::string>& arguments, std::string& output);

    std::function<void()> m_pump;
};

// The chooser used by the program unless another is installed.
OZenityChooser& DesktopFileChooser();

} // namespace os
