#include <gtest/gtest.h>

#include "core/CProgMsgQueue.h"

TEST(CProgMsgQueue, KeepsOrderAndRefusesAFullQueue) {
    CProgMsgQueue q;
    uint32_t m = 99, v = 99;
    EXPECT_FALSE(q.Pop(&m, &v));
    EXPECT_EQ(m, 99u);

    for (uint32_t i = 0; i < 255; ++i)
        EXPECT_TRUE(q.Push(i % 16, i)) << i;
    // The 256th pair would make the ring look empty: it is dropped.
    EXPECT_FALSE(q.Push(7, 1000));
    for (uint32_t i = 0; i < 255; ++i) {
        ASSERT_TRUE(q.Pop(&m, &v)) << i;
        EXPECT_EQ(m, i % 16);
        EXPECT_EQ(v, i);
    }
    EXPECT_FALSE(q.Pop(&m, &v));
}

TEST(CProgMsgQueue, WrapsAroundTheRing) {
    CProgMsgQueue q;
    uint32_t m = 0, v = 0;
    for (uint32_t i = 0; i < 600; ++i) {
        ASSERT_TRUE(q.Push(i, i * 2));
        ASSERT_TRUE(q.Push(i + 1, i * 2 + 1));
        ASSERT_TRUE(q.Pop(&m, &v));
        EXPECT_EQ(v, i * 2);
        ASSERT_TRUE(q.Pop(&m, &v));
        EXPECT_EQ(m, i + 1);
        EXPECT_EQ(v, i * 2 + 1);
    }
    EXPECT_FALSE(q.Pop(nullptr, nullptr));
}
