// A word the search thread writes and the command loop may read at any time
// (status line, stop requests). Relaxed order is all either side needs; a
// plain shared word would be a data race.
#pragma once
#include <atomic>

template <class T>
class Relaxed {
public:
    constexpr Relaxed(T v = T()) : value(v) {}
    operator T() const { return value.load(std::memory_order_relaxed); }
    Relaxed& operator=(T v) {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
    // Only one thread ever writes, so a load and a store (no locked
    // read-modify-write) are enough and keep the hot path cheap.
    void increment() { value.store(value.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

private:
    std::atomic<T> value;
};
