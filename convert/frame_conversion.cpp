#include "convert/frame_conversion.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/planar_functions.h>
#include <libyuv/video_common.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "convert/buffer_layout.h"
#include "convert/color_space_convert.h"
#include "convert/color_space_rows.h"
#include "frame/numbering.h"
#include "frame/plane_change.h"
#include "frame/yuv_matrix.h"

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

// Types whose conversion to I420 and back changes an untouched picture.
bool lossyRoundTrip(int videoType) {
    return videoType == kVideoTypeI422 || isPackedVideoType(videoType);
}

// libyuv's constants where they are close to the decision's matrix;
// `swapped` gives them for U and V exchanged. Elsewhere the fixed-point
// rows of color_space_rows.h decode: libyuv's limited-range BT.709 and
// BT.2020 sets clip the blue gain to 2.0 for its 8-bit multiplies, and
// saturated blue came back a dozen levels off. (Its BT.601 limited set is
// clipped by under 1 %, and stays for its speed.)
const libyuv::YuvConstants* libyuvConstants(const YUVMatrix& m, bool swapped) {
    switch (m.standard) {
        case YUVStandard::kBT601:
            if (m.fullRange)
                return swapped ? &libyuv::kYvuJPEGConstants : &libyuv::kYuvJPEGConstants;
            return swapped ? &libyuv::kYvuI601Constants : &libyuv::kYuvI601Constants;
        case YUVStandard::kBT709:
            if (!m.fullRange) return nullptr;
            return swapped ? &libyuv::kYvuF709Constants : &libyuv::kYuvF709Constants;
        case YUVStandard::kBT2020:
            if (!m.fullRange) return nullptr;
            return swapped ? &libyuv::kYvuV2020Constants : &libyuv::kYuvV2020Constants;
    }
    return nullptr;
}

// Rows of a frame in a packed layout (RGBA: bytes A, B, G, R; ARGB: B, G,
// R, A; BGRA: A, R, G, B), decoded with the colour codes it was made for.
class PackedFrameRows {
public:
    PackedFrameRows(const I420VideoFrame& frame, int videoType)
        : m_(yuvMatrixFor(frame.colorMatrix, frame.colorRange)), argb_(videoType == kVideoTypeARGB),
          // libyuv's RGBA with U and V exchanged is BGRA.
          swapUV_(videoType == kVideoTypeBGRA), constants_(libyuvConstants(m_, swapUV_)),
          r_(argb_                         ? 2
             : videoType == kVideoTypeRGBA ? 3
                                           : 1),
          g_(argb_ ? 1 : 2), b_(argb_                         ? 0
                                : videoType == kVideoTypeRGBA ? 1
                                                              : 3) {
        const uint8_t alphaBytes[4] = {uint8_t(argb_ ? 0 : 0xFF), 0, 0, uint8_t(argb_ ? 0xFF : 0)};
        std::memcpy(&alphaMask, alphaBytes, 4);
    }

    // Row y of `frame` (of the size and codes given to the constructor) into
    // 4 x width bytes. Alpha bytes are written as 255 or left as they are,
    // the same way for every row.
    void row(const I420VideoFrame& frame, int y, uint8_t* out) const {
        const int w = frame.width();
        const uint8_t* srcY = frame.buffer(0) + ptrdiff_t(y) * frame.stride(0);
        const uint8_t* cb = frame.buffer(1) + ptrdiff_t(y / 2) * frame.stride(1);
        const uint8_t* cr = frame.buffer(2) + ptrdiff_t(y / 2) * frame.stride(2);
        const uint8_t* srcU = swapUV_ ? cr : cb;
        const uint8_t* srcV = swapUV_ ? cb : cr;
        if (!constants_) {
            packedRows().fromYUV(srcY, cb, cr, out, w, m_.fixedDecode, r_, g_, b_);
        } else if (argb_) {
            libyuv::I420ToARGBMatrix(srcY, 0, srcU, 0, srcV, 0, out, 0, constants_, w, 1);
        } else {
            libyuv::I420ToRGBAMatrix(srcY, 0, srcU, 0, srcV, 0, out, 0, constants_, w, 1);
        }
    }

    uint32_t alphaMask = 0;  // the alpha byte of a pixel read as uint32_t

private:
    const YUVMatrix& m_;
    const bool argb_;
    const bool swapUV_;
    const libyuv::YuvConstants* constants_;
    const int r_, g_, b_;  // byte offsets of R, G and B in a pixel
};

