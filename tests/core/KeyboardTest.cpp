#include "core/CKeyboard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Part settings blocks as the engine lays them out: 16 blocks of 32 words,
// MIDI channel in word 4, key range low/high in words 5 and 6.
struct Settings {
    uint32_t words[16 * 32] = {};
    Settings()
    {
        for (int p = 0; p < 16; ++p)
            Set(p, 4, p);  // every part on its own channel, whole keyboard
    }
    void Set(int part, int word, int32_t v) { words[part * 32 + word] = static_cast<uint32_t>(v); }
};

class KeyboardTest : public ::testing::Test {
protected:
    Settings settings;
    std::unique_ptr<CKeyboard> kb = std::make_unique<CKeyboard>(settings.words);
    int32_t key = -1;
    uint32_t vel = 0;
};

TEST(KeyboardTables, NoteNames)
{
    for (auto [n, text] : std::initializer_list<std::pair<int, const char*>>{
        {0, "C-2"}, {1, "C#-2"}, {11, "B-2"}, {12, "C-1"}, {23, "B-1"}, {24, "C0"}, {48, "C2"},
        {60, "C3"}, {70, "A#3"}, {127, "G8"}, {128, "error"}, {-1, "error"},
        {-2147483647 - 1, "error"}})
        EXPECT_STREQ(CKeyboard::NoteName(n), text) << n;

    std::set<std::string> distinct;
    for (int k = 0; k < 128; ++k)
        distinct.insert(CKeyboard::NoteName(k));
    EXPECT_EQ(distinct.size(), 128u);
}

TEST(KeyboardTables, ChordIntervalsMatchTheChordChart)
{
    // Written out row by row from the chord chart; {} marks the end of a chord.
    const std::vector<std::vector<int32_t>> chart = {
        {0},
        {0, 4, 7}, {4, 7, 12}, {7, 12, 16},
        {0, 3, 7}, {3, 7, 12}, {7, 12, 15},
        {0, 5, 7}, {5, 7, 12}, {7, 12, 17},
        {0, 4, 6}, {4, 6, 12}, {6, 12, 16},
        {0, 3, 6}, {3, 6, 12}, {6, 12, 15},
        {0, 4, 8}, {4, 8, 12}, {8, 12, 16},
        {0, 2, 7}, {2, 7, 12}, {7, 12, 14},
        {0, 4, 7, 9}, {4, 7, 9, 12}, {-5, -3, 0, 4}, {-3, 0, 4, 7},
        {0, 3, 7, 9}, {3, 7, 9, 12}, {-5, -3, 0, 3}, {-3, 0, 3, 7},
        {0, 3, 6, 9}, {3, 6, 9, 12}, {-6, -3, 0, 3}, {-3, 0, 3, 6},
        {0, 4, 7, 10}, {4, 7, 10, 12}, {-5, -2, 0, 4}, {-2, 0, 4, 7},
        {0, 3, 7, 10}, {3, 7, 10, 12}, {-5, -2, 0, 3}, {-2, 0, 3, 7},
        {0, 5, 7, 10}, {5, 7, 10, 12}, {-5, -2, 0, 5}, {-2, 0, 5, 7},
        {0, 4, 6, 10}, {4, 6, 10, 12}, {-6, -2, 0, 4}, {-2, 0, 4, 6},
        {0, 4, 8, 10}, {4, 8, 10, 12}, {-4, -2, 0, 4}, {-2, 0, 4, 8},
        {0, 3, 6, 10}, {3, 6, 10, 12}, {-6, -2, 0, 3}, {-2, 0, 3, 6},
        {0, 4, 7, 11}, {4, 7, 11, 12}, {-5, -1, 0, 4}, {-1, 0, 4, 7},
        {0, 3, 7, 11}, {3, 7, 11, 12}, {-5, -1, 0, 3}, {-1, 0, 3, 7},
    };
    ASSERT_EQ(chart.size(), 66u);
    for (int c = 0; c < 66; ++c) {
        SCOPED_TRACE(c);
        const auto& row = chart[c];
        for (int n = 0; n < static_cast<int>(row.size()); ++n) {
            int32_t iv = 999;
            ASSERT_TRUE(CKeyboard::GetChordInterval(c, n, iv));
            EXPECT_EQ(iv, row[n]);
        }
        int32_t iv = 999;
        EXPECT_FALSE(CKeyboard::GetChordInterval(c, static_cast<int>(row.size()), iv));
        EXPECT_FALSE(CKeyboard::GetChordInterval(c, -1, iv));
        EXPECT_EQ(iv, 999);  // a refused query writes nothing
    }
    int32_t iv = 0;
    for (int c : {66, -1, 1000000}) EXPECT_FALSE(CKeyboard::GetChordInterval(c, 0, iv)) << c;
}

