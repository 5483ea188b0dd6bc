// RGBA8 image views used between CPU passes, where the GL path has RGBA8
// framebuffers: 4 bytes per pixel in the order R, G, B, A, rows `stride`
// bytes apart, row 0 first. Views never own their pixels.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

struct ImageRGBA8 {
    uint8_t* data;
    int stride;
    int width;
    int height;
};
struct ConstImageRGBA8 {
    const uint8_t* data;
    int stride;
    int width;
    int height;
};

}  // namespace video
}  // namespace kelvo
