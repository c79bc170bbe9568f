#include "core/CSongList.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

int32_t ReadBigEndian16(const uint8_t* p)
{
    return (static_cast<int32_t>(p[0]) << 8) | p[1];
}

}  // namespace

CSongList::CSongList()
{
    Clear();
}

CSongList::~CSongList() = default;

void CSongList::StoreCell(int track, int n, int32_t pattern, int32_t transpose, uint8_t flag)
{
    // The sequencer indexes its 512 patterns with what it finds here.
    if (pattern < 0 || pattern >= kPatterns)
        pattern = kEmpty;
    m_pattern[track][n].store(pattern, kRelaxed);
    m_transpose[track][n].store(transpose, kRelaxed);
    m_flag[track][n].store(flag, kRelaxed);
}

void CSongList::Clear()
{
    for (int t = 0; t < kTracks; ++t) {
        for (int n = 0; n < kCells; ++n)
            StoreCell(t, n, kEmpty, 0, 0);
    }
    m_pattern[0][0].store(0, kRelaxed);
    m_position.store(0, kRelaxed);
    m_start.store(0, kRelaxed);
    m_end.store(0, kRelaxed);
}

void CSongList::SetStart(int n)
{
    if (n < 0 || n >= kCells)
        return;
    m_start.store(n, kRelaxed);
    if (GetEnd() < n)
        m_end.store(n, kRelaxed);
}

void CSongList::SetEnd(int n)
{
    if (n < 0 || n >= kCells)
        return;
    m_end.store(n, kRelaxed);
    if (GetStart() > n)
        m_start.store(n, kRelaxed);
}

void CSongList::SetCell(int track, int n, int32_t pattern, int32_t transpose)
{
    if (ValidCell(track, n))
        StoreCell(track, n, pattern, transpose, m_flag[track][n].load(kRelaxed));
}

void CSongList::ClearCell(int track, int n)
{
    if (ValidCell(track, n))
        StoreCell(track, n, kEmpty, 0, m_flag[track][n].load(kRelaxed));
}

int32_t CSongList::GetCellPattern(int track, int n) const
{
    return ValidCell(track, n) ? m_pattern[track][n].load(kRelaxed) : kEmpty;
}

int32_t CSongList::GetCellTranspose(int track, int n) const
{
    return ValidCell(track, n) ? m_transpose[track][n].load(kRelaxed) : 0;
}

uint8_t CSongList::GetCellFlag(int track, int n) const
{
    return ValidCell(track, n) ? m_flag[track][n].load(kRelaxed) : 0;
}

void CSongList::Rewind()
{
    m_position.store(GetStart(), kRelaxed);
}

void CSongList::ToEnd()
{
    m_position.store(GetEnd(), kRelaxed);
}

bool CSongList::Next()
{
    // Stop one past the last cell: far enough to tell "past the end", and
    // repeated calls can never walk the position off the track.
    const int32_t pos = std::min(GetPosition() + 1, kCells);
    m_position.store(pos, kRelaxed);
    return pos <= GetEnd();
}

bool CSongList::Previous()
{
    const int32_t pos = GetPosition();
    if (pos <= 0)
        return false;
    m_position.store(std::min(pos - 1, kCells - 1), kRelaxed);
    return true;
}

int CSongList::CurrentCell() const
{
    const int32_t pos = GetPosition();
    if (pos > GetEnd() || pos < 0 || pos >= kCells)
        return -1;
    return pos;
}

int32_t CSongList::GetPatternAt(int track) const
{
    const int n = CurrentCell();
    return n < 0 ? kEmpty : GetCellPattern(track, n);
}

int32_t CSongList::GetTransposeAt(int track) const
{
    const int n = CurrentCell();
    return n < 0 ? 0 : GetCellTranspose(track, n);
}

void CSongList::SetCursor(int track, int n)
{
    if (!ValidCell(track, n))
        return;
    m_cursorTrack.store(track, kRelaxed);
    m_cursorPosition.store(n, kRelaxed);
}

bool CSongList::ReadProject(const uint8_t* data, size_t size)
{
    if (!data)
        size = 0;
    m_position.store(0, kRelaxed);
    if (size < kHeadSize)
        return false;

    // The stored bounds are 16-bit; a damaged file must not leave either one
    // past the last cell or the start behind the end.
    const int32_t start = std::min(ReadBigEndian16(data), kCells - 1);
    const int32_t end = std::min(ReadBigEndian16(data + 2), kCells - 1);
    m_start.store(start, kRelaxed);
    m_end.store(end, kRelaxed);
    if (start > end)
        m_start.store(end, kRelaxed);

    for (int t = 0; t < kTracks; ++t) {
        const size_t offset = kHeadSize + static_cast<size_t>(t) * kTrackSize;
        if (size < offset + kTrackSize)
            return false;
        const uint8_t* cell = data + offset;
        for (int n = 0; n < kCells; ++n, cell += kCellSize) {
            const int32_t pattern = ReadBigEndian16(cell);
            StoreCell(t, n, pattern, static_cast<int8_t>(cell[2]), cell[3] != 0 ? 1 : 0);
        }
    }
    return true;
}

bool CSongList::ReadProject(std::FILE* file)
{
    std::vector<uint8_t> section(kProjectSectionSize);
    const size_t got = file ? std::fread(section.data(), 1, section.size(), file) : 0;
    return ReadProject(section.data(), got);
}

void CSongList::WriteProject(uint8_t* out) const
{
    auto put16 = [](uint8_t* at, int32_t v) {
        at[0] = static_cast<uint8_t>((v >> 8) & 0xFF);
        at[1] = static_cast<uint8_t>(v & 0xFF);
    };
    put16(out, GetStart());
    put16(out + 2, GetEnd());
    for (int t = 0; t < kTracks; ++t) {
        uint8_t* cell = out + kHeadSize + static_cast<size_t>(t) * kTrackSize;
        for (int n = 0; n < kCells; ++n, cell += kCellSize) {
            const int32_t pattern = m_pattern[t][n].load(kRelaxed);
            put16(cell, pattern < 0 ? 0xFFFF : pattern);
            cell[2] = static_cast<uint8_t>(static_cast<int8_t>(m_transpose[t][n].load(kRelaxed)));
            cell[3] = m_flag[t][n].load(kRelaxed);
        }
    }
}
