// Frame times as the integrations hand them to the engine.
#include <gtest/gtest.h>

#include <vector>

#include "engine_client.h"

namespace kelvo {
namespace integration {
namespace {

// Backwards steps and jumps (seeks, loops, pauses) add nothing; the
// stream's own steps add up.
TEST(StreamClock, CountsOnlyTheStreamsOwnSteps) {
    const struct {
        const char* what;
        std::vector<int64_t> source, engine;
    } rows[] = {
        {"steady", {5000000, 5033333, 5066666}, {0, 33333, 66666}},
        {"seek back", {0, 40000, 80000, 10000, 50000}, {0, 40000, 80000, 80000, 120000}},
        {"seek ahead", {0, 40000, 60000000, 60040000}, {0, 40000, 40000, 80000}},
        {"longest step", {0, 2000000, 4000001}, {0, 2000000, 2000000}},
        {"repeated time", {7, 7, 9}, {0, 0, 2}},
    };
    for (const auto& row : rows) {
        StreamClock clock;
        std::vector<int64_t> got;
        for (int64_t t : row.source) got.push_back(clock.advance(t));
        EXPECT_EQ(got, row.engine) << row.what;
    }
}

TEST(StreamClock, FrameTimesFollowTheRateWithoutDrift) {
    const struct {
        int64_t index;
        int num, den;
        int64_t us;
    } rows[] = {
        {0, 25, 1, 0},
        {3, 30000, 1001, 100100},
        {30000 * 1000LL, 30000, 1001, 1001000000000LL},  // a thousand times 30000 frames
        {1, 0, 1, 0},                                    // no rate
        {1, 30, -1, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(frameTimeUs(r.index, r.num, r.den), r.us)
            << r.index << " at " << r.num << "/" << r.den;
}

}  // namespace
}  // namespace integration
}  // namespace kelvo
