// What of a record a replay compares with the recording: everything but what cannot be the same
// from run to run. Pure code.
#pragma once

#include "replay/recording_reader.h"

#include <string>

namespace trv::replay {

// How a replay's records are read beside the recording's: the replay's configuration folder
// stands for the recording's.
struct Mapping {
    std::string replayDir;
    std::string recordedDir;
};

// Whether a record takes part in the comparison: not the header, thread and end records, not
// the recorder's own log lines ("TrvRecord: ") nor the slow-frame lines, whose being there
// depends on time alone, and no kind this reader does not know.
bool Compared(const Record& r);

// The record as compared: without number, time, thread and durations; addresses only as
// present or null; times in log lines and thumbnails' pixels left out; the replay's folder
// written as the recording's (`m` null for the recording's own records).
std::string Comparable(const Record& r, const Mapping* m);

// A log line with its times (durations, the build date) masked.
std::string MaskTimes(const std::string& line);

} // namespace trv::replay
