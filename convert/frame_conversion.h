// Conversions between caller pixel buffers and I420VideoFrame planes, keyed by
// the internal video type of a pixel format:
//
//   format id   1     2     3     4     5     6     7     8
//   video type  1     17    13    14    10    16    5     15
//   FourCC      I420  I422  NV21  NV12  YV12  RGBA  ARGB  BGRA
//
// The FourCCs are libyuv's (FOURCC_*), so RGBA means libyuv's RGBA byte order
// (A, B, G, R in memory), ARGB bytes B, G, R, A and BGRA bytes A, R, G, B.
// All functions are stateless and thread-safe; they touch only the frame and
// buffers passed in, which stay owned by the caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {

// Internal video type of a processFrame pixel-format id, 0 for unknown ids.
int videoTypeFromFormat(int formatId);

// True for the packed four-byte types RGBA, ARGB and BGRA.
bool isPackedVideoType(int videoType);

// libyuv FourCC of an internal video type, 0 for unknown types.
uint32_t fourccFromVideoType(int videoType);

// Converts `buffer` (sampleSize bytes, a srcWidth x srcHeight picture of
// `videoType`) into the frame's existing planes. The frame's width and height
// are the size after rotation; the crop of that size (swapped for 90 and 270)
// starts at (cropX, cropY). Rotations other than 90, 180 and 270 count as 0.
// Sets frame.colorRange and frame.colorMatrix to the given codes, which
// choose the coefficients for the packed formats ARGB and BGRA; RGBA is
// converted by libyuv as BT.601 limited, and the frame says so (0 and 4).
// Returns ConvertToI420ColorSpace's result (0 success); −1 for an unknown
// type or a frame whose planes cannot hold its width x height picture.
int convertBufferToFrame(int videoType, const uint8_t* buffer, int cropX, int cropY,
                         int srcWidth, int srcHeight, size_t sampleSize, int rotation,
                         I420VideoFrame& frame, int colorRange, int colorMatrix);

// Writes the frame's I420 planes into `buffer` as `videoType`, frame-sized,
// with rows dstStride bytes apart (0: packed rows). The buffer must hold the
// whole picture. The packed types (RGBA, ARGB, BGRA) are decoded with the
// frame's colour codes (yuvMatrixFor) and only their colour bytes are
// written: the alpha bytes the buffer holds stay. Returns 0 on success, a
// libyuv error, or −1 for an unknown type or a frame whose planes do not hold
// its picture.
int convertFrameToBuffer(const I420VideoFrame& frame, int videoType, int dstStride,
                         uint8_t* buffer);

}  // namespace video
}  // namespace kelvo
