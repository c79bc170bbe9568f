#include "core/CSongList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// A song-list section written from the file layout: big-endian u16 start and
// end, then 16 tracks x 256 cells of {big-endian u16 pattern, s8 transpose,
// u8 flag}.
struct Section {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(4 + 16 * 1024, 0);

    void Head(uint16_t start, uint16_t end)
    {
        bytes[0] = static_cast<uint8_t>(start >> 8);
        bytes[1] = static_cast<uint8_t>(start);
        bytes[2] = static_cast<uint8_t>(end >> 8);
        bytes[3] = static_cast<uint8_t>(end);
    }
    void Cell(int t, int n, uint16_t pattern, uint8_t transpose, uint8_t flag)
    {
        uint8_t* c = &bytes[4 + t * 1024 + n * 4];
        c[0] = static_cast<uint8_t>(pattern >> 8);
        c[1] = static_cast<uint8_t>(pattern);
        c[2] = transpose;
        c[3] = flag;
    }
};

TEST(SongList, ClearedSongPlaysPatternZeroOnTrackZero)
{
    CSongList song;
    EXPECT_EQ(song.GetStart(), 0);
    EXPECT_EQ(song.GetEnd(), 0);
    EXPECT_EQ(song.GetPosition(), 0);
    EXPECT_EQ(song.GetCellPattern(0, 0), 0);
    EXPECT_EQ(song.GetPatternAt(0), 0);
    for (int t = 0; t < 16; ++t) {
        for (int n = 0; n < 256; ++n) {
            if (t == 0 && n == 0)
                continue;
            ASSERT_EQ(song.GetCellPattern(t, n), -1) << t << " " << n;
            ASSERT_EQ(song.GetCellTranspose(t, n), 0);
        }
    }

    song.SetCell(3, 7, 42, -2);
    song.SetEnd(9);
    song.SetStart(4);
    song.Rewind();
    song.Clear();
    EXPECT_EQ(song.GetCellPattern(3, 7), -1);
    EXPECT_EQ(song.GetCellTranspose(3, 7), 0);
    EXPECT_EQ(song.GetStart(), 0);
    EXPECT_EQ(song.GetEnd(), 0);
    EXPECT_EQ(song.GetPosition(), 0);
}

TEST(SongList, StartAndEndPushEachOther)
{
    CSongList song;
    song.SetEnd(100);
    song.SetStart(200);
    EXPECT_EQ(song.GetStart(), 200);
    EXPECT_EQ(song.GetEnd(), 200);
    song.SetEnd(50);
    EXPECT_EQ(song.GetEnd(), 50);
    EXPECT_EQ(song.GetStart(), 50);

    // Within bounds neither moves the other.
    song.SetEnd(80);
    song.SetStart(60);
    EXPECT_EQ(song.GetStart(), 60);
    EXPECT_EQ(song.GetEnd(), 80);

    for (int bad : {256, 1000, -1}) {
        song.SetStart(bad);
        song.SetEnd(bad);
    }
    EXPECT_EQ(song.GetStart(), 60);
    EXPECT_EQ(song.GetEnd(), 80);
    song.SetEnd(255);
    song.SetStart(255);
    EXPECT_EQ(song.GetStart(), 255);
    EXPECT_EQ(song.GetEnd(), 255);
}

TEST(SongList, CellsAreCheckedAtEveryEntry)
{
    CSongList song;
    song.SetCell(15, 255, 511, -12);
    EXPECT_EQ(song.GetCellPattern(15, 255), 511);
    EXPECT_EQ(song.GetCellTranspose(15, 255), -12);
    song.ClearCell(15, 255);
    EXPECT_EQ(song.GetCellPattern(15, 255), -1);
    EXPECT_EQ(song.GetCellTranspose(15, 255), 0);

    // Patterns the sequencer does not have make an empty cell.
    song.SetCell(1, 1, 512, 3);
    EXPECT_EQ(song.GetCellPattern(1, 1), -1);
    song.SetCell(1, 2, -7, 3);
    EXPECT_EQ(song.GetCellPattern(1, 2), -1);

    // Outside the song: ignored on write, -1 / 0 on read.
    for (auto [t, n] : {std::pair{16, 0}, {-1, 0}, {0, 256}, {0, -1}}) {
        song.SetCell(t, n, 5, 5);
        song.ClearCell(t, n);
        song.SetCursor(t, n);
        EXPECT_EQ(song.GetCellPattern(t, n), -1);
        EXPECT_EQ(song.GetCellTranspose(t, n), 0);
        EXPECT_EQ(song.GetCellFlag(t, n), 0);
    }
    EXPECT_EQ(song.GetCursorTrack(), 0);
    EXPECT_EQ(song.GetCursorPosition(), 0);
    song.SetCursor(2, 17);
    EXPECT_EQ(song.GetCursorTrack(), 2);
    EXPECT_EQ(song.GetCursorPosition(), 17);
}

