// Carrying a change over to other samples: where a picture went through a
// lossy conversion and back (chroma resampled, colours clipped), the change
// that processing made is measured between two pictures converted the same
// way and added to the samples the caller gave, so that what nothing changed
// comes back byte for byte.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

// dst[i] = clamp(dst[i] + now[i] - was[i], 0, 255) for n bytes. The three
// ranges may not overlap unless dst is one of the others. Thread-safe.
void addRowChange(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);
// The same with no vector instructions, for tests of the fast one.
void addRowChange_C(uint8_t* dst, const uint8_t* now, const uint8_t* was, int n);

// addRowChange over `rows` rows of `width` bytes, each plane with its own
// stride. Nothing happens for a width or row count below 1.
void addPlaneChange(uint8_t* dst, int dstStride, const uint8_t* now, int nowStride,
                    const uint8_t* was, int wasStride, int width, int rows);

}  // namespace video
}  // namespace kelvo
