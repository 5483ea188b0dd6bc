#include "convert/color_space_convert.h"

#include "convert/color_space_rows.h"
#include "frame/yuv_matrix.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <libyuv/convert.h>
#include <libyuv/video_common.h>

namespace kelvo {
namespace video {

namespace {

uint8_t clamp255(int v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 255)); }

inline void storeUV(const int* mean, const PackedRowCoeffs& c, uint8_t* u, uint8_t* v) {
    *u = clamp255((c.u[0] * mean[0] + c.u[1] * mean[1] + c.u[2] * mean[2] + c.u[3] * mean[3] +
                   kYUVChromaBias) >>
                  8);
    *v = clamp255((c.v[0] * mean[0] + c.v[1] * mean[1] + c.v[2] * mean[2] + c.v[3] * mean[3] +
                   kYUVChromaBias) >>
                  8);
}

using PackedConverter = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int,
                                int, int, int, int);

int RGBAToI420IgnoringCodes(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                            uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                            int height, int, int) {
    return RGBAToI420BT601(src, srcStride, dstY, dstStrideY, dstU, dstStrideU, dstV, dstStrideV,
                           width, height);
}

}  // namespace

PackedRowCoeffs packedRowCoeffs(PackedOrder order, const YUVFixedCoeffs& k) {
    // Byte offsets of R, G and B.
    int r = 0, g = 1, b = 2;
    switch (order) {
        case PackedOrder::kABGR:
            break;
        case PackedOrder::kARGB:
            r = 2, b = 0;
            break;
        case PackedOrder::kBGRA:
            r = 1, g = 2, b = 3;
            break;
        case PackedOrder::kRGBA:
            r = 3, g = 2, b = 1;
            break;
    }
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

void PackedRowToY_C(const uint8_t* src, uint8_t* dstY, int width, const PackedRowCoeffs& c) {
    for (int x = 0; x < width; ++x, src += 4) {
        const int sum = c.y[0] * src[0] + c.y[1] * src[1] + c.y[2] * src[2] + c.y[3] * src[3];
        dstY[x] = static_cast<uint8_t>(std::min(255, (sum + c.yBias) >> 8));
    }
}

void PackedRowPairToUV_C(const uint8_t* s0, const uint8_t* s1, uint8_t* dstU, uint8_t* dstV,
                         int width, const PackedRowCoeffs& c) {
    int x = 0;
    int mean[4];
    for (; x + 1 < width; x += 2, s0 += 8, s1 += 8) {
        for (int i = 0; i < 4; ++i) mean[i] = (s0[i] + s0[i + 4] + s1[i] + s1[i + 4]) >> 2;
        storeUV(mean, c, dstU++, dstV++);
    }
    if (x < width) {
        for (int i = 0; i < 4; ++i) mean[i] = (s0[i] + s1[i]) >> 1;
        storeUV(mean, c, dstU, dstV);
    }
}

void YUVRowToPacked_C(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int width,
                      const YUVFixedDecode& k, int r, int g, int b) {
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

void PackedKeepAlphaRow_C(uint8_t* dst, const uint32_t* colour, int width, uint32_t alphaMask) {
    for (int x = 0; x < width; ++x) {
        uint32_t kept;
        std::memcpy(&kept, dst + 4 * x, 4);
        kept = (kept & alphaMask) | (colour[x] & ~alphaMask);
        std::memcpy(dst + 4 * x, &kept, 4);
    }
}

PackedRows packedRowsFor(CpuFlags flags) {
    PackedRows rows = {PackedRowToY_C, PackedRowPairToUV_C, YUVRowToPacked_C, PackedKeepAlphaRow_C};
    packedRowsInitArch(rows, flags);
    return rows;
}

const PackedRows& packedRows() {
    static const PackedRows rows = packedRowsFor(cpuFlags());
    return rows;
}

int packedToI420WithRows(PackedOrder order, const PackedRows& rows, const uint8_t* src,
                         int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                         int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height,
                         int colorRange, int colorMatrix) {
    if (!src || !dstY || !dstU || !dstV || width <= 0 || height == 0 || height == INT_MIN)
        return -1;
    // The same matrix and range that decode a frame with these codes.
    const PackedRowCoeffs coeffs =
        packedRowCoeffs(order, yuvMatrixFor(colorMatrix, colorRange).fixed);
    ptrdiff_t step = srcStride;
    if (height < 0) {
        height = -height;
        src += static_cast<ptrdiff_t>(height - 1) * step;
        step = -step;
    }
    int row = 0;
    for (; row + 1 < height; row += 2) {
        rows.toUV(src, src + step, dstU, dstV, width, coeffs);
        rows.toY(src, dstY, width, coeffs);
        rows.toY(src + step, dstY + dstStrideY, width, coeffs);
        src += 2 * step;
        dstY += 2 * static_cast<ptrdiff_t>(dstStrideY);
        dstU += dstStrideU;
        dstV += dstStrideV;
    }
    if (row < height) {
        rows.toUV(src, src, dstU, dstV, width, coeffs);
        rows.toY(src, dstY, width, coeffs);
    }
    return 0;
}

int RGBAToI420BT601(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                    int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height) {
    return packedToI420WithRows(PackedOrder::kRGBA, packedRows(), src, srcStride, dstY, dstStrideY,
                                dstU, dstStrideU, dstV, dstStrideV, width, height, 0, 4);
}

int ABGRToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kABGR, packedRows(), src, srcStride, dstY, dstStrideY,
                                dstU, dstStrideU, dstV, dstStrideV, width, height, colorRange,
                                colorMatrix);
}

int ARGBToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kARGB, packedRows(), src, srcStride, dstY, dstStrideY,
                                dstU, dstStrideU, dstV, dstStrideV, width, height, colorRange,
                                colorMatrix);
}

int BGRAToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix) {
    return packedToI420WithRows(PackedOrder::kBGRA, packedRows(), src, srcStride, dstY, dstStrideY,
                                dstU, dstStrideU, dstV, dstStrideV, width, height, colorRange,
                                colorMatrix);
}

int ConvertToI420ColorSpace(const uint8_t* sample, size_t sample_size, uint8_t* dst_y,
                            int dst_stride_y, uint8_t* dst_u, int dst_stride_u, uint8_t* dst_v,
                            int dst_stride_v, int crop_x, int crop_y, int src_width, int src_height,
                            int crop_width, int crop_height, libyuv::RotationMode rotation,
                            uint32_t fourcc, int colorRange, int colorMatrix) {
    PackedConverter convert = nullptr;
    switch (libyuv::CanonicalFourCC(fourcc)) {
        case libyuv::FOURCC_ABGR:
            convert = ABGRToI420ColorSpace;
            break;
        case libyuv::FOURCC_ARGB:
            convert = ARGBToI420ColorSpace;
            break;
        case libyuv::FOURCC_BGRA:
            convert = BGRAToI420ColorSpace;
            break;
        case libyuv::FOURCC_RGBA:
            convert = RGBAToI420IgnoringCodes;
            break;
        default:
            return libyuv::ConvertToI420(
                sample, sample_size, dst_y, dst_stride_y, dst_u, dst_stride_u, dst_v, dst_stride_v,
                crop_x, crop_y, src_width, src_height, crop_width, crop_height, rotation, fourcc);
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
    int r = convert(src, srcStride, tmpY, crop_width, tmpU, halfWidth, tmpV, halfWidth, crop_width,
                    invCropHeight, colorRange, colorMatrix);
    if (r == 0) {
        r = libyuv::I420Rotate(tmpY, crop_width, tmpU, halfWidth, tmpV, halfWidth, dst_y,
                               dst_stride_y, dst_u, dst_stride_u, dst_v, dst_stride_v, crop_width,
                               absCropHeight, rotation);
    }
    std::free(buffer);
    return r;
}

}  // namespace video
}  // namespace kelvo
