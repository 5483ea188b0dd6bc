#include "convert/color_space_convert.h"

#include "convert/color_space_rows.h"
#include "frame/yuv_matrix.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>

#include <libyuv/convert.h>
#include <libyuv/video_common.h>

namespace kelvo {
namespace video {

namespace {

uint8_t clamp255(int v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 255)); }

// Luma weights are never negative and white gives at most 255 (limited
// range 235), so one clamp serves every set.
template <int R, int G, int B>
void rowToY(const uint8_t* src, uint8_t* dstY, int width, const YuvFixedCoeffs& c) {
    for (int x = 0; x < width; ++x, src += 4) {
        dstY[x] = static_cast<uint8_t>(
            std::min(255, (c.yR * src[R] + c.yG * src[G] + c.yB * src[B] + c.yBias) >> 8));
    }
}

inline void storeUV(int r, int g, int b, const YuvFixedCoeffs& c, uint8_t* u, uint8_t* v) {
    *u = clamp255((c.uR * r + c.uG * g + c.uB * b + kYuvChromaBias) >> 8);
    *v = clamp255((c.vR * r + c.vG * g + c.vB * b + kYuvChromaBias) >> 8);
}

template <int R, int G, int B>
void rowPairToUV(const uint8_t* s0, const uint8_t* s1, uint8_t* dstU, uint8_t* dstV, int width,
                 const YuvFixedCoeffs& c) {
    int x = 0;
    for (; x + 1 < width; x += 2, s0 += 8, s1 += 8) {
        const int r = (s0[R] + s0[R + 4] + s1[R] + s1[R + 4]) >> 2;
        const int g = (s0[G] + s0[G + 4] + s1[G] + s1[G + 4]) >> 2;
        const int b = (s0[B] + s0[B + 4] + s1[B] + s1[B + 4]) >> 2;
        storeUV(r, g, b, c, dstU++, dstV++);
    }
    if (x < width) {
        storeUV((s0[R] + s1[R]) >> 1, (s0[G] + s1[G]) >> 1, (s0[B] + s1[B]) >> 1, c, dstU, dstV);
    }
}

// The weights of one set placed at the byte positions of the channels.
PackedRowCoeffs rowCoeffs(int r, int g, int b, const YuvFixedCoeffs& k) {
    PackedRowCoeffs c{};
    c.y[r] = k.yR;
    c.y[g] = k.yG;
    c.y[b] = k.yB;
    c.yBias = k.yBias;
    c.u[r] = k.uR;
    c.u[g] = k.uG;
    c.u[b] = k.uB;
    c.v[r] = k.vR;
    c.v[g] = k.vG;
    c.v[b] = k.vB;
    return c;
}

struct FastRows {
    PackedFastRowY toY = nullptr;
    PackedFastRowUV toUV = nullptr;
};

FastRows fastRows(PackedRowPath path) {
    FastRows rows;
    if (!packedRowPathSupported(path)) return rows;
#if KELVO_COLOR_ROWS_X86
    if (path == PackedRowPath::kSSE2) rows = {packedRowToY_SSE2, packedRowPairToUV_SSE2};
    if (path == PackedRowPath::kAVX2) rows = {packedRowToY_AVX2, packedRowPairToUV_AVX2};
#endif
    return rows;
}

// R, G, B: byte offsets of the channels within a pixel.
template <int R, int G, int B>
int packedToI420(PackedRowPath path, const uint8_t* src, int srcStride, uint8_t* dstY,
                 int dstStrideY, uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV,
                 int width, int height, int colorRange, int colorMatrix) {
    // The same matrix and range that decode a frame with these codes.
    const YuvFixedCoeffs& k = yuvMatrixFor(colorMatrix, colorRange).fixed;
    const FastRows fast = fastRows(path);
    const PackedRowCoeffs coeffs = rowCoeffs(R, G, B, k);
    // The fast rows take the vector-filling prefix, the portable rows the rest.
    auto toY = [&](const uint8_t* s, uint8_t* y) {
        const int done = fast.toY ? fast.toY(s, y, width, coeffs) : 0;
        rowToY<R, G, B>(s + 4 * done, y + done, width - done, k);
    };
    auto toUV = [&](const uint8_t* s0, const uint8_t* s1, uint8_t* u, uint8_t* v) {
        const int done = fast.toUV ? fast.toUV(s0, s1, u, v, width, coeffs) : 0;
        rowPairToUV<R, G, B>(s0 + 4 * done, s1 + 4 * done, u + done / 2, v + done / 2,
                             width - done, k);
    };

    if (!src || !dstY || !dstU || !dstV || width <= 0 || height == 0 || height == INT_MIN)
        return -1;
    ptrdiff_t step = srcStride;
    if (height < 0) {
        height = -height;
        src += static_cast<ptrdiff_t>(height - 1) * step;
        step = -step;
    }
    int row = 0;
    for (; row + 1 < height; row += 2) {
        toUV(src, src + step, dstU, dstV);
        toY(src, dstY);
        toY(src + step, dstY + dstStrideY);
        src += 2 * step;
        dstY += 2 * static_cast<ptrdiff_t>(dstStrideY);
        dstU += dstStrideU;
        dstV += dstStrideV;
    }
    if (row < height) {
        toUV(src, src, dstU, dstV);
        toY(src, dstY);
    }
    return 0;
}

using PackedConverter = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*,
                                int, int, int, int, int);

}  // namespace

