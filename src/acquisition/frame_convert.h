// Conversion of the camera's image memory into the 24-bit frame handed to the host.
// Pure code, no OS headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv {

// Writes each 8-bit pixel three times: dst holds 3 * pixels bytes. Takes the fastest path
// this CPU supports, chosen on the first call. src and dst must not overlap.
void ExpandMono8To24(const uint8_t* src, uint8_t* dst, size_t pixels);

// Copies 24-bit pixels unchanged.
void Copy24(const uint8_t* src, uint8_t* dst, size_t bytes);

// The plain loop: the fallback, and the reference the fast paths are tested against.
void ExpandMono8To24Plain(const uint8_t* src, uint8_t* dst, size_t pixels);

// The expansion's paths, so that tests and benchmarks can run each one on its own. The
// streaming ones write past the caches: chosen for frames too large to stay cached anyway.
enum class ConvertPath { Plain, Ssse3, Avx2, Ssse3Stream, Avx2Stream };

// Whether this build has the path and this CPU (and its OS) can run it.
bool ConvertPathSupported(ConvertPath path);
// The path ExpandMono8To24 takes for a frame of `pixels` (and the benchmarks name): the widest
// supported instruction set, streaming when the 3 * pixels output bytes reach
// StreamingThresholdBytes().
ConvertPath ChosenConvertPath(size_t pixels);
// Half the last-level cache of this CPU (a fixed guess when the CPU does not tell).
size_t StreamingThresholdBytes();
// Runs the given path; an unsupported one falls back to the plain loop.
void ExpandMono8To24With(ConvertPath path, const uint8_t* src, uint8_t* dst, size_t pixels);

} // namespace trv
