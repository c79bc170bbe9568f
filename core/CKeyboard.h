#pragma once
// Which keys each of the 16 parts holds. The MIDI input writes it on the audio
// thread, the arpeggiator, the step sequencer and voice allocation read it
// there, and the editor reads it on the GUI thread, so every cell is a word or
// byte of its own, accessed with relaxed atomics and no lock.
//
// The class also carries the note-name and chord tables that the sequencer
// and its widgets share.
#include <atomic>
#include <cstdint>

class CKeyboard {
public:
    static constexpr int kParts = 16;
    static constexpr int kKeys = 128;
    static constexpr int kChords = 66;

    // Key states.
    static constexpr uint32_t kUp = 0;
    static constexpr uint32_t kDown = 1;
    static constexpr uint32_t kHeld = 2;  // released, but still remembered

    // Words of an engine part settings block that the key state reads.
    static constexpr int kSettingsWords = 32;
    static constexpr int kWordChannel = 4;
    static constexpr int kWordKeyLow = 5;
    static constexpr int kWordKeyHigh = 6;

    // partSettings points at word 0 of part 0's settings block; the 16
    // blocks follow each other, 32 words apart. Without settings (null) no
    // part listens to any channel and every part spans the whole keyboard.
    explicit CKeyboard(const uint32_t* partSettings);
    virtual ~CKeyboard();

    CKeyboard(const CKeyboard&) = delete;
    CKeyboard& operator=(const CKeyboard&) = delete;

    // Records a key for every part listening on the channel whose key range
    // holds it. Channels outside 0..15 and keys outside 0..127 are refused.
    void NoteOn(int channel, int key, uint32_t velocity);
    // A key that is down becomes remembered; keys in any other state stay as
    // they are, so a stray note-off cannot invent a held key.
    void NoteOff(int channel, int key);

    // Low >= high spans the whole keyboard; otherwise the low bound itself is
    // outside: low < key <= high.
    bool InPartRange(int part, int key) const;

    bool IsKeyDown(int part, int key) const;
    uint32_t GetVelocity(int part, int key) const;
    // The editor's keyboard display: down in either half of the state row.
    bool IsKeyActive(int part, int key) const;

    // The n-th key (n from 1, ascending). On success the cursor moves there.
    bool GetNthDownKey(int part, int n, int32_t& key, uint32_t& velocity);
    bool GetNthDownOrHeldKey(int part, int n, int32_t& key, uint32_t& velocity);
    // The next key after the cursor, wrapping at 128.
    bool NextDownKey(int part, int32_t& key, uint32_t& velocity);
    bool NextDownOrHeldKey(int part, int32_t& key, uint32_t& velocity);

    bool AnyKeyDown(int part) const;
    uint32_t CountDownKeys(int part) const;
    uint32_t CountDownOrHeldKeys(int part) const;

    // Forgets the released keys of a part.
    void ClearHeld(int part);

    // The most recent note-on of the part, once.
    bool FetchNewNote(int part, int32_t& key, uint32_t& velocity);

    void SetHold(int part, uint8_t hold);
    uint8_t GetHold(int part) const;

    void Reset();

    // "C-2" .. "G8"; "error" outside 0..127.
    static const char* NoteName(int key);
    // The chord label (inversion marks, CR LF, name); "error" outside 0..65.
    static const char* ChordName(int chord);
    // The n-th interval of a chord in semitones; false outside the chord.
    static bool GetChordInterval(int chord, int n, int32_t& interval);

private:
    static bool ValidPart(int part) { return part >= 0 && part < kParts; }
    static bool ValidKey(int key) { return key >= 0 && key < kKeys; }

    uint32_t State(int part, int key) const { return m_state[part][key].load(std::memory_order_relaxed); }
    int32_t SettingsWord(int part, int word) const;
    bool ListensOn(int part, int channel) const;

    // Shared by the counting, n-th and next-key queries: whether a state
    // qualifies, given whether held keys count too.
    static bool Matches(uint32_t state, bool withHeld)
    {
        return state == kDown || (withHeld && state == kHeld);
    }
    uint32_t CountKeys(int part, bool withHeld) const;
    bool GetNthKey(int part, int n, bool withHeld, int32_t& key, uint32_t& velocity);
    bool NextKey(int part, bool withHeld, int32_t& key, uint32_t& velocity);

    const uint32_t* m_partSettings;
    // Keys 128..255 of a row are never written any more (out-of-range keys
    // are refused), but the display query still looks at them.
    std::atomic<uint32_t> m_state[kParts][256];
    std::atomic<uint32_t> m_velocity[kParts][256];
    std::atomic<int32_t> m_cursor[kParts];
    std::atomic<uint8_t> m_hold[kParts];
    std::atomic<uint8_t> m_newNote[kParts];
    std::atomic<int32_t> m_lastKey[kParts];
    std::atomic<int32_t> m_lastVelocity[kParts];
};
