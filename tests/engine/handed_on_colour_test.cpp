// Colour enhancement followed by beauty on the CPU backend: colour leaves the
// picture untouched and beauty composes colour's function into its grading
// cube. What a caller sees must still follow the settings, the effects'
// switches and the reports as running the two in turn does; the pictures'
// agreement with the GL chain is the contract test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "cpu/cpu_effects.h"
#include "cpu/cpu_render_engine.h"
#include "engine/video_process_engine_impl.h"
#include "frame/i420_video_frame.h"
#include "recording_observer.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 64, kH = 48;

// Skin tones and saturated colours with a little noise: beauty smooths and
// grades them, colour enhancement moves the saturated ones.
std::vector<uint8_t> colourfulRGBA(int index) {
    std::vector<uint8_t> frame(4 * kW * kH);
    uint32_t state = 12345u + static_cast<uint32_t>(index);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const bool skin = x < kW / 2;
            const int c[3] = {skin ? 200 : 40 + 3 * x, skin ? 150 - y : 200 - 3 * y,
                              skin ? 120 : 60 + 2 * (x + y)};
            uint8_t* px = &frame[4 * (y * kW + x)];
            px[0] = 255;  // bytes A, B, G, R
            for (int i = 0; i < 3; ++i)
                px[3 - i] = static_cast<uint8_t>(std::clamp(c[i] + noise, 0, 255));
        }
    }
    return frame;
}

using Documents = std::vector<std::pair<const char*, const char*>>;

struct Outcome {
    std::vector<uint8_t> picture;
    std::vector<std::pair<int, int>> reports;
};

// Frame 0 with `first`, frame 1 after `second` too; the last frame's
// picture and reports.
Outcome runColourThenBeauty(const Documents& first, const Documents& second) {
    VideoProcessEngineImpl engine(false);
    RecordingObserver observer;
    Outcome run;
    if (engine.init(R"({"backend":"cpu","threads":1})") != 0) return run;
    engine.setObserver(&observer);
    engine.setVideoEffects({kEffectColorEnhance, kEffectBeauty});
    engine.setParameter("color_enhance_option", R"({"enable":1,"strength":0.8})");
    engine.setParameter("beauty_effect_option", R"({"enable":1})");
    for (int index = 0; index < 2; ++index) {
        for (const auto& d : index == 0 ? first : second) engine.setParameter(d.first, d.second);
        observer.effectResults.clear();
        run.picture = colourfulRGBA(index);
        engine.processFrame(kPixelFormatRGBA, kW, kH, run.picture.data(),
                            static_cast<int>(run.picture.size()), -1, -1, -1, -1);
    }
    run.reports = observer.effectResults;
    engine.release();
    return run;
}

int largestDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

struct ChangeRow {
    const char* name;
    Documents before, after;
    int tolerance;  // levels
};

const ChangeRow kChangeRows[] = {
    {"stronger_colour", {}, {{"color_enhance_option", R"({"strength":0.3})"}}, 0},
    {"less_skin_protection", {}, {{"color_enhance_option", R"({"skinProtect":0.2})"}}, 0},
    {"lighter", {}, {{"beauty_effect_option", R"({"lightness":0.7})"}}, 0},
    {"gradings_off", {}, {{"beauty_effect_option", R"({"lightness":0,"redness":0})"}}, 0},
    {"gradings_on",
     {{"beauty_effect_option", R"({"lightness":0,"redness":0})"}},
     {{"beauty_effect_option", R"({"lightness":0.3,"redness":0.3})"}},
     0},
    {"colour_off", {}, {{"color_enhance_option", R"({"enable":0})"}}, 0},
    {"colour_on",
     {{"color_enhance_option", R"({"enable":0})"}},
     {{"color_enhance_option", R"({"enable":1})"}},
     0},
    // Colour alone reads its own cube, a level off its exact row here and
    // there depending on what earlier frames taught it.
    {"beauty_off", {}, {{"beauty_effect_option", R"({"enable":0})"}}, 1},
};

// A change between frames gives the picture and reports of an engine that
// had the new settings from the start.
TEST(HandedOnColour, ChangesBetweenFramesGiveWhatAFreshEngineGives) {
    for (const ChangeRow& row : kChangeRows) {
        SCOPED_TRACE(row.name);
        Documents fromStart = row.before;
        fromStart.insert(fromStart.end(), row.after.begin(), row.after.end());
        const Outcome changed = runColourThenBeauty(row.before, row.after);
        const Outcome fresh = runColourThenBeauty(fromStart, {});
        ASSERT_FALSE(changed.reports.empty());
        EXPECT_EQ(changed.reports, fresh.reports);
        EXPECT_LE(largestDifference(changed.picture, fresh.picture), row.tolerance);
    }
}

