// Project files with their sequencer and song-list sections. A project is
// over half a megabyte, so inputs describe one: a version, a kind and a
// length change for a generated project, then patches; small raw inputs
// (first byte even) exercise the early refusals.
#include <map>
#include <memory>

#include "core/CProgram.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "fuzz/FuzzSupport.h"

namespace {
const int kVersions[] = {5, 20, 30, 31, 0, 4};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CProgram> store = std::make_unique<CProgram>();
    static CSequencer sequencer(nullptr);
    static CSongList songList;
    static bool linked = [] {
        sequencer.SetSongList(&songList);
        store->SetSequencer(&sequencer);
        return true;
    }();
    (void)linked;
    static std::map<int, fixtures::Bytes> made;

    fuzz::Input in{data, size};
    fixtures::Bytes file;
    if ((in.Byte() & 1) == 0) {
        file.assign(in.data, in.data + in.size);
    } else {
        const int version = kVersions[in.Byte() % std::size(kVersions)];
        const int kind = in.Byte() % 3;
        const int8_t change = static_cast<int8_t>(in.Byte());
        auto found = made.find(version);
        if (found == made.end()) found = made.emplace(version, fixtures::Project(version)).first;
        file = found->second;
        file[33] = static_cast<uint8_t>(kind);
        // Patches land near the start of the sequencer section as often as
        // anywhere else: its texts and bounds are the interesting part.
        const size_t sequencerAt = file.size() - CSequencer::kProjectSectionSize - CSongList::kProjectSectionSize;
        fixtures::Bytes head(file.begin() + static_cast<long>(sequencerAt),
                             file.begin() + static_cast<long>(sequencerAt + 32));
        if (in.Byte() & 1) {
            fuzz::ApplyPatches(head, fuzz::Input{in.data, in.size / 2}, 0);
            std::copy(head.begin(), head.end(), file.begin() + static_cast<long>(sequencerAt));
            in.data += in.size / 2;
            in.size -= in.size / 2;
        }
        fuzz::ApplyPatches(file, in, change);
    }
    const std::string path = fuzz::PathOf("p.qzp");
    if (!fixtures::WriteFile(path, file)) return 0;
    store->ReadProject(path.c_str());
    return 0;
}
