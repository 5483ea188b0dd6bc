// Sizes of caller pixel buffers, so that a buffer is never read or written
// past its end.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

// Largest accepted frame side, far above any camera frame; larger values are
// taken as garbage rather than risking huge allocations.
constexpr int kMaxFrameSide = 16384;

// True for 1 ≤ width, height ≤ kMaxFrameSide.
bool validFrameSize(int width, int height);

// Bytes a tightly packed buffer of the internal video type needs for a
// width × height frame; −1 for an unknown type.
int64_t requiredBufferSize(int videoType, int width, int height);

}  // namespace video
}  // namespace kelvo