TEST(KeyboardTables, ChordLabels)
{
    for (auto [n, text] : std::initializer_list<std::pair<int, const char*>>{
        {0, ""}, {1, "\r\nMajor"}, {2, "'\r\nMajor"}, {3, "''\r\nMajor"}, {4, "\r\nminor"},
        {18, "''\r\n#5"}, {22, "\r\n6"}, {25, "'''\r\n6"}, {30, "\r\n07"}, {49, "'''\r\n7b5"},
        {61, "'''\r\nMaj7"}, {65, "'''\r\nmMaj7"}, {66, "error"}, {-1, "error"}})
        EXPECT_STREQ(CKeyboard::ChordName(n), text) << n;
}

TEST_F(KeyboardTest, KeyRangeExcludesItsLowBound)
{
    settings.Set(0, 5, 60);
    settings.Set(0, 6, 72);
    EXPECT_FALSE(kb->InPartRange(0, 60));
    EXPECT_TRUE(kb->InPartRange(0, 61));
    EXPECT_TRUE(kb->InPartRange(0, 72));
    EXPECT_FALSE(kb->InPartRange(0, 73));
    EXPECT_FALSE(kb->InPartRange(0, 0));

    kb->NoteOn(0, 60, 100);
    kb->NoteOn(0, 72, 100);
    kb->NoteOn(0, 73, 100);
    EXPECT_EQ(kb->CountDownKeys(0), 1u);
    EXPECT_TRUE(kb->IsKeyDown(0, 72));

    // low == high and low > high both mean the whole keyboard.
    settings.Set(1, 5, 64);
    settings.Set(1, 6, 64);
    settings.Set(2, 5, 100);
    settings.Set(2, 6, 10);
    for (int k : {0, 10, 64, 100, 127}) {
        EXPECT_TRUE(kb->InPartRange(1, k)) << k;
        EXPECT_TRUE(kb->InPartRange(2, k)) << k;
    }
}

TEST_F(KeyboardTest, ReleasedKeysAreRememberedUntilTheNextPhrase)
{
    for (int k : {60, 64, 67})
        kb->NoteOn(3, k, static_cast<uint32_t>(k + 1));
    EXPECT_EQ(kb->CountDownKeys(3), 3u);
    EXPECT_EQ(kb->GetVelocity(3, 64), 65u);
    for (int k : {60, 64, 67})
        kb->NoteOff(3, k);
    EXPECT_EQ(kb->CountDownKeys(3), 0u);
    EXPECT_EQ(kb->CountDownOrHeldKeys(3), 3u);
    EXPECT_FALSE(kb->AnyKeyDown(3));
    EXPECT_FALSE(kb->IsKeyDown(3, 64));

    // Held keys take part in the "or held" queries only.
    EXPECT_FALSE(kb->GetNthDownKey(3, 1, key, vel));
    ASSERT_TRUE(kb->GetNthDownOrHeldKey(3, 2, key, vel));
    EXPECT_EQ(key, 64);
    EXPECT_EQ(vel, 65u);

    // A note-on that finds no key down starts a new phrase.
    kb->NoteOn(3, 62, 90);
    EXPECT_EQ(kb->CountDownKeys(3), 1u);
    EXPECT_EQ(kb->CountDownOrHeldKeys(3), 1u);
    EXPECT_TRUE(kb->IsKeyDown(3, 62));

    // While a key is down, releasing and pressing others keeps the memory.
    kb->NoteOn(3, 65, 90);
    kb->NoteOff(3, 65);
    kb->NoteOn(3, 69, 90);
    EXPECT_EQ(kb->CountDownOrHeldKeys(3), 3u);
    kb->ClearHeld(3);
    EXPECT_EQ(kb->CountDownOrHeldKeys(3), 2u);
    EXPECT_EQ(kb->CountDownKeys(3), 2u);
}

