// One JSON record on one line, built in a fixed buffer without allocating. When the buffer
// fills, what it holds goes to the sink, so a record of any length reaches the file whole as
// long as the caller keeps the file to itself until End. Pure code, no OS headers.
//
// Texts are written as ASCII: '"' and '\' escaped, every other code unit below 0x20 or above
// 0x7e as \uXXXX (narrow bytes as the code points 0 to 255, UTF-16 units one by one, so an
// unpaired surrogate is kept as it was).
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv {

class JsonLine {
  public:
    // Takes `size` bytes of the line; false when they could not be written.
    using Sink = bool (*)(void* context, const char* data, size_t size);

    // `capacity`: 1 or more bytes.
    JsonLine(char* buffer, size_t capacity, Sink sink, void* context);
    JsonLine(const JsonLine&) = delete;
    JsonLine& operator=(const JsonLine&) = delete;

    void Open();
    void Close();
    void OpenArray();
    void CloseArray();
    // `name` is written as it is: the record's own field names need no escaping.
    JsonLine& Key(const char* name);

    void Int(int64_t value);
    void UInt(uint64_t value);
    // Shortest text that reads back as the same double; "inf", "-inf", "nan" as strings.
    void Double(double value);
    void Bool(bool value);
    void Null();
    // A pointer-sized value as the string "0x..." (lower-case hex), or null for 0.
    void Address(uint64_t value);
    // Bytes up to the first 0 or `most`, each byte one code point. Without `most`: text of the
    // plug-in's own, always terminated; a limit only where another program wrote the text.
    void Text(const char* bytes, size_t most = SIZE_MAX);
    // Wide text (UTF-16, or UTF-32 where wchar_t has 32 bits) up to the first 0 or `most`
    // units; null for a null pointer.
    template <class Unit> void Wide(const Unit* units, size_t most = SIZE_MAX) {
        static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4, "UTF-16 or UTF-32 units");
        if (units == nullptr) {
            Null();
            return;
        }
        BeginValue();
        Put('"');
        for (size_t i = 0; i < most && units[i] != 0; ++i) {
            Escaped(static_cast<uint32_t>(units[i]));
        }
        Put('"');
    }
    // `size` bytes as one string of lower-case hex digits.
    void Hex(const void* data, size_t size);
    // Arrays of the little-endian 32-bit words or doubles in `size` bytes (a rest is left out).
    void Int32Array(const void* data, size_t size);
    void UInt32Array(const void* data, size_t size);
    void DoubleArray(const void* data, size_t size);

    // Ends the line with '\n' and hands the rest to the sink. False when any part of the line
    // could not be written.
    bool End();
    // Bytes handed to the sink so far.
    uint64_t Written() const { return m_written; }

  private:
    void BeginValue();
    void Put(char c);
    void PutText(const char* text);
    void Escaped(uint32_t unit);
    void Flush();

    char* m_buffer;
    size_t m_capacity;
    size_t m_used = 0;
    Sink m_sink;
    void* m_context;
    uint64_t m_written = 0;
    bool m_comma = false;
    bool m_failed = false;
};

} // namespace trv
