// Packed RGB to I420 with a chosen colour range and matrix, and a
// FourCC-dispatching sample conversion built on them and on libyuv.
//
// Range code r and matrix code m choose the coefficients through
// yuvMatrixFor (frame/yuv_matrix.h), the same choice that decodes a frame
// with those codes: BT.601 for m = 3, 4 and -1, BT.2020 for 7 and 8, BT.709
// otherwise; full range only for r = 1 with m != -1.
//
// The converters write width x height luma samples and (width + 1) / 2 x
// (height + 1) / 2 chroma samples; each 2x2 block gives one chroma sample, an
// odd last column or row is averaged on its own. They are pure functions of
// their arguments and safe to call from any thread. Buffers are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

#include <libyuv/rotate.h>

namespace kelvo {
namespace video {

// Converters named after libyuv's byte-order names:
//   ABGRToI420ColorSpace  pixel bytes R, G, B, A
//   ARGBToI420ColorSpace  pixel bytes B, G, R, A
//   BGRAToI420ColorSpace  pixel bytes A, R, G, B
// A negative height means the source is stored bottom-up: conversion starts
// at its last row and steps backwards. Returns 0, or −1 when src, dstY, dstU
// or dstV is null, width <= 0 or height == 0.
int ABGRToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix);
int ARGBToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix);
int BGRAToI420ColorSpace(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY,
                         uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int width,
                         int height, int colorRange, int colorMatrix);
// libyuv's RGBA, pixel bytes A, B, G, R, with BT.601 limited as libyuv's
// RGBAToI420 takes it, in the rows above: its luma is libyuv's, its chroma
// may round one level apart, and it is the same on every processor, where
// libyuv's chroma rounds differently on x86 and elsewhere.
int RGBAToI420BT601(const uint8_t* src, int srcStride, uint8_t* dstY, int dstStrideY, uint8_t* dstU,
                    int dstStrideU, uint8_t* dstV, int dstStrideV, int width, int height);

// libyuv::ConvertToI420 (same arguments, cropping, rotation and results) with
// a colour range and matrix for the packed formats: FOURCC_ABGR, FOURCC_ARGB
// and FOURCC_BGRA go to the converters above, FOURCC_RGBA to RGBAToI420BT601
// whatever the codes, every other FourCC to libyuv::ConvertToI420
// unchanged.
//
// For the four packed formats the crop must lie inside the source and
// sample_size must cover the rows the crop reads (4 bytes per pixel, rows
// 4 x src_width apart); otherwise −1 and nothing is written. With a
// rotation, or when dst_y is the sample, the conversion goes through a
// temporary I420 buffer (1 when it cannot be allocated). For the other
// FourCCs libyuv does not check sample_size against the read, so the caller
// must pass a sample that holds the whole source picture.
//
// Destination planes must hold the rotated crop: crop_width x |crop_height|,
// or |crop_height| x crop_width for 90 and 270.
int ConvertToI420ColorSpace(const uint8_t* sample, size_t sample_size, uint8_t* dst_y,
                            int dst_stride_y, uint8_t* dst_u, int dst_stride_u, uint8_t* dst_v,
                            int dst_stride_v, int crop_x, int crop_y, int src_width, int src_height,
                            int crop_width, int crop_height, libyuv::RotationMode rotation,
                            uint32_t fourcc, int colorRange, int colorMatrix);

}  // namespace video
}  // namespace kelvo
