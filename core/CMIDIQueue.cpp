#include "core/CMIDIQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <thread>

#include "os/OClock.h"
#include "platform/CGlobalData.h"

namespace {

int32_t Next(int32_t index) { return (index + 1) % CMIDIQueue::kSize; }

int32_t AddBlocks(int32_t block, int64_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(block) + static_cast<uint32_t>(count));
}

// Signed distance from b to a, correct across the wrap of the block counter.
int32_t BlockDistance(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

} // namespace

uint32_t CMIDIQueue::ClockMs() {
    const int64_t counts = os::ClockCounter();
    const int64_t perMs = os::ClockFrequency() / 1000;
    return static_cast<uint32_t>(counts / (perMs > 0 ? perMs : 1));
}

bool CMIDIQueue::NotLater(int32_t a, int32_t b) {
    return BlockDistance(a, b) <= 0;
}

void CMIDIQueue::SetRenderAnchor(int32_t block, uint32_t timeUs, int32_t blocks) {
    anchor.store(static_cast<uint64_t>(static_cast<uint32_t>(block)) << 32 | timeUs, std::memory_order_relaxed);
    anchorBlocks.store(std::max(blocks, 1), std::memory_order_relaxed);
}

int32_t CMIDIQueue::ScheduleDue(int32_t c, uint32_t t) {
    const int32_t callBlocks = anchorBlocks.load(std::memory_order_relaxed);
    // Before the first render call nothing tells the time of a block: the
    // event gets the next one.
    if (callBlocks <= 0)
        return AddBlocks(c, 1);
    const uint64_t a = anchor.load(std::memory_order_relaxed);
    const int32_t anchorBlock = static_cast<int32_t>(static_cast<uint32_t>(a >> 32));
    // The signed difference: an event played before the call's first frame
    // counts back, and one just past a wrap of the clock still forward.
    const int32_t sinceAnchor = static_cast<int32_t>(t - static_cast<uint32_t>(a));
    // The GUI thread may change it meanwhile.
    float msPerBlock = std::atomic_ref<float>(g_GlobalData.msPerBlock).load(std::memory_order_relaxed);
    if (!(msPerBlock > 0.0f) || !std::isfinite(msPerBlock))
        msPerBlock = 32000.0f / 44100.0f;
    const double blocks = std::floor(static_cast<double>(sinceAnchor) / (1000.0 * static_cast<double>(msPerBlock)));
    const int32_t window = std::max(kMaxBlocksAhead, 2 * callBlocks);
    // An event later than that after the last call's start found no render
    // call meanwhile (the audio stalled or stopped, or renders are not paced
    // by a device): it is due as soon as rendering goes on.
    if (blocks > window)
        return c;
    const int64_t ahead = static_cast<int64_t>(BlockDistance(anchorBlock, c)) + static_cast<int64_t>(blocks) + callBlocks;
    return AddBlocks(c, std::clamp<int64_t>(ahead, 0, window));
}

int32_t CMIDIQueue::Push(int32_t currentBlock, uint32_t msg, uint32_t stamp) {
    return Insert(currentBlock, kByTime, kByTime, msg, stamp);
}

void CMIDIQueue::PushDue(int32_t dueBlock, uint32_t msg, uint32_t stamp) {
    Insert(dueBlock, dueBlock, kByTime, msg, stamp);
}

void CMIDIQueue::PushNotBefore(int32_t currentBlock, int32_t notBefore, uint32_t msg, uint32_t stamp) {
    Insert(currentBlock, kByTime, notBefore, msg, stamp);
}

