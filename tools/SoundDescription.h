#pragma once
// The factory sounds as a musician reads and edits them: a text file of
// blocks, each a template (one per synthesis type) or a program, followed by
// the values it sets as "id = value" lines (raw record values, the numbers
// the editor shows; a '#' starts a comment):
//
//   [common]
//   284 = 80       # values every template starts from
//   [template ana]
//   16 = 90        # Flt1 cutoff
//   [program Bass ana "Round Bass"]
//   tag Timbre Warm
//   188 = 100
//
// A program starts from the template of its type and sets only what makes
// it itself. "tag <group> <word>" adds a preset-browser word to the
// program's masks beside the ones that follow from its category and type.
// Shared by the tool that writes the files and by the tests that check them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CProgram.h"

namespace sounds {

// Synthesis types in the order of record slot 0, as the template files name them.
inline const char* const kTypeNames[CProgram::kSynthTypes] = {"profi", "micro", "spec", "fm",
                                                                "forman", "wave", "ana"};

// Categories of record slot 386 (value i + 1; 0 is "no cat").
inline const char* const kCategories[] = {"Bass",  "Lead",  "Pad",   "Keys", "Organ",      "Vocal", "Atmo",
                                          "Drum",  "String", "Brass", "Loop", "Inharmonic", "FX"};
constexpr int kCategoryCount = 13;
constexpr int kCategorySlot = 386;

// The "Category" word each program category files under, and the "Source"
// word of each synthesis type.
inline const char* const kCategoryWord[kCategoryCount] = {
    "Bass", "Synth", "Synth", "Keys", "Organ", "Vocal", "Ambient", "Drums", "String", "Brass", "Synth",
    "Mallet", "Soundeffect"};
inline const char* const kTypeWord[CProgram::kSynthTypes] = {"Synthetic", "Digital", "Spectral", "FM",
                                                               "Waveshape", "Physical model", "Analog"};

struct Sound {
    bool isTemplate = false;
    int type = 0;
    int category = 0;  // 1..13, 0 for a template
    std::string name;
    std::vector<std::pair<int, float>> values;
    uint32_t masks[kCategoryGroups] = {};
    int line = 0;
};

struct Description {
    Sound common;                  // what every template starts from
    std::vector<Sound> templates;  // indexed by type once read
    std::vector<Sound> programs;
    std::string error;  // empty when the whole text was read
};

inline int IndexOf(const char* const* list, int count, const std::string& word) {
    for (int i = 0; i < count; ++i)
        if (word == list[i]) return i;
    return -1;
}

// Reads the whole description; stops at the first line it cannot read and
// says which. Every type needs exactly one template.
inline Description Parse(std::istream& in) {
    Description d;
    d.templates.resize(CProgram::kSynthTypes);
    std::vector<bool> seen(CProgram::kSynthTypes, false);
    Sound* current = nullptr;
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& why) {
        d.error = "line " + std::to_string(number) + ": " + why;
        return d;
    };
    while (std::getline(in, line)) {
        ++number;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        if (first == "[common]") {
            current = &d.common;
            current->isTemplate = true;
        } else if (first == "[template") {
            std::string type;
            words >> type;
            if (!type.empty() && type.back() == ']') type.pop_back();
            int t = IndexOf(kTypeNames, CProgram::kSynthTypes, type);
            if (t < 0 || seen[static_cast<size_t>(t)]) return fail("unknown or repeated template type " + type);
            seen[static_cast<size_t>(t)] = true;
            current = &d.templates[static_cast<size_t>(t)];
            current->isTemplate = true;
            current->type = t;
            current->name = std::string("Init ") + kTypeNames[t];
            current->line = number;
        } else if (first == "[program") {
            std::string category, type, rest;
            words >> category >> type;
            std::getline(words, rest);
            size_t open = rest.find('"'), close = rest.rfind('"');
            int c = IndexOf(kCategories, kCategoryCount, category);
            int t = IndexOf(kTypeNames, CProgram::kSynthTypes, type);
            if (c < 0 || t < 0 || open == std::string::npos || close <= open + 1 ||
                rest.find(']', close) == std::string::npos)
                return fail("expected [program <category> <type> \"<name>\"]");
            Sound s;
            s.type = t;
            s.category = c + 1;
            s.name = rest.substr(open + 1, close - open - 1);
            if (s.name.size() >= CProgram::kNameSize) return fail("name longer than 31 characters");
            s.line = number;
            s.masks[0] |= 1u << FindCategoryWord(0, kCategoryWord[c]);
            s.masks[1] |= 1u << FindCategoryWord(1, kTypeWord[t]);
            d.programs.push_back(s);
            current = &d.programs.back();
        } else if (first == "tag") {
            std::string group, word;
            words >> group;
            std::getline(words >> std::ws, word);
            while (!word.empty() && word.back() == ' ') word.pop_back();
            int g = 0;
            while (g < kCategoryGroups && group != GetCategoryGroupName(g)) ++g;
            int bit = g < kCategoryGroups ? FindCategoryWord(g, word.c_str()) : -1;
            if (!current || current->isTemplate || bit < 0) return fail("unknown tag " + group + " " + word);
            current->masks[g] |= 1u << bit;
        } else {
            std::string eq;
            float value = 0.0f;
            char* end = nullptr;
            long id = std::strtol(first.c_str(), &end, 10);
            if (!current || *end != 0 || id < 1 || id >= CProgram::kRecordSize || !(words >> eq >> value) ||
                eq != "=")
                return fail("expected <id> = <value>");
            current->values.emplace_back(static_cast<int>(id), value);
        }
    }
    for (int t = 0; t < CProgram::kSynthTypes; ++t)
        if (!seen[static_cast<size_t>(t)]) {
            d.error = std::string("no template for ") + kTypeNames[t];
            break;
        }
    return d;
}

inline Description ParseFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        Description d;
        d.error = "cannot read " + path;
        return d;
    }
    return Parse(in);
}

// The record of a template: the defaults of a fresh program, the common
// values, then its own.
inline void TemplateRecord(const Description& d, int type, float* record) {
    CProgram::SetDefaults(record);
    for (const auto& [id, value] : d.common.values) record[id] = value;
    for (const auto& [id, value] : d.templates[static_cast<size_t>(type)].values) record[id] = value;
    record[0] = static_cast<float>(type);
}

// The record of a program: its type's template, then its own values, its
// type and its category.
inline void ProgramRecord(const Description& d, const Sound& s, float* record) {
    TemplateRecord(d, s.type, record);
    for (const auto& [id, value] : s.values) record[id] = value;
    record[0] = static_cast<float>(s.type);
    record[kCategorySlot] = static_cast<float>(s.category);
}

}  // namespace sounds
