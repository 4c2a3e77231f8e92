#include "sim_picture.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

struct Rgb {
    uint8_t r, g, b;
};

uint8_t Grey(Rgb c) {
    return static_cast<uint8_t>((77 * c.r + 150 * c.g + 29 * c.b) >> 8);
}

constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kBlack = {0, 0, 0};
constexpr int kMostDigits = 8; // the digits' size is chosen for this many

// 5 x 7 digits, a row a byte, the leftmost column in bit 4.
constexpr uint8_t kFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};

// Where the parts lie on a sensor, in sensor pixels.
struct Layout {
    int32_t barsBottom;
    int32_t barWidth, barStep; // the moving bar
    int32_t scale;             // sensor pixels per font dot
    int32_t digitsX, digitsY;

    Layout(int32_t w, int32_t h) {
        barsBottom = h / 3;
        barWidth = std::max(2, w / 40);
        barStep = std::max(1, w / 64);
        scale = std::max(1, std::min(h / 26, w / (6 * kMostDigits + 2)));
        digitsX = w / 32 + scale;
        digitsY = barsBottom + (h - barsBottom) / 8 + scale;
    }
};

int64_t CeilDiv(int64_t a, int64_t b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// Image pixels [from, to) whose sensor pixel lies in [s0, s1).
void ToImage(int64_t s0, int64_t s1, int32_t origin, int32_t step, int32_t size, int32_t& from,
             int32_t& to) {
    from = static_cast<int32_t>(std::clamp<int64_t>(CeilDiv(s0 - origin, step), 0, size));
    to = static_cast<int32_t>(std::clamp<int64_t>(CeilDiv(s1 - origin, step), 0, size));
}

// Fills the image pixels that sample the sensor rectangle [x0, x1) x [y0, y1).
void Fill(const PictureGeometry& g, uint8_t* memory, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
          Rgb c) {
    int32_t u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    ToImage(x0, x1, g.x, g.stepX, g.width, u0, u1);
    ToImage(y0, y1, g.y, g.stepY, g.height, v0, v1);
    if (u0 >= u1) {
        return;
    }
    const size_t pixel = g.mono ? 1 : 3;
    for (int32_t v = v0; v < v1; ++v) {
        uint8_t* p = memory + (static_cast<size_t>(v) * g.width + u0) * pixel;
        if (g.mono) {
            std::memset(p, Grey(c), static_cast<size_t>(u1 - u0));
            continue;
        }
        for (int32_t u = u0; u < u1; ++u, p += 3) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
}

void Number(uint8_t* p, uint32_t frame) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(frame >> (8 * i));
    }
}

} // namespace

bool PictureGeometry::operator==(const PictureGeometry& o) const {
    return sensorWidth == o.sensorWidth && sensorHeight == o.sensorHeight && x == o.x && y == o.y &&
           width == o.width && height == o.height && stepX == o.stepX && stepY == o.stepY &&
           binX == o.binX && binY == o.binY && mono == o.mono;
}

namespace {

// The still picture of one sensor, by sensor column and row.
struct Still {
    int32_t barsBottom;
    std::vector<uint8_t> bar, red; // by column
    std::vector<uint8_t> green;    // by row

    Still(int32_t w, int32_t h) : barsBottom(Layout(w, h).barsBottom) {
        const int32_t rows = h - barsBottom;
        for (int32_t x = 0; x < w; ++x) {
            bar.push_back(static_cast<uint8_t>(static_cast<int64_t>(x) * 8 / w));
            red.push_back(
                static_cast<uint8_t>(w > 1 ? static_cast<int64_t>(x) * 255 / (w - 1) : 0));
        }
        for (int32_t y = 0; y < h; ++y) {
            green.push_back(static_cast<uint8_t>(y < barsBottom || rows <= 1
                                                     ? 0
                                                     : static_cast<int64_t>(y - barsBottom) * 255 /
                                                           (rows - 1)));
        }
    }
    Rgb At(int32_t x, int32_t y) const {
        if (y < barsBottom) {
            return kBars[bar[static_cast<size_t>(x)]];
        }
        const uint8_t r = red[static_cast<size_t>(x)], g = green[static_cast<size_t>(y)];
        return {r, g, static_cast<uint8_t>(255 - (r + g) / 2)};
    }
};

} // namespace

void RenderBackground(const PictureGeometry& g, std::vector<uint8_t>& out) {
    out.assign(g.Bytes(), 0);
    if (g.sensorWidth <= 0 || g.sensorHeight <= 0) {
        return;
    }
    const Still still(g.sensorWidth, g.sensorHeight);
    const int32_t binX = std::max(1, g.binX), binY = std::max(1, g.binY);
    const int32_t count = binX * binY;
    uint8_t* p = out.data();
    for (int32_t v = 0; v < g.height; ++v) {
        for (int32_t u = 0; u < g.width; ++u) {
            int32_t r = 0, gr = 0, b = 0, grey = 0;
            for (int32_t j = 0; j < binY; ++j) {
                const int32_t sy = std::clamp(g.y + v * g.stepY + j, 0, g.sensorHeight - 1);
                for (int32_t i = 0; i < binX; ++i) {
                    const int32_t sx = std::clamp(g.x + u * g.stepX + i, 0, g.sensorWidth - 1);
                    const Rgb c = still.At(sx, sy);
                    r += c.r;
                    gr += c.g;
                    b += c.b;
                    grey += Grey(c);
                }
            }
            if (g.mono) {
                *p++ = static_cast<uint8_t>(grey / count);
            } else {
                *p++ = static_cast<uint8_t>(b / count);
                *p++ = static_cast<uint8_t>(gr / count);
                *p++ = static_cast<uint8_t>(r / count);
            }
        }
    }
}

void WritePicture(const PictureGeometry& g, const std::vector<uint8_t>& background, uint32_t frame,
                  uint8_t* memory) {
    const size_t bytes = g.Bytes();
    if (background.size() != bytes || bytes < 8) {
        return;
    }
    // The numbers only ever hold frame numbers, so a reader meanwhile sees an old or a new one.
    std::memcpy(memory + 4, background.data() + 4, bytes - 8);
    const Layout l(g.sensorWidth, g.sensorHeight);
    const int32_t travel = std::max(1, g.sensorWidth - l.barWidth);
    const int64_t barX = static_cast<int64_t>(frame) * l.barStep % travel;
    Fill(g, memory, barX, l.barsBottom, barX + l.barWidth, g.sensorHeight, kWhite);

    char digits[16];
    int n = 0;
    for (uint32_t v = frame; n == 0 || v != 0; v /= 10) {
        digits[n++] = static_cast<char>(v % 10);
    }
    const int64_t s = l.scale;
    Fill(g, memory, l.digitsX - s, l.digitsY - s, l.digitsX + n * 6 * s, l.digitsY + 8 * s, kBlack);
    for (int d = 0; d < n; ++d) {
        const uint8_t* glyph = kFont[static_cast<int>(digits[n - 1 - d])];
        const int64_t left = l.digitsX + d * 6 * s;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (glyph[row] & (0x10 >> col)) {
                    const int64_t x = left + col * s, y = l.digitsY + row * s;
                    Fill(g, memory, x, y, x + s, y + s, kWhite);
                }
            }
        }
    }
    Number(memory + bytes - 4, frame);
    Number(memory, frame);
}

} // namespace sim
