// Conversion of the camera's image memory into the 24-bit frame handed to the host.
// Pure code, no OS headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv {

// Writes each 8-bit pixel three times: dst holds 3 * pixels bytes.
void ExpandMono8To24(const uint8_t* src, uint8_t* dst, size_t pixels);

// Copies 24-bit pixels unchanged.
void Copy24(const uint8_t* src, uint8_t* dst, size_t bytes);

// The plain loop: the fallback, and the reference the fast paths are tested against.
void ExpandMono8To24Plain(const uint8_t* src, uint8_t* dst, size_t pixels);

} // namespace trv
