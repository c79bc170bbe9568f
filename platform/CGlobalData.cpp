#include "platform/CGlobalData.h"

#include "os/InitOrder.h"
#include "os/OPath.h"
#include "os/OSettings.h"
#include "platform/CDebug.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// The section of the settings file that holds the user's settings.
constexpr const char* kSection = "Settings";

// "%s%s" into a fixed buffer. A combination that does not fit would name
// another folder, so it leaves the buffer empty instead.
void JoinInto(char* out, size_t size, const char* a, const char* b)
{
    int n = std::snprintf(out, size, "%s%s", a, b);
    if (n < 0 || static_cast<size_t>(n) >= size)
        out[0] = '\0';
}

template <size_t N>
void ReadPath(const os::OSettings& store, const char* name, char (&field)[N],
              const char* programFolder, const char* fallback)
{
    if (!store.GetString(kSection, name, field, N))
        JoinInto(field, N, programFolder, fallback);
}

template <size_t N>
void ReadName(const os::OSettings& store, const char* name, char (&field)[N])
{
    if (!store.GetString(kSection, name, field, N))
        field[0] = '\0';
}

// On stderr and in the debug log: the settings file is kept as the user
// has it, and this session's settings are not stored.
void SayNotSaved(const os::OSettings& store, const char* what, const char* why)
{
    char line[1200];
    std::snprintf(line, sizeof line, "The settings file %s %s (%s); it is left as it is and the settings of "
                  "this session are not saved.", store.FilePath().c_str(), what, why);
    CDebug::Say(line);
}

template <size_t N>
std::string_view Text(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}

} // namespace

CGlobalData ZAVO_INIT(ZAVO_PRIO_GLOBAL_DATA) g_GlobalData;
uint8_t g_ControllerNumberMode = 0;

CGlobalData::CGlobalData()
{
    g_ControllerNumberMode = 0;
    os::ExecutableFolder(programFolder, sizeof programFolder);
    ReadSettings();
}

CGlobalData::~CGlobalData()
{
    WriteSettings();
}

void CGlobalData::ReadSettings()
{
    os::OSettings store;
    store.Load();  // a missing file leaves every default
    m_settingsUnreadable = store.Unreadable();
    m_settingsKept = store.LeftAsItIs();
    std::snprintf(m_settingsWhy, sizeof m_settingsWhy, "%s", store.Why().c_str());

    ReadPath(store, "ProjectPath", ProjectPath, programFolder, "Project");
    ReadPath(store, "WavefilePath", WavefilePath, programFolder, "Project");
    ReadPath(store, "SamplePath", SamplePath, programFolder, "Samples");
    ReadPath(store, "PresetPath", PresetPath, programFolder, "Presets");
    ReadName(store, "MIDIDeviceIn", MIDIDeviceIn);
    ReadName(store, "MIDIDeviceOut", MIDIDeviceOut);
    ReadName(store, "SoundDeviceOut", SoundDeviceOut);

    store.GetInt(kSection, "DirectXDelay", DirectXDelay);
    store.GetInt(kSection, "UIColorEffect", UIColorEffect);
    store.GetInt(kSection, "UIBackground", UIBackground);
    store.GetInt(kSection, "MIDIOutOffset", MIDIOutOffset);

    int32_t word = 1;
    store.GetInt(kSection, "KnobAnimation", word);
    KnobAnimation = word != 0;
    word = 0;
    store.GetInt(kSection, "ParameterLabel", word);
    ParameterLabel = word != 0;
}

void CGlobalData::WriteSettings() const
{
    os::OSettings store;
    // Keeps whatever else the file holds (other sections, unknown keys,
    // comments, lines it does not understand). A file that could not be
    // read whole, at start or now, is never replaced by what this session
    // knows.
    store.Load();
    if (m_settingsKept || store.LeftAsItIs()) {
        const bool now = store.LeftAsItIs();
        const bool unreadable = now ? store.Unreadable() : m_settingsUnreadable;
        SayNotSaved(store, unreadable ? "could not be read" : "is not written back",
                    now ? store.Why().c_str() : m_settingsWhy);
        return;
    }

    store.SetString(kSection, "ProjectPath", Text(ProjectPath));
    store.SetString(kSection, "WavefilePath", Text(WavefilePath));
    store.SetString(kSection, "SamplePath", Text(SamplePath));
    store.SetString(kSection, "PresetPath", Text(PresetPath));
    store.SetString(kSection, "MIDIDeviceIn", Text(MIDIDeviceIn));
    store.SetString(kSection, "MIDIDeviceOut", Text(MIDIDeviceOut));
    store.SetString(kSection, "SoundDeviceOut", Text(SoundDeviceOut));
    store.SetInt(kSection, "DirectXDelay", DirectXDelay);
    store.SetInt(kSection, "UIColorEffect", UIColorEffect);
    store.SetInt(kSection, "UIBackground", UIBackground);
    store.SetInt(kSection, "MIDIOutOffset", MIDIOutOffset);
    store.SetInt(kSection, "KnobAnimation", KnobAnimation);
    store.SetInt(kSection, "ParameterLabel", ParameterLabel);
    const std::string strange = store.StrangeLine() > 0 ? store.Why() : std::string();
    if (!store.Save()) {
        SayNotSaved(store, "was not written", store.Why().c_str());
    } else if (!strange.empty()) {
        // The line has no effect; whoever wrote it may want to know.
        char line[1200];
        std::snprintf(line, sizeof line, "The settings file %s: %s; it is kept as it stands.",
                      store.FilePath().c_str(), strange.c_str());
        CDebug::Say(line);
    }
}

void CGlobalData::SetSampleRate(int rate)
{
    if (rate <= 0)
        return;  // a zero rate would make ms per block infinite
    // The load meter (also while a render call is kept silent) and the MIDI
    // input threads read these two while the GUI thread changes them.
    std::atomic_ref<int32_t>(sampleRate).store(rate, std::memory_order_relaxed);
    std::atomic_ref<float>(msPerBlock).store(static_cast<float>(1000.0 * blockSize / rate),
                                             std::memory_order_relaxed);
    inverseBlock = 1.0f / static_cast<float>(blockSize);
    switch (rate) {
    case 22050: refillPeriod = 23; break;
    case 32000: refillPeriod = 15; break;
    case 44100: refillPeriod = 11; break;
    case 48000: refillPeriod = 10; break;
    case 88200:
    case 96000: refillPeriod = 5; break;
    default: break;  // another rate keeps the previous period
    }
}
