// One record of the running recording, for the recorder's own files.
#pragma once

#include "record/json_line.h"

#include <cstdint>

// Performance-counter ticks, and the microseconds since a tick count.
int64_t RecordTicks();
int64_t RecordMicrosSince(int64_t ticks);

// Holds the recorder's lock from construction until the record is in the file: only to
// format and write this one record. False (and nothing written) when no recording runs. A
// recording that reaches its size limit, or cannot be written on, is ended here, and the
// line that says so is logged after the lock is left.
class RecordWriter {
  public:
    explicit RecordWriter(const char* kind);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    explicit operator bool() const { return m_on; }
    trv::JsonLine& json() { return m_json; }

  private:
    trv::JsonLine m_json;
    bool m_on;
};

// One record of `kind`, its fields added by `fields(json)`; nothing when no recording runs
// (also when it ended since the caller looked).
template <class Fields> void WriteRecord(const char* kind, Fields fields) {
    RecordWriter w(kind);
    if (w) {
        fields(w.json());
    }
}
