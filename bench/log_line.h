// The log line both log benchmarks write: the frame path's slow-frame line, with one more
// number of each kind, built from pieces the way every log line of the plug-in is.
#pragma once

#include "infra/trv_log.h"

#include <cstdint>

namespace bench {

inline void WriteLogLine(uint32_t n) {
    gLog.Write("***** UEYECAM IS_UEYE_MESSAGE m_nBitsPerPixel=");
    LogInt(8);
    gLog.Write(" time=");
    LogUInt(n);
    gLog.WriteW(L" exposure=");
    LogDouble(12.5 + n % 7);
    gLog.Write("\n");
}

// Pieces per line above.
constexpr int kPiecesPerLine = 7;

} // namespace bench
