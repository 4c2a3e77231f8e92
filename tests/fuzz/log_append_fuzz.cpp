// The log buffer's append rule: whatever is in the buffer and whatever is offered, the string
// and its terminator stay within the capacity, and a piece goes in whole or not at all.
#include "infra/log_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // First byte: capacity 1..256; then pieces separated by 0xFF, the buffer's prior content
    // taken from the first piece (without terminator when it fills the buffer).
    const size_t capacity = 1 + data[0];
    std::vector<char16_t> buf(capacity + 8, u'#'); // guard units after the capacity
    size_t pos = 1;
    size_t prior = 0;
    while (pos < size && data[pos] != 0xFF && prior < capacity) {
        buf[prior++] = static_cast<char16_t>(data[pos++] | 1);
    }
    if (prior < capacity) {
        buf[prior] = 0;
    }
    while (pos < size) {
        ++pos; // separator
        const size_t start = pos;
        while (pos < size && data[pos] != 0xFF) {
            ++pos;
        }
        const size_t length = pos - start;
        const size_t before = trv::LogTextLength(buf.data(), capacity);
        const std::vector<char16_t> copy(buf.begin(), buf.begin() + capacity);
        const bool appended = trv::LogAppend(buf.data(), capacity, length, [&](size_t i) {
            return static_cast<char16_t>(data[start + i] | 1);
        });
        const size_t after = trv::LogTextLength(buf.data(), capacity);
        if (appended) {
            if (after != before + length || after >= capacity) {
                std::abort();
            }
        } else if (std::memcmp(copy.data(), buf.data(), capacity * sizeof(char16_t)) != 0) {
            std::abort(); // a dropped piece leaves the buffer untouched
        }
        for (size_t g = capacity; g < buf.size(); ++g) {
            if (buf[g] != u'#') {
                std::abort();
            }
        }
    }
    return 0;
}
