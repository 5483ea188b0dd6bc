// Colour enhancement through its cube against the exact row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/color_enhance/cpu/color_enhance.h"
#include "cpu/worker_pool.h"
#include "cpu/yuv_input.h"
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
    ASSERT_TRUE(
        effect.setSkinTable({table->data(), table->stride(), table->width(), table->height()}));
}

// Every RGB8 colour once: red across, green down, blue in 16 x 16 blocks.
TEST(ColorEnhanceCube, StaysWithinALevelOfTheExactRowForEveryColor) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    ASSERT_TRUE(table && !table->empty());
    ColorEnhance exact(colorEnhanceRows(), ColorEnhanceMethod::kExact), cube;
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
        ASSERT_TRUE(
            exact.process({src.data(), 4 * side, side, side}, view(a, side), params, &pool));
        ASSERT_TRUE(cube.process({src.data(), 4 * side, side, side}, view(b, side), params, &pool));
        for (int channel = 0; channel < 3; ++channel) {
            const DiffStats d =
                diffStats(a.data(), 4 * side, b.data(), 4 * side, side, side, 4, channel);
            std::printf("[ cube ] strength %.1f skin %.1f channel %d: %s\n", s.strength,
                        s.skinProtect, channel, describe(d).c_str());
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
    std::vector<uint8_t> src(4 * side * side), before(src.size()), after(src.size()),
        fresh(src.size());
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
// a picture that sampled none (black every 8th pixel, where the first
// frame's sampling looks) comes out the same after other frames have
// unmarked cells it falls in.
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
    ASSERT_TRUE(effect.process({picture.data(), 4 * side, side, side}, view(before, side), params,
                               nullptr));
    for (int frame = 0; frame < 8; ++frame) {
        ASSERT_TRUE(effect.process({other.data(), 4 * side, side, side}, view(after, side), params,
                                   nullptr));
    }
    ASSERT_TRUE(
        effect.process({picture.data(), 4 * side, side, side}, view(after, side), params, nullptr));
    EXPECT_EQ(after, before);
}

size_t cellOf(const uint8_t* px) {
    size_t cell = 0;
    for (int c = 2; c >= 0; --c)
        cell = cell * kColorCubeSize + std::min(px[c] / 5, kColorCubeSize - 2);
    return cell;
}

// Every colour of each of `cells`, by first corner, one after another.
std::vector<uint8_t> coloursOf(const std::vector<size_t>& cells) {
    std::vector<uint8_t> colours;
    for (size_t cell : cells) {
        const int corner[3] = {static_cast<int>(cell % kColorCubeSize),
                               static_cast<int>(cell / kColorCubeSize % kColorCubeSize),
                               static_cast<int>(cell / (kColorCubeSize * kColorCubeSize))};
        int top[3];
        for (int c = 0; c < 3; ++c)
            top[c] = corner[c] == kColorCubeSize - 2 ? 255 : 5 * corner[c] + 4;
        for (int b = 5 * corner[2]; b <= top[2]; ++b) {
            for (int g = 5 * corner[1]; g <= top[1]; ++g) {
                for (int r = 5 * corner[0]; r <= top[0]; ++r) {
                    colours.insert(colours.end(), {static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                                   static_cast<uint8_t>(b), 255});
                }
            }
        }
    }
    return colours;
}

