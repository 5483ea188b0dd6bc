#include <algorithm>
#include <cmath>

#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

namespace {

long fixedValue(float x, float scale) { return std::lround(static_cast<double>(x) * scale); }

int16_t toInt16(long x) { return static_cast<int16_t>(std::min(std::max(x, -32768L), 32767L)); }

}  // namespace

YUVInputFixed yuvInputFixed(const YUVInputRowParams& p) {
    YUVInputFixed f;
    f.lumaOffset = toInt16(fixedValue(p.rangeOffset, 255.0f));
    f.chromaOffset = toInt16(2 * fixedValue(p.chromaOffset, 255.0f));
    for (int c = 0; c < 3; ++c) {
        for (int j = 0; j < 3; ++j) {
            // Chroma arrives doubled.
            const float scale = static_cast<float>(1 << (j == 0 ? kFixedShift : kFixedShift - 1));
            const long w = fixedValue(p.matrix[3 * c + j], scale);
            f.k[c][j][0] = toInt16(w >> 7);  // floor, so the low half is 0..127
            f.k[c][j][1] = static_cast<int16_t>(w & 127);
        }
    }
    return f;
}

void ChromaAcrossRow_C(const uint8_t* padded, uint8_t* out, int width) {
    chromaAcrossRow<ScalarOps16>(padded, out, width);
}

void YUVToRGBARow_C(const YUVInputLines& rows, uint8_t* dstRGBA, int width,
                    const YUVInputFixed& k) {
    yuvToRGBARow<ScalarOps16>(rows, dstRGBA, width, k);
}

YUVInputRows yuvInputRowsFor(CpuFlags flags) {
    YUVInputRows rows = {ChromaAcrossRow_C, YUVToRGBARow_C};
    yuvInputRowsInitArch(rows, flags);
    return rows;
}

const YUVInputRows& yuvInputRows() {
    static const YUVInputRows rows = yuvInputRowsFor(cpuFlags());
    return rows;
}

}  // namespace video
}  // namespace kelvo