int32_t CMIDIQueue::Insert(int32_t currentBlock, int64_t due, int64_t notBefore, uint32_t msg, uint32_t stamp) {
    // Another input holds the flag for a few instructions only; should it
    // be preempted there, give it the processor back.
    for (int spins = 0; producerBusy.test_and_set(std::memory_order_acquire); ++spins)
        if (spins >= 64)
            std::this_thread::yield();
    msg &= ~kTaken;
    const int32_t w = writeIndex.load(std::memory_order_relaxed);
    const int32_t unread = (w - readIndex.load(std::memory_order_acquire) + kSize) % kSize;
    const Room room = unread < kOrdinary ? Room::kSlot : WhenFull(msg, w, unread);
    int32_t scheduled = currentBlock;
    if (room == Room::kSlot) {
        scheduled = due == kByTime ? ScheduleDue(currentBlock, stamp) : static_cast<int32_t>(due);
        if (notBefore != kByTime && BlockDistance(static_cast<int32_t>(notBefore), scheduled) > 0)
            scheduled = static_cast<int32_t>(notBefore);
        dueBlock[w] = scheduled;
        timeStamp[w] = stamp;
        message[w].store(msg, std::memory_order_relaxed);
        noteValueB[w] = -1;
        flagA[w] = 0;
        flagB[w] = 0;
        writeIndex.store(Next(w), std::memory_order_release);
    } else if (room == Room::kDrop) {
        dropped.fetch_add(1, std::memory_order_relaxed);
    }
    TrackKeys(msg, room != Room::kDrop);
    producerBusy.clear(std::memory_order_release);
    return scheduled;
}

CMIDIQueue::Room CMIDIQueue::WhenFull(uint32_t msg, int32_t w, int32_t unread) {
    const uint32_t status = msg & 0xFF;
    const uint32_t kind = status & 0xF0;
    const uint32_t data1 = (msg >> 8) & 0xFF;
    const bool slotLeft = unread < kSize - 1;
    if (status < 0x80 || status >= 0xF0 || data1 >= 0x80)
        return Room::kDrop;
    const uint32_t channel = status & 0x0F;
    if (kind == 0x80 || (kind == 0x90 && (msg >> 16 & 0xFF) == 0)) {
        const uint32_t bit = 1u << (data1 % 32);
        const bool maySound = (keysDown[channel][data1 / 32] & bit) != 0 ||
                              (keysDropped[channel][data1 / 32] & bit) == 0;
        return maySound && slotLeft ? Room::kSlot : Room::kDrop;
    }
    // All sound off, all notes off and the mode changes that end notes
    // each act where they stand: never folded into an earlier one.
    if (kind == 0xB0 && (data1 == 120 || data1 >= 123))
        return slotLeft ? Room::kSlot : Room::kDrop;
    if (kind != 0xB0 && kind != 0xE0)
        return Room::kDrop;
    // A pedal decides which notes of its channel it holds or softens: moved
    // over one, it would hold a note it never held (left sounding until the
    // pedal next goes up) or let one go that it held. Other values act on
    // the notes as levels, the latest of which wins: one folded over a note
    // is applied a moment early, where one held back would be dropped and
    // stay wrong for every note after it.
    const bool pedal = kind == 0xB0 && (data1 == 64 || data1 == 66 || data1 == 67);
    // The newest pending value of the same controller (or the wheel) takes
    // the new one; once the consumer took it, so did it every older one.
    for (int32_t n = 0, i = w; n < unread; ++n) {
        i = (i + kSize - 1) % kSize;
        uint32_t pending = message[i].load(std::memory_order_relaxed);
        if ((pending & kTaken) != 0 || (pedal && StartsOrEndsNotes(pending, channel)))
            break;
        if ((pending & 0xFF) != status || (kind == 0xB0 && ((pending >> 8) & 0xFF) != data1))
            continue;
        if (message[i].compare_exchange_strong(pending, msg, std::memory_order_relaxed))
            return Room::kFolded;
        break;
    }
    // The room beyond is for what ends notes: of the values, only the
    // sustain pedal let go while it may be down.
    const bool releasesSustain = kind == 0xB0 && data1 == 64 && (msg >> 16 & 0xFF) < 64;
    return releasesSustain && (sustainUp & 1u << channel) == 0 && slotLeft ? Room::kSlot : Room::kDrop;
}

