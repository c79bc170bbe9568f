// Writes the factory content into the program folder from the sound
// description: the seven templates (one per synthesis type), the factory
// bank "Bank/ZavoFactory.qvb" and every factory program again as a preset
// in "Presets/Factory/", with its browser masks in the preset header.
//
//   zavo_make_sounds <description.txt> <program folder>
//
// Banks and presets are written in the current stored form (bank version
// 31, preset body version 30) through the store's own record encoding.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CProgram.h"
#include "tools/SoundDescription.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kBankVersion = 31;
constexpr int kPresetVersion = 30;

void PutText(Bytes& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        out.push_back(i < text.size() && i + 1 < size ? static_cast<uint8_t>(text[i]) : 0);
}

void PutRecord(Bytes& out, const float* record) {
    size_t at = out.size();
    out.resize(at + CProgram::kStoredRecordBytes);
    CProgram::EncodeRecord(record, out.data() + at);
}

// Labels and multi-sample names: the factory programs use neither.
void PutEmptyBlocks(Bytes& out) { out.insert(out.end(), CProgram::kLabelBytes + CProgram::kSampleBytes, 0); }

Bytes PresetFile(const std::string& name, const float* record, const uint32_t* masks) {
    Bytes out(CProgram::kPresetHeaderBytes, 0);
    CPresetPool::WriteHeader(out.data(), masks);
    out.push_back(kPresetVersion);
    out.insert(out.end(), 3, 0);
    PutText(out, name, CProgram::kNameSize);
    PutRecord(out, record);
    PutEmptyBlocks(out);
    return out;
}

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

    std::vector<float> record(CProgram::kRecordSize);
    bool ok = true;
    for (int t = 0; t < CProgram::kSynthTypes; ++t) {
        sounds::TemplateRecord(d, t, record.data());
        const uint32_t none[kCategoryGroups] = {};
        ok = WriteFile(folder / CProgram::TemplateFileName(t),
                       PresetFile(d.templates[static_cast<size_t>(t)].name, record.data(), none)) &&
             ok;
    }

    Bytes bank;
    PutText(bank, "ZavoFactory", CProgram::kNameSize);
    bank.push_back(kBankVersion);
    bank.resize(CProgram::kHeaderBytes, 0);
    for (int i = 0; i < CProgram::kPrograms; ++i) {
        // The places after the designed programs are "new program" copies of
        // the first template, as a new bank holds them.
        const bool designed = i < static_cast<int>(d.programs.size());
        if (designed) {
            const sounds::Sound& s = d.programs[static_cast<size_t>(i)];
            sounds::ProgramRecord(d, s, record.data());
            ok = WriteFile(presets / FileNameOf(s.name), PresetFile(s.name, record.data(), s.masks)) &&
                 ok;
        } else {
            sounds::TemplateRecord(d, 0, record.data());
        }
        PutText(bank, designed ? d.programs[static_cast<size_t>(i)].name : "new program", CProgram::kNameSize);
        PutRecord(bank, record.data());
        PutEmptyBlocks(bank);
    }
    ok = WriteFile(folder / "Bank" / "ZavoFactory.qvb", bank) && ok;
    if (!ok) {
        fprintf(stderr, "cannot write the factory files into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
