#include "json_line.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace trv {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

} // namespace

JsonLine::JsonLine(char* buffer, size_t capacity, Sink sink, void* context)
    : m_buffer(buffer), m_capacity(capacity), m_sink(sink), m_context(context) {}

// Only when the buffer holds something: it is full, or the line has ended.
void JsonLine::Flush() {
    if (!m_failed && !m_sink(m_context, m_buffer, m_used)) {
        m_failed = true;
    }
    m_written += m_used;
    m_used = 0;
}

void JsonLine::Put(char c) {
    if (m_used == m_capacity) {
        Flush();
    }
    m_buffer[m_used++] = c;
}

void JsonLine::PutText(const char* text) {
    for (; *text != 0; ++text) {
        Put(*text);
    }
}

// A comma goes before every value and key but the first of its object or array.
void JsonLine::BeginValue() {
    if (m_comma) {
        Put(',');
    }
    m_comma = true;
}

void JsonLine::Open() {
    BeginValue();
    Put('{');
    m_comma = false;
}

void JsonLine::Close() {
    Put('}');
    m_comma = true;
}

void JsonLine::OpenArray() {
    BeginValue();
    Put('[');
    m_comma = false;
}

void JsonLine::CloseArray() {
    Put(']');
    m_comma = true;
}

JsonLine& JsonLine::Key(const char* name) {
    BeginValue();
    Put('"');
    PutText(name);
    Put('"');
    Put(':');
    m_comma = false;
    return *this;
}

void JsonLine::UInt(uint64_t value) {
    char digits[20];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    BeginValue();
    while (n > 0) {
        Put(digits[--n]);
    }
}

void JsonLine::Int(int64_t value) {
    if (value >= 0) {
        UInt(static_cast<uint64_t>(value));
        return;
    }
    BeginValue();
    Put('-');
    m_comma = false;
    // Negated as unsigned: INT64_MIN has no positive counterpart.
    UInt(0 - static_cast<uint64_t>(value));
}

void JsonLine::Double(double value) {
    if (std::isnan(value)) {
        BeginValue();
        PutText("\"nan\"");
        return;
    }
    if (std::isinf(value)) {
        BeginValue();
        PutText(value > 0 ? "\"inf\"" : "\"-inf\"");
        return;
    }
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, value);
    *r.ptr = 0;
    BeginValue();
    PutText(text);
}

void JsonLine::Bool(bool value) {
    BeginValue();
    PutText(value ? "true" : "false");
}

void JsonLine::Null() {
    BeginValue();
    PutText("null");
}

void JsonLine::Address(uint64_t value) {
    if (value == 0) {
        Null();
        return;
    }
    char digits[16];
    size_t n = 0;
    for (; value != 0; value >>= 4) {
        digits[n++] = kHexDigits[value & 0xf];
    }
    BeginValue();
    PutText("\"0x");
    while (n > 0) {
        Put(digits[--n]);
    }
    Put('"');
}

void JsonLine::Escaped(uint32_t unit) {
    switch (unit) {
    case '"':
        PutText("\\\"");
        return;
    case '\\':
        PutText("\\\\");
        return;
    case '\n':
        PutText("\\n");
        return;
    case '\r':
        PutText("\\r");
        return;
    case '\t':
        PutText("\\t");
        return;
    default:
        break;
    }
    if (unit >= 0x20 && unit < 0x7f) {
        Put(static_cast<char>(unit));
        return;
    }
    if (unit > 0x10ffff) {
        unit = 0xfffd; // no code point
    }
    if (unit > 0xffff) { // a 32-bit wchar_t: as its surrogate pair
        Escaped(0xd800 + ((unit - 0x10000) >> 10));
        Escaped(0xdc00 + ((unit - 0x10000) & 0x3ff));
        return;
    }
    PutText("\\u");
    for (int shift = 12; shift >= 0; shift -= 4) {
        Put(kHexDigits[(unit >> shift) & 0xf]);
    }
}

void JsonLine::Text(const char* bytes, size_t most) {
    if (bytes == nullptr) {
        Null();
        return;
    }
    BeginValue();
    Put('"');
    for (size_t i = 0; i < most && bytes[i] != 0; ++i) {
        Escaped(static_cast<unsigned char>(bytes[i]));
    }
    Put('"');
}

void JsonLine::Hex(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    BeginValue();
    Put('"');
    for (size_t i = 0; i < size; ++i) {
        Put(kHexDigits[p[i] >> 4]);
        Put(kHexDigits[p[i] & 0xf]);
    }
    Put('"');
}

void JsonLine::Int32Array(const void* data, size_t size) {
    OpenArray();
    for (size_t at = 0; at + 4 <= size; at += 4) {
        int32_t v;
        std::memcpy(&v, static_cast<const char*>(data) + at, 4);
        Int(v);
    }
    CloseArray();
}

void JsonLine::UInt32Array(const void* data, size_t size) {
    OpenArray();
    for (size_t at = 0; at + 4 <= size; at += 4) {
        uint32_t v;
        std::memcpy(&v, static_cast<const char*>(data) + at, 4);
        UInt(v);
    }
    CloseArray();
}

void JsonLine::DoubleArray(const void* data, size_t size) {
    OpenArray();
    for (size_t at = 0; at + 8 <= size; at += 8) {
        double v;
        std::memcpy(&v, static_cast<const char*>(data) + at, 8);
        Double(v);
    }
    CloseArray();
}

bool JsonLine::End() {
    Put('\n');
    Flush();
    m_comma = false;
    return !m_failed;
}

} // namespace trv
