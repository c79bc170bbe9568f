#pragma once
// Periodic timer thread. Ticks are paced by absolute deadlines on the
// monotonic clock, so a slow tick does not shift the ones after it; a tick
// that overran its period is not repeated to catch up.
#include <atomic>
#include <cstdint>
#include <thread>

namespace os {

class OTimer {
public:
    using Callback = void (*)(void* user);

    OTimer() = default;
    ~OTimer();
    OTimer(const OTimer&) = delete;
    OTimer& operator=(const OTimer&) = delete;

    // Starts ticking every periodMs milliseconds (1..10000); a running timer
    // is stopped first. False when the period is out of range or no thread
    // could be made.
    bool Start(int32_t periodMs, Callback callback, void* user);
    // Stops ticking. When it returns no tick is running and none will run,
    // unless it is called from a tick itself: then the tick in progress is
    // the last one.
    void Stop();
    bool IsRunning() const { return m_running.load(std::memory_order_relaxed); }

private:
    void Run(int64_t periodNs);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    Callback m_callback = nullptr;
    void* m_user = nullptr;
};

} // namespace os
