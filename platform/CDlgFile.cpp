#include "platform/CDlgFile.h"

#include "common/base/Utf8.h"
#include "os/InitOrder.h"
#include "os/OFileChooser.h"
#include "platform/COSystem.h"
#include "platform/CGlobalData.h"

#include <cstdio>
#include <cstring>
#include <string>

CDlgFile ZAVO_INIT(ZAVO_PRIO_FILE_DIALOGS) g_DlgFile;

namespace {

const char kEmpty[] = "";

os::FileChooserRequest Request(bool save, const char* title, const char* extension,
                               const char* startFolder)
{
    os::FileChooserRequest r;
    r.save = save;
    r.title = title;
    r.defaultExtension = extension;
    r.startFolder = startFolder;
    r.overwritePrompt = true;
    return r;
}

// The file name of path without a three-letter extension (the desktop's
// file title), cut to size bytes with the terminator.
void TitleOf(const char* path, char* out, size_t size, bool dropExtension)
{
    char name[512];
    FileNameOf(path, name);
    size_t len = std::strlen(name);
    // Only a real extension is cut: a bare name keeps all its characters.
    if (dropExtension && len >= 4 && name[len - 4] == '.')
        name[len - 4] = '\0';
    utf8::CopyCut(out, size, name);
}

// The program's own folders beside it (Project, Samples) are made the
// first time a chooser starts in one, so that a new program folder opens
// its choosers where they are meant to start and not one folder up.
void MakeOwnFolder(const std::string& folder)
{
    const std::string program = g_GlobalData.programFolder;
    if (program.empty() || folder.compare(0, program.size(), program) != 0)
        return;
    const size_t slash = folder.find('/', program.size());
    if (folder.size() > program.size() && (slash == std::string::npos || slash + 1 == folder.size()))
        MakeDirectory(folder.c_str());
}

} // namespace

CDlgFile::CDlgFile()
{
    recordPath[0] = samplePath[0] = projectPath[0] = multiSamplePath[0] = '\0';
    presetPath[0] = envelopePresetPath[0] = bankPath[0] = bitmapPath[0] = '\0';
    bankTitle[0] = bitmapTitle[0] = '\0';
    busy = 0;
}

bool CDlgFile::Run(os::FileChooserRequest& request, char (&buffer)[512], const char** out,
                   char* rememberFolder, size_t rememberSize)
{
    if (out)
        *out = kEmpty;
    // A chooser reached again from the event pump of an open one.
    if (busy)
        return false;
    busy = 1;
    ++m_shown;
    request.initialName = buffer;
    MakeOwnFolder(request.startFolder);
    os::OFileChooser& chooser = m_chooser ? *m_chooser : os::DesktopFileChooser();
    std::optional<std::string> answer;
    try {
        answer = chooser.Choose(request);
    } catch (...) {
        answer.reset();
    }
    busy = 0;
    // A path that does not fit is refused, not cut: a cut path names
    // another file.
    if (!answer || answer->empty() || answer->size() >= sizeof buffer)
        return false;
    std::memcpy(buffer, answer->c_str(), answer->size() + 1);
    if (rememberFolder && rememberSize > 0) {
        size_t folder = answer->find_last_of("/\\");
        size_t len = folder == std::string::npos ? 0 : folder + 1;
        if (len < rememberSize) {
            std::memcpy(rememberFolder, buffer, len);
            rememberFolder[len] = '\0';
        }
    }
    if (out)
        *out = buffer;
    return true;
}

bool CDlgFile::ChooseRecordFile(const char** out)
{
    auto r = Request(true, "Record to file...", "wav", g_GlobalData.WavefilePath);
    r.filters = {{"Wave files (*.wav)", "*.wav"}};
    return Run(r, recordPath, out, g_GlobalData.WavefilePath, sizeof g_GlobalData.WavefilePath);
}

bool CDlgFile::ChooseSampleFile(const char** out)
{
    auto r = Request(false, "Open sample...", "wav", g_GlobalData.WavefilePath);
    r.filters = {{"Windows PCM (*.wav)", "*.wav"},
                 {"Apple AIFF (*.aif; *.snd)", "*.aif;*.aiff;*.snd"}};
    return Run(r, samplePath, out, g_GlobalData.WavefilePath, sizeof g_GlobalData.WavefilePath);
}

bool CDlgFile::ChooseProjectFile(const char** out, bool save)
{
    auto r = Request(save, save ? "Save project to file..." : "Open project from file...", "qzp",
                     g_GlobalData.ProjectPath);
    r.filters = {{"Project files (*.qzp)", "*.qzp"}};
    return Run(r, projectPath, out, g_GlobalData.ProjectPath, sizeof g_GlobalData.ProjectPath);
}

bool CDlgFile::ChooseMultiSampleFile(const char** out, bool isNew)
{
    // The sample folder is made the first time it is needed: a chooser asked
    // to start in a missing folder starts in the working folder, and a new
    // multi-sample would land beside the program.
    if (g_GlobalData.SamplePath[0])
        MakeDirectory(g_GlobalData.SamplePath);
    auto r = Request(isNew, isNew ? "New Multisample..." : "Open Multisample...", "qvi",
                     g_GlobalData.SamplePath);
    r.filters = {{"Multi Sample (*.qvi)", "*.qvi"}};
    return Run(r, multiSamplePath, out);
}

bool CDlgFile::ChoosePresetFile(const char** out, bool save)
{
    // Presets are kept where the browser finds them.
    auto r = Request(save, save ? "Save preset to file..." : "Load preset from file...", "fxp",
                     g_GlobalData.PresetPath[0] ? g_GlobalData.PresetPath : g_GlobalData.programFolder);
    r.filters = {{"sound preset (*.fxp)", "*.fxp"}};
    return Run(r, presetPath, out);
}

bool CDlgFile::ChooseEnvelopePresetFile(const char** out, bool save)
{
    auto r = Request(save,
                     save ? "Save envelope preset to file..." : "Load envelope preset from file...",
                     "fep", g_GlobalData.programFolder);
    r.filters = {{"envelope preset (*.fep)", "*.fep"}};
    return Run(r, envelopePresetPath, out);
}

bool CDlgFile::ChooseBankFile(const char** out, bool save)
{
    auto r = Request(save, save ? "Save bank to file..." : "Load bank from file...", "qvb",
                     g_GlobalData.programFolder);
    r.filters = {{"sound bank (*.qvb)", "*.qvb"}};
    if (!Run(r, bankPath, out))
        return false;
    // After an open the title names the bank; a saved bank keeps the
    // extension in its title.
    TitleOf(bankPath, bankTitle, sizeof bankTitle, !save);
    return true;
}

bool CDlgFile::ChooseBitmapFile(const char** outTitle, const char** outPath)
{
    if (outTitle)
        *outTitle = kEmpty;
    auto r = Request(false, "Open bitmap...", "bmp", g_GlobalData.programFolder);
    r.filters = {{"Bitmap files (*.bmp)", "*.bmp"}};
    if (!Run(r, bitmapPath, outPath))
        return false;
    TitleOf(bitmapPath, bitmapTitle, sizeof bitmapTitle, true);
    if (outTitle)
        *outTitle = bitmapTitle;
    return true;
}

void CDlgFile::GetBankTitle(char* out, size_t size) const
{
    if (out && size > 0)
        utf8::CopyCut(out, size, bankTitle);
}

void CDlgFile::GetBankName(char* out, size_t size) const
{
    if (out && size > 0)
        TitleOf(bankPath, out, size, true);
}
