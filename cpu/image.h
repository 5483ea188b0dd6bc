#pragma once

#include <cstdint>

namespace kelvo::video {

struct ImageRGBA8 { uint8_t* data; int stride; int width; int height; };
struct ConstImageRGBA8 { const uint8_t* data; int stride; int width; int height; };

}  // namespace kelvo::video