// Marked cells keep the exact results of their colours once frames have met
// them. Pixels in marked cells come out as the exact row gives them on every
// frame, cold or warm, after a setting or the skin table changes, on every
// row path, and a still scene's soon come from blocks. Pictures: a
// camera-like one, and every colour of a few marked cells, among them the
// last cells along red and blue (levels 250..255).
TEST(ColorEnhanceCube, MarkedCellsComeOutAsTheExactRowGivesThemOnEveryFrame) {
    std::shared_ptr<ARGBFrame> table = loadLutTable(103);
    ASSERT_TRUE(table && !table->empty());
    std::vector<uint8_t> otherTable(4 * 512 * 512);
    fillRandom(otherTable, 9);
    struct Step {
        const char* name;
        void (*apply)(ColorEnhance&, ColorEnhanceParams&, const std::vector<uint8_t>& otherTable);
    };
    const Step steps[] = {
        {"first frames", [](ColorEnhance&, ColorEnhanceParams&, const std::vector<uint8_t>&) {}},
        {"strength changed", [](ColorEnhance&, ColorEnhanceParams& p,
                                const std::vector<uint8_t>&) { p.strength = 1.0f; }},
        {"skin table changed",
         [](ColorEnhance& e, ColorEnhanceParams&, const std::vector<uint8_t>& t) {
             ASSERT_TRUE(e.setSkinTable({t.data(), 4 * 512, 512, 512}));
         }},
    };
    const int cw = 640, ch = 360;
    std::shared_ptr<I420VideoFrame> frame = naturalFrame(cw, ch, 5);
    std::vector<uint8_t> camera(4 * cw * ch);
    const YUVInputRowParams decode = {
        {1.164384f, 0.0f, 1.596027f, 1.164384f, -0.391762f, -0.812968f, 1.164384f, 2.017232f, 0.0f},
        16.0f / 255.0f};
    ASSERT_TRUE(YUVInput().convert(frame->buffer(0), frame->stride(0), frame->buffer(1),
                                   frame->stride(1), frame->buffer(2), frame->stride(2), ch / 2,
                                   decode, view(camera, cw), nullptr));
    WorkerPool pool(2);
    for (const CpuFlags flags : {CpuFlags{0}, cpuFlags()}) {
        ColorEnhance exact(colorEnhanceRowsFor(flags), ColorEnhanceMethod::kExact),
            effect(colorEnhanceRowsFor(flags));
        setSkin(exact, table);
        setSkin(effect, table);
        ColorEnhanceParams params;
        for (const Step& step : steps) {
            SCOPED_TRACE(::testing::Message() << step.name << ", flags " << flags);
            step.apply(exact, params, otherTable);
            step.apply(effect, params, otherTable);
            // A black pixel builds the cube; then the first marked cells of
            // each kind.
            std::vector<uint8_t> black(4, 0), unused(4);
            ASSERT_TRUE(effect.process({black.data(), 4, 1, 1}, view(unused, 1), params, nullptr));
            bool (*const kinds[])(int, int, int) = {
                [](int r, int, int) { return r == 50; }, [](int, int, int b) { return b == 50; },
                [](int r, int g, int b) { return r == 50 && (g == 50 || b == 50); },
                [](int r, int g, int b) { return r > g + 4 && g > b; },  // skin-like
            };
            std::vector<size_t> cells;
            for (auto kind : kinds) {
                int found = 0;
                for (size_t cell = 0; cell < 52 * 52 * 52 && found < 8; ++cell) {
                    const int r = cell % 52, g = cell / 52 % 52,
                              b = static_cast<int>(cell / (52 * 52));
                    if (r < 51 && g < 51 && b < 51 && effect.cube().marked(cell) && kind(r, g, b)) {
                        cells.push_back(cell);
                        ++found;
                    }
                }
            }
            const std::vector<uint8_t> colours = coloursOf(cells);
            const int sw = 512, sh = 16, n = static_cast<int>(colours.size() / 4);
            std::vector<uint8_t> cellPicture(4 * sw * sh);
            for (int y = 0; y < sh; ++y) {
                for (int x = 0; x < sw; ++x) {
                    std::memcpy(&cellPicture[4 * (y * sw + x)], &colours[4 * ((x + sw * y) % n)],
                                4);
                }
            }
            int inMarked = 0, served = 0;
            for (int f = 0; f < 4; ++f) {
                for (std::vector<uint8_t>* picture : {&camera, &cellPicture}) {
                    const bool isCamera = picture == &camera;
                    const int w = isCamera ? cw : sw;
                    std::vector<uint8_t> want(picture->size()), got(picture->size());
                    const int h = static_cast<int>(picture->size() / (4 * w));
                    const ConstImageRGBA8 in{picture->data(), 4 * w, w, h};
                    ASSERT_TRUE(exact.process(in, view(want, w), params, &pool));
                    ASSERT_TRUE(effect.process(in, view(got, w), params, &pool));
                    int wrong = 0;
                    for (size_t i = 0; i < picture->size(); i += 4) {
                        const size_t cell = cellOf(&(*picture)[i]);
                        if (isCamera && !effect.cube().marked(cell)) continue;
                        wrong += std::memcmp(&want[i], &got[i], 4) != 0;
                        if (isCamera) {
                            ++inMarked;
                            served += effect.cube().cellNumber(cell) != 0;
                        }
                    }
                    EXPECT_EQ(wrong, 0) << "frame " << f << (isCamera ? ", camera" : ", cells");
                }
            }
            // Over the four frames; all of them would come with a clean
            // camera, this one's noise spreads it over thousands of cells.
            EXPECT_GE(served, inMarked / 3);
            EXPECT_TRUE(std::any_of(cells.begin(), cells.end(), [&](size_t cell) {
                return cell % 52 == 50 && effect.cube().cellNumber(cell) != 0;
            })) << "no last cell along red served";
        }
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
