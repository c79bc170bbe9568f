// Writes the factory content into the program folder from the sound
// description: the seven templates (one per synthesis type), the factory
// bank "Bank/ZavoFactory.qvb" and every factory program again as a preset
// in "Presets/Factory/", with its browser masks in the preset header.
//
//   zavo_make_sounds <description.txt> <program folder>
//
// The programs are put into a program store of their own and written by the
// store's writers, so the files are exactly what the program saves.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CProgram.h"
#include "tools/SoundDescription.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    FILE* f = fopen(path.string().c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A preset's file name: its name with the characters a file name cannot
// hold replaced.
std::string FileNameOf(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|')
            c = '-';
    return out + ".fxp";
}

// Program n of the store as a preset file, the browser masks in its header.
Bytes PresetOf(CProgram& store, int n, const uint32_t* masks) {
    Bytes out;
    store.SetProgram(n);
    store.BuildPresetImage(out);
    CPresetPool::WriteHeader(out.data(), masks);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <description.txt> <program folder>\n", argv[0]);
        return 2;
    }
    const sounds::Description d = sounds::ParseFile(argv[1]);
    if (!d.error.empty()) {
        fprintf(stderr, "%s: %s\n", argv[1], d.error.c_str());
        return 1;
    }
    if (d.programs.size() > static_cast<size_t>(CProgram::kPrograms)) {
        fprintf(stderr, "%s: more than %d programs\n", argv[1], CProgram::kPrograms);
        return 1;
    }
    const std::filesystem::path folder = argv[2];
    std::error_code ec;
    std::filesystem::create_directories(folder / "Bank", ec);
    // The factory presets have a folder of their own, written afresh, so a
    // program renamed in the description leaves no old preset behind and the
    // user's own presets are never touched.
    const std::filesystem::path presets = folder / "Presets" / "Factory";
    std::filesystem::remove_all(presets, ec);
    std::filesystem::create_directories(presets, ec);

    // The bank, then the templates and presets through the same store.
    auto store = std::make_unique<CProgram>();
    const int slot = store->GetCurrentBankSlot();
    for (int i = 0; i < CProgram::kPrograms; ++i) {
        // The places after the designed programs are "new program" copies of
        // the first template, as a new bank holds them.
        float* record = store->GetProgramRecord(slot, i);
        if (i < static_cast<int>(d.programs.size())) {
            sounds::ProgramRecord(d, d.programs[static_cast<size_t>(i)], record);
            store->SetProgramName(i, d.programs[static_cast<size_t>(i)].name.c_str());
        } else {
            sounds::TemplateRecord(d, 0, record);
            store->SetProgramName(i, "new program");
        }
    }
    Bytes bank;
    store->BuildBankImage(bank);
    const char bankName[] = "ZavoFactory";
    memcpy(bank.data(), bankName, sizeof bankName);
    bool ok = WriteFile(folder / "Bank" / "ZavoFactory.qvb", bank);

    for (size_t i = 0; i < d.programs.size(); ++i) {
        const sounds::Sound& s = d.programs[i];
        ok = WriteFile(presets / FileNameOf(s.name), PresetOf(*store, static_cast<int>(i), s.masks)) && ok;
    }

    // The templates go through the last place of the bank.
    const int scratch = CProgram::kPrograms - 1;
    for (int t = 0; t < CProgram::kSynthTypes; ++t) {
        sounds::TemplateRecord(d, t, store->GetProgramRecord(slot, scratch));
        store->SetProgramName(scratch, d.templates[static_cast<size_t>(t)].name.c_str());
        const uint32_t none[kCategoryGroups] = {};
        ok = WriteFile(folder / CProgram::TemplateFileName(t), PresetOf(*store, scratch, none)) && ok;
    }
    if (!ok) {
        fprintf(stderr, "cannot write the factory files into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