TEST(SongList, Navigation)
{
    CSongList song;
    for (int n = 0; n < 256; ++n)
        song.SetCell(4, n, n, n % 5);
    song.SetEnd(4);
    song.SetStart(2);
    song.Rewind();
    EXPECT_EQ(song.GetPosition(), 2);
    EXPECT_EQ(song.GetPatternAt(4), 2);
    EXPECT_EQ(song.GetTransposeAt(4), 2);
    EXPECT_TRUE(song.Next());
    EXPECT_TRUE(song.Next());
    EXPECT_EQ(song.GetPatternAt(4), 4);

    // Running off the end: false, position end + 1, nothing to play there.
    EXPECT_FALSE(song.Next());
    EXPECT_EQ(song.GetPosition(), 5);
    EXPECT_EQ(song.GetPatternAt(4), -1);
    EXPECT_EQ(song.GetTransposeAt(4), 0);
    EXPECT_EQ(song.GetPatternAt(16), -1);

    EXPECT_TRUE(song.Previous());
    EXPECT_EQ(song.GetPatternAt(4), 4);
    song.ToEnd();
    EXPECT_EQ(song.GetPosition(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(song.Previous());
    EXPECT_EQ(song.GetPosition(), 0);
    EXPECT_FALSE(song.Previous());
    EXPECT_EQ(song.GetPosition(), 0);

    // At the last cell the position stops one past it however often Next runs.
    song.SetEnd(255);
    song.ToEnd();
    EXPECT_EQ(song.GetPatternAt(4), 255);
    for (int i = 0; i < 1000; ++i)
        EXPECT_FALSE(song.Next());
    EXPECT_EQ(song.GetPosition(), 256);
    EXPECT_EQ(song.GetPatternAt(4), -1);
    EXPECT_TRUE(song.Previous());
    EXPECT_EQ(song.GetPatternAt(4), 255);
}

TEST(SongListProject, ReadsAWholeSection)
{
    Section s;
    s.Head(3, 9);
    for (int t = 0; t < 16; ++t) {
        for (int n = 0; n < 256; ++n)
            s.Cell(t, n, static_cast<uint16_t>((t * 37 + n) % 512), static_cast<uint8_t>(n), static_cast<uint8_t>(n % 3));
    }
    s.Cell(0, 0, 511, 0xF4, 0);  // -12 semitones
    s.Cell(0, 1, 512, 5, 0);     // above the pattern range: empty
    s.Cell(0, 2, 0xFFFF, 0, 0);
    s.Cell(15, 255, 0x0100, 0x7F, 200);

    CSongList song;
    song.SetEnd(20);
    song.SetStart(6);
    song.Rewind();
    ASSERT_TRUE(song.ReadProject(s.bytes.data(), s.bytes.size()));
    EXPECT_EQ(song.GetStart(), 3);
    EXPECT_EQ(song.GetEnd(), 9);
    EXPECT_EQ(song.GetPosition(), 0);

    EXPECT_EQ(song.GetCellPattern(0, 0), 511);
    EXPECT_EQ(song.GetCellTranspose(0, 0), -12);
    EXPECT_EQ(song.GetCellPattern(0, 1), -1);
    EXPECT_EQ(song.GetCellPattern(0, 2), -1);
    EXPECT_EQ(song.GetCellPattern(15, 255), 256);
    EXPECT_EQ(song.GetCellTranspose(15, 255), 127);
    EXPECT_EQ(song.GetCellFlag(15, 255), 1);
    for (int t = 1; t < 15; ++t) {
        for (int n = 0; n < 256; ++n) {
            ASSERT_EQ(song.GetCellPattern(t, n), (t * 37 + n) % 512) << t << " " << n;
            ASSERT_EQ(song.GetCellTranspose(t, n), static_cast<int8_t>(n));
            ASSERT_EQ(song.GetCellFlag(t, n), n % 3 != 0 ? 1 : 0);
        }
    }
}

TEST(SongListProject, BoundsFromTheFileAreClampedAndOrdered)
{
    struct Case {
        uint16_t start, end;
        int32_t wantStart, wantEnd;
    };
    for (const Case& c : {Case{300, 1000, 255, 255}, Case{0xFFFF, 0xFFFF, 255, 255}, Case{256, 10, 10, 10},
                          Case{20, 10, 10, 10}, Case{0, 255, 0, 255}, Case{7, 0x0107, 7, 255}}) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
        Section s;
        s.Head(c.start, c.end);
        CSongList song;
        ASSERT_TRUE(song.ReadProject(s.bytes.data(), s.bytes.size()));
        EXPECT_EQ(song.GetStart(), c.wantStart);
        EXPECT_EQ(song.GetEnd(), c.wantEnd);
        song.ToEnd();
        EXPECT_FALSE(song.Next());
        EXPECT_EQ(song.GetPatternAt(0), -1);
    }
}

TEST(SongListProject, ShortSectionsKeepWhatWasNotRead)
{
    auto prepared = [] {
        auto song = std::make_unique<CSongList>();
        for (int t = 0; t < 16; ++t)
            song->SetCell(t, 100, 77, 1);
        song->SetEnd(40);
        song->SetStart(30);
        song->Rewind();
        return song;
    };
    Section s;
    s.Head(5, 6);
    for (int t = 0; t < 16; ++t)
        s.Cell(t, 100, 9, 0, 0);

    // No head: nothing read, the position still goes back to 0.
    for (size_t size : {size_t{0}, size_t{3}}) {
        auto song = prepared();
        EXPECT_FALSE(song->ReadProject(s.bytes.data(), size));
        EXPECT_EQ(song->GetStart(), 30);
        EXPECT_EQ(song->GetEnd(), 40);
        EXPECT_EQ(song->GetPosition(), 0);
        EXPECT_EQ(song->GetCellPattern(0, 100), 77);
    }
    {
        auto song = prepared();
        EXPECT_FALSE(song->ReadProject(nullptr, 5000));
        EXPECT_EQ(song->GetStart(), 30);
        EXPECT_EQ(song->GetCellPattern(0, 100), 77);
    }

    // Two whole tracks and part of a third: the partial track is not touched.
    auto song = prepared();
    EXPECT_FALSE(song->ReadProject(s.bytes.data(), 4 + 2 * 1024 + 1023));
    EXPECT_EQ(song->GetStart(), 5);
    EXPECT_EQ(song->GetEnd(), 6);
    EXPECT_EQ(song->GetCellPattern(0, 100), 9);
    EXPECT_EQ(song->GetCellPattern(1, 100), 9);
    EXPECT_EQ(song->GetCellTranspose(1, 100), 0);
    for (int t = 2; t < 16; ++t)
        EXPECT_EQ(song->GetCellPattern(t, 100), 77) << t;

    // One byte short of the full section: the last track is kept.
    song = prepared();
    EXPECT_FALSE(song->ReadProject(s.bytes.data(), s.bytes.size() - 1));
    EXPECT_EQ(song->GetCellPattern(14, 100), 9);
    EXPECT_EQ(song->GetCellPattern(15, 100), 77);
}

TEST(SongListProject, ReadsFromAnOpenFile)
{
    Section s;
    s.Head(1, 2);
    s.Cell(6, 2, 300, 0xFE, 1);

    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const char lead[] = "sequencer section";
    std::fwrite(lead, 1, sizeof lead, f);
    std::fwrite(s.bytes.data(), 1, s.bytes.size(), f);
    std::fseek(f, sizeof lead, SEEK_SET);
    CSongList song;
    EXPECT_TRUE(song.ReadProject(f));
    EXPECT_EQ(song.GetStart(), 1);
    EXPECT_EQ(song.GetEnd(), 2);
    EXPECT_EQ(song.GetCellPattern(6, 2), 300);
    EXPECT_EQ(song.GetCellTranspose(6, 2), -2);

    // The file ends inside the head of a second section.
    std::fseek(f, -2, SEEK_END);
    song.SetCell(6, 2, 1, 0);
    EXPECT_FALSE(song.ReadProject(f));
    EXPECT_EQ(song.GetStart(), 1);
    EXPECT_EQ(song.GetCellPattern(6, 2), 1);
    std::fclose(f);

    EXPECT_FALSE(song.ReadProject(static_cast<std::FILE*>(nullptr)));
}

}  // namespace
