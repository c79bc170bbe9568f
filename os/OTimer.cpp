#include "os/OTimer.h"

#include <ctime>

namespace os {

OTimer::~OTimer() { Stop(); }

bool OTimer::Start(int32_t periodMs, Callback callback, void* user) {
    Stop();
    if (periodMs < 1 || periodMs > 10000 || callback == nullptr) return false;
    if (m_thread.joinable()) return false; // stopped from its own tick, not yet gone
    m_callback = callback;
    m_user = user;
    m_stop.store(false, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_relaxed);
    try {
        m_thread = std::thread(&OTimer::Run, this, int64_t(periodMs) * 1000000);
    } catch (...) {
        m_running.store(false, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void OTimer::Stop() {
    m_stop.store(true, std::memory_order_release);
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id()) return;
    m_thread.join();
    m_running.store(false, std::memory_order_relaxed);
}

void OTimer::Run(int64_t periodNs) {
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    auto advance = [periodNs](timespec& t) {
        int64_t ns = int64_t(t.tv_nsec) + periodNs;
        t.tv_sec += time_t(ns / 1000000000);
        t.tv_nsec = long(ns % 1000000000);
    };
    for (;;) {
        advance(next);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
            if (m_stop.load(std::memory_order_acquire)) break;
        }
        if (m_stop.load(std::memory_order_acquire)) break;
        m_callback(m_user);
        // After a long tick, pace from now rather than firing a burst.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > next.tv_sec || (now.tv_sec == next.tv_sec && now.tv_nsec > next.tv_nsec))
            next = now;
    }
    m_running.store(false, std::memory_order_relaxed);
}

} // namespace os
