#include "cpu/color_cube.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

#include "cpu/color_cube_kernel.h"
#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

uint16_t cubeValue(float v) {
    const float e = std::nearbyint((v + kCubeOffset) / kCubeStep);
    return static_cast<uint16_t>(std::min(std::max(e, 0.0f), 65535.0f));
}

uint64_t newColourFunctionVersion() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

namespace {

CubeLevelTables makeLevelTables(int size) {
    CubeLevelTables t;
    const int step = 255 / (size - 1), side = step + 1;
    const uint32_t stride[3] = {1, static_cast<uint32_t>(size),
                                static_cast<uint32_t>(size) * static_cast<uint32_t>(size)};
    const uint32_t weight[3] = {1, static_cast<uint32_t>(side),
                                static_cast<uint32_t>(side) * static_cast<uint32_t>(side)};
    for (int c = 0; c < 3; ++c) {
        for (int level = 0; level < 256; ++level) {
            // The top level takes the last cell with its whole step.
            const int cell = std::min(level / step, size - 2), f = level - cell * step;
            t.axis[c][level] = static_cast<uint32_t>(cell) * stride[c] +
                               (static_cast<uint32_t>(f) * weight[c] << CubeLevelTables::kCodeShift);
        }
    }
    t.corners.resize(static_cast<size_t>(side) * side * side);
    const int16_t scale = static_cast<int16_t>(255 / step);
    for (int code = 0; code < side * side * side; ++code) {
        int f[3] = {code % side, code / side % side, code / (side * side)};
        int32_t d[3] = {1, size, size * size};
        // Fractions largest first; ties in any order give the same read.
        auto order = [&](int a, int b) {
            if (f[b] > f[a]) std::swap(f[a], f[b]), std::swap(d[a], d[b]);
        };
        order(0, 1);
        order(1, 2);
        order(0, 1);
        CubeLevelTables::Corners& k = t.corners[static_cast<size_t>(code)];
        k.d1 = d[0];
        k.d2 = d[1];
        const int w[4] = {step - f[0], f[0] - f[1], f[1] - f[2], f[2]};
        for (int i = 0; i < 4; ++i) k.w[i] = static_cast<int16_t>(w[i] * scale);
    }
    t.diagonal = stride[0] + stride[1] + stride[2];
    t.step = step;
    return t;
}

}  // namespace

const CubeLevelTables* cubeLevelTables(int size) {
    switch (size) {
        case 18: {
            static const CubeLevelTables t = makeLevelTables(18);
            return &t;
        }
        case 52: {
            static const CubeLevelTables t = makeLevelTables(52);
            return &t;
        }
        case 86: {
            static const CubeLevelTables t = makeLevelTables(86);
            return &t;
        }
        default:
            return nullptr;
    }
}

void ColorCube::build(int size, const LineFn& line, float bend, WorkerPool* pool) {
    // Beyond 256 the readers' float index arithmetic would round.
    size = std::min(std::max(size, 2), 256);
    size_ = size;
    entries_.resize(static_cast<size_t>(size) * size * size);
    // Lines are numbered g + size * b.
    forRows(pool, size * size, 1, [&](int, int begin, int end) {
        std::vector<float> rgb(3 * static_cast<size_t>(size));
        for (int l = begin; l < end; ++l) {
            line(l % size, l / size, rgb.data());
            uint64_t* out = entries_.data() + static_cast<size_t>(l) * size;
            for (int r = 0; r < size; ++r) {
                out[r] = cubeValue(rgb[3 * r]) |
                         static_cast<uint64_t>(cubeValue(rgb[3 * r + 1])) << 16 |
                         static_cast<uint64_t>(cubeValue(rgb[3 * r + 2])) << 32;
            }
        }
    });
    if (bend <= 0.0f) return;

    // A point bends where a second difference along an axis exceeds `bend`.
    const size_t points = entries_.size();
    std::vector<uint8_t> bends(points, 0);
    const int64_t step[3] = {1, size, static_cast<int64_t>(size) * size};
    auto value = [&](size_t i, int c) {
        return static_cast<float>(entries_[i] >> (16 * c) & 0xffff) * kCubeStep;
    };
    forRows(pool, size * size, 1, [&](int, int begin, int end) {
        for (int l = begin; l < end; ++l) {
            const int at[3] = {0, l % size, l / size};
            for (int r = 0; r < size; ++r) {
                const size_t i = static_cast<size_t>(l) * size + r;
                const int pos[3] = {r, at[1], at[2]};
                for (int axis = 0; axis < 3 && !bends[i]; ++axis) {
                    if (pos[axis] == 0 || pos[axis] == size - 1) continue;
                    for (int c = 0; c < 3; ++c) {
                        const float d = value(i - step[axis], c) - 2.0f * value(i, c) +
                                        value(i + step[axis], c);
                        if (std::fabs(d) > bend) bends[i] = 1;
                    }
                }
            }
        }
    });
    constexpr uint64_t kMark = uint64_t{1} << kMarkBit;
    for (int b = 0; b + 1 < size; ++b) {
        for (int g = 0; g + 1 < size; ++g) {
            for (int r = 0; r + 1 < size; ++r) {
                const size_t i = (static_cast<size_t>(b) * size + g) * size + r;
                bool marked = false;
                for (int corner = 0; corner < 8; ++corner) {
                    marked =
                        marked || bends[i + (corner & 1 ? step[0] : 0) +
                                        (corner & 2 ? step[1] : 0) + (corner & 4 ? step[2] : 0)];
                }
                if (marked) entries_[i] |= kMark;
            }
        }
    }
}

}  // namespace video
}  // namespace kelvo
