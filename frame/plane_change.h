// Carrying a change over to other samples: where a picture went through a
// lossy conversion and back (chroma resampled, colours clipped), the change
// that processing made is measured between two pictures converted the same
// way and added to the samples the caller gave, so that what nothing changed
// comes back byte for byte.
#pragma once

#include <cstdint>

#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// dst[i] = clamp(dst[i] + now[i] - was[i], 0, 255) for n bytes. The three
// ranges may not overlap unless dst is one of the others. Thread-safe.
void addRowChange(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);
// The same with no vector instructions, for tests of the fast one.
void addRowChange_C(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);

// The row of one instruction-set level.
struct PlaneChangeRows {
    decltype(&addRowChange_C) addRow;
};
// The fastest rows that need no flag outside `flags`.
PlaneChangeRows planeChangeRowsFor(CpuFlags flags);
// planeChangeRowsFor(cpuFlags()), filled on the first call. Thread-safe.
const PlaneChangeRows& planeChangeRows();
// Puts the rows of the build's architecture that need no flag outside
// `flags` into `rows`. Defined once per architecture, in
// <arch>/plane_change_init.cpp beside this file (generic/ where the
// architecture has no rows).
void planeChangeRowsInitArch(PlaneChangeRows& rows, CpuFlags flags);

// addRowChange over `rows` rows of `width` bytes, each plane with its own
// stride. Nothing happens for a width or row count below 1.
void addPlaneChange(uint8_t* dst, int dstStride, const uint8_t* now, int nowStride,
                    const uint8_t* was, int wasStride, int width, int rows);

}  // namespace video
}  // namespace kelvo
