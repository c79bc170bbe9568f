#include "core/CKeyboard.h"

#include <array>

namespace {

// ---------------------------------------------------------------------------
// Note names: pitch class followed by the octave, key 60 being "C3".

struct NoteNameText {
    char text[5];
};

constexpr std::array<NoteNameText, CKeyboard::kKeys> MakeNoteNames()
{
    constexpr const char* kClasses[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::array<NoteNameText, CKeyboard::kKeys> names{};
    for (int k = 0; k < CKeyboard::kKeys; ++k) {
        char* out = names[k].text;
        int i = 0;
        for (const char* c = kClasses[k % 12]; *c; ++c)
            out[i++] = *c;
        const int octave = k / 12 - 2;  // -2 .. 8, one digit
        if (octave < 0) {
            out[i++] = '-';
            out[i++] = static_cast<char>('0' - octave);
        } else {
            out[i++] = static_cast<char>('0' + octave);
        }
        out[i] = '\0';
    }
    return names;
}

constexpr auto kNoteNames = MakeNoteNames();

// ---------------------------------------------------------------------------
// Chords: the root position of each kind, then one row per inversion. Triad
// inversions move the lowest note an octave up; the 2nd and 3rd inversions of
// four-note chords move the upper notes an octave down instead, so those
// voicings reach below the played key.

struct ChordEntry {
    char label[16];
    int32_t notes;
    int32_t interval[4];
};

struct ChordKind {
    const char* name;
    int32_t notes;
    int32_t root[4];
};

constexpr ChordKind kChordKinds[] = {
    {"Major", 3, {0, 4, 7, 0}},   {"minor", 3, {0, 3, 7, 0}},   {"sus4", 3, {0, 5, 7, 0}},
    {"b5", 3, {0, 4, 6, 0}},      {"minb5", 3, {0, 3, 6, 0}},   {"#5", 3, {0, 4, 8, 0}},
    {"add2", 3, {0, 2, 7, 0}},    {"6", 4, {0, 4, 7, 9}},       {"min6", 4, {0, 3, 7, 9}},
    {"07", 4, {0, 3, 6, 9}},      {"7", 4, {0, 4, 7, 10}},      {"min7", 4, {0, 3, 7, 10}},
    {"7sus4", 4, {0, 5, 7, 10}},  {"7b5", 4, {0, 4, 6, 10}},    {"7#5", 4, {0, 4, 8, 10}},
    {"m7b5", 4, {0, 3, 6, 10}},   {"Maj7", 4, {0, 4, 7, 11}},   {"mMaj7", 4, {0, 3, 7, 11}},
};

constexpr std::array<ChordEntry, CKeyboard::kChords> MakeChords()
{
    std::array<ChordEntry, CKeyboard::kChords> chords{};
    chords[0].notes = 1;  // the single root, empty label
    int row = 1;
    for (const ChordKind& kind : kChordKinds) {
        for (int inv = 0; inv < kind.notes; ++inv, ++row) {
            ChordEntry& e = chords[row];
            int i = 0;
            for (int m = 0; m < inv; ++m)
                e.label[i++] = '\'';
            e.label[i++] = '\r';
            e.label[i++] = '\n';
            for (const char* c = kind.name; *c; ++c)
                e.label[i++] = *c;
            e.label[i] = '\0';
            e.notes = kind.notes;
            const int32_t* r = kind.root;
            for (int n = 0; n < kind.notes; ++n) {
                if (kind.notes == 3 || inv < 2)
                    // Rotate up: notes below the inversion's bass gain an octave.
                    e.interval[n] = n + inv < kind.notes ? r[n + inv] : r[n + inv - kind.notes] + 12;
                else
                    // Rotate down: the notes from the bass up lose an octave.
                    e.interval[n] = n + inv < kind.notes ? r[n + inv] - 12 : r[n + inv - kind.notes];
            }
        }
    }
    return chords;
}

constexpr auto kChordTable = MakeChords();
static_assert(kChordTable[65].notes == 4 && kChordTable[65].interval[3] == 7, "chord table must fill 66 rows");

}  // namespace

CKeyboard::CKeyboard(const uint32_t* partSettings) : m_partSettings(partSettings)
{
    Reset();
}

CKeyboard::~CKeyboard() = default;

int32_t CKeyboard::SettingsWord(int part, int word) const
{
    // The engine keeps the words unsigned; these ones hold signed integers.
    return static_cast<int32_t>(m_partSettings[part * kSettingsWords + word]);
}

bool CKeyboard::ListensOn(int part, int channel) const
{
    return m_partSettings && SettingsWord(part, kWordChannel) == channel;
}

void CKeyboard::NoteOn(int channel, int key, uint32_t velocity)
{
    // A negative channel marks a part that receives nothing, so it must never
    // match a caller's channel.
    if (channel < 0 || channel > 15 || !ValidKey(key))
        return;
    for (int p = 0; p < kParts; ++p) {
        if (!ListensOn(p, channel) || !InPartRange(p, key))
            continue;
        // A new phrase forgets the keys released during the previous one.
        if (CountDownKeys(p) == 0)
            ClearHeld(p);
        m_velocity[p][key].store(velocity, std::memory_order_relaxed);
        m_state[p][key].store(kDown, std::memory_order_relaxed);
        m_lastKey[p].store(key, std::memory_order_relaxed);
        m_lastVelocity[p].store(static_cast<int32_t>(velocity), std::memory_order_relaxed);
        m_newNote[p].store(1, std::memory_order_release);
    }
}

void CKeyboard::NoteOff(int channel, int key)
{
    if (channel < 0 || channel > 15 || !ValidKey(key))
        return;
    for (int p = 0; p < kParts; ++p) {
        if (ListensOn(p, channel) && InPartRange(p, key) && State(p, key) == kDown)
            m_state[p][key].store(kHeld, std::memory_order_relaxed);
    }
}

bool CKeyboard::InPartRange(int part, int key) const
{
    if (!ValidPart(part) || !ValidKey(key))
        return false;
    if (!m_partSettings)
        return true;
    const int32_t low = SettingsWord(part, kWordKeyLow);
    const int32_t high = SettingsWord(part, kWordKeyHigh);
    if (low >= high)
        return true;
    return low < key && key <= high;
}

bool CKeyboard::IsKeyDown(int part, int key) const
{
    return ValidPart(part) && ValidKey(key) && State(part, key) == kDown;
}

uint32_t CKeyboard::GetVelocity(int part, int key) const
{
    if (!ValidPart(part) || !ValidKey(key))
        return 0;
    return m_velocity[part][key].load(std::memory_order_relaxed);
}

bool CKeyboard::IsKeyActive(int part, int key) const
{
    if (!ValidPart(part) || !ValidKey(key))
        return false;
    return State(part, key) == kDown || State(part, key + kKeys) == kDown;
}

uint32_t CKeyboard::CountKeys(int part, bool withHeld) const
{
    if (!ValidPart(part))
        return 0;
    uint32_t count = 0;
    for (int k = 0; k < kKeys; ++k)
        count += Matches(State(part, k), withHeld) ? 1u : 0u;
    return count;
}

bool CKeyboard::GetNthKey(int part, int n, bool withHeld, int32_t& key, uint32_t& velocity)
{
    if (!ValidPart(part) || n < 1)
        return false;
    for (int k = 0; k < kKeys; ++k) {
        if (Matches(State(part, k), withHeld) && --n == 0) {
            key = k;
            velocity = m_velocity[part][k].load(std::memory_order_relaxed);
            m_cursor[part].store(k, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

bool CKeyboard::NextKey(int part, bool withHeld, int32_t& key, uint32_t& velocity)
{
    if (!ValidPart(part))
        return false;
    // The cursor only ever holds a key, but mask it anyway so a bad value can
    // never index outside the row.
    const int start = static_cast<int>((static_cast<uint32_t>(m_cursor[part].load(std::memory_order_relaxed)) + 1u) % kKeys);
    for (int i = 0; i < kKeys; ++i) {
        const int k = (start + i) % kKeys;
        if (Matches(State(part, k), withHeld)) {
            key = k;
            velocity = m_velocity[part][k].load(std::memory_order_relaxed);
            m_cursor[part].store(k, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

bool CKeyboard::GetNthDownKey(int part, int n, int32_t& key, uint32_t& velocity)
{
    return GetNthKey(part, n, false, key, velocity);
}

bool CKeyboard::GetNthDownOrHeldKey(int part, int n, int32_t& key, uint32_t& velocity)
{
    return GetNthKey(part, n, true, key, velocity);
}

bool CKeyboard::NextDownKey(int part, int32_t& key, uint32_t& velocity)
{
    return NextKey(part, false, key, velocity);
}

bool CKeyboard::NextDownOrHeldKey(int part, int32_t& key, uint32_t& velocity)
{
    return NextKey(part, true, key, velocity);
}

bool CKeyboard::AnyKeyDown(int part) const
{
    return CountKeys(part, false) != 0;
}

uint32_t CKeyboard::CountDownKeys(int part) const
{
    return CountKeys(part, false);
}

uint32_t CKeyboard::CountDownOrHeldKeys(int part) const
{
    return CountKeys(part, true);
}

void CKeyboard::ClearHeld(int part)
{
    if (!ValidPart(part))
        return;
    for (auto& s : m_state[part]) {
        if (s.load(std::memory_order_relaxed) == kHeld)
            s.store(kUp, std::memory_order_relaxed);
    }
}

bool CKeyboard::FetchNewNote(int part, int32_t& key, uint32_t& velocity)
{
    if (!ValidPart(part) || m_newNote[part].load(std::memory_order_acquire) == 0)
        return false;
    m_newNote[part].store(0, std::memory_order_relaxed);
    key = m_lastKey[part].load(std::memory_order_relaxed);
    velocity = static_cast<uint32_t>(m_lastVelocity[part].load(std::memory_order_relaxed));
    return true;
}

void CKeyboard::SetHold(int part, uint8_t hold)
{
    if (ValidPart(part))
        m_hold[part].store(hold, std::memory_order_relaxed);
}

uint8_t CKeyboard::GetHold(int part) const
{
    return ValidPart(part) ? m_hold[part].load(std::memory_order_relaxed) : 0;
}

void CKeyboard::Reset()
{
    for (int p = 0; p < kParts; ++p) {
        for (int k = 0; k < 256; ++k) {
            m_state[p][k].store(kUp, std::memory_order_relaxed);
            m_velocity[p][k].store(0, std::memory_order_relaxed);
        }
        m_cursor[p].store(0, std::memory_order_relaxed);
        m_hold[p].store(0, std::memory_order_relaxed);
        m_newNote[p].store(0, std::memory_order_relaxed);
        m_lastKey[p].store(0, std::memory_order_relaxed);
        m_lastVelocity[p].store(0, std::memory_order_relaxed);
    }
}

const char* CKeyboard::NoteName(int key)
{
    return ValidKey(key) ? kNoteNames[key].text : "error";
}

const char* CKeyboard::ChordName(int chord)
{
    return chord >= 0 && chord < kChords ? kChordTable[chord].label : "error";
}

bool CKeyboard::GetChordInterval(int chord, int n, int32_t& interval)
{
    if (chord < 0 || chord >= kChords || n < 0 || n >= kChordTable[chord].notes)
        return false;
    interval = kChordTable[chord].interval[n];
    return true;
}
