// Project files with their sequencer and song-list sections. A project is
// over a megabyte, so inputs describe one: a version, a kind and a length
// change for a generated project, then patches; small raw inputs (first
// byte even) exercise the early refusals.
//
// A whole project costs about a third of a millisecond here (128 program
// records, 512 patterns, 4096 song cells), so bits 1 and 2 of the first
// byte share the decoders out: 3 reads the whole project with its
// sequencer and song list, 0 the whole project with its sections checked
// for size only; 1 gives the sequencer's reader its two sections alone, cut
// to a share of their length the next byte chooses, and 2 gives the song
// list its section alone.
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
    const uint8_t share = in.Byte();
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
    const size_t songAt = sequencerAt + CSequencer::kProjectSectionSize;
    switch ((mode >> 1) & 3) {
    case 0:
        store->SetSequencer(nullptr);
        store->ReadProjectBytes(file, "fuzz");
        store->SetSequencer(&sequencer);
        break;
    case 1:
        if (file.size() >= sequencerAt)
            sequencer.ReadProject(file.data() + sequencerAt, (file.size() - sequencerAt) * share / 255);
        break;
    case 2:
        if (file.size() >= songAt) songList.ReadProject(file.data() + songAt, file.size() - songAt);
        break;
    default:
        store->ReadProjectBytes(file, "fuzz");
        break;
    }
    patcher.Undo(project);
    return 0;
}
