#pragma once
// Time-stamped ring of incoming MIDI short messages. The MIDI input threads
// push events with the engine block in which they fall due; the audio thread
// takes them out at the start of that block, first with the pre-scan cursor
// (which frees voices in advance) and then with the read cursor (which
// handles them).
//
// An event's block follows from its own time against the last render call:
// each call records the block it starts with and the time its first frame
// is due (a JACK cycle's frame time, else the call's start). An event played
// at that time plus d sounds d later, one call's length behind it: every
// event gets the same latency whatever its place in the cycle, whichever of
// the MIDI and audio callbacks runs first.
//
// Several MIDI inputs may push at once: producers take a tiny spin flag
// among themselves. The audio thread never touches that flag, so it never
// waits for a producer. A real-time input thread does not share a queue
// with inputs of normal priority: it has one of its own, which the consumer
// merges (CMIDI::ProcessBlock).
//
// Ordinary events fill at most kOrdinary slots. What must not be lost while
// the consumer cannot keep up (the engine held by a run of edits, a device
// that stopped calling) goes beyond: note-offs, the channel-mode messages
// that end notes and the sustain pedal let go. Of a controller or the wheel
// only the latest value per channel and number matters: a new one is folded
// into a pending one, and with none to fold into it is dropped, so that
// values never take the room that ends notes.
#include <atomic>
#include <climits>
#include <cstdint>

class CMIDIQueue {
public:
    static constexpr int32_t kSize = 512;
    // Unread events beyond which an ordinary event is dropped.
    static constexpr int32_t kOrdinary = 255;
    // How far ahead of the current block an event may be scheduled, at
    // least: render calls longer than half of it widen it to two calls.
    static constexpr int32_t kMaxBlocksAhead = 16;

    CMIDIQueue() = default;
    virtual ~CMIDIQueue() = default;
    CMIDIQueue(const CMIDIQueue&) = delete;
    CMIDIQueue& operator=(const CMIDIQueue&) = delete;

    // Producer side (any MIDI input thread). timeStamp: microseconds of
    // os::StampMicros. With kOrdinary events unread an ordinary new event is
    // dropped and counted; one of those kept goes on, up to the ring's size
    // (overwriting would make the ring read as empty). A note-off goes as
    // long as its key may sound: it is dropped with the ring that full only
    // after its note-on was dropped. A pedal's value is never folded over a
    // note of its channel.
    // The block it is due in.
    int32_t Push(int32_t currentBlock, uint32_t message, uint32_t timeStamp);
    // The same for an event whose block is known: one read in the cycle
    // that renders it, placed at its frame.
    void PushDue(int32_t dueBlock, uint32_t message, uint32_t timeStamp);
    // The same, due no sooner than block notBefore: an event that must
    // come after another waiting in the other queue.
    void PushNotBefore(int32_t currentBlock, int32_t notBefore, uint32_t message, uint32_t timeStamp);

    // Audio thread, at the start of a render call: `block` is the first
    // block it renders, due at `timeUs`, and the call is `blocks` long.
    void SetRenderAnchor(int32_t block, uint32_t timeUs, int32_t blocks);
    // Forgets the render calls (a block counter started over).
    void ClearRenderAnchor() { anchorBlocks.store(0, std::memory_order_relaxed); }

    // Consumer side (audio thread).
    bool HasPending() const;
    // Due events for the pre-scan; a due block already passed becomes the
    // current block.
    bool PopForPreScan(int32_t currentBlock, uint32_t& message);
    // Due events for handling. The read cursor never passes the pre-scan
    // cursor, so every event is pre-scanned before it is handled, even one
    // pushed while the block's passes run.
    bool Pop(int32_t currentBlock, uint32_t& message, int32_t& noteValueB, uint32_t& timeStamp,
             uint8_t& flagA, uint8_t& flagB);

    // Whether Pop would answer an event now, and its stamp: the consumer
    // merges queues by it.
    bool NextDue(int32_t currentBlock, uint32_t& timeStamp) const;

    uint32_t DroppedCount() const { return dropped.load(std::memory_order_relaxed); }
    // The message a slot holds, taken or not.
    uint32_t MessageAt(int32_t slot) const { return message[slot].load(std::memory_order_relaxed) & ~kTaken; }

    // Milliseconds on the process-wide monotonic clock, the time base of
    // CSynth::ProcessMidiMessage's callers.
    static uint32_t ClockMs();

    // The message, with kTaken set once Pop took it: a producer folds a
    // value into a slot only while the mark is clear, in one step.
    std::atomic<uint32_t> message[kSize] = {};
    int32_t noteValueB[kSize] = {};
    int32_t dueBlock[kSize] = {};
    uint32_t timeStamp[kSize] = {};
    uint8_t flagA[kSize] = {};
    uint8_t flagB[kSize] = {};
    // Per channel and key (bit k of word k / 32): a note-on went in and no
    // note-off since; a note-on was dropped since the key's last message
    // that went in. Guarded by the producer flag.
    uint32_t keysDown[16][4] = {};
    uint32_t keysDropped[16][4] = {};
    // The last render call's first block (high half) and its time (low
    // half), in one word so that a producer never reads half of each call;
    // and its length in blocks, 0 before the first call.
    std::atomic<uint64_t> anchor{0};
    std::atomic<int32_t> anchorBlocks{0};
    std::atomic<int32_t> writeIndex{0};
    std::atomic<int32_t> readIndex{0};
    std::atomic<int32_t> preScanIndex{0};

private:
    static constexpr uint32_t kTaken = 0x80000000u;
    enum class Room { kDrop, kFolded, kSlot };
    // With kOrdinary events or more unread: what becomes of the message.
    Room WhenFull(uint32_t message, int32_t writeAt, int32_t unread);
    // A note or a channel-mode message of the channel.
    static bool StartsOrEndsNotes(uint32_t message, uint32_t channel);
    // The producer's view of the keys and the sustain pedals after the
    // message went in or not.
    void TrackKeys(uint32_t message, bool wentIn);
    // Wrap-safe "block a is not later than block b".
    static bool NotLater(int32_t a, int32_t b);
    int32_t ScheduleDue(int32_t currentBlock, uint32_t timeStamp);
    // due: the event's block, or kByTime to schedule it by its stamp;
    // notBefore: the earliest block, kByTime for any.
    static constexpr int64_t kByTime = INT64_MIN;
    int32_t Insert(int32_t currentBlock, int64_t due, int64_t notBefore, uint32_t message, uint32_t timeStamp);

    // Per channel: the sustain pedal's last value that went in let it go.
    // Guarded by the producer flag.
    uint16_t sustainUp = 0;
    std::atomic_flag producerBusy = ATOMIC_FLAG_INIT;
    std::atomic<uint32_t> dropped{0};
};
