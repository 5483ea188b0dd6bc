// Wall-clock milliseconds for the parts of the library that measure time (the
// dark-scene hold time, the host adapter's average-time log).
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

// Milliseconds of the wall clock (seconds × 1000 + milliseconds). Thread-safe.
int64_t wallClockMs();

// Replaces the clock for the whole process; null restores the system clock.
// Tests use this to step through hold times without sleeping.
using WallClockFunction = int64_t (*)();
void setWallClockForTesting(WallClockFunction clock);

}  // namespace video
}  // namespace kelvo
