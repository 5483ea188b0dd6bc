#include "render/buffer_layout.h"

namespace kelvo {
namespace video {

bool validFrameSize(int width, int height) {
    return width >= 1 && height >= 1 && width <= kMaxFrameSide && height <= kMaxFrameSide;
}

int64_t requiredBufferSize(int videoType, int width, int height) {
    const int64_t w = width, h = height;
    const int64_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (videoType) {
        case 1:   // I420
        case 10:  // YV12
            return w * h + 2 * cw * ch;
        case 17:  // I422
            return w * h + 2 * cw * h;
        case 13:  // NV21
        case 14:  // NV12
            return w * h + 2 * cw * ch;
        case 16:  // RGBA
        case 5:   // ARGB
        case 15:  // BGRA
            return 4 * w * h;
        default:
            return -1;
    }
}

}  // namespace video
}  // namespace kelvo
