// Append rule of the shared log buffer: one NUL-terminated string of UTF-16 code units
// that never exceeds its capacity, terminator included. Pure code, no OS headers.
#pragma once

#include <cstddef>

namespace trv {

// Capacity of the shared buffer in code units, terminator included.
constexpr size_t kLogCapacity = 5000;

// Length of the string in the buffer; the capacity when no terminator lies inside it.
template <class Unit> size_t LogTextLength(const Unit* buf, size_t capacity) {
    size_t n = 0;
    while (n < capacity && buf[n] != 0) {
        ++n;
    }
    return n;
}

// Whether a piece of `length` units, plus its terminator, may be offered to the buffer at all.
constexpr bool LogPieceFits(size_t length, size_t capacity = kLogCapacity) {
    return length < capacity;
}

// Appends `length` units produced by `unitAt(i)` and a terminator, when the text already in
// the buffer leaves room for all of them; otherwise appends nothing. Returns whether it did.
template <class Unit, class UnitAt>
bool LogAppend(Unit* buf, size_t capacity, size_t length, UnitAt unitAt) {
    const size_t used = LogTextLength(buf, capacity);
    if (used >= capacity || length + 1 > capacity - used) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        buf[used + i] = unitAt(i);
    }
    buf[used + length] = 0;
    return true;
}

} // namespace trv