bool CMIDIQueue::StartsOrEndsNotes(uint32_t msg, uint32_t channel) {
    const uint32_t status = msg & 0xFF;
    if (status < 0x80 || status >= 0xF0 || (status & 0x0F) != channel)
        return false;
    const uint32_t data1 = (msg >> 8) & 0xFF;
    return (status & 0xE0) == 0x80 || ((status & 0xF0) == 0xB0 && (data1 == 120 || data1 >= 123));
}

void CMIDIQueue::TrackKeys(uint32_t msg, bool wentIn) {
    const uint32_t status = msg & 0xFF;
    const uint32_t kind = status & 0xF0;
    const uint32_t data1 = (msg >> 8) & 0xFF;
    if (status < 0x80 || status >= 0xF0 || data1 >= 0x80)
        return;
    if (kind == 0xB0 && data1 == 64 && wentIn) {
        const uint16_t bit = static_cast<uint16_t>(1u << (status & 0x0F));
        sustainUp = (msg >> 16 & 0xFF) < 64 ? sustainUp | bit : sustainUp & ~bit;
    }
    uint32_t(&down)[4] = keysDown[status & 0x0F];
    uint32_t(&lost)[4] = keysDropped[status & 0x0F];
    if (kind == 0xB0 && (data1 == 120 || data1 >= 123) && wentIn) {
        std::fill(std::begin(down), std::end(down), 0u);
        std::fill(std::begin(lost), std::end(lost), 0u);
        return;
    }
    if (kind != 0x80 && kind != 0x90)
        return;
    const uint32_t bit = 1u << (data1 % 32);
    const bool on = kind == 0x90 && (msg >> 16 & 0xFF) != 0;
    if (!wentIn) {
        if (on)
            lost[data1 / 32] |= bit;
        return;
    }
    down[data1 / 32] = on ? down[data1 / 32] | bit : down[data1 / 32] & ~bit;
    lost[data1 / 32] &= ~bit;
}

bool CMIDIQueue::HasPending() const {
    return readIndex.load(std::memory_order_relaxed) != writeIndex.load(std::memory_order_acquire);
}

bool CMIDIQueue::NextDue(int32_t currentBlock, uint32_t& stamp) const {
    const int32_t i = readIndex.load(std::memory_order_relaxed);
    if (i == preScanIndex.load(std::memory_order_relaxed) || !NotLater(dueBlock[i], currentBlock))
        return false;
    stamp = timeStamp[i];
    return true;
}

bool CMIDIQueue::PopForPreScan(int32_t currentBlock, uint32_t& msg) {
    const int32_t i = preScanIndex.load(std::memory_order_relaxed);
    if (i == writeIndex.load(std::memory_order_acquire) || !NotLater(dueBlock[i], currentBlock))
        return false;
    if (BlockDistance(dueBlock[i], currentBlock) < 0)
        dueBlock[i] = currentBlock;
    msg = message[i].load(std::memory_order_relaxed) & ~kTaken;
    preScanIndex.store(Next(i), std::memory_order_release);
    return true;
}

bool CMIDIQueue::Pop(int32_t currentBlock, uint32_t& msg, int32_t& valueB, uint32_t& stamp, uint8_t& a,
                     uint8_t& b) {
    const int32_t i = readIndex.load(std::memory_order_relaxed);
    if (i == preScanIndex.load(std::memory_order_relaxed) || !NotLater(dueBlock[i], currentBlock))
        return false;
    // Marked in the same step as read: a value folded in later would be lost.
    msg = message[i].fetch_or(kTaken, std::memory_order_relaxed) & ~kTaken;
    valueB = noteValueB[i];
    stamp = timeStamp[i];
    a = flagA[i];
    b = flagB[i];
    // Release: the producer may reuse the slot once it sees the new index.
    readIndex.store(Next(i), std::memory_order_release);
    return true;
}
