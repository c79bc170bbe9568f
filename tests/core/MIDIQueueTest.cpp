#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <thread>
#include <vector>

#include "core/CMIDIQueue.h"
#include "platform/CGlobalData.h"

namespace {

// Slot of the most recent push.
int32_t LastDue(const CMIDIQueue& q) {
    return q.dueBlock[(q.writeIndex.load() + CMIDIQueue::kSize - 1) % CMIDIQueue::kSize];
}

struct Popped {
    uint32_t message = 0;
    int32_t b = 0;
    uint32_t stamp = 0;
    uint8_t flagA = 9, flagB = 9;
};

bool PopBoth(CMIDIQueue& q, int32_t block, Popped& out) {
    uint32_t scanned = 0;
    if (!q.PopForPreScan(block, scanned))
        return false;
    const bool ok = q.Pop(block, out.message, out.b, out.stamp, out.flagA, out.flagB);
    EXPECT_EQ(out.message, scanned);
    return ok;
}

} // namespace

TEST(MIDIQueueTest, DueBlocksFollowTheTimeStampsOneRenderCallBehind) {
    // 32 frames at 44100 Hz: 725.6 us per block.
    ASSERT_NEAR(g_GlobalData.msPerBlock, 32000.0f / 44100.0f, 1e-6f);
    CMIDIQueue q;
    q.Push(10, 0x7F3C90, 1000);
    EXPECT_EQ(LastDue(q), 11) << "before any render call: the next block";
    // A call of 8 blocks began with block 40, its first frame due at t0.
    const uint32_t t0 = 100000;
    q.SetRenderAnchor(40, t0, 8);
    const struct {
        int32_t current;
        uint32_t stamp;
        int32_t due;
    } rows[] = {
        {40, t0, 48},              // at the call's first frame: one call later
        {40, t0 + 725, 48},        // still in its first block
        {40, t0 + 726, 49},
        {45, t0 + 5 * 726, 53},    // wherever the call is when it arrives
        {48, t0 + 8 * 726, 56},    // played in the next cycle before its call ran
        {48, t0 + 11 * 726, 59},
        {40, t0 - 1500, 45},       // played before the call's frame
        {48, t0 - 1500, 48},       // late: due at once, never before now
        {50, t0, 50},
        {48, t0 + 16 * 726, 64},   // two calls on: as far as an event goes
        {40, t0 + 16 * 726, 56},   // clamped to two calls past the present
        {48, t0 + 17 * 726, 48},   // no call since: due as rendering goes on
        {48, t0 + 0x7FFFFFFFu, 48},
        {48, t0 + 0x80000000u, 48},  // half the clock's range back
    };
    for (const auto& r : rows) {
        q.Push(r.current, 1, r.stamp);
        EXPECT_EQ(LastDue(q), r.due) << r.current << " " << r.stamp - t0;
    }
    // Calls of 1024 frames: two of them ahead at most.
    q.SetRenderAnchor(0, t0, 32);
    q.Push(0, 1, t0 + 20 * 726);
    EXPECT_EQ(LastDue(q), 52);
    q.Push(8, 1, t0 + 60 * 726);
    EXPECT_EQ(LastDue(q), 72);
}

TEST(MIDIQueueTest, WrappedTimeStampCountsForward) {
    CMIDIQueue q;
    q.SetRenderAnchor(100, 0xFFFFFF00u, 8);
    q.Push(100, 2, 0x200u);  // 768 us after the call's first frame
    EXPECT_EQ(LastDue(q), 109);
}

TEST(MIDIQueueTest, EventsComeOutWhenDueAndPreScannedFirst) {
    CMIDIQueue q;
    EXPECT_FALSE(q.HasPending());
    q.Push(0, 0x403C90, 500);
    EXPECT_TRUE(q.HasPending());
    Popped e;
    EXPECT_FALSE(PopBoth(q, 0, e)) << "due in block 1, not block 0";
    uint32_t m = 0;
    ASSERT_TRUE(q.PopForPreScan(1, m));
    EXPECT_EQ(m, 0x403C90u);
    // Pushed after the pre-scan of the block: not handled before it is
    // pre-scanned, even though it is due.
    q.Push(1, 0x99, 400);
    ASSERT_TRUE(q.Pop(1, e.message, e.b, e.stamp, e.flagA, e.flagB));
    EXPECT_EQ(e.message, 0x403C90u);
    EXPECT_EQ(e.b, -1);
    EXPECT_EQ(e.stamp, 500u);
    EXPECT_EQ(e.flagA, 0);
    EXPECT_EQ(e.flagB, 0);
    EXPECT_FALSE(q.Pop(1, e.message, e.b, e.stamp, e.flagA, e.flagB));
    // A pre-scan in a later block lifts the passed due block to the present.
    ASSERT_TRUE(q.PopForPreScan(9, m));
    EXPECT_EQ(q.dueBlock[1], 9);
    ASSERT_TRUE(q.Pop(9, e.message, e.b, e.stamp, e.flagA, e.flagB));
    EXPECT_EQ(e.message, 0x99u);
    EXPECT_FALSE(q.HasPending());
}

TEST(MIDIQueueTest, FullRingDropsNewEventsAndCountsThem) {
    CMIDIQueue q;
    for (uint32_t i = 0; i < 300; ++i)
        q.Push(0, i, 0);
    EXPECT_EQ(q.DroppedCount(), 45u);
    Popped e;
    for (uint32_t i = 0; i < 255; ++i) {
        ASSERT_TRUE(PopBoth(q, 5, e)) << i;
        EXPECT_EQ(e.message, i);
    }
    EXPECT_FALSE(PopBoth(q, 5, e));
    EXPECT_FALSE(q.HasPending());
    q.Push(5, 1234, 0);  // no render call yet: due in the next block
    ASSERT_TRUE(PopBoth(q, 6, e));
    EXPECT_EQ(e.message, 1234u);
}

