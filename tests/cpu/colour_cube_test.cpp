// Colour enhancement through its cube against the exact row.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cpu/color_enhance.h"
#include "cpu/worker_pool.h"
#include "effects/lut_loader.h"
#include "tests/cpu/cpu_test_util.h"

namespace kelvo {
namespace video {
namespace {

using namespace cputest;

struct Settings {
    float strength, skinProtect;
};

ImageRGBA8 view(std::vector<uint8_t>& image, int width) {
    return {image.data(), 4 * width, width, static_cast<int>(image.size() / (4 * width))};
}

void setSkin(ColorEnhance& effect, const std::shared_ptr<ARGBFrame>& table) {
    ASSERT_TRUE(effect.setSkinTable({table->data(), table->stride(), table->width(), table->height()}));
}

// Every RGB8 colour once: red across, green down, blue in 16 x 16 blocks.
TEST(ColorEnhanceCube, StaysWithinALevelOfTheExactRowForEveryColour) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    ASSERT_TRUE(table && !table->empty());
    ColorEnhance exact(bestRowPath(), ColorEnhanceMethod::kExact), cube;
    setSkin(exact, table);
    setSkin(cube, table);
    WorkerPool pool(2);
    const int side = 4096;
    std::vector<uint8_t> src(4 * side * side), a(src.size()), b(src.size());
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            uint8_t* px = &src[4 * (y * side + x)];
            px[0] = static_cast<uint8_t>(x), px[1] = static_cast<uint8_t>(y);
            px[2] = static_cast<uint8_t>((y / 256) * 16 + x / 256), px[3] = 255;
        }
    }
    for (const Settings& s : {Settings{0.5f, 1.0f}, Settings{1.0f, 0.0f}, Settings{1.0f, 1.0f}}) {
        ColorEnhanceParams params;
        params.strength = s.strength;
        params.skinProtect = s.skinProtect;
        ASSERT_TRUE(exact.process({src.data(), 4 * side, side, side}, view(a, side), params, &pool));
        ASSERT_TRUE(cube.process({src.data(), 4 * side, side, side}, view(b, side), params, &pool));
        for (int channel = 0; channel < 3; ++channel) {
            const DiffStats d = diffStats(a.data(), 4 * side, b.data(), 4 * side, side, side, 4, channel);
            std::printf("[ cube ] strength %.1f skin %.1f channel %d: %s\n", s.strength, s.skinProtect,
                        channel, describe(d).c_str());
            EXPECT_LE(d.mean, 0.01);
            EXPECT_LE(d.max, 1);
        }
    }
}

// A cube built before a change must not outlive it: after each change the
// output is a fresh effect's, and differs from before.
TEST(ColorEnhanceCube, IsRebuiltWhenASettingOrTheSkinTableChanges) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    ASSERT_TRUE(table && !table->empty());
    struct Change {
        const char* name;
        void (*apply)(ColorEnhance&, ColorEnhanceParams&);
    };
    const Change changes[] = {
        {"strength", [](ColorEnhance&, ColorEnhanceParams& p) { p.strength = 1.0f; }},
        {"skin protection", [](ColorEnhance&, ColorEnhanceParams& p) { p.skinProtect = 0.0f; }},
        {"threshold", [](ColorEnhance&, ColorEnhanceParams& p) { p.threshold = 0.3f; }},
        {"skin table cleared", [](ColorEnhance& e, ColorEnhanceParams&) { e.setSkinTable({}); }},
    };
    const int side = 64;
    std::vector<uint8_t> src(4 * side * side), before(src.size()), after(src.size()), fresh(src.size());
    fillRandom(src, 5);
    const ConstImageRGBA8 in{src.data(), 4 * side, side, side};
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        ColorEnhance changed, reference;
        setSkin(changed, table);
        setSkin(reference, table);
        ColorEnhanceParams params;
        ASSERT_TRUE(changed.process(in, view(before, side), params, nullptr));
        change.apply(changed, params);
        change.apply(reference, params);
        ASSERT_TRUE(changed.process(in, view(after, side), params, nullptr));
        ASSERT_TRUE(reference.process(in, view(fresh, side), params, nullptr));
        EXPECT_EQ(after, fresh);
        EXPECT_NE(after, before);
    }
}

// Frames test the marked cells they sample and unmark those the grid serves:
// a picture that sampled none (black every 8th pixel, where sampling looks)
// comes out the same after other frames have unmarked cells it falls in.
TEST(ColorEnhanceCube, UnmarkingTestedCellsLeavesTheOutputAsItWas) {
    const int side = 256;
    std::vector<uint8_t> picture(4 * side * side), other(picture.size()), before(picture.size()),
        after(picture.size());
    fillRandom(picture, 3);
    fillRandom(other, 4);
    for (int y = 0; y < side; y += 8) {
        for (int x = 0; x < side; x += 8) std::memset(&picture[4 * (y * side + x)], 0, 3);
    }
    ColorEnhance effect;
    const ColorEnhanceParams params;
    ASSERT_TRUE(effect.process({picture.data(), 4 * side, side, side}, view(before, side), params, nullptr));
    for (int frame = 0; frame < 8; ++frame) {
        ASSERT_TRUE(effect.process({other.data(), 4 * side, side, side}, view(after, side), params, nullptr));
    }
    ASSERT_TRUE(effect.process({picture.data(), 4 * side, side, side}, view(after, side), params, nullptr));
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