TEST_F(KeyboardTest, StrayNoteOffCreatesNoHeldKey)
{
    kb->NoteOff(5, 40);
    EXPECT_EQ(kb->CountDownOrHeldKeys(5), 0u);
    EXPECT_FALSE(kb->NextDownOrHeldKey(5, key, vel));

    // A second note-off of a released key leaves it remembered, no more.
    kb->NoteOn(5, 41, 10);
    kb->NoteOff(5, 41);
    kb->NoteOff(5, 41);
    kb->NoteOff(5, 42);
    EXPECT_EQ(kb->CountDownOrHeldKeys(5), 1u);
    ASSERT_TRUE(kb->GetNthDownOrHeldKey(5, 1, key, vel));
    EXPECT_EQ(key, 41);
}

TEST_F(KeyboardTest, ChannelsAndRangesSelectTheParts)
{
    settings.Set(7, 4, 2);  // parts 2 and 7 share channel 2
    settings.Set(7, 5, 0);
    settings.Set(7, 6, 48);
    settings.Set(9, 4, -1);  // part 9 receives nothing

    kb->NoteOn(2, 50, 77);
    EXPECT_TRUE(kb->IsKeyDown(2, 50));
    EXPECT_FALSE(kb->IsKeyDown(7, 50)) << "outside part 7's range";
    kb->NoteOn(2, 30, 77);
    EXPECT_TRUE(kb->IsKeyDown(2, 30));
    EXPECT_TRUE(kb->IsKeyDown(7, 30));
    for (int p = 0; p < 16; ++p) {
        if (p != 2 && p != 7) {
            EXPECT_EQ(kb->CountDownOrHeldKeys(p), 0u) << p;
        }
    }

    // The note-off follows the same routing.
    kb->NoteOff(2, 30);
    EXPECT_EQ(kb->CountDownOrHeldKeys(7), 1u);
    EXPECT_FALSE(kb->AnyKeyDown(7));

    // A channel outside 0..15 reaches nobody, not even a part with channel -1.
    kb->NoteOn(-1, 60, 1);
    kb->NoteOn(16, 60, 1);
    EXPECT_EQ(kb->CountDownOrHeldKeys(9), 0u);
    EXPECT_FALSE(kb->IsKeyDown(0, 60));

    // Keys outside 0..127 are refused and no new note is reported.
    for (int k : {128, 255, 256, -1}) kb->NoteOn(0, k, 1);
    kb->NoteOff(0, 300);
    EXPECT_EQ(kb->CountDownOrHeldKeys(0), 0u);
    EXPECT_FALSE(kb->FetchNewNote(0, key, vel));
    for (int k = 0; k < 128; ++k)
        EXPECT_FALSE(kb->IsKeyActive(0, k)) << k;
}

TEST_F(KeyboardTest, CursorQueries)
{
    for (int k : {0, 5, 127})
        kb->NoteOn(4, k, static_cast<uint32_t>(k));

    for (int n : {0, -3, 4}) EXPECT_FALSE(kb->GetNthDownKey(4, n, key, vel)) << n;
    ASSERT_TRUE(kb->GetNthDownKey(4, 2, key, vel));
    EXPECT_EQ(key, 5);
    ASSERT_TRUE(kb->GetNthDownKey(4, 3, key, vel));  // cursor now at 127
    EXPECT_EQ(key, 127);
    EXPECT_EQ(vel, 127u);

    // From 127 the search wraps and looks at key 0 first.
    ASSERT_TRUE(kb->NextDownKey(4, key, vel));
    EXPECT_EQ(key, 0);
    ASSERT_TRUE(kb->NextDownKey(4, key, vel));
    EXPECT_EQ(key, 5);

    // Held keys are skipped by NextDownKey and found by NextDownOrHeldKey.
    kb->NoteOff(4, 127);
    ASSERT_TRUE(kb->NextDownKey(4, key, vel));
    EXPECT_EQ(key, 0);
    ASSERT_TRUE(kb->NextDownKey(4, key, vel));
    EXPECT_EQ(key, 5);
    ASSERT_TRUE(kb->NextDownOrHeldKey(4, key, vel));
    EXPECT_EQ(key, 127);

    // A single key is found again after a full turn.
    kb->Reset();
    kb->NoteOn(4, 33, 1);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(kb->NextDownKey(4, key, vel));
        EXPECT_EQ(key, 33);
    }
    kb->Reset();
    EXPECT_FALSE(kb->NextDownKey(4, key, vel));
}

