// Test pictures and difference statistics for the CPU kernel tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace cputest {

// Agreement of a CPU pass with its GL pass, per channel or plane: the
// backends' contract for an effect alone. The GL path itself moves by a level
// here and there between drivers, and a pass's decision points (bands, skin
// tests) can turn such a level into a larger step, so shares of samples are
// bounded rather than the largest difference:
constexpr double kMeanTolerance = 0.3;
constexpr double kShareOver2Tolerance = 0.01;
constexpr double kShareOver8Tolerance = 0.0001;
// A mean over a handful of pixels is one pixel's rounding, and 1 % of fewer
// than a thousand samples is not one sample: tiny pictures are held to the
// share more than 8 apart only (no sample, below ten thousand).
constexpr int kMinPixelsForMean = 64;
constexpr int kMinSamplesForShareOver2 = 1000;

struct DiffStats {
    double mean = 0.0;
    double p999 = 0.0;
    int max = 0;
    double over2 = 0.0;  // share of samples more than 2 apart
    double over8 = 0.0;  // ... more than 8 apart
    size_t count = 0;
};

// |a - b| statistics over `count` samples taken every `step` bytes from
// `first`, in rows of `rowSamples` samples `strideA` / `strideB` apart.
inline DiffStats diffStats(const uint8_t* a, int strideA, const uint8_t* b, int strideB,
                           int rowSamples, int rows, int step, int first) {
    // A histogram: differences of bytes lie in 0..255.
    std::vector<size_t> count(256, 0);
    size_t n = 0;
    double sum = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < rowSamples; ++x) {
            const int i = first + x * step;
            const int d = std::abs(a[y * strideA + i] - b[y * strideB + i]);
            ++count[d];
            sum += d;
            ++n;
        }
    }
    DiffStats s;
    if (n == 0) return s;
    s.count = n;
    s.mean = sum / n;
    const size_t rank = std::min(n - 1, static_cast<size_t>(n * 0.999));
    size_t below = 0, over2 = 0, over8 = 0;
    for (int d = 0; d < 256; ++d) {
        if (d > 2) over2 += count[d];
        if (d > 8) over8 += count[d];
        if (count[d] == 0) continue;
        if (below <= rank && rank < below + count[d]) s.p999 = d;
        below += count[d];
        s.max = d;
    }
    s.over2 = static_cast<double>(over2) / n;
    s.over8 = static_cast<double>(over8) / n;
    return s;
}

inline std::string describe(const DiffStats& s) {
    return "mean " + std::to_string(s.mean) + " p99.9 " + std::to_string(s.p999) + " max " +
           std::to_string(s.max) + " >2 " + std::to_string(100 * s.over2) + "% >8 " +
           std::to_string(100 * s.over8) + "%";
}

// The contract's checks of one channel or plane.
inline void expectWithinContract(const DiffStats& s) {
    if (s.count >= static_cast<size_t>(kMinPixelsForMean)) {
        EXPECT_LE(s.mean, kMeanTolerance);
    }
    if (s.count >= static_cast<size_t>(kMinSamplesForShareOver2)) {
        EXPECT_LE(s.over2, kShareOver2Tolerance);
    }
    EXPECT_LE(s.over8, kShareOver8Tolerance);
}

inline uint8_t clampByte(double v) {
    return static_cast<uint8_t>(std::min(255.0, std::max(0.0, std::round(v))));
}

// A camera-like I420 picture: smooth gradients with a soft blob, sensor
// noise, a skin-coloured ellipse and a dark corner.
inline std::shared_ptr<I420VideoFrame> naturalFrame(int w, int h, unsigned seed,
                                                    double brightness = 1.0) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    frame->allocateI420(w, h, w, cw, cw);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 3.0);
    auto skin = [&](double x, double y) {
        const double dx = (x - 0.6 * w) / (0.18 * w + 1), dy = (y - 0.45 * h) / (0.25 * h + 1);
        return dx * dx + dy * dy < 1.0;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double v = 30 + 150.0 * x / w + 40.0 * std::sin(6.0 * y / h) +
                       30.0 * std::exp(-std::pow((x - 0.3 * w) / (0.1 * w + 1), 2));
            if (skin(x, y)) v = 170 + 10.0 * std::sin(x * 0.1);
            if (x < w / 5 && y < h / 5) v = 12;
            frame->buffer(0)[y * frame->stride(0) + x] = clampByte(v * brightness + noise(rng));
        }
    }
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            double u = 128 + 40.0 * std::cos(5.0 * x / cw) - 30.0 * y / ch;
            double v = 128 + 50.0 * std::sin(4.0 * y / ch) - 20.0 * x / cw;
            if (skin(2 * x, 2 * y)) {
                u = 108;
                v = 160;
            }
            frame->buffer(1)[y * frame->stride(1) + x] = clampByte(u + noise(rng));
            frame->buffer(2)[y * frame->stride(2) + x] = clampByte(v + noise(rng));
        }
    }
    return frame;
}

inline void fillRandom(std::vector<uint8_t>& bytes, unsigned seed) {
    std::mt19937 rng(seed);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng() & 0xff);
}

}  // namespace cputest
}  // namespace video
}  // namespace kelvo
