#include "platform/CGlobalData.h"

#include "os/InitOrder.h"
#include "os/OPath.h"
#include "os/OSettings.h"
#include "platform/CDebug.h"

#include <algorithm>
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
std::string_view Text(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}

// Why a stored string the field cannot hold as it is was not taken; empty
// when it was taken or is missing.
std::string NotTaken(const os::OSettings& store, const char* name, size_t size)
{
    const std::string* value = store.Value(kSection, name);
    if (!value)
        return {};
    if (value->size() >= size)
        return std::string(name) + " is " + std::to_string(value->size()) + " bytes long, more than the " +
               std::to_string(size - 1) + " the program holds";
    if (value->find('\0') != std::string::npos)
        return std::string(name) + " holds a zero byte";
    return {};
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
    if (!s_noSettingsFile)
        store.Load();  // a missing file leaves every default
    m_settingsUnreadable = store.Unreadable();
    m_settingsKept = store.LeftAsItIs();
    std::snprintf(m_settingsWhy, sizeof m_settingsWhy, "%s", store.Why().c_str());
    m_keptValues.clear();
    m_written.clear();

    // A missing value gives the default; one the field cannot hold gives
    // it too, and its line is kept.
    auto text = [&](const char* name, char* field, size_t size, const char* fallback) {
        std::string why = NotTaken(store, name, size);
        if (why.empty() && store.GetString(kSection, name, field, size))
            return;
        if (fallback)
            JoinInto(field, size, programFolder, fallback);
        else
            field[0] = '\0';
        if (!why.empty())
            m_keptValues.push_back({name, std::string(field, strnlen(field, size)), std::move(why)});
    };
    text("ProjectPath", ProjectPath, sizeof ProjectPath, "Project");
    text("WavefilePath", WavefilePath, sizeof WavefilePath, "Project");
    text("SamplePath", SamplePath, sizeof SamplePath, "Samples");
    text("PresetPath", PresetPath, sizeof PresetPath, "Presets");
    text("MIDIDeviceIn", MIDIDeviceIn, sizeof MIDIDeviceIn, nullptr);
    const std::string* names = store.Value(kSection, "MIDIDeviceInNames");
    MIDIDeviceInNames = names ? *names : std::string();
    text("MIDIDeviceOut", MIDIDeviceOut, sizeof MIDIDeviceOut, nullptr);
    text("SoundDeviceOut", SoundDeviceOut, sizeof SoundDeviceOut, nullptr);

    // A number keeps its default when missing or when it is none.
    auto number = [&](const char* name, int32_t& field) {
        if (!store.GetInt(kSection, name, field) && store.Value(kSection, name))
            m_keptValues.push_back(
                {name, std::to_string(field), std::string(name) + " is no number the program takes"});
    };
    number("DirectXDelay", DirectXDelay);
    number("UIColorEffect", UIColorEffect);
    number("UIBackground", UIBackground);
    number("MIDIOutOffset", MIDIOutOffset);

    int32_t word = 1;
    number("KnobAnimation", word);
    KnobAnimation = word != 0;
    word = 0;
    number("ParameterLabel", word);
    ParameterLabel = word != 0;
}

void CGlobalData::WriteSettings() const
{
    if (s_noSettingsFile || m_leaveSettingsFile)
        return;
    const std::vector<std::pair<const char*, std::string>> values = {
        {"ProjectPath", std::string(Text(ProjectPath))},
        {"WavefilePath", std::string(Text(WavefilePath))},
        {"SamplePath", std::string(Text(SamplePath))},
        {"PresetPath", std::string(Text(PresetPath))},
        {"MIDIDeviceIn", std::string(Text(MIDIDeviceIn))},
        {"MIDIDeviceInNames", MIDIDeviceInNames},
        {"MIDIDeviceOut", std::string(Text(MIDIDeviceOut))},
        {"SoundDeviceOut", std::string(Text(SoundDeviceOut))},
        {"DirectXDelay", std::to_string(DirectXDelay)},
        {"UIColorEffect", std::to_string(UIColorEffect)},
        {"UIBackground", std::to_string(UIBackground)},
        {"MIDIOutOffset", std::to_string(MIDIOutOffset)},
        {"KnobAnimation", std::to_string(KnobAnimation)},
        {"ParameterLabel", std::to_string(ParameterLabel)},
    };
    // The window's end writes them before its devices close, and the exit
    // again: what did not change since is neither written nor said twice.
    if (values == m_written)
        return;
    m_written = values;
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

    // The lines whose values the start could not take stay as they are
    // while their fields hold what the start gave instead.
    std::vector<const std::string*> kept;
    for (const auto& entry : values) {
        const auto same = [&](const KeptValue& k) {
            return std::strcmp(k.key, entry.first) == 0 && k.given == entry.second;
        };
        if (const auto k = std::find_if(m_keptValues.begin(), m_keptValues.end(), same); k != m_keptValues.end())
            kept.push_back(&k->why);
        else
            store.SetString(kSection, entry.first, entry.second);
    }
    const std::string strange = store.StrangeLine() > 0 ? store.Why() : std::string();
    if (!store.Save()) {
        SayNotSaved(store, "was not written", store.Why().c_str());
        return;
    }
    // Such a line has no effect; whoever wrote it may want to know.
    auto sayKept = [&](const std::string& what) {
        CDebug::Say(("The settings file " + store.FilePath() + ": " + what + "; it is kept as it stands.").c_str());
    };
    if (!strange.empty())
        sayKept(strange);
    for (const std::string* why : kept)
        sayKept(*why);
}

void CGlobalData::StartFilledIn(const char* key, const char* value)
{
    for (KeptValue& k : m_keptValues)
        if (std::strcmp(k.key, key) == 0)
            k.given = value;
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
