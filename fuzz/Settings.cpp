// The settings file: any text goes to the reader in memory; what it keeps
// must be readable by key, and every value written back must read back the
// same.
#include <cstdlib>
#include <string>
#include <string_view>

#include "os/OSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static os::OSettings settings("/nonexistent/zavo-fuzz/settings.ini");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    settings.LoadText(text);
    char value[512];
    int32_t number = 0;
    for (const char* key : {"SoundDeviceOut", "MIDIDeviceIn", "PresetPath", "DirectXDelay"}) {
        settings.GetString("Settings", key, value, sizeof value);
        settings.GetInt("Settings", key, number);
    }
    // Any bytes as a value survive the file form.
    if (os::OSettings::Unescape(os::OSettings::Escape(text)) != text)
        std::abort();
    return 0;
}
