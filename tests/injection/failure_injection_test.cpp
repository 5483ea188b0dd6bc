// For N = 1, 2, 3, ... the N-th allocation of one engine operation fails,
// until the operation completes without reaching N. At every N the operation
// reports a failure or succeeds correctly, a failed frame leaves the buffer
// as it came, and the same engine, the operation done again without
// injection, gives the picture a fresh engine gives. Leaks show under
// LeakSanitizer in the sanitizer build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/video_process_engine_impl.h"
#include "injection/allocation_failure.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {
namespace {

using injection::Kind;

constexpr int kW = 38, kH = 22;  // odd chroma, a stride that is not a multiple of 16

struct Case {
    const char* name;
    const char* config;
    int format;
};

enum Step { kInit, kEffects, kParameter, kFrame, kStepCount };
const char* const kStepNames[] = {"init", "setVideoEffects", "setParameter", "processFrame"};

int bytesFor(int format) {
    const int chroma = 2 * ((kW + 1) / 2) * ((kH + 1) / 2);
    switch (format) {
        case kPixelFormatI422:
            return kW * kH + 2 * ((kW + 1) / 2) * kH;
        case kPixelFormatRGBA:
        case kPixelFormatARGB:
        case kPixelFormatBGRA:
            return kW * kH * 4;
        default:
            return kW * kH + chroma;
    }
}

std::vector<uint8_t> input(int format) {
    std::vector<uint8_t> bytes(bytesFor(format));
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(30 + (i * 37 + i / kW * 11) % 190);
    return bytes;
}

// Runs the steps of a session in order; `injected` is run under injection
// and may fail, the others must succeed. After a failure the step is done
// again without injection, as a caller would retry.
class Session {
public:
    Session(const Case& c) : c_(c), engine_(new VideoProcessEngineImpl(false)) {}

    // Makes what the step hands the engine: the test's own allocations must
    // not be the ones that fail.
    void prepare(Step step) {
        if (step == kFrame) frame_ = input(c_.format);
    }

    int call(Step step) {
        switch (step) {
            case kInit:
                return engine_->init(c_.config);
            case kEffects:
                return engine_->setVideoEffects(effects_);
            case kParameter: {
                int r = 0;
                for (const char* key : kKeys)
                    if (r == 0) r = engine_->setParameter(key, R"({"enable":1,"mode":1})");
                return r;
            }
            case kFrame:
                return engine_->processFrame(c_.format, kW, kH, frame_.data(),
                                             static_cast<int>(frame_.size()), 0, 0, -1, -1);
            default:
                return -1;
        }
    }

    int run(Step step) {
        prepare(step);
        return call(step);
    }

    const std::vector<uint8_t>& frame() const { return frame_; }
    IVideoProcessEngine& engine() { return *engine_; }

private:
    static constexpr const char* kKeys[] = {"beauty_effect_option", "color_enhance_option",
                                            "video_denoiser_option", "lowlight_enhance_option"};
    Case c_;
    std::unique_ptr<IVideoProcessEngine> engine_;
    const std::vector<int> effects_{kEffectVideoDenoiser, kEffectLowLightEnhance,
                                    kEffectColorEnhance, kEffectBeauty};
    std::vector<uint8_t> frame_;
};

std::vector<uint8_t> freshPicture(const Case& c) {
    Session session(c);
    for (int step = 0; step < kStepCount; ++step)
        EXPECT_EQ(session.run(static_cast<Step>(step)), 0) << kStepNames[step];
    session.engine().release();
    return session.frame();
}

class FailureInjection : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        // Holds the private context, so that each session does not make it
        // anew.
        keeper_.reset(new VideoProcessEngineImpl(false));
        keeper_->init(R"({"backend":"gpu"})");
    }
    static void TearDownTestSuite() {
        keeper_->release();
        keeper_.reset();
    }

    // Fails the N-th allocation of `kind` in `step` for N = 1, 2, ... and
    // returns how many allocations the step made.
    long sweep(Step step, Kind kind, const std::vector<uint8_t>& picture) {
        const Case& c = GetParam();
        for (long n = 1;; ++n) {
            SCOPED_TRACE(std::string(kStepNames[step]) + ", allocation " + std::to_string(n));
            Session session(c);
            for (int before = 0; before < step; ++before)
                if (session.run(static_cast<Step>(before)) != 0) {
                    ADD_FAILURE() << kStepNames[before] << " failed without injection";
                    return n;
                }
            session.prepare(step);
            injection::arm(kind, n);
            const int result = session.call(step);
            const bool fired = injection::disarm();
            SCOPED_TRACE("result under injection " + std::to_string(result));
            if (result != 0) {
                EXPECT_TRUE(fired) << "failed with nothing injected: " << result;
                if (step == kFrame) {
                    EXPECT_TRUE(session.frame() == input(c.format))
                        << "a failed frame changed the caller's buffer";
                }
                EXPECT_EQ(session.run(step), 0) << "the same step again, without injection";
            }
            for (int after = step + 1; after < kStepCount; ++after)
                EXPECT_EQ(session.run(static_cast<Step>(after)), 0) << kStepNames[after];
            EXPECT_TRUE(session.frame() == picture) << "not the picture of a fresh engine";
            session.engine().release();
            if (!fired) return n - 1;
            if (::testing::Test::HasFailure()) return n;
        }
    }

    static std::unique_ptr<IVideoProcessEngine> keeper_;
};

std::unique_ptr<IVideoProcessEngine> FailureInjection::keeper_;

TEST_P(FailureInjection, EveryAllocationOfEveryOperationMayFail) {
    const Case& c = GetParam();
    const std::vector<uint8_t> picture = freshPicture(c);
    ASSERT_FALSE(HasFailure());
    const bool gpu = std::string(c.config).find("gpu") != std::string::npos;
    std::string note = std::string(c.name) + ":";
    for (int step = 0; step < kStepCount; ++step) {
        const long points = sweep(static_cast<Step>(step), Kind::kMemory, picture);
        note += std::string(" ") + kStepNames[step] + " " + std::to_string(points);
        if (gpu && step == kFrame)
            note += " (GL " + std::to_string(sweep(kFrame, Kind::kGL, picture)) + ")";
        if (HasFailure()) break;
    }
    std::printf("injection points %s%s\n", note.c_str(),
                injection::countsMalloc() ? "" : " (operator new only)");
}

INSTANTIATE_TEST_SUITE_P(
    BothBackends, FailureInjection,
    ::testing::Values(Case{"cpu_I420", R"({"backend":"cpu","threads":2})", kPixelFormatI420},
                      Case{"cpu_NV12", R"({"backend":"cpu","threads":1})", kPixelFormatNV12},
                      Case{"cpu_BGRA", R"({"backend":"cpu","threads":1})", kPixelFormatBGRA},
                      Case{"gpu_I420", R"({"backend":"gpu"})", kPixelFormatI420},
                      Case{"gpu_RGBA", R"({"backend":"gpu"})", kPixelFormatRGBA}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace video
}  // namespace kelvo
