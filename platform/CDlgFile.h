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

    // Puts in the chooser that answers the requests; null restores the
    // desktop chooser. The chooser must outlive its use here.
    void SetChooser(os::OFileChooser* chooser) { m_chooser = chooser; }

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
};

extern CDlgFile g_DlgFile;
