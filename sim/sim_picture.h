// The simulated camera's test picture. It is defined over the whole sensor: colour bars in the
// top third (white, yellow, cyan, green, magenta, red, blue, black from left to right), below
// them a gradient (red rises to the right, green downwards, blue = 255 - (red + green) / 2), a
// white bar in the gradient that moves right with every frame, and the frame number in large
// white digits on a black box. A monochrome camera writes the same in grey. An image shows the
// part of the sensor its area of interest covers, every step-th sensor pixel, binned pixels as
// the average of their bin.
//
// The frame number is also in the first four bytes of the image memory and in its last four
// (little-endian); the first four are written last, so a frame whose two numbers differ was
// read while the camera wrote the next one. Pure code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct PictureGeometry {
    int32_t sensorWidth = 0, sensorHeight = 0;
    int32_t x = 0, y = 0;          // sensor pixel at the image's top-left corner
    int32_t width = 0, height = 0; // image pixels
    int32_t stepX = 1, stepY = 1;  // sensor pixels per image pixel
    int32_t binX = 1, binY = 1;    // of which averaged (the rest skipped)
    bool mono = false;             // 1 byte a pixel, else 3 (blue, green, red)

    size_t Bytes() const {
        return static_cast<size_t>(width) * static_cast<size_t>(height) * (mono ? 1 : 3);
    }
    bool operator==(const PictureGeometry& o) const;
    bool operator!=(const PictureGeometry& o) const { return !(*this == o); }
};

// The still part of an image, once per geometry.
void RenderBackground(const PictureGeometry& g, std::vector<uint8_t>& out);

// Writes frame `frame` into `memory` (g.Bytes() long): the background, then the moving bar,
// the digits, the last four bytes and the first four.
void WritePicture(const PictureGeometry& g, const std::vector<uint8_t>& background, uint32_t frame,
                  uint8_t* memory);

} // namespace sim