// Writes the frame into a packed buffer row by row through a scratch row of
// the same layout, then merges only the colour bytes: the buffer is the
// caller's picture, processed in place, and its alpha is the caller's.
int i420ToPackedKeepingAlpha(const I420VideoFrame& frame, int videoType, int stride,
                             uint8_t* buffer) {
    const int w = frame.width();
    const PackedFrameRows rows(frame, videoType);
    const PackedKeepAlphaRowFn keepAlpha = packedRows().keepAlpha;
    thread_local std::vector<uint32_t> row;
    if (row.size() < size_t(w)) row.resize(size_t(w));

    for (int y = 0; y < frame.height(); ++y) {
        rows.row(frame, y, reinterpret_cast<uint8_t*>(row.data()));
        keepAlpha(buffer + ptrdiff_t(y) * stride, row.data(), w, rows.alphaMask);
    }
    return 0;
}

// True when the samples of `plane` in `rows` rows from row y agree.
bool rowsEqual(const I420VideoFrame& a, const I420VideoFrame& b, int plane, int y, int rows) {
    const int cols = plane == 0 ? a.width() : (a.width() + 1) / 2;
    for (int r = y; r < y + rows; ++r) {
        if (std::memcmp(a.buffer(plane) + ptrdiff_t(r) * a.stride(plane),
                        b.buffer(plane) + ptrdiff_t(r) * b.stride(plane), size_t(cols)) != 0)
            return false;
    }
    return true;
}

}  // namespace

int videoTypeFromFormat(int formatId) {
    switch (formatId) {
        case kPixelFormatI420:
            return kVideoTypeI420;
        case kPixelFormatI422:
            return kVideoTypeI422;
        case kPixelFormatNV21:
            return kVideoTypeNV21;
        case kPixelFormatNV12:
            return kVideoTypeNV12;
        case kPixelFormatYV12:
            return kVideoTypeYV12;
        case kPixelFormatRGBA:
            return kVideoTypeRGBA;
        case kPixelFormatARGB:
            return kVideoTypeARGB;
        case kPixelFormatBGRA:
            return kVideoTypeBGRA;
        default:
            return kVideoTypeUnknown;
    }
}

bool isPackedVideoType(int videoType) {
    return videoType == kVideoTypeRGBA || videoType == kVideoTypeARGB ||
           videoType == kVideoTypeBGRA;
}

uint32_t fourccFromVideoType(int videoType) {
    switch (videoType) {
        case kVideoTypeI420:
            return libyuv::FOURCC_I420;
        case kVideoTypeI422:
            return libyuv::FOURCC_I422;
        case kVideoTypeNV21:
            return libyuv::FOURCC_NV21;
        case kVideoTypeNV12:
            return libyuv::FOURCC_NV12;
        case kVideoTypeYV12:
            return libyuv::FOURCC_YV12;
        case kVideoTypeRGBA:
            return libyuv::FOURCC_RGBA;
        case kVideoTypeARGB:
            return libyuv::FOURCC_ARGB;
        case kVideoTypeBGRA:
            return libyuv::FOURCC_BGRA;
        default:
            return 0;
    }
}

int convertBufferToFrame(int videoType, const uint8_t* buffer, int cropX, int cropY, int srcWidth,
                         int srcHeight, size_t sampleSize, int rotation, I420VideoFrame& frame,
                         int colorRange, int colorMatrix) {
    int dstWidth = frame.width();
    int dstHeight = frame.height();
    if (rotation == 90 || rotation == 270) {
        dstWidth = frame.height();
        dstHeight = frame.width();
    }
    // RGBA is converted with BT.601 limited whatever the codes say, as libyuv
    // converts it; the frame must carry the codes of what its planes hold, or
    // the chain would decode them with another matrix.
    const bool libyuvRgba = videoType == kVideoTypeRGBA;
    frame.colorRange = libyuvRgba ? 0 : colorRange;
    frame.colorMatrix = libyuvRgba ? 4 : colorMatrix;
    if (rotation != 90 && rotation != 180 && rotation != 270) rotation = 0;
    const uint32_t fourcc = fourccFromVideoType(videoType);
    if (fourcc == 0 || !planesHoldPicture(frame, frame.width(), frame.height())) return -1;
    return ConvertToI420ColorSpace(
        buffer, sampleSize, frame.buffer(0), frame.stride(0), frame.buffer(1), frame.stride(1),
        frame.buffer(2), frame.stride(2), cropX, cropY, srcWidth, srcHeight, dstWidth, dstHeight,
        static_cast<libyuv::RotationMode>(rotation), fourcc, colorRange, colorMatrix);
}

