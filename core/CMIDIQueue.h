#pragma once
// Time-stamped ring of incoming MIDI short messages. The MIDI input threads
// push events with the engine block in which they fall due; the audio thread
// takes them out at the start of that block, first with the pre-scan cursor
// (which frees voices in advance) and then with the read cursor (which
// handles them).
//
// Several MIDI inputs may push at once: producers take a tiny spin flag
// among themselves. The audio thread never touches that flag, so it never
// waits for a producer.
#include <atomic>
#include <cstdint>

class CMIDIQueue {
public:
    static constexpr int32_t kSize = 256;
    // How far ahead of the current block an event may be scheduled.
    static constexpr int32_t kMaxBlocksAhead = 16;

    CMIDIQueue() = default;
    virtual ~CMIDIQueue() = default;
    CMIDIQueue(const CMIDIQueue&) = delete;
    CMIDIQueue& operator=(const CMIDIQueue&) = delete;

    // Producer side (any MIDI input thread). With 255 events unread the new
    // event is dropped and counted: overwriting would make the ring read as
    // empty.
    void Push(int32_t currentBlock, uint32_t message, uint32_t timeStamp);

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

    uint32_t DroppedCount() const { return dropped.load(std::memory_order_relaxed); }

    // Milliseconds on the process-wide monotonic clock: the one time base
    // for every MIDI input, so that stamps of different inputs compare.
    static uint32_t ClockMs();

    uint32_t message[kSize] = {};
    int32_t noteValueB[kSize] = {};
    int32_t dueBlock[kSize] = {};
    uint32_t timeStamp[kSize] = {};
    uint8_t flagA[kSize] = {};
    uint8_t flagB[kSize] = {};
    // Producer state, guarded by the producer flag.
    int32_t referenceBlock = 0;
    uint32_t referenceTime = 0;
    bool hasReference = false;
    std::atomic<int32_t> writeIndex{0};
    std::atomic<int32_t> readIndex{0};
    std::atomic<int32_t> preScanIndex{0};

private:
    // Wrap-safe "block a is not later than block b".
    static bool NotLater(int32_t a, int32_t b);
    int32_t ScheduleDue(int32_t currentBlock, uint32_t timeStamp);

    std::atomic_flag producerBusy = ATOMIC_FLAG_INIT;
    std::atomic<uint32_t> dropped{0};
};