TEST_F(KeyboardTest, NewNoteHoldAndReset)
{
    EXPECT_FALSE(kb->FetchNewNote(6, key, vel));
    kb->NoteOn(6, 40, 11);
    kb->NoteOn(6, 52, 22);
    ASSERT_TRUE(kb->FetchNewNote(6, key, vel));
    EXPECT_EQ(key, 52);
    EXPECT_EQ(vel, 22u);
    EXPECT_FALSE(kb->FetchNewNote(6, key, vel)) << "reported once";

    kb->SetHold(6, 1);
    EXPECT_EQ(kb->GetHold(6), 1);
    EXPECT_EQ(kb->GetHold(5), 0);
    EXPECT_TRUE(kb->IsKeyActive(6, 40));

    kb->NoteOn(6, 41, 1);
    kb->Reset();
    EXPECT_EQ(kb->GetHold(6), 0);
    EXPECT_EQ(kb->CountDownOrHeldKeys(6), 0u);
    EXPECT_EQ(kb->GetVelocity(6, 40), 0u);
    EXPECT_FALSE(kb->FetchNewNote(6, key, vel));
}

TEST_F(KeyboardTest, OutOfRangePartsAndKeysAreRefused)
{
    kb->NoteOn(0, 10, 5);
    for (int p : {-1, 16, 1 << 20}) {
        EXPECT_FALSE(kb->InPartRange(p, 10));
        EXPECT_FALSE(kb->IsKeyDown(p, 10));
        EXPECT_FALSE(kb->IsKeyActive(p, 10));
        EXPECT_EQ(kb->GetVelocity(p, 10), 0u);
        EXPECT_FALSE(kb->GetNthDownKey(p, 1, key, vel));
        EXPECT_FALSE(kb->GetNthDownOrHeldKey(p, 1, key, vel));
        EXPECT_FALSE(kb->NextDownKey(p, key, vel));
        EXPECT_FALSE(kb->NextDownOrHeldKey(p, key, vel));
        EXPECT_FALSE(kb->AnyKeyDown(p));
        EXPECT_EQ(kb->CountDownKeys(p), 0u);
        EXPECT_EQ(kb->CountDownOrHeldKeys(p), 0u);
        EXPECT_FALSE(kb->FetchNewNote(p, key, vel));
        kb->ClearHeld(p);
        kb->SetHold(p, 1);
        EXPECT_EQ(kb->GetHold(p), 0);
    }
    for (int k : {-1, 128, 255, 256}) {
        EXPECT_FALSE(kb->InPartRange(1, k));
        EXPECT_FALSE(kb->IsKeyDown(0, k));
        EXPECT_FALSE(kb->IsKeyActive(0, k));
        EXPECT_EQ(kb->GetVelocity(0, k), 0u);
    }
    EXPECT_TRUE(kb->IsKeyDown(0, 10));
}

TEST(KeyboardWithoutSettings, RecordsNothingAndSpansEverything)
{
    CKeyboard kb(nullptr);
    kb.NoteOn(0, 60, 100);
    kb.NoteOff(0, 60);
    EXPECT_EQ(kb.CountDownOrHeldKeys(0), 0u);
    EXPECT_TRUE(kb.InPartRange(0, 0));
    EXPECT_TRUE(kb.InPartRange(15, 127));
}

}  // namespace