int convertFrameToBuffer(const I420VideoFrame& frame, int videoType, int dstStride,
                         uint8_t* buffer) {
    const uint32_t fourcc = fourccFromVideoType(videoType);
    if (fourcc == 0 || !planesHoldPicture(frame, frame.width(), frame.height())) return -1;
    if (isPackedVideoType(videoType)) {
        if (buffer == nullptr) return -1;
        return i420ToPackedKeepingAlpha(frame, videoType,
                                        dstStride != 0 ? dstStride : frame.width() * 4, buffer);
    }
    if (dstStride == 0 && (videoType == kVideoTypeNV12 || videoType == kVideoTypeNV21)) {
        // Interleaved chroma rows are written as they are read, 2 x ((width
        // + 1) / 2) bytes each; ConvertFromI420 steps them by the width.
        if (buffer == nullptr) return -1;
        const int w = frame.width(), h = frame.height();
        auto toNV = videoType == kVideoTypeNV12 ? libyuv::I420ToNV12 : libyuv::I420ToNV21;
        return toNV(frame.buffer(0), frame.stride(0), frame.buffer(1), frame.stride(1),
                    frame.buffer(2), frame.stride(2), buffer, w, buffer + ptrdiff_t(w) * h,
                    (w + 1) & ~1, w, h);
    }
    return libyuv::ConvertFromI420(frame.buffer(0), frame.stride(0), frame.buffer(1),
                                   frame.stride(1), frame.buffer(2), frame.stride(2), buffer,
                                   dstStride, frame.width(), frame.height(), fourcc);
}

PlaneBuffer contiguousPlaneBuffer(int videoType, int width, int height, uint8_t* buffer) {
    PlaneBuffer picture;
    if (fourccFromVideoType(videoType) == 0) return picture;
    picture.videoType = videoType;
    picture.width = width;
    picture.height = height;
    const int cw = (width + 1) / 2;
    picture.data[0] = buffer;
    if (isPackedVideoType(videoType)) {
        picture.stride[0] = 4 * width;
        return picture;
    }
    picture.stride[0] = width;
    if (buffer == nullptr) return picture;
    uint8_t* const chroma = buffer + ptrdiff_t(width) * height;
    if (videoType == kVideoTypeNV12 || videoType == kVideoTypeNV21) {
        picture.data[1] = chroma;
        picture.stride[1] = 2 * cw;
        return picture;
    }
    // I422 has a chroma row for every row, I420 and YV12 one for two.
    const int chromaRows = videoType == kVideoTypeI422 ? height : (height + 1) / 2;
    picture.data[1] = chroma;
    picture.data[2] = chroma + ptrdiff_t(cw) * chromaRows;
    picture.stride[1] = picture.stride[2] = cw;
    return picture;
}

int BufferRoundTrip::toFrame(int videoType, const uint8_t* buffer, int width, int height,
                             size_t sampleSize, I420VideoFrame& frame, int colorRange,
                             int colorMatrix) {
    const int64_t needed = requiredBufferSize(videoType, width, height);
    if (needed < 0 || sampleSize < static_cast<uint64_t>(needed)) {
        keptType_ = 0;
        return -1;
    }
    // Read only: the picture's pointers are not const because toBuffer
    // writes through the same description.
    return toFrame(contiguousPlaneBuffer(videoType, width, height, const_cast<uint8_t*>(buffer)),
                   frame, colorRange, colorMatrix);
}

int BufferRoundTrip::toBuffer(const I420VideoFrame& frame, int videoType, uint8_t* buffer) {
    return toBuffer(frame, contiguousPlaneBuffer(videoType, frame.width(), frame.height(), buffer));
}

const char* planeBufferFault(const PlaneBuffer& picture) {
    const int type = picture.videoType;
    if (fourccFromVideoType(type) == 0) return "unknown pixel format";
    const int w = picture.width, h = picture.height;
    if (w < 1 || h < 1 || w > kMaxFrameSide || h > kMaxFrameSide) return "invalid frame size";
    const int cw = (w + 1) / 2;
    int planes = 3;
    int rowBytes[3] = {w, cw, cw};
    if (isPackedVideoType(type)) {
        planes = 1;
        rowBytes[0] = 4 * w;
    } else if (type == kVideoTypeNV12 || type == kVideoTypeNV21) {
        planes = 2;
        rowBytes[1] = 2 * cw;
    }
    for (int p = 0; p < planes; ++p) {
        if (picture.data[p] == nullptr) return "missing plane";
        if (picture.stride[p] < rowBytes[p]) return "stride shorter than a row";
    }
    return nullptr;
}

