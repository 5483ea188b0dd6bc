// Parameter documents and detections as a caller sees them through the
// public interface: what is remembered, when it applies, what is rejected.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 64, kH = 48;

// Noisy skin tone: beauty visibly smooths it, more so at higher smoothness.
std::vector<uint8_t> skinFrame() {
    std::vector<uint8_t> f(kW * kH * 3 / 2);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int i = 0; i < kW * kH; ++i) f[i] = static_cast<uint8_t>(150 + noise(rng));
    for (int i = kW * kH; i < kW * kH * 5 / 4; ++i) f[i] = 110;
    for (int i = kW * kH * 5 / 4; i < kW * kH * 3 / 2; ++i) f[i] = 150;
    return f;
}

class Observer : public NullObserver {
public:
    void onLog(int level, const char* message) override {
        const std::string text = message;
        if (text.rfind("setParameter rejected: ", 0) == 0) rejections.emplace_back(level, text);
    }
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {
        ++detections;
    }
    std::vector<std::pair<int, std::string>> rejections;
    int detections = 0;
};

struct EngineDeleter {
    void operator()(IVideoProcessEngine* e) const {
        e->release();
        delete e;
    }
};
using Engine = std::unique_ptr<IVideoProcessEngine, EngineDeleter>;

Engine makeEngine() { return Engine(createVideoProcessEngine(false)); }

int process(IVideoProcessEngine& engine, std::vector<uint8_t>& frame) {
    return engine.processFrame(kPixelFormatI420, kW, kH, frame.data(), int(frame.size()), -1, -1,
                               kColorMatrixSMPTE170M, kColorRangeLimited);
}

// Beauty documents; nullptr stands for a chain rebuild (setVideoEffects and a
// frame) at that point.
struct DocumentRow {
    const char* name;
    std::vector<const char*> beforeInit;
    std::vector<const char*> afterInit;
};

// Beauty on at smoothness 1, however the documents and rebuilds that lead
// there are split.
const DocumentRow kDocumentRows[] = {
    {"later member replaces earlier, with a rebuild between",
     {},
     {R"({"enable":1,"smoothness":0.3})", nullptr, R"({"smoothness":1.0})"}},
    {"later member replaces earlier, no rebuild between",
     {},
     {R"({"enable":1,"smoothness":0.3})", R"({"smoothness":1.0})"}},
    {"rejected members leave stored ones alone",
     {},
     {R"({"enable":1,"smoothness":1.0})", nullptr, R"({"enable":2,"smoothness":5})",
      R"({"enable":true,"smoothness":"0.3"})"}},
    {"invalid JSON leaves stored members alone",
     {},
     {R"({"enable":1,"smoothness":1.0})", R"({"enable":0)", nullptr, "{}x"}},
    {"documents before init take effect at init",
     {R"({"enable":1,"smoothness":0.3})", R"({"smoothness":1.0})"},
     {}},
    {"documents before and after init merge", {R"({"enable":1})"}, {R"({"smoothness":1.0})"}},
};

// Documents and detections are the engine's own business: both backends.
class ParameterDocuments : public ::testing::TestWithParam<const char*> {};
class Detections : public ::testing::TestWithParam<const char*> {};

TEST_P(ParameterDocuments, MergeMemberByMemberWhateverTheRebuildsAndInit) {
    const std::vector<uint8_t> input = skinFrame();
    std::vector<uint8_t> expected = input;
    {
        Engine engine = makeEngine();
        ASSERT_EQ(engine->init(GetParam()), 0);
        ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
        ASSERT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1,"smoothness":1.0})"),
                  0);
        ASSERT_EQ(process(*engine, expected), 0);
        ASSERT_NE(expected, input) << "beauty must change the frame for this test to tell";
    }
    for (const DocumentRow& row : kDocumentRows) {
        SCOPED_TRACE(row.name);
        Engine engine = makeEngine();
        for (const char* doc : row.beforeInit)
            EXPECT_EQ(engine->setParameter("beauty_effect_option", doc), kResultNotInitialized);
        ASSERT_EQ(engine->init(GetParam()), 0);
        for (const char* doc : row.afterInit) {
            if (doc != nullptr) {
                engine->setParameter("beauty_effect_option", doc);
                continue;
            }
            std::vector<uint8_t> scratch = input;
            ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
            ASSERT_EQ(process(*engine, scratch), 0);
        }
        std::vector<uint8_t> frame = input;
        ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
        ASSERT_EQ(process(*engine, frame), 0);
        EXPECT_EQ(frame, expected);
    }
}

