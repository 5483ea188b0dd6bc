// Output conversion on the CPU: an RGBA8 image (the last pass's result, as
// the GL path reads its framebuffer back) to I420 planes, with the rows of
// the packed converters (convert/color_space_rows.h), so that a frame
// leaves either way with the same bytes. Each 2x2 block gives one chroma
// sample; an odd last column or row is averaged on its own.
#pragma once

#include <cstdint>

#include "convert/color_space_rows.h"
#include "cpu/image.h"

namespace kelvo {
namespace video {

class WorkerPool;

// Stateless apart from the chosen rows; safe to share between threads.
class YUVOutput {
public:
    explicit YUVOutput(const PackedRows& rows = packedRows());

    // Writes src.width x src.height luma samples and (width + 1) / 2 x
    // (height + 1) / 2 chroma samples with the encode weights of the colour
    // codes that decoded the frame. False, with nothing written, for null
    // pointers, a size below 1x1 or strides shorter than the rows. Row bands
    // start on even rows, so threads never share a chroma row. pool may be
    // null (run inline).
    bool convert(const ConstImageRGBA8& src, uint8_t* dstY, int strideY, uint8_t* dstU, int strideU,
                 uint8_t* dstV, int strideV, const YUVFixedCoeffs& coeffs, WorkerPool* pool) const;

private:
    PackedRows rows_;
};

}  // namespace video
}  // namespace kelvo
