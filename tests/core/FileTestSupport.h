#pragma once
// Helpers shared by the bank, preset and project file tests.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <functional>
#include <vector>

#include "core/CProgram.h"
#include "os/OFileChooser.h"
#include "platform/CGlobalData.h"
#include "tools/FileFixtures.h"

namespace filetest {

// Everything a reader could change, folded into one number: the records
// and names of every slot, the slot bindings, kinds and bank names, which
// program each part plays, the part table and the globals.
inline uint64_t Fingerprint(CProgram& p) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        h = (h ^ std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(data), n))) *
            1099511628211ull;
    };
    for (int s = 0; s < CProgram::kSlots; ++s) {
        for (int i = 0; i < CProgram::kPrograms; ++i) {
            mix(p.GetProgramRecord(s, i), sizeof(float) * CProgram::kRecordSize);
            mix(p.GetProgramNameField(s, i), CProgram::kNameSize);
        }
        uint32_t kind = p.GetBankKind(s);
        mix(&kind, sizeof(kind));
        bool used = p.IsSlotUsed(s);
        mix(&used, sizeof(used));
        char name[32];
        p.GetSlotName(s, name);
        mix(name, strlen(name));
    }
    for (int part = 0; part < CProgram::kParts; ++part) {
        int slot = p.GetPartBankSlot(part), program = p.GetPartProgramNumber(part);
        mix(&slot, sizeof(slot));
        mix(&program, sizeof(program));
        mix(p.GetPartRow(part), sizeof(float) * CProgram::kPartFields);
    }
    mix(p.GetGlobals(), sizeof(float) * CProgram::kGlobalFields);
    return h;
}

inline std::string Label(CProgram& p, int i) {
    char out[16];
    p.GetLabel(i, out);
    return out;
}

inline std::string SampleName(CProgram& p, int i) {
    char out[84];
    p.GetSampleName(i, out);
    return out;
}

// Points the program folder somewhere for the duration of a test.
class ScopedProgramFolder {
public:
    explicit ScopedProgramFolder(const std::string& path) {
        memcpy(m_saved, g_GlobalData.programFolder, sizeof(m_saved));
        snprintf(g_GlobalData.programFolder, sizeof(g_GlobalData.programFolder), "%s", path.c_str());
    }
    ~ScopedProgramFolder() { memcpy(g_GlobalData.programFolder, m_saved, sizeof(m_saved)); }

private:
    char m_saved[sizeof(g_GlobalData.programFolder)];
};

class AnswerChooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest& request) override {
        lastSave = request.save;
        return answer;
    }
    std::optional<std::string> answer;
    bool lastSave = false;
};

// Byte offsets at which a file of this layout may be cut inside a field
// boundary: the ends of the header's fields and of every block of one
// stored bank program starting at `at`.
inline std::vector<size_t> BankProgramBoundaries(int version, size_t at) {
    std::vector<size_t> sizes = {32};
    if (version <= 1) sizes.push_back(512);
    else if (version <= 4) sizes.push_back(896);
    else if (version == 5) sizes.push_back(1024);
    else {
        for (size_t b : {2048, 512, 2304, 480}) sizes.push_back(b);
        if (version >= 30) sizes.push_back(768);
    }
    if (version >= 4) {
        sizes.push_back(128);
        sizes.push_back(256);
    }
    std::vector<size_t> cuts;
    for (size_t s : sizes) {
        cuts.push_back(at + 1);
        at += s;
        cuts.push_back(at - 1);
        cuts.push_back(at);
    }
    cuts.pop_back();  // the program's own end is a whole program
    return cuts;
}

}  // namespace filetest
