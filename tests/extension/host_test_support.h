// Shared by the adapter tests: the stand-in host library, loaded once into
// the test process, and frames to hand through it.
#pragma once

#include <cstdint>
#include <vector>

#include "extension/host_interface.h"
#include "tools/host/stand_in_host.h"

namespace kelvo {
namespace video {

// The stand-in host, loaded globally on first use and kept for the life of
// the process; null when the library cannot be loaded.
rtc_sdk::StandInHost* standInHost();

// A noisy skin-toned disc on grey, I420, width × height (even).
std::vector<uint8_t> skinFrame(int width, int height);

// A pixel-buffer record over pixels that knows nothing of its colour, so
// that the adapter's presets stand.
HostFrameData pixelFrameDescription(std::vector<uint8_t>& pixels, int width, int height);

// Mean absolute difference per byte.
double meanAbsDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace video
}  // namespace kelvo
