// The preset pool: masks kept in the preset header, the files it takes and
// refuses, the word lists and the filter.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CProgram.h"
#include "os/TestFolders.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A preset file: the header with masks (or a foreign header), a body of the
// given version and size named `name`.
std::vector<uint8_t> Preset(const char* name, const uint32_t* masks, int version, int bodySize) {
    std::vector<uint8_t> f(static_cast<size_t>(CProgram::kPresetHeaderBytes + bodySize), 0);
    if (masks) CPresetPool::WriteHeader(f.data(), masks);
    f[CProgram::kPresetHeaderBytes] = static_cast<uint8_t>(version);
    for (size_t i = 0; name[i] && i < 31; ++i)
        f[CProgram::kPresetHeaderBytes + 4 + i] = static_cast<uint8_t>(name[i]);
    return f;
}

}  // namespace

TEST(PresetPoolTest, TakesWholePresetsWithTheirMasksAndRefusesTheRest) {
    testutil::TempFolder dir;
    const uint32_t masks[kCategoryGroups] = {0b10, 0x10000, 0, 1u << 31, 0xFFFFFFFF};
    Write(dir / "b.fxp", Preset("Bass", masks, 30, CProgram::kPresetBodyV30));
    Write(dir / "a.fxp", Preset("Old", nullptr, 1, CProgram::kPresetBodyV1));  // no masks: found, unfiled
    Write(dir / "c.fxp", Preset("Short", masks, 30, CProgram::kPresetBodyV30 - 1));
    Write(dir / "d.fxp", Preset("Long", masks, 30, CProgram::kPresetBodyV30 + 1));
    Write(dir / "e.fxp", Preset("Version", masks, 7, CProgram::kPresetBodyV30));
    Write(dir / "f.fxp", std::vector<uint8_t>(CProgram::kPresetHeaderBytes, 0));
    Write(dir / "g.txt", Preset("Text", masks, 30, CProgram::kPresetBodyV30));
    std::filesystem::create_directories(dir / "sub/deeper");
    Write(dir / "sub/h.fxp", Preset("Sub", masks, 30, CProgram::kPresetBodyV30));
    Write(dir / "sub/deeper/i.fxp", Preset("Deeper", masks, 30, CProgram::kPresetBodyV30));

    CPresetPool pool;
    EXPECT_EQ(pool.Scan(dir.Path()), 3);
    ASSERT_EQ(pool.Entries().size(), 3u);
    // Named by their files, in path order.
    EXPECT_EQ(pool.Entries()[2].name, "h");
    EXPECT_EQ(pool.Entries()[2].file, "sub/h.fxp");
    EXPECT_EQ(pool.Entries()[0].name, "a");
    EXPECT_FALSE(pool.Entries()[0].param.IsValid());
    const CPreset& bass = pool.Entries()[1];
    EXPECT_EQ(bass.name, "b");
    EXPECT_EQ(bass.body.size(), static_cast<size_t>(CProgram::kPresetBodyV30));
    uint32_t got[kCategoryGroups];
    bass.param.GetMasks(got);
    for (int g = 0; g < kCategoryGroups; ++g) EXPECT_EQ(got[g], masks[g]) << g;

    // A second scan starts afresh; a folder that is not there leaves the pool empty.
    EXPECT_EQ(pool.Scan(dir.Path()), 3);
    EXPECT_EQ(pool.Scan(dir / "missing"), 0);
    EXPECT_TRUE(pool.Entries().empty());
}

TEST(PresetPoolTest, FilterAndWords) {
    // Every group whose filter is set must share a bit; all filters 0 match all.
    struct Case {
        uint32_t preset[kCategoryGroups];
        uint32_t filter[kCategoryGroups];
        bool match;
    };
    const Case cases[] = {
        {{0b10, 0, 0, 0, 0}, {0b10, 0, 0, 0, 0}, true},
        {{0b10, 0, 0, 0, 7}, {0b10, 0, 0, 0, 0}, true},
        {{0, 0, 0, 0, 0}, {0b10, 0, 0, 0, 0}, false},
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, true},
        {{0b110, 1, 0, 0, 0}, {0b010, 2, 0, 0, 0}, false},
        {{0b110, 3, 0, 0, 0}, {0b011, 2, 0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        CSoundParam p;
        p.SetMasks(c.preset);
        EXPECT_EQ(p.Match(c.filter), c.match);
    }

    EXPECT_STREQ(GetCategoryGroupName(5), "");
    EXPECT_STREQ(GetCategoryWord(0, 15), "");
    EXPECT_STREQ(GetCategoryWord(0, 17), "Favourites");
    EXPECT_STREQ(GetCategoryWord(5, 0), "");
    EXPECT_STREQ(GetCategoryWord(1, 32), "");
    EXPECT_EQ(FindCategoryWord(3, "Slow attack"), 2);
    EXPECT_EQ(FindCategoryWord(0, ""), -1);
    EXPECT_EQ(FindCategoryWord(2, "Bass"), -1);
}