// Stands in for beauty where a test needs it to fail: takes the colour
// function and writes its input through it.
class Composer : public CpuImageEffect {
public:
    explicit Composer(int status)
        : CpuImageEffect(kEffectTypeBeauty, kEffectKindGPUFilter), status_(status) {}
    bool composesPointFunction() const override { return true; }
    int Draw(std::shared_ptr<I420VideoFrame>) override {
        ++draws;
        tookFunction = before != nullptr;
        if (status_ != kDrawDone) return status_;
        for (int y = 0; y < input.height; ++y) {
            const uint8_t* in = input.data + y * input.stride;
            uint8_t* out = output.data + y * output.stride;
            std::vector<float> rgb(3 * static_cast<size_t>(input.width));
            if (before) before->evaluate(in, rgb.data(), input.width);
            for (int x = 0; x < input.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const float v = before ? std::clamp(rgb[3 * x + c], 0.0f, 1.0f) * 255.0f + 0.5f
                                           : in[4 * x + c];
                    out[4 * x + c] = static_cast<uint8_t>(v);
                }
                out[4 * x + 3] = 255;
            }
        }
        return kDrawDone;
    }
    int draws = 0;
    bool tookFunction = false;

private:
    int status_;
};

struct ComposerRow {
    const char* name;
    bool enabled;
    int status;
    bool takesFunction;
    int tolerance;  // levels from colour alone
};

// The frame's planes after colour enhancement and, unless `composer` is
// null, the composer after it.
std::vector<uint8_t> colourChain(Composer* composer) {
    std::shared_ptr<Composer> held(composer, [](Composer*) {});
    CpuRenderEngine engine(
        [&](int type) -> std::shared_ptr<EffectBase> {
            switch (type) {
                case kEffectTypeYUVInputConvertor:
                    return makeCpuYUVInputConvertor();
                case kEffectTypeColorEnhance:
                    return makeCpuColorEnhance();
                case kEffectTypeBeauty:
                    return held;
                case kEffectTypeYUVOutputConvertor:
                    return makeCpuYUVOutputConvertor();
                default:
                    return nullptr;
            }
        },
        1);
    std::vector<int> types = {kEffectTypeYUVInputConvertor, kEffectTypeColorEnhance,
                              kEffectTypeYUVOutputConvertor};
    if (composer) types.insert(types.begin() + 2, kEffectTypeBeauty);
    engine.setEffects(types);
    engine.effect(kEffectTypeColorEnhance)->setEnable(true);
    auto frame = std::make_shared<I420VideoFrame>();
    if (frame->allocateI420(kW, kH, kW, kW / 2, kW / 2) != 0) return {};
    for (int p = 0; p < 3; ++p) {
        const int w = p ? kW / 2 : kW, h = p ? kH / 2 : kH;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame->buffer(p)[y * frame->stride(p) + x] =
                    static_cast<uint8_t>(p == 0 ? 60 + 2 * x + y : p == 1 ? 90 + x : 170 - y);
    }
    engine.process(frame, false);
    std::vector<uint8_t> planes;
    for (int p = 0; p < 3; ++p) {
        const int w = p ? kW / 2 : kW, h = p ? kH / 2 : kH;
        for (int y = 0; y < h; ++y)
            planes.insert(planes.end(), frame->buffer(p) + y * frame->stride(p),
                          frame->buffer(p) + y * frame->stride(p) + w);
    }
    return planes;
}

// Where the effect after colour enhancement does not draw, the engine runs
// colour's pass itself: the frame is colour enhancement's alone.
TEST(HandedOnColour, TheColourPassReachesThePictureWhateverTheNextEffectDoes) {
    const ComposerRow rows[] = {
        // The composer's evaluation and colour's 8-bit row round apart by a
        // level at most.
        {"draws", true, kDrawDone, true, 1},
        {"fails", true, kDrawFailed, true, 0},
        {"disabled", false, kDrawDone, false, 0},
    };
    const std::vector<uint8_t> alone = colourChain(nullptr);
    ASSERT_FALSE(alone.empty());
    for (const ComposerRow& row : rows) {
        SCOPED_TRACE(row.name);
        Composer composer(row.status);
        composer.enabled = row.enabled;
        const std::vector<uint8_t> picture = colourChain(&composer);
        EXPECT_EQ(composer.draws, row.enabled ? 1 : 0);
        EXPECT_EQ(composer.tookFunction, row.takesFunction);
        EXPECT_LE(largestDifference(picture, alone), row.tolerance);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
