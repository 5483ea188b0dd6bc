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
#include <vector>

#include "frame/i420_video_frame.h"
#include "system/row_splitter.h"

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
int convertBufferToFrame(int videoType, const uint8_t* buffer, int cropX, int cropY, int srcWidth,
                         int srcHeight, size_t sampleSize, int rotation, I420VideoFrame& frame,
                         int colorRange, int colorMatrix);

// Writes the frame's I420 planes into `buffer` as `videoType`, frame-sized,
// with rows dstStride bytes apart (0: packed rows). The buffer must hold the
// whole picture. The packed types (RGBA, ARGB, BGRA) are decoded with the
// frame's colour codes (yuvMatrixFor) and only their colour bytes are
// written: the alpha bytes the buffer holds stay. Returns 0 on success, a
// libyuv error, or −1 for an unknown type or a frame whose planes do not hold
// its picture.
int convertFrameToBuffer(const I420VideoFrame& frame, int videoType, int dstStride,
                         uint8_t* buffer);

// A caller's picture as planes and strides: planar types in the order of
// their names (YV12: Y, V, U; NV12 and NV21: Y, then interleaved chroma),
// packed types in plane 0. Rows may be padded and planes lie apart.
struct PlaneBuffer {
    int videoType = 0;
    int width = 0;
    int height = 0;
    uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
};

// Why `picture` cannot be read and written as a whole picture of its type
// (unknown type, size out of range, a missing plane, a stride shorter than
// its row), or null when it can.
const char* planeBufferFault(const PlaneBuffer& picture);

// A tight buffer of `videoType` (no row padding, planes one after another,
// as requiredBufferSize counts them) described by its planes; videoType 0
// for an unknown type.
PlaneBuffer contiguousPlaneBuffer(int videoType, int width, int height, uint8_t* buffer);

// The way of a caller's picture to the frame and back. I420, YV12, NV12 and
// NV21 go there and back exactly, and are written back straight. I422
// (chroma rows averaged in pairs) and the packed types (chroma subsampled,
// colours clipped) do not: converted back, an untouched picture would lose
// detail. For them the picture takes only what processing changed: picture =
// clamp(picture + F(processed) − F(unprocessed)) per byte, F being
// convertFrameToBuffer and "unprocessed" a copy of the frame as it came in.
// Its buffers grow to the largest frame seen, so a stable size allocates
// nothing. Not thread-safe; one per engine.
class BufferRoundTrip {
public:
    // Converts the picture (planeBufferFault null, the frame's size), read
    // where it lies, into the frame's planes, setting the frame's colour
    // codes as convertBufferToFrame does; for I422 and the packed types the
    // frame is also copied. 0, a libyuv error, or −1 (bad picture or frame,
    // or no memory for the copy).
    // I420, YV12, NV12 and NV21 rows are split over `splitter` when given.
    int toFrame(const PlaneBuffer& picture, I420VideoFrame& frame, int colorRange, int colorMatrix,
                RowSplitter* splitter = nullptr);
    // Writes the processed frame into the picture the last toFrame read,
    // which must still hold its input. A frame equal to its copy writes
    // nothing. Returns 0; convertFrameToBuffer's error; −1, with the picture
    // untouched, when memory runs out or the frame is not the one toFrame
    // filled (size, type).
    int toBuffer(const I420VideoFrame& frame, const PlaneBuffer& picture,
                 RowSplitter* splitter = nullptr);
    // The same for a tight buffer (contiguousPlaneBuffer) of sampleSize
    // bytes; −1 when it is shorter than the picture.
    int toFrame(int videoType, const uint8_t* buffer, int width, int height, size_t sampleSize,
                I420VideoFrame& frame, int colorRange, int colorMatrix);
    int toBuffer(const I420VideoFrame& frame, int videoType, uint8_t* buffer);

private:
    I420VideoFrame unprocessed_;
    int keptType_ = 0;  // the video type of the copy; 0: none
    // The two conversions: a row of each for the packed types, whole I422
    // buffers.
    std::vector<uint8_t> now_;
    std::vector<uint8_t> was_;
};

}  // namespace video
}  // namespace kelvo
