#include "frame/plane_change.h"

#include <cstddef>

namespace kelvo {
namespace video {

void addRowChange_C(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    for (int i = 0; i < n; ++i) {
        const int v = dst[i] + now[i] - was[i];
        dst[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

PlaneChangeRows planeChangeRowsFor(CpuFlags flags) {
    PlaneChangeRows rows = {addRowChange_C};
    planeChangeRowsInitArch(rows, flags);
    return rows;
}

const PlaneChangeRows& planeChangeRows() {
    static const PlaneChangeRows rows = planeChangeRowsFor(cpuFlags());
    return rows;
}

void addRowChange(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n) {
    planeChangeRows().addRow(dst, now, was, n);
}

void addPlaneChange(uint8_t* dst, int dstStride, const uint8_t* now, int nowStride,
                    const uint8_t* was, int wasStride, int width, int rows) {
    if (width < 1) return;
    const auto addRow = planeChangeRows().addRow;
    for (int y = 0; y < rows; ++y) {
        addRow(dst + static_cast<ptrdiff_t>(y) * dstStride,
               now + static_cast<ptrdiff_t>(y) * nowStride,
               was + static_cast<ptrdiff_t>(y) * wasStride, width);
    }
}

}  // namespace video
}  // namespace kelvo
