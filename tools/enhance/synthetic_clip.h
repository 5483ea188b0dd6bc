// A generated test clip: a slowly moving scene with a skin-toned face, fine
// texture and sensor-like noise, so that every effect has something to do.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo {
namespace enhance {

// Fills `planes` with frame `index` as tightly packed I420 (Y, U, V).
// noiseSigma is the standard deviation of the luma noise in code values.
void syntheticFrame(int width, int height, int index, double noiseSigma,
                    std::vector<uint8_t>* planes);

}  // namespace enhance
}  // namespace kelvo