void yuvRowToPacked_C(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int width, const YuvFixedDecode& k, int r, int g, int b) {
    const int a = 6 - r - g - b;
    for (int x = 0; x < width; ++x, dst += 4) {
        const int luma = (y[x] - k.yOffset) * k.y + 2048;  // + 2048: round to nearest
        const int cb = u[x >> 1] - 128, cr = v[x >> 1] - 128;
        dst[r] = clamp255((luma + k.vr * cr) >> 12);
        dst[g] = clamp255((luma - k.ug * cb - k.vg * cr) >> 12);
        dst[b] = clamp255((luma + k.ub * cb) >> 12);
        dst[a] = 0;
    }
}

bool packedRowPathSupported(PackedRowPath path) {
    switch (path) {
        case PackedRowPath::kPortable: return true;
#if KELVO_COLOR_ROWS_X86
        case PackedRowPath::kSSE2: return __builtin_cpu_supports("sse2");
        case PackedRowPath::kAVX2: return __builtin_cpu_supports("avx2");
#endif
        default: return false;
    }
}

PackedRowPath bestPackedRowPath() {
    static const PackedRowPath best = packedRowPathSupported(PackedRowPath::kAVX2)
                                          ? PackedRowPath::kAVX2
                                          : packedRowPathSupported(PackedRowPath::kSSE2)
                                                ? PackedRowPath::kSSE2
                                                : PackedRowPath::kPortable;
    return best;
}

int packedToI420WithRows(PackedOrder order, PackedRowPath path, const uint8_t* src,
                         int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                         int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height,
                         int colorRange, int colorMatrix) {
    switch (order) {
        case PackedOrder::kABGR:
            return packedToI420<0, 1, 2>(path, src, srcStride, dstY, dstStrideY, dstU,
                                         dstStrideU, dstV, dstStrideV, width, height,
                                         colorRange, colorMatrix);
        case PackedOrder::kARGB:
            return packedToI420<2, 1, 0>(path, src, srcStride, dstY, dstStrideY, dstU,
                                         dstStrideU, dstV, dstStrideV, width, height,
                                         colorRange, colorMatrix);
        case PackedOrder::kBGRA:
            return packedToI420<1, 2, 3>(path, src, srcStride, dstY, dstStrideY, dstU,
                                         dstStrideU, dstV, dstStrideV, width, height,
                                         colorRange, colorMatrix);
    }
    return -1;
}

int ABGRToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV,
                         int width, int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kABGR, bestPackedRowPath(), src, srcStride, dstY,
                                dstStrideY, dstU, dstStrideU, dstV, dstStrideV, width, height,
                                colorRange, colorMatrix);
}

int ARGBToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV,
                         int width, int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kARGB, bestPackedRowPath(), src, srcStride, dstY,
                                dstStrideY, dstU, dstStrideU, dstV, dstStrideV, width, height,
                                colorRange, colorMatrix);
}

int BGRAToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV,
                         int width, int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kBGRA, bestPackedRowPath(), src, srcStride, dstY,
                                dstStrideY, dstU, dstStrideU, dstV, dstStrideV, width, height,
                                colorRange, colorMatrix);
}

int ConvertToI420ColorSpace(const uint8_t* sample, size_t sample_size, uint8_t* dst_y,
                            int dst_stride_y, uint8_t* dst_u, int dst_stride_u,
                            uint8_t* dst_v, int dst_stride_v, int crop_x, int crop_y,
                            int src_width, int src_height, int crop_width, int crop_height,
                            libyuv::RotationMode rotation, uint32_t fourcc, int colorRange,
                            int colorMatrix) {
    PackedConverter convert = nullptr;
    switch (libyuv::CanonicalFourCC(fourcc)) {
        case libyuv::FOURCC_ABGR: convert = ABGRToI420ColorSpace; break;
        case libyuv::FOURCC_ARGB: convert = ARGBToI420ColorSpace; break;
        case libyuv::FOURCC_BGRA: convert = BGRAToI420ColorSpace; break;
        default:
            return libyuv::ConvertToI420(sample, sample_size, dst_y, dst_stride_y, dst_u,
                                         dst_stride_u, dst_v, dst_stride_v, crop_x, crop_y,
                                         src_width, src_height, crop_width, crop_height,
                                         rotation, fourcc);
    }

    if (!dst_y || !dst_u || !dst_v || !sample || src_width <= 0 || crop_width <= 0 ||
        src_height == 0 || crop_height == 0 || src_height == INT_MIN || crop_height == INT_MIN)
        return -1;
    const int absSrcHeight = std::abs(src_height);
    const int absCropHeight = std::abs(crop_height);
    // A bottom-up source is cropped and converted flipped.
    const int invCropHeight = src_height < 0 ? -absCropHeight : absCropHeight;

    // libyuv trusts the crop; here it must lie inside a sample that holds it.
    if (crop_x < 0 || crop_y < 0 || int64_t{crop_x} + crop_width > src_width ||
        int64_t{crop_y} + absCropHeight > absSrcHeight || src_width > INT_MAX / 4)
        return -1;
    const int srcStride = src_width * 4;
    const uint64_t needed = uint64_t(srcStride) * uint64_t(crop_y + absCropHeight - 1) +
                            uint64_t(crop_x + crop_width) * 4;
    if (needed > sample_size) return -1;
    const uint8_t* src = sample + (int64_t{src_width} * crop_y + crop_x) * 4;

    const bool needBuffer = rotation != libyuv::kRotate0 || dst_y == sample;
    if (!needBuffer) {
        return convert(src, srcStride, dst_y, dst_stride_y, dst_u, dst_stride_u, dst_v,
                       dst_stride_v, crop_width, invCropHeight, colorRange, colorMatrix);
    }

    // Convert into a tightly packed I420 buffer, then rotate into place.
    const int halfWidth = (crop_width + 1) / 2;
    const size_t ySize = size_t(crop_width) * size_t(absCropHeight);
    const size_t uvSize = size_t(halfWidth) * size_t((absCropHeight + 1) / 2);
    auto* buffer = static_cast<uint8_t*>(std::malloc(ySize + 2 * uvSize));
    if (!buffer) return 1;
    uint8_t* tmpY = buffer;
    uint8_t* tmpU = tmpY + ySize;
    uint8_t* tmpV = tmpU + uvSize;
    int r = convert(src, srcStride, tmpY, crop_width, tmpU, halfWidth, tmpV, halfWidth,
                    crop_width, invCropHeight, colorRange, colorMatrix);
    if (r == 0) {
        r = libyuv::I420Rotate(tmpY, crop_width, tmpU, halfWidth, tmpV, halfWidth, dst_y,
                               dst_stride_y, dst_u, dst_stride_u, dst_v, dst_stride_v,
                               crop_width, absCropHeight, rotation);
    }
    std::free(buffer);
    return r;
}

}  // namespace video
}  // namespace kelvo