struct RejectionRow {
    const char* key;
    const char* value;
    std::vector<std::string> lines;  // after "setParameter rejected: "
};

const RejectionRow kRejectionRows[] = {
    {"beauty_effect_option",
     R"({"enable":2})",
     {"beauty_effect_option.enable = 2 (accepted: integer 0 or 1)"}},
    {"beauty_effect_option",
     R"({"enable":true,"smoothness":5,"contrast":3})",
     {"beauty_effect_option.enable = true (accepted: integer 0 or 1)",
      "beauty_effect_option.smoothness = 5 (accepted: number in [0, 1])",
      "beauty_effect_option.contrast = 3 (accepted: integer 0..2)"}},
    {"color_enhance_option",
     R"({"glow":1,"strength":"x","glow":2})",
     {"color_enhance_option.strength = \"x\" (accepted: number in [0, 1])",
      "color_enhance_option.glow unknown member (accepted: enable, skinProtect, strength)"}},
    {"video_denoiser_option",
     R"({"mode":-1,"level":[1]})",
     {"video_denoiser_option.mode = -1 (accepted: integer >= 0)",
      "video_denoiser_option.level = [1] (accepted: integer >= 0)"}},
    {"lowlight_enhance_option",
     R"({"level":1.0})",
     {"lowlight_enhance_option.level = 1.0 (accepted: integer 0 or 1)"}},
    {"environment",
     R"({"light_strength":0,"noise_level":3})",
     {"environment.light_strength = 0 (accepted: number > 0)",
      "environment.noise_level = 3 (accepted: integer 0..2)"}},
    {"Beauty_Effect_Option",
     R"({"enable":1})",
     {"Beauty_Effect_Option unknown key (accepted: beauty_effect_option, color_enhance_option, "
      "video_denoiser_option, lowlight_enhance_option, environment)"}},
    {"beauty_effect_option", "[1]", {"beauty_effect_option = [1] (accepted: object)"}},
    {"beauty_effect_option", R"({"enable":1,"smoothness":1.0009,"contrast":2})", {}},
    {"environment", R"({"light_strength":180.5,"noise_level":0})", {}},
};

TEST_P(ParameterDocuments, EachRejectionIsLoggedOnceAsAnError) {
    Observer observer;
    Engine engine = makeEngine();
    engine->setObserver(&observer);
    ASSERT_EQ(engine->init(GetParam()), 0);
    for (const RejectionRow& row : kRejectionRows) {
        SCOPED_TRACE(std::string(row.key) + " " + row.value);
        observer.rejections.clear();
        EXPECT_EQ(engine->setParameter(row.key, row.value), kResultOk);
        std::vector<std::pair<int, std::string>> expected;
        for (const std::string& line : row.lines)
            expected.emplace_back(kLogError, "setParameter rejected: " + line);
        EXPECT_EQ(observer.rejections, expected);
    }
    // A rebuild replays only what was accepted: no rejection is repeated.
    observer.rejections.clear();
    ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
    std::vector<uint8_t> frame = skinFrame();
    ASSERT_EQ(process(*engine, frame), 0);
    EXPECT_TRUE(observer.rejections.empty());
}

TEST_P(Detections, EachFrameIsAnalysedOnceWhateverTheRebuilds) {
    Observer observer;
    Engine engine = makeEngine();
    ASSERT_EQ(engine->init(GetParam()), 0);
    engine->setObserver(&observer);
    ASSERT_EQ(engine->setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})"), 0);
    std::vector<uint8_t> frame = skinFrame();
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(engine->setVideoEffects({kEffectLowLightEnhance}), 0);
        observer.detections = 0;
        ASSERT_EQ(process(*engine, frame), 0);
        EXPECT_EQ(observer.detections, 1) << "rebuild " << i;
    }
}

const auto kBackends = ::testing::Values(R"({"backend":"gpu"})", R"({"backend":"cpu"})");
INSTANTIATE_TEST_SUITE_P(Backends, ParameterDocuments, kBackends);
INSTANTIATE_TEST_SUITE_P(Backends, Detections, kBackends);

}  // namespace
}  // namespace video
}  // namespace kelvo