namespace {

// convert(firstRow, rows) over [0, height) in pieces that start on even rows
// (so that chroma rows split with them), through the splitter when there is
// one; the first non-zero result, or 0.
template <class Convert>
int splitPicture(RowSplitter* splitter, int height, Convert&& convert) {
    if (!splitter) return convert(0, height);
    std::atomic<int> result{0};
    splitRows(splitter, height, 2, [&](int, int begin, int end) {
        const int r = convert(begin, end - begin);
        int none = 0;
        if (r != 0) result.compare_exchange_strong(none, r);
    });
    return result.load();
}

template <typename Byte>
Byte* rowAt(Byte* plane, int stride, int row) {
    return plane + static_cast<ptrdiff_t>(row) * stride;
}

}  // namespace

int BufferRoundTrip::toFrame(const PlaneBuffer& picture, I420VideoFrame& frame, int colorRange,
                             int colorMatrix, RowSplitter* splitter) {
    keptType_ = 0;
    const int type = picture.videoType;
    const int w = picture.width, h = picture.height;
    if (planeBufferFault(picture) != nullptr || frame.width() != w || frame.height() != h ||
        !planesHoldPicture(frame, w, h))
        return -1;
    // As convertBufferToFrame: RGBA is BT.601 limited whatever the codes say.
    const bool libyuvRgba = type == kVideoTypeRGBA;
    frame.colorRange = libyuvRgba ? 0 : colorRange;
    frame.colorMatrix = libyuvRgba ? 4 : colorMatrix;
    uint8_t* const* src = picture.data;
    const int* s = picture.stride;
    uint8_t* y = frame.buffer(0);
    uint8_t* u = frame.buffer(1);
    uint8_t* v = frame.buffer(2);
    const int sy = frame.stride(0), su = frame.stride(1), sv = frame.stride(2);
    int result = -1;
    // The planes in rows [r, r + n) of the picture.
    const auto y0 = [&](int r) { return rowAt(y, sy, r); };
    const auto u0 = [&](int r) { return rowAt(u, su, r / 2); };
    const auto v0 = [&](int r) { return rowAt(v, sv, r / 2); };
    const auto in = [&](int p, int r) { return rowAt(src[p], s[p], p ? r / 2 : r); };
    switch (type) {
        case kVideoTypeI420:
            result = splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420Copy(in(0, r), s[0], in(1, r), s[1], in(2, r), s[2], y0(r), sy,
                                        u0(r), su, v0(r), sv, w, n);
            });
            break;
        case kVideoTypeYV12:
            result = splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420Copy(in(0, r), s[0], in(2, r), s[2], in(1, r), s[1], y0(r), sy,
                                        u0(r), su, v0(r), sv, w, n);
            });
            break;
        case kVideoTypeI422:
            result = libyuv::I422ToI420(src[0], s[0], src[1], s[1], src[2], s[2], y, sy, u, su, v,
                                        sv, w, h);
            break;
        case kVideoTypeNV12:
            result = splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::NV12ToI420(in(0, r), s[0], in(1, r), s[1], y0(r), sy, u0(r), su,
                                          v0(r), sv, w, n);
            });
            break;
        case kVideoTypeNV21:
            result = splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::NV21ToI420(in(0, r), s[0], in(1, r), s[1], y0(r), sy, u0(r), su,
                                          v0(r), sv, w, n);
            });
            break;
        case kVideoTypeRGBA:
            result = RGBAToI420BT601(src[0], s[0], y, sy, u, su, v, sv, w, h);
            break;
        case kVideoTypeARGB:
            result = ARGBToI420ColorSpace(src[0], s[0], y, sy, u, su, v, sv, w, h, colorRange,
                                          colorMatrix);
            break;
        case kVideoTypeBGRA:
            result = BGRAToI420ColorSpace(src[0], s[0], y, sy, u, su, v, sv, w, h, colorRange,
                                          colorMatrix);
            break;
        default:
            return -1;
    }
    if (result != 0 || !lossyRoundTrip(type)) return result;
    if (unprocessed_.copyFrame(frame) != 0) return -1;
    keptType_ = type;
    return 0;
}

