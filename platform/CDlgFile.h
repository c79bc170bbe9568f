#pragma once
// The open and save choosers, one per kind of file. Each kind keeps its
// last choice; some remember the chosen folder in the settings so the next
// chooser of a related kind starts there.
#include <cstddef>
#include <cstdint>

namespace os {
class OFileChooser;
struct FileChooserRequest;
}

class CDlgFile {
public:
    CDlgFile();
    virtual ~CDlgFile() = default;

    // Each chooser answers true with *out pointing at the chosen path, or
    // false with *out pointing at an empty string (cancelled, failed, a path
    // too long to keep, or another chooser still open).
    bool ChooseRecordFile(const char** out);
    bool ChooseSampleFile(const char** out);
    bool ChooseProjectFile(const char** out, bool save);
    bool ChooseMultiSampleFile(const char** out, bool isNew);
    bool ChoosePresetFile(const char** out, bool save);
    bool ChooseEnvelopePresetFile(const char** out, bool save);
    bool ChooseBankFile(const char** out, bool save);
    // Gives the path and the file title without its extension.
    bool ChooseBitmapFile(const char** outTitle, const char** outPath);

    // The title of the last bank chosen (without its extension after an
    // open), cut to size bytes with the terminator.
    void GetBankTitle(char* out, size_t size) const;
    template <size_t N>
    void GetBankTitle(char (&out)[N]) const
    {
        GetBankTitle(out, N);
    }
    // The name of the bank in the last bank file chosen, opened or saved:
    // its title without the extension.
    void GetBankName(char* out, size_t size) const;

    // Puts in the chooser that answers the requests; null restores the
    // desktop chooser. The chooser must outlive its use here.
    void SetChooser(os::OFileChooser* chooser) { m_chooser = chooser; }

    // How many choosers were shown so far. A chooser is modal: the window
    // sees none of the input meant for it while one is open, so a caller
    // that compares this count before and after handling an input knows
    // that a button press or a drag it started may have ended unseen.
    uint32_t ShownCount() const { return m_shown; }

    char recordPath[512];
    char samplePath[512];
    char projectPath[512];
    char multiSamplePath[512];
    char presetPath[512];
    char envelopePresetPath[512];
    char bankPath[512];
    char bitmapPath[512];
    char bankTitle[128];
    char bitmapTitle[32];
    uint8_t busy;

private:
    bool Run(os::FileChooserRequest& request, char (&buffer)[512], const char** out,
             char* rememberFolder = nullptr, size_t rememberSize = 0);

    os::OFileChooser* m_chooser = nullptr;
    uint32_t m_shown = 0;
};

extern CDlgFile g_DlgFile;
