#include "os/OStop.h"

#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace os {

namespace {

// Lock-free, so a signal handler may set it.
std::atomic<int> g_stopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Posted with every stop (a handler may post a semaphore), so a waiter
// sleeps instead of waking again and again to look.
sem_t g_stopPosted;
const bool g_stopPostedReady = sem_init(&g_stopPosted, 0, 0) == 0;

} // namespace

void PostStop()
{
    g_stopRequested = 1;
    if (g_stopPostedReady) sem_post(&g_stopPosted);
}

bool StopRequested()
{
    return g_stopRequested.load() != 0;
}

void WaitForStopPost()
{
    if (g_stopPostedReady)
        sem_wait(&g_stopPosted);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace os
