// Reference colour maths and frame helpers for the YUV conversion tests.
// The reference is derived from each standard's luma weights (Kr, Kb), not
// from the matrices the library uploads, so a wrong table entry shows.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {
namespace testing_yuv {

enum class Standard { BT601, BT709, BT2020 };

struct Weights {
    double kr;
    double kb;
};

inline Weights weightsOf(Standard s) {
    switch (s) {
        case Standard::BT601:
            return {0.299, 0.114};
        case Standard::BT709:
            return {0.2126, 0.0722};
        case Standard::BT2020:
            return {0.2627, 0.0593};
    }
    return {0.299, 0.114};
}

struct RGB {
    double r, g, b;  // 0..255, unclamped
};

// Y'CbCr bytes to RGB. The chroma zero is 128 in both ranges; limited range
// stretches luma by 255/219 above 16 and chroma by 255/224.
inline RGB referenceRGB(int y, int u, int v, Standard s, bool full) {
    const Weights w = weightsOf(s);
    const double kg = 1.0 - w.kr - w.kb;
    double yy = y / 255.0;
    double cb = (u - 128) / 255.0;
    double cr = (v - 128) / 255.0;
    if (!full) {
        yy = (yy - 16.0 / 255.0) * 255.0 / 219.0;
        cb *= 255.0 / 224.0;
        cr *= 255.0 / 224.0;
    }
    const double r = yy + 2.0 * (1.0 - w.kr) * cr;
    const double b = yy + 2.0 * (1.0 - w.kb) * cb;
    const double g =
        yy - (2.0 * w.kb * (1.0 - w.kb) / kg) * cb - (2.0 * w.kr * (1.0 - w.kr) / kg) * cr;
    return {r * 255.0, g * 255.0, b * 255.0};
}

inline bool inGamut(const RGB& c, double margin) {
    return c.r >= margin && c.g >= margin && c.b >= margin && c.r <= 255.0 - margin &&
           c.g <= 255.0 - margin && c.b <= 255.0 - margin;
}

// An I420 frame with caller-chosen strides and exactly sized planes (so a
// read past a plane is an ASan error). The test writes every byte itself:
// row-end padding is left as filled.
class StridedFrame : public I420VideoFrame {
public:
    StridedFrame(int width, int height, int strideY, int strideC)
        : width_(width), height_(height), strides_{strideY, strideC, strideC} {
        const int chromaRows = (height + 1) / 2;
        planes_[0].assign(static_cast<size_t>(strideY) * height, 0);
        planes_[1].assign(static_cast<size_t>(strideC) * chromaRows, 128);
        planes_[2].assign(static_cast<size_t>(strideC) * chromaRows, 128);
    }

    uint8_t* buffer(int plane) override { return valid(plane) ? planes_[plane].data() : nullptr; }
    const uint8_t* buffer(int plane) const override {
        return valid(plane) ? planes_[plane].data() : nullptr;
    }
    int allocatedSize(int plane) const override {
        return valid(plane) ? static_cast<int>(planes_[plane].size()) : -1;
    }
    int stride(int plane) const override { return valid(plane) ? strides_[plane] : -1; }
    int width() const override { return width_; }
    int height() const override { return height_; }
    void padRowEnds() override {}

private:
    static bool valid(int plane) { return plane >= 0 && plane < 3; }
    int width_;
    int height_;
    int strides_[3];
    std::vector<uint8_t> planes_[3];
};

// Sets every visible sample of a frame: y(x, row), u(cx, crow), v(cx, crow).
template <class Y, class U, class V>
void fillPlanes(I420VideoFrame& frame, Y y, U u, V v) {
    const int w = frame.width();
    const int h = frame.height();
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) {
            frame.buffer(0)[row * frame.stride(0) + x] = static_cast<uint8_t>(y(x, row));
        }
    }
    for (int row = 0; row < (h + 1) / 2; ++row) {
        for (int x = 0; x < (w + 1) / 2; ++x) {
            frame.buffer(1)[row * frame.stride(1) + x] = static_cast<uint8_t>(u(x, row));
            frame.buffer(2)[row * frame.stride(2) + x] = static_cast<uint8_t>(v(x, row));
        }
    }
}

inline std::shared_ptr<I420VideoFrame> makeI420Frame(int width, int height) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    frame->allocateI420(width, height, width, (width + 1) / 2, (width + 1) / 2);
    return frame;
}

}  // namespace testing_yuv
}  // namespace video
}  // namespace kelvo
