#include "system/clock.h"

#include <atomic>
#include <chrono>

namespace kelvo {
namespace video {

namespace {
std::atomic<WallClockFunction> gClockOverride{nullptr};
}

int64_t wallClockMs() {
    if (WallClockFunction clock = gClockOverride.load(std::memory_order_acquire)) return clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void setWallClockForTesting(WallClockFunction clock) {
    gClockOverride.store(clock, std::memory_order_release);
}

}  // namespace video
}  // namespace kelvo
