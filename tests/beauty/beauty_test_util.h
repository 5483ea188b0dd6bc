// Images and readbacks shared by the beauty tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {
namespace beauty_test {

struct Rgb {
    int r, g, b;
};

// Tightly packed RGBA, row 0 first (uploaded as texture row 0, read back as
// framebuffer row 0, so indices line up without flipping).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    uint8_t* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* at(int x, int y) const {
        return &rgba[(static_cast<size_t>(y) * width + x) * 4];
    }
};

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// A flat colour plus the same pseudo-random offset in [-amplitude, amplitude]
// on all three channels, so the pixel's hue class (skin or not) never changes.
inline Image noisyPatch(int width, int height, Rgb colour, int amplitude, uint32_t seed = 1) {
    Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise =
                amplitude == 0 ? 0
                               : static_cast<int>((state >> 8) % (2 * amplitude + 1)) - amplitude;
            uint8_t* p = image.at(x, y);
            p[0] = clampByte(colour.r + noise);
            p[1] = clampByte(colour.g + noise);
            p[2] = clampByte(colour.b + noise);
            p[3] = 255;
        }
    }
    return image;
}

inline std::shared_ptr<GLTexture> upload(const Image& image) {
    auto texture = std::make_shared<GLTexture>();
    texture->Load(image.rgba.data(), 0, image.width, image.height, GL_RGBA);
    texture->unbind(0);
    return texture;
}

// A framebuffer owned by the test (not pooled); call UnInitFBO when done.
inline std::shared_ptr<GLFBO> makeTarget(int width, int height) {
    auto target = std::make_shared<GLFBO>();
    target->InitFBO(width, height);
    return target;
}

inline Image readImage(FBOBase& framebuffer) {
    Image image{
        framebuffer.width, framebuffer.height,
        std::vector<uint8_t>(static_cast<size_t>(framebuffer.width) * framebuffer.height * 4)};
    int width = 0;
    int height = 0;
    framebuffer.ReadFrame(image.rgba.data(), width, height);
    return image;
}

inline std::shared_ptr<I420VideoFrame> anyFrame() {
    return std::shared_ptr<I420VideoFrame>(new I420VideoFrame(), I420VideoFrame::deleter());
}

// Variance of one channel over the image less a margin on every side.
inline double channelVariance(const Image& image, int channel, int margin) {
    double sum = 0.0;
    double sumSq = 0.0;
    int n = 0;
    for (int y = margin; y < image.height - margin; ++y) {
        for (int x = margin; x < image.width - margin; ++x) {
            const double v = image.at(x, y)[channel];
            sum += v;
            sumSq += v * v;
            ++n;
        }
    }
    const double mean = sum / n;
    return sumSq / n - mean * mean;
}

}  // namespace beauty_test
}  // namespace video
}  // namespace kelvo