TEST(MIDIQueueTest, SeveralInputsPushAtOnce) {
    CMIDIQueue q;
    constexpr int kThreads = 4;
    constexpr uint32_t kPerThread = 20000;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t)
        producers.emplace_back([&q, &running, t] {
            // Clock bytes carrying the count: with the ring full they are
            // dropped, never kept or folded, so each arrives or is counted.
            for (uint32_t i = 0; i < kPerThread; ++i)
                q.Push(0, static_cast<uint32_t>(t) << 24 | i << 8 | 0xF8u, 7);
            running.fetch_sub(1);
        });
    // Each input's events come out in its own order, none twice.
    uint32_t next[kThreads] = {};
    uint32_t received = 0;
    Popped e;
    while (running.load() > 0 || q.HasPending()) {
        while (PopBoth(q, 100, e)) {
            const uint32_t t = e.message >> 24;
            const uint32_t i = e.message >> 8 & 0xFFFF;
            ASSERT_LT(t, static_cast<uint32_t>(kThreads));
            ASSERT_GE(i, next[t]);
            next[t] = i + 1;
            ++received;
        }
    }
    for (auto& p : producers)
        p.join();
    EXPECT_EQ(received + q.DroppedCount(), kThreads * kPerThread);
}

// With the ring at its ordinary limit (the consumer held up), what ends a
// note still goes in and a controller or wheel value is folded into the
// pending one of its channel and number, never into a slot the consumer
// took, and a pedal never over a note of its channel; a value with nothing
// to fold into is dropped, unless it lets the sustain pedal go. Other events
// are dropped and counted, and all once no slot is left.
TEST(MIDIQueueTest, AFullRingKeepsWhatEndsNotesAndTheLatestValues) {
    CMIDIQueue q;
    // Wheel, mod wheel, channel 1's sustain up, channel 2's down, key 60.
    const uint32_t pending[] = {0x0000E0u, 0x0501B0u, 0x0040B0u, 0x7040B1u, 0x643C90u};
    for (uint32_t m : pending)
        q.Push(0, m, 0);
    const int kept = static_cast<int>(std::size(pending));
    for (int i = kept; i < CMIDIQueue::kOrdinary; ++i)
        q.Push(0, 0x7F, 0);
    // Each with whether it takes a slot: a note-on, its note-off (nothing to
    // end), key 60's note-off, channel 2's pedal (only channel 1's notes
    // between: folded), velocity 0 for a key never seen, all notes off twice
    // around all sound off (each ends what came before it), the wheel and the
    // mod wheel (folded), a controller not pending, another channel's wheel
    // (nothing to fold into), a program change, a clock, the sustain pressed
    // behind key 60 (its notes stand between), a note-off and channel 2's
    // pedal let go behind it (a slot: it ends notes), and again (already up).
    const std::pair<uint32_t, bool> rows[] = {
        {0x643D90, false}, {0x003D80, false}, {0x003C80, true},  {0x7F40B1, false}, {0x003E90, true},
        {0x007BB0, true},  {0x0078B1, true},  {0x007BB0, true},  {0x4000E0, false}, {0x0901B0, false},
        {0x5A07B0, false}, {0x0000E1, false}, {0x000CC0, false}, {0xF8, false},     {0x7F40B0, false},
        {0x003D81, true},  {0x0040B1, true},  {0x003D81, true},  {0x0040B1, false}};
    for (const auto& [message, slot] : rows)
        q.Push(0, message, 0);
    EXPECT_EQ(q.DroppedCount(), 8u);
    Popped e;
    ASSERT_TRUE(PopBoth(q, 5, e));
    EXPECT_EQ(e.message, 0x4000E0u);
    q.Push(0, 0x2000E0, 0);  // the wheel's slot was taken: nothing to fold into
    EXPECT_EQ(q.DroppedCount(), 9u);
    for (uint32_t folded : {0x0901B0u, 0x0040B0u, 0x7F40B1u}) {
        ASSERT_TRUE(PopBoth(q, 5, e));
        EXPECT_EQ(e.message, folded);
    }
    for (int i = kept - 1; i < CMIDIQueue::kOrdinary; ++i)
        ASSERT_TRUE(PopBoth(q, 5, e));
    for (const auto& [message, slot] : rows)
        if (slot) {
            ASSERT_TRUE(PopBoth(q, 5, e));
            EXPECT_EQ(e.message, message);
        }
    EXPECT_FALSE(q.HasPending());

    CMIDIQueue full;  // note-offs of keys never seen
    for (uint32_t i = 0; i < CMIDIQueue::kSize + 10; ++i)
        full.Push(0, 0x80u | (i % 16) | (i / 16 % 128) << 8, 0);
    EXPECT_EQ(full.DroppedCount(), 11u);

    // Controllers with no pending value leave the room beyond the ordinary
    // limit to a sounding key's note-off.
    CMIDIQueue values;
    values.Push(0, 0x643C90, 0);
    for (int i = 1; i < CMIDIQueue::kOrdinary; ++i)
        values.Push(0, 0x7F, 0);
    for (uint32_t c = 0; c < 300; ++c)
        values.Push(0, 0x4000B0u | (c % 16) | (c / 16) << 8, 0);
    values.Push(0, 0x003C80, 0);
    EXPECT_EQ(values.DroppedCount(), 300u);
    EXPECT_EQ(values.MessageAt(CMIDIQueue::kOrdinary), 0x003C80u);
}
