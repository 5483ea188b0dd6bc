#include <algorithm>
#include <cmath>

#include "cpu/yuv_input_kernel.h"

namespace kelvo {
namespace video {

namespace {

int16_t fixedWeight(float x, float scale) {
    return static_cast<int16_t>(std::min(std::max(std::lround(x * scale), -32768L), 32767L));
}

}  // namespace

YUVInputFixed yuvInputFixed(const YUVInputRowParams& p) {
    YUVInputFixed f;
    f.lumaOffset = fixedWeight(p.rangeOffset, 255.0f);
    f.chromaOffset = static_cast<int16_t>(2 * fixedWeight(p.chromaOffset, 255.0f));
    const float luma = static_cast<float>(1 << kFixedShift);
    for (int c = 0; c < 3; ++c) {
        f.k[c][0] = fixedWeight(p.matrix[3 * c], luma);
        f.k[c][1] = static_cast<int16_t>(1 << (kFixedShift - 1));
        // Chroma arrives doubled.
        f.k[c][2] = fixedWeight(p.matrix[3 * c + 1], luma / 2);
        f.k[c][3] = fixedWeight(p.matrix[3 * c + 2], luma / 2);
    }
    return f;
}

void ChromaAcrossRow_C(const uint8_t* padded, uint8_t* out, int width) {
    chromaAcrossRow<ScalarOps16>(padded, out, width);
}

void YUVToRGBARow_C(const YUVInputRows& rows, uint8_t* dstRGBA, int width,
                    const YUVInputFixed& k) {
    yuvToRGBARow<ScalarOps16>(rows, dstRGBA, width, k);
}

ChromaAcrossRowFn chromaAcrossRowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return ChromaAcrossRow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return ChromaAcrossRow_SSE2;
#else
    (void)path;
#endif
    return ChromaAcrossRow_C;
}

YUVToRGBARowFn yuvToRGBARowFor(RowPath path) {
#if KELVO_CPU_X86
    if (path == RowPath::kAVX2 && rowPathSupported(path)) return YUVToRGBARow_AVX2;
    if (path == RowPath::kSSE2 && rowPathSupported(path)) return YUVToRGBARow_SSE2;
#else
    (void)path;
#endif
    return YUVToRGBARow_C;
}

}  // namespace video
}  // namespace kelvo
