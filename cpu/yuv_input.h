// YUV input conversion on the CPU: I420 planes to an RGBA8 image, computed
// as the GL input pass computes it. Luma is read at each pixel; chroma is
// sampled as a linearly filtered, edge-clamped texture of chromaWidth x
// chromaHeight texels stretched over the picture (horizontally always by
// two, vertically by height / chromaHeight), so the result matches the GL
// pass pixel for pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "cpu/image.h"
#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {

class WorkerPool;

// Owns per-band scratch rows that grow to the largest picture seen, so a
// stable size allocates nothing. Not thread-safe; one object per engine.
class YUVInput {
public:
    explicit YUVInput(const YUVInputRows& rows = yuvInputRows());

    // Converts dst.width x dst.height pixels. The Y plane must hold
    // dst.height rows of dst.width bytes; U and V chromaHeight rows of
    // (dst.width + 1) / 2 bytes. False, with nothing written, for null
    // pointers, a size below 1x1, strides shorter than the rows, or
    // chromaHeight < 1. pool may be null (run inline).
    // `then`, when given, runs with its context on every piece of rows
    // [begin, end) right after the piece is converted, on the same thread,
    // while the rows are in cache; pieces start on even rows.
    using RowsDone = void (*)(void* ctx, int begin, int end);
    bool convert(const uint8_t* srcY, int strideY, const uint8_t* srcU, int strideU,
                 const uint8_t* srcV, int strideV, int chromaHeight,
                 const YUVInputRowParams& coeffs, const ImageRGBA8& dst, WorkerPool* pool,
                 RowsDone then = nullptr, void* thenContext = nullptr);

private:
    YUVInputRows rows_;
    std::vector<uint8_t> scratch_;
};

}  // namespace video
}  // namespace kelvo
