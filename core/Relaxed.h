#pragma once
// A word shared between the GUI thread and the audio thread without a lock:
// every access is a whole relaxed atomic load or store, so the editor may
// rewrite a step while the sequencer plays it, and neither side ever sees a
// torn value. Reads and writes look like a plain field's.
#include <atomic>

template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T value = T{}) : m_value(value) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed& other) {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); }
    T load() const { return m_value.load(std::memory_order_relaxed); }
    void store(T value) { m_value.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> m_value;
};
