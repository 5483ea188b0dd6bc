#include "convert/buffer_layout.h"

#include "frame/numbering.h"

namespace kelvo {
namespace video {

bool validFrameSize(int width, int height) {
    return width >= 1 && height >= 1 && width <= kMaxFrameSide && height <= kMaxFrameSide;
}

int64_t requiredBufferSize(int videoType, int width, int height) {
    const int64_t w = width, h = height;
    const int64_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (videoType) {
        case kVideoTypeI420:
        case kVideoTypeYV12:
            return w * h + 2 * cw * ch;
        case kVideoTypeI422:
            return w * h + 2 * cw * h;
        case kVideoTypeNV21:
        case kVideoTypeNV12:
            return w * h + 2 * cw * ch;
        case kVideoTypeRGBA:
        case kVideoTypeARGB:
        case kVideoTypeBGRA:
            return 4 * w * h;
        default:
            return -1;
    }
}

}  // namespace video
}  // namespace kelvo