int BufferRoundTrip::toBuffer(const I420VideoFrame& frame, const PlaneBuffer& picture,
                              RowSplitter* splitter) {
    const int type = picture.videoType;
    const int w = frame.width(), h = frame.height();
    if (planeBufferFault(picture) != nullptr || picture.width != w || picture.height != h ||
        !planesHoldPicture(frame, w, h))
        return -1;
    uint8_t* const* dst = picture.data;
    const int* s = picture.stride;
    const uint8_t* y = frame.buffer(0);
    const uint8_t* u = frame.buffer(1);
    const uint8_t* v = frame.buffer(2);
    const int sy = frame.stride(0), su = frame.stride(1), sv = frame.stride(2);
    const auto y0 = [&](int r) { return rowAt(y, sy, r); };
    const auto u0 = [&](int r) { return rowAt(u, su, r / 2); };
    const auto v0 = [&](int r) { return rowAt(v, sv, r / 2); };
    const auto out = [&](int p, int r) { return rowAt(dst[p], s[p], p ? r / 2 : r); };
    switch (type) {
        case kVideoTypeI420:
            return splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420Copy(y0(r), sy, u0(r), su, v0(r), sv, out(0, r), s[0],
                                        out(1, r), s[1], out(2, r), s[2], w, n);
            });
        case kVideoTypeYV12:
            return splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420Copy(y0(r), sy, u0(r), su, v0(r), sv, out(0, r), s[0],
                                        out(2, r), s[2], out(1, r), s[1], w, n);
            });
        case kVideoTypeNV12:
            return splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420ToNV12(y0(r), sy, u0(r), su, v0(r), sv, out(0, r), s[0],
                                          out(1, r), s[1], w, n);
            });
        case kVideoTypeNV21:
            return splitPicture(splitter, h, [&](int r, int n) {
                return libyuv::I420ToNV21(y0(r), sy, u0(r), su, v0(r), sv, out(0, r), s[0],
                                          out(1, r), s[1], w, n);
            });
        default:
            break;
    }
    if (keptType_ != type || unprocessed_.width() != w || unprocessed_.height() != h) return -1;
    unprocessed_.colorRange = frame.colorRange;
    unprocessed_.colorMatrix = frame.colorMatrix;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    // Scratch as the tight path uses it: two packed rows, or two tight I422
    // pictures.
    const size_t bytes = isPackedVideoType(type)
                             ? 2 * size_t(w) * 4
                             : static_cast<size_t>(requiredBufferSize(type, w, h));
    try {
        if (now_.size() < bytes) now_.resize(bytes);
        if (was_.size() < bytes) was_.resize(bytes);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (isPackedVideoType(type)) {
        const PackedFrameRows rows(frame, type);
        for (int r = 0; r < h; ++r) {
            if (rowsEqual(frame, unprocessed_, 0, r, 1) &&
                rowsEqual(frame, unprocessed_, 1, r / 2, 1) &&
                rowsEqual(frame, unprocessed_, 2, r / 2, 1))
                continue;
            rows.row(frame, r, now_.data());
            rows.row(unprocessed_, r, was_.data());
            addRowChange(dst[0] + ptrdiff_t(r) * s[0], now_.data(), was_.data(), 4 * w);
        }
        return 0;
    }
    // I422: luma goes there and back exactly; chroma takes the change of its
    // conversion, as in the tight path. Nothing is written before both
    // conversions succeeded.
    if (rowsEqual(frame, unprocessed_, 1, 0, ch) && rowsEqual(frame, unprocessed_, 2, 0, ch)) {
        libyuv::CopyPlane(y, sy, dst[0], s[0], w, h);
        return 0;
    }
    int result = convertFrameToBuffer(frame, type, 0, now_.data());
    if (result == 0) result = convertFrameToBuffer(unprocessed_, type, 0, was_.data());
    if (result != 0) return result;
    libyuv::CopyPlane(y, sy, dst[0], s[0], w, h);
    const size_t lumaBytes = size_t(w) * h, chromaBytes = size_t(cw) * h;
    for (int p = 1; p < 3; ++p) {
        const size_t at = lumaBytes + (p - 1) * chromaBytes;
        addPlaneChange(dst[p], s[p], now_.data() + at, cw, was_.data() + at, cw, cw, h);
    }
    return 0;
}

}  // namespace video
}  // namespace kelvo
