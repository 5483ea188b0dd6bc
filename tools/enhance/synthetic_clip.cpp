#include "synthetic_clip.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace kelvo {
namespace enhance {

namespace {

uint8_t clamp8(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// BT.601 limited-range Y'CbCr of an sRGB colour.
void toYUV(double r, double g, double b, double* y, double* u, double* v) {
    *y = 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0;
    *u = 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0;
    *v = 128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0;
}

// Scene colour at (x, y) of frame `t`: a warm wall with a stripe pattern,
// a face-coloured ellipse drifting across, and a saturated blue object.
void sceneColor(double x, double y, int width, int height, int t, double* r, double* g,
                 double* b) {
    const double pan = t * 1.5;
    const double stripes = 0.5 + 0.5 * std::sin((x + pan) * 0.15) * std::sin(y * 0.05);
    *r = 90 + 40 * stripes;
    *g = 80 + 30 * stripes;
    *b = 70 + 20 * stripes;
    const double cx = width * (0.35 + 0.15 * std::sin(t * 0.05));
    const double cy = height * 0.5;
    const double rx = width * 0.16, ry = height * 0.3;
    const double d = ((x - cx) * (x - cx)) / (rx * rx) + ((y - cy) * (y - cy)) / (ry * ry);
    if (d < 1.0) {
        const double shade = 1.0 - 0.25 * d;
        *r = 205 * shade;
        *g = 150 * shade;
        *b = 122 * shade;
    }
    const double bx = width * 0.78, by = height * (0.3 + 0.2 * std::cos(t * 0.04));
    if (std::abs(x - bx) < width * 0.08 && std::abs(y - by) < height * 0.12) {
        *r = 40;
        *g = 70;
        *b = 170;
    }
}

}  // namespace

void syntheticFrame(int width, int height, int index, double noiseSigma,
                    std::vector<uint8_t>* planes) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    planes->resize(static_cast<size_t>(width) * height + 2 * static_cast<size_t>(cw) * ch);
    uint8_t* yPlane = planes->data();
    uint8_t* uPlane = yPlane + static_cast<size_t>(width) * height;
    uint8_t* vPlane = uPlane + static_cast<size_t>(cw) * ch;
    std::mt19937 rng(static_cast<uint32_t>(index) * 2654435761u + 1);
    std::normal_distribution<double> noise(0.0, noiseSigma);
    double r, g, b, y, u, v;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            sceneColor(col, row, width, height, index, &r, &g, &b);
            toYUV(r, g, b, &y, &u, &v);
            yPlane[static_cast<size_t>(row) * width + col] =
                clamp8(y + (noiseSigma > 0 ? noise(rng) : 0.0));
        }
    for (int row = 0; row < ch; ++row)
        for (int col = 0; col < cw; ++col) {
            sceneColor(col * 2 + 0.5, row * 2 + 0.5, width, height, index, &r, &g, &b);
            toYUV(r, g, b, &y, &u, &v);
            uPlane[static_cast<size_t>(row) * cw + col] = clamp8(u);
            vPlane[static_cast<size_t>(row) * cw + col] = clamp8(v);
        }
}

}  // namespace enhance
}  // namespace kelvo
