// Project files with their sequencer and song-list sections. A project is
// over a megabyte, so inputs describe one: a version, a kind and a length
// change for a generated project, then patches; small raw inputs (first
// byte even) exercise the early refusals. With bit 1 of the first byte set,
// only the two sections at the end of the generated project go to the
// sequencer's reader: decoding the 128 program records before them takes
// most of a millisecond and adds nothing to the sections.
#include <map>
#include <memory>
#include <span>

#include "core/CProgram.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "fuzz/FuzzSupport.h"

namespace {
const int kVersions[] = {5, 20, 30, 31, 0, 4};
constexpr size_t kSections = CSequencer::kProjectSectionSize + CSongList::kProjectSectionSize;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = [] {
        fuzz::UseAbsentProgramFolder();
        return std::make_unique<CProgram>();
    }();
    static CSequencer sequencer(nullptr);
    static CSongList songList;
    static bool linked = [] {
        sequencer.SetSongList(&songList);
        store->SetSequencer(&sequencer);
        return true;
    }();
    (void)linked;
    static std::map<int, fuzz::Made> made;
    static fuzz::Patcher patcher;

    fuzz::Input in{data, size};
    const uint8_t mode = in.Byte();
    if ((mode & 1) == 0) {
        store->ReadProjectBytes(std::span<const uint8_t>(in.data, in.size), "fuzz");
        return 0;
    }
    const int version = kVersions[in.Byte() % std::size(kVersions)];
    const uint8_t kind = in.Byte() % 3;
    const int8_t change = static_cast<int8_t>(in.Byte());
    auto found = made.find(version);
    if (found == made.end()) found = made.emplace(version, fixtures::Project(version)).first;
    fuzz::Made& project = found->second;
    const size_t sequencerAt = project.length - kSections;
    patcher.Set(project, 33, kind);
    // Patches land near the start of the sequencer section as often as
    // anywhere else: its texts and bounds are the interesting part.
    if (in.Byte() & 1) {
        patcher.Patch(project, sequencerAt, 32, fuzz::Input{in.data, in.size / 2});
        in.data += in.size / 2;
        in.size -= in.size / 2;
    }
    patcher.Patch(project, 0, project.length, in);
    const std::span<const uint8_t> file = fuzz::Patcher::Resized(project, change);
    if (mode & 2) {
        if (file.size() >= sequencerAt) sequencer.ReadProject(file.data() + sequencerAt, file.size() - sequencerAt);
    } else {
        store->ReadProjectBytes(file, "fuzz");
    }
    patcher.Undo(project);
    return 0;
}
