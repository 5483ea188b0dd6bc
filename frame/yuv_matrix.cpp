#include "frame/yuv_matrix.h"

#include <algorithm>
#include <cmath>

namespace kelvo {
namespace video {

namespace {

// Rows R, G, B of (Y', Cb, Cr) -> RGB. Limited range: luma gain 255/219,
// chroma gains x 255/224.
constexpr float kDecode[3][2][9] = {
    {{1.164384f, 0.0f, 1.596027f, 1.164384f, -0.391762f, -0.812968f, 1.164384f, 2.017232f, 0.0f},
     {1.0f, 0.0f, 1.402f, 1.0f, -0.344136f, -0.714136f, 1.0f, 1.772f, 0.0f}},
    {{1.164384f, 0.0f, 1.792741f, 1.164384f, -0.213249f, -0.532909f, 1.164384f, 2.112402f, 0.0f},
     {1.0f, 0.0f, 1.5748f, 1.0f, -0.187324f, -0.468124f, 1.0f, 1.8556f, 0.0f}},
    {{1.164384f, 0.0f, 1.678674f, 1.164384f, -0.187326f, -0.650424f, 1.164384f, 2.141772f, 0.0f},
     {1.0f, 0.0f, 1.4746f, 1.0f, -0.164553f, -0.571353f, 1.0f, 1.8814f, 0.0f}},
};

void invert3x3(const float* m, double* out) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7],
                 i = m[8];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    out[0] = (e * i - f * h) / det;
    out[1] = (c * h - b * i) / det;
    out[2] = (b * f - c * e) / det;
    out[3] = (f * g - d * i) / det;
    out[4] = (a * i - c * g) / det;
    out[5] = (c * d - a * f) / det;
    out[6] = (d * h - e * g) / det;
    out[7] = (b * g - a * h) / det;
    out[8] = (a * e - b * d) / det;
}

// Rounds `n` weights so that they sum to `total`: floors first, then one up
// for each of the largest remainders. Rounding each weight on its own could
// leave a sum off by one, which turns white grey and greys coloured.
void roundToSum(const double* x, int n, int total, int* out) {
    int order[3] = {0, 1, 2};
    int sum = 0;
    for (int k = 0; k < n; ++k) {
        out[k] = static_cast<int>(std::floor(x[k]));
        sum += out[k];
    }
    std::sort(order, order + n, [&](int p, int q) { return x[p] - out[p] > x[q] - out[q]; });
    for (int k = 0; k < n && sum < total; ++k, ++sum) ++out[order[k]];
}

YUVFixedCoeffs fixedCoeffs(const double* e, bool full) {
    double y[3], u[2], v[2];
    for (int k = 0; k < 3; ++k) y[k] = 256.0 * e[k];
    // The blue weight of U and the red weight of V stand alone; the other
    // two weights of each row cancel them exactly.
    const int uB = static_cast<int>(std::lround(256.0 * e[5]));
    const int vR = static_cast<int>(std::lround(256.0 * e[6]));
    u[0] = 256.0 * e[3];
    u[1] = 256.0 * e[4];
    v[0] = 256.0 * e[7];
    v[1] = 256.0 * e[8];
    int yi[3], ui[2], vi[2];
    roundToSum(y, 3, static_cast<int>(std::lround(y[0] + y[1] + y[2])), yi);
    roundToSum(u, 2, -uB, ui);
    roundToSum(v, 2, -vR, vi);
    YUVFixedCoeffs c{};
    c.yR = static_cast<int16_t>(yi[0]);
    c.yG = static_cast<int16_t>(yi[1]);
    c.yB = static_cast<int16_t>(yi[2]);
    c.yBias = full ? 128 : 4224;  // (16 + 0.5) * 256 for limited range
    c.uR = static_cast<int16_t>(ui[0]);
    c.uG = static_cast<int16_t>(ui[1]);
    c.uB = static_cast<int16_t>(uB);
    c.vR = static_cast<int16_t>(vR);
    c.vG = static_cast<int16_t>(vi[0]);
    c.vB = static_cast<int16_t>(vi[1]);
    return c;
}

struct Table {
    YUVMatrix entries[3][2];
    Table() {
        for (int s = 0; s < 3; ++s) {
            for (int full = 0; full < 2; ++full) {
                YUVMatrix& m = entries[s][full];
                m.standard = static_cast<YUVStandard>(s);
                m.fullRange = full != 0;
                m.lumaOffset = full ? 0.0f : 16.0f / 255.0f;
                m.chromaOffset = 128.0f / 255.0f;
                std::copy(kDecode[s][full], kDecode[s][full] + 9, m.decode);
                double inverse[9];
                invert3x3(m.decode, inverse);
                for (int k = 0; k < 9; ++k) m.encode[k] = static_cast<float>(inverse[k]);
                m.fixed = fixedCoeffs(inverse, m.fullRange);
                auto q = [](float v) { return static_cast<int16_t>(std::lround(v * 4096.0f)); };
                m.fixedDecode = {q(m.decode[0]),  q(m.decode[2]), q(-m.decode[4]),
                                 q(-m.decode[5]), q(m.decode[7]), int16_t(full ? 0 : 16)};
            }
        }
    }
};

const Table& table() {
    static const Table instance;
    return instance;
}

}  // namespace

const YUVMatrix& yuvMatrix(YUVStandard standard, bool fullRange) {
    return table().entries[static_cast<int>(standard)][fullRange ? 1 : 0];
}

const YUVMatrix& yuvMatrixFor(int colorMatrix, int colorRange) {
    if (colorMatrix == -1) return yuvMatrix(YUVStandard::kBT601, false);
    const bool full = colorRange == 1;
    if (colorMatrix == 3 || colorMatrix == 4) return yuvMatrix(YUVStandard::kBT601, full);
    if (colorMatrix == 7 || colorMatrix == 8) return yuvMatrix(YUVStandard::kBT2020, full);
    return yuvMatrix(YUVStandard::kBT709, full);
}

}  // namespace video
}  // namespace kelvo
