// The CPU backend against the GPU backend through the public interface: the
// same frames, effects and parameter documents give the same pictures (within
// named tolerances) and the same per-effect reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {
namespace {

constexpr char kGpu[] = R"({"backend":"gpu"})";
constexpr char kCpu[] = R"({"backend":"cpu","threads":2})";

// Float order and the GL driver's own pow/log/filter arithmetic put a value on
// the other side of a rounding boundary now and then; the mean stays small:
constexpr double kMeanTolerance = 0.25;
// ... those flips are single levels, but for the rare steep spot:
constexpr double kP999Tolerance = 2.0;
// ... and nothing drifts by more than a few levels anywhere:
constexpr int kMaxTolerance = 4;
// Low light's green high-pass multiplies the single-level differences of its
// input several times over; it happens at a handful of pixels in a frame:
constexpr int kMaxToleranceSharpened = 12;
// A mean over a few hundred samples is a handful of pixels' rounding.
constexpr int kMinSamplesForMean = 1000;

// A camera-like I420 picture: gradients, a soft blob, a skin-coloured
// ellipse, a dark corner and sensor noise.
std::vector<uint8_t> naturalFrame(int w, int h, unsigned seed) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> f(static_cast<size_t>(w) * h + 2 * cw * ch);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 3.0);
    auto clamp = [](double v) {
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    auto skin = [&](double x, double y) {
        const double dx = (x - 0.6 * w) / (0.18 * w + 1), dy = (y - 0.45 * h) / (0.25 * h + 1);
        return dx * dx + dy * dy < 1.0;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = 60 + 120.0 * x / w + 40 * std::exp(-((x - w / 3.0) * (x - w / 3.0) +
                                                             (y - h / 2.0) * (y - h / 2.0)) /
                                                           (0.05 * w * w + 1));
            if (x < w / 4 && y > 3 * h / 4) v = 20;
            if (skin(x, y)) v = 170;
            f[y * w + x] = clamp(v + noise(rng));
        }
    uint8_t* u = f.data() + w * h;
    uint8_t* v = u + cw * ch;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            const bool s = skin(2 * x, 2 * y);
            u[y * cw + x] = clamp((s ? 110 : 128 + 30.0 * y / ch - 15) + noise(rng) / 2);
            v[y * cw + x] = clamp((s ? 155 : 128 - 25.0 * x / cw + 12) + noise(rng) / 2);
        }
    return f;
}

class ReportObserver : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int, const char*) override {}
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {}
    void onEffectResult(int result, int effect) override { reports.emplace_back(effect, result); }
    void onProcessResult(int) override {}
    std::vector<std::pair<int, int>> reports;
};

struct Stats {
    double mean = 0, p999 = 0;
    int max = 0;
};

Stats diff(const uint8_t* a, const uint8_t* b, size_t n) {
    std::vector<int> d(n);
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += d[i] = std::abs(a[i] - b[i]);
    std::sort(d.begin(), d.end());
    return {sum / n, static_cast<double>(d[std::min(n - 1, static_cast<size_t>(n * 0.999))]),
            d.back()};
}

struct Case {
    const char* name;
    std::vector<int> effects;
    std::vector<std::pair<const char*, const char*>> documents;
    int maxTolerance = kMaxTolerance;
};

const Case kCases[] = {
    {"beauty", {kEffectBeauty}, {{"beauty_effect_option", R"({"enable":1,"lightness":0.6})"}}},
    {"colour", {kEffectColorEnhance}, {{"color_enhance_option", R"({"enable":1,"strength":0.8})"}}},
    {"low light manual", {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":1})"}},
     kMaxToleranceSharpened},
    // Automatic mode on a bright scene: low light reports 1 and leaves the frame.
    {"low light automatic", {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":0})"}}},
    {"denoiser strong", {kEffectVideoDenoiser},
     {{"video_denoiser_option", R"({"enable":1,"mode":1,"level":2})"}}},
    {"whole chain",
     {kEffectBeauty, kEffectColorEnhance, kEffectLowLightEnhance, kEffectVideoDenoiser},
     {{"beauty_effect_option", R"({"enable":1})"},
      {"color_enhance_option", R"({"enable":1})"},
      {"lowlight_enhance_option", R"({"enable":1,"mode":1})"},
      {"video_denoiser_option", R"({"enable":1,"mode":1})"}},
     kMaxToleranceSharpened},
};

struct Size {
    int w, h;
};
const Size kSizes[] = {{160, 90}, {161, 91}, {33, 17}, {320, 240}};

TEST(BackendAgreement, CpuBackendMatchesGpuBackendForEachEffectAndTheChain) {
    for (const Case& c : kCases) {
        for (const Size& size : kSizes) {
            SCOPED_TRACE(::testing::Message() << c.name << " " << size.w << "x" << size.h);
            ReportObserver observers[2];
            std::unique_ptr<IVideoProcessEngine> engines[2];
            const char* configs[2] = {kGpu, kCpu};
            for (int b = 0; b < 2; ++b) {
                engines[b].reset(createVideoProcessEngine(false));
                ASSERT_EQ(engines[b]->init(configs[b]), 0);
                engines[b]->setObserver(&observers[b]);
                ASSERT_EQ(engines[b]->setVideoEffects(c.effects), 0);
                for (const auto& d : c.documents)
                    ASSERT_EQ(engines[b]->setParameter(d.first, d.second), 0);
            }
            const size_t luma = static_cast<size_t>(size.w) * size.h;
            const size_t chroma = static_cast<size_t>((size.w + 1) / 2) * ((size.h + 1) / 2);
            // A few frames, so the denoiser blends with its reference.
            for (unsigned seed = 1; seed <= 3; ++seed) {
                std::vector<uint8_t> frames[2];
                for (int b = 0; b < 2; ++b) {
                    frames[b] = naturalFrame(size.w, size.h, seed);
                    ASSERT_EQ(engines[b]->processFrame(kPixelFormatI420, size.w, size.h,
                                                       frames[b].data(), int(frames[b].size()), -1,
                                                       -1, kColorMatrixBT709, kColorRangeLimited),
                              0);
                }
                const size_t offsets[] = {0, luma, luma + chroma};
                const size_t lengths[] = {luma, chroma, chroma};
                for (int plane = 0; plane < 3; ++plane) {
                    const Stats s = diff(frames[0].data() + offsets[plane],
                                         frames[1].data() + offsets[plane], lengths[plane]);
                    SCOPED_TRACE(::testing::Message() << "frame " << seed << " plane " << plane
                                                      << ": mean " << s.mean << " p99.9 "
                                                      << s.p999 << " max " << s.max);
                    if (lengths[plane] >= kMinSamplesForMean) {
                        EXPECT_LE(s.mean, kMeanTolerance);
                    }
                    EXPECT_LE(s.p999, kP999Tolerance);
                    EXPECT_LE(s.max, c.maxTolerance);
                    if (size.w == 320 && seed == 3) {
                        std::printf("[ agreement ] %s plane %d: mean %.3f p99.9 %.0f max %d\n",
                                    c.name, plane, s.mean, s.p999, s.max);
                    }
                }
            }
            EXPECT_EQ(observers[0].reports, observers[1].reports);
            for (auto& e : engines) e->release();
        }
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
