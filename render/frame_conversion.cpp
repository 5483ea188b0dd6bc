#include "render/frame_conversion.h"

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/video_common.h>

#include "frame/yuv_matrix.h"
#include "render/color_space_convert.h"

namespace kelvo {
namespace video {

namespace {

// True when the frame's planes hold a width x height I420 picture.
bool planesHoldPicture(const I420VideoFrame& frame, int width, int height) {
    if (width < 1 || height < 1) return false;
    const int64_t rows[3] = {height, (height + 1) / 2, (height + 1) / 2};
    const int64_t cols[3] = {width, (width + 1) / 2, (width + 1) / 2};
    for (int p = 0; p < 3; ++p) {
        const int stride = frame.stride(p);
        if (!frame.buffer(p) || stride < cols[p]) return false;
        if ((rows[p] - 1) * stride + cols[p] > frame.allocatedSize(p)) return false;
    }
    return true;
}

// libyuv's YUV-to-RGB constants for the conversion that yuvMatrixFor picks
// for these codes, the inverse of what ARGBToI420ColorSpace and
// BGRAToI420ColorSpace encoded, so that a packed caller buffer comes back in
// the levels it went in with. `swapped`: the constants for U and V given the
// other way round.
const libyuv::YuvConstants* matchingConstants(int colorRange, int colorMatrix, bool swapped) {
    const YuvMatrix& m = yuvMatrixFor(colorMatrix, colorRange);
    switch (m.standard) {
        case YuvStandard::kBT709:
            if (m.fullRange) return swapped ? &libyuv::kYvuF709Constants : &libyuv::kYuvF709Constants;
            return swapped ? &libyuv::kYvuH709Constants : &libyuv::kYuvH709Constants;
        case YuvStandard::kBT2020:
            if (m.fullRange) return swapped ? &libyuv::kYvuV2020Constants : &libyuv::kYuvV2020Constants;
            return swapped ? &libyuv::kYvu2020Constants : &libyuv::kYuv2020Constants;
        case YuvStandard::kBT601:
            break;
    }
    if (m.fullRange) return swapped ? &libyuv::kYvuJPEGConstants : &libyuv::kYuvJPEGConstants;
    return swapped ? &libyuv::kYvuI601Constants : &libyuv::kYuvI601Constants;
}

}  // namespace

int videoTypeFromFormat(int formatId) {
    switch (formatId) {
        case 1: return 1;
        case 2: return 17;
        case 3: return 13;
        case 4: return 14;
        case 5: return 10;
        case 6: return 16;
        case 7: return 5;
        case 8: return 15;
        default: return 0;
    }
}

uint32_t fourccFromVideoType(int videoType) {
    switch (videoType) {
        case 1: return libyuv::FOURCC_I420;
        case 17: return libyuv::FOURCC_I422;
        case 13: return libyuv::FOURCC_NV21;
        case 14: return libyuv::FOURCC_NV12;
        case 10: return libyuv::FOURCC_YV12;
        case 16: return libyuv::FOURCC_RGBA;
        case 5: return libyuv::FOURCC_ARGB;
        case 15: return libyuv::FOURCC_BGRA;
        default: return 0;
    }
}

int convertBufferToFrame(int videoType, const uint8_t* buffer, int cropX, int cropY,
                         int srcWidth, int srcHeight, size_t sampleSize, int rotation,
                         I420VideoFrame& frame, int colorRange, int colorMatrix) {
    int dstWidth = frame.width();
    int dstHeight = frame.height();
    if (rotation == 90 || rotation == 270) {
        dstWidth = frame.height();
        dstHeight = frame.width();
    }
    // libyuv converts RGBA with BT.601 limited whatever the codes say; the
    // frame must carry the codes of what its planes hold, or the chain would
    // decode them with another matrix.
    const bool libyuvRgba = videoType == 16;
    frame.colorRange = libyuvRgba ? 0 : colorRange;
    frame.colorMatrix = libyuvRgba ? 4 : colorMatrix;
    if (rotation != 90 && rotation != 180 && rotation != 270) rotation = 0;
    const uint32_t fourcc = fourccFromVideoType(videoType);
    if (fourcc == 0 || !planesHoldPicture(frame, frame.width(), frame.height())) return -1;
    return ConvertToI420ColorSpace(buffer, sampleSize, frame.buffer(0), frame.stride(0),
                                   frame.buffer(1), frame.stride(1), frame.buffer(2),
                                   frame.stride(2), cropX, cropY, srcWidth, srcHeight,
                                   dstWidth, dstHeight,
                                   static_cast<libyuv::RotationMode>(rotation), fourcc,
                                   colorRange, colorMatrix);
}

int convertFrameToBuffer(const I420VideoFrame& frame, int videoType, int dstStride,
                         uint8_t* buffer) {
    const uint32_t fourcc = fourccFromVideoType(videoType);
    if (fourcc == 0 || !planesHoldPicture(frame, frame.width(), frame.height())) return -1;
    // ARGB and BGRA entered through the range- and matrix-aware converters;
    // leave through the same coefficients (libyuv's own path is BT.601
    // limited whatever the frame says).
    if (videoType == 5 || videoType == 15) {
        if (buffer == nullptr) return -1;
        const int stride = dstStride != 0 ? dstStride : frame.width() * 4;
        const bool bgra = videoType == 15;
        // libyuv's RGBA (bytes A, B, G, R) with U and V exchanged is BGRA.
        const uint8_t* u = frame.buffer(bgra ? 2 : 1);
        const uint8_t* v = frame.buffer(bgra ? 1 : 2);
        const int uStride = frame.stride(bgra ? 2 : 1), vStride = frame.stride(bgra ? 1 : 2);
        const libyuv::YuvConstants* k =
            matchingConstants(frame.colorRange, frame.colorMatrix, bgra);
        return bgra ? libyuv::I420ToRGBAMatrix(frame.buffer(0), frame.stride(0), u, uStride, v,
                                               vStride, buffer, stride, k, frame.width(),
                                               frame.height())
                    : libyuv::I420ToARGBMatrix(frame.buffer(0), frame.stride(0), u, uStride, v,
                                               vStride, buffer, stride, k, frame.width(),
                                               frame.height());
    }
    return libyuv::ConvertFromI420(frame.buffer(0), frame.stride(0), frame.buffer(1),
                                   frame.stride(1), frame.buffer(2), frame.stride(2), buffer,
                                   dstStride, frame.width(), frame.height(), fourcc);
}

}  // namespace video
}  // namespace kelvo
