#pragma once
// The song arrangement: 16 tracks (one per part) of 256 bars, each cell naming
// the pattern the part plays in that bar and a transpose, plus the song's
// start, end and current position.
//
// The sequencer reads cells and moves the position on the audio thread while
// the song editor and the project reader write on the GUI thread, without a
// lock: every field is a word or byte of its own, accessed with relaxed
// atomics, and every index is checked so a bad value can never reach past
// the 256 cells of a track.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

class CSongList {
public:
    static constexpr int kTracks = 16;
    static constexpr int kCells = 256;
    static constexpr int32_t kEmpty = -1;
    // Patterns the sequencer holds; a cell naming any other is empty.
    static constexpr int32_t kPatterns = 512;

    // Project file section: big-endian start and end, then 16 tracks of
    // 256 four-byte cells.
    static constexpr size_t kHeadSize = 4;
    static constexpr size_t kCellSize = 4;
    static constexpr size_t kTrackSize = kCells * kCellSize;
    static constexpr size_t kProjectSectionSize = kHeadSize + kTracks * kTrackSize;

    CSongList();
    virtual ~CSongList();

    CSongList(const CSongList&) = delete;
    CSongList& operator=(const CSongList&) = delete;

    // Empties every cell, then puts pattern 0 into the first bar of track 0
    // so that a fresh song plays something; position, start and end 0.
    void Clear();

    // Both keep start <= end by moving the other bound along.
    void SetStart(int n);
    void SetEnd(int n);
    int32_t GetStart() const { return m_start.load(std::memory_order_relaxed); }
    int32_t GetEnd() const { return m_end.load(std::memory_order_relaxed); }
    int32_t GetPosition() const { return m_position.load(std::memory_order_relaxed); }

    // A pattern outside 0..511 is stored as an empty cell.
    void SetCell(int track, int n, int32_t pattern, int32_t transpose);
    void ClearCell(int track, int n);
    // -1 outside the song or for an empty cell.
    int32_t GetCellPattern(int track, int n) const;
    // 0 outside the song.
    int32_t GetCellTranspose(int track, int n) const;
    uint8_t GetCellFlag(int track, int n) const;

    void Rewind();
    void ToEnd();
    // One bar on; true while the song has not run past its end. The position
    // stops one past the last cell.
    bool Next();
    bool Previous();

    // The pattern and transpose of a track at the current position; -1 and 0
    // once the position has run past the end.
    int32_t GetPatternAt(int track) const;
    int32_t GetTransposeAt(int track) const;

    // The cell the song editor works on.
    void SetCursor(int track, int n);
    int32_t GetCursorTrack() const { return m_cursorTrack.load(std::memory_order_relaxed); }
    int32_t GetCursorPosition() const { return m_cursorPosition.load(std::memory_order_relaxed); }

    // Reads the song-list section of a project file. A short section keeps
    // what could not be read: without the 4-byte head start and end stay, a
    // track that is not there in full keeps its cells. The position is 0
    // afterwards. True only when the whole section was read.
    bool ReadProject(const uint8_t* data, size_t size);
    // The same from an open file, at its current offset.
    bool ReadProject(std::FILE* file);
    // The section as ReadProject takes it (kProjectSectionSize bytes); an
    // empty cell is stored as 0xFFFF, a transpose as a signed byte.
    void WriteProject(uint8_t* out) const;

private:
    static bool ValidCell(int track, int n) { return track >= 0 && track < kTracks && n >= 0 && n < kCells; }
    void StoreCell(int track, int n, int32_t pattern, int32_t transpose, uint8_t flag);
    // The position as a cell index, or -1 when it lies past the end.
    int CurrentCell() const;

    std::atomic<int32_t> m_pattern[kTracks][kCells];
    std::atomic<int32_t> m_transpose[kTracks][kCells];
    std::atomic<uint8_t> m_flag[kTracks][kCells];
    std::atomic<int32_t> m_position{0};
    std::atomic<int32_t> m_start{0};
    std::atomic<int32_t> m_end{0};
    std::atomic<int32_t> m_cursorTrack{0};
    std::atomic<int32_t> m_cursorPosition{0};
};
