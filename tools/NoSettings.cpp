// Linked into every program of the build that runs the synthesizer's code
// without being the synthesizer: the tools that write the factory sounds,
// the layout, PNG files and the screenshots, the benchmarks and the fuzz
// targets. Before the global data is built they say that they have no
// settings file, so the user's settings neither shape what a tool writes
// nor get the tool's folders written into them at its exit.
#include "os/InitOrder.h"
#include "platform/CGlobalData.h"

namespace {

struct NoSettingsFile {
    NoSettingsFile() { CGlobalData::UseNoSettingsFile(true); }
} g_NoSettingsFile ZAVO_INIT(ZAVO_PRIO_TOOL_ENVIRONMENT);

} // namespace
