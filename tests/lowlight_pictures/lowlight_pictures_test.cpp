// Adaptive low light on photographs, through the public engine on the CPU
// backend in automatic mode, as a caller runs it: a dusk photo and two
// daylight ones (tests/data), each at exposures of a lit room and of a dark
// one, beside the lift of the plain curve. The figures of every run are
// printed as "[ lowlight ]" lines.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

struct Photo {
    int width = 0, height = 0;
    std::vector<uint8_t> i420;  // Y, U, V planes, tight
    int lumaSize() const { return width * height; }
};

// The PNG holds Y (width x height) above rows of U then V side by side.
Photo loadPhoto(const char* name) {
    Photo photo;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(KELVO_TEST_DATA_DIR) + "/" + name;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return photo;
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return photo;
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height) * 2 / 3;
    photo.width = w;
    photo.height = h;
    photo.i420.assign(pixels.begin(), pixels.begin() + w * h);
    for (int plane = 0; plane < 2; ++plane) {
        for (int y = 0; y < h / 2; ++y) {
            const uint8_t* row = pixels.data() + static_cast<size_t>(h + y) * w + plane * (w / 2);
            photo.i420.insert(photo.i420.end(), row, row + w / 2);
        }
    }
    return photo;
}

double lumaMean(const Photo& photo, const std::vector<uint8_t>& frame) {
    double sum = 0;
    for (int i = 0; i < photo.lumaSize(); ++i) sum += frame[i];
    return sum / photo.lumaSize();
}

uint8_t store(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// The photo as a camera exposing it for the given mean luma would give it:
// luma above black and the colour differences scaled by one factor (found
// by a few corrections, as highlights clip), plus sensor noise of `noise`
// levels on luma from the seed.
std::vector<uint8_t> exposed(const Photo& photo, double mean, double noise = 0, unsigned seed = 0) {
    double factor = (mean - 16) / (lumaMean(photo, photo.i420) - 16);
    std::vector<uint8_t> frame(photo.i420.size());
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < frame.size(); ++i) {
            const double base = i < size_t(photo.lumaSize()) ? 16 : 128;
            frame[i] = store(base + (photo.i420[i] - base) * factor);
        }
        factor *= (mean - 16) / (lumaMean(photo, frame) - 16);
    }
    if (noise > 0) {
        std::mt19937 rng(seed);
        std::normal_distribution<double> n(0.0, noise);
        for (int i = 0; i < photo.lumaSize(); ++i) frame[i] = store(frame[i] + n(rng));
    }
    return frame;
}

// A CPU engine with low light alone in automatic mode, as the tools select it;
// at level 0 the denoiser runs ahead of it while the scene is dark.
std::unique_ptr<IVideoProcessEngine> lowlightEngine(int adaptive, IVideoProcessObserver* observer,
                                                    int level = 0) {
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (engine->init(R"({"backend":"cpu"})") != 0) return nullptr;
    engine->setObserver(observer);
    engine->setVideoEffects({kEffectLowLightEnhance});
    const std::string document = R"({"enable":1,"mode":0,"level":)" + std::to_string(level) +
                                 R"(,"adaptive":)" + std::to_string(adaptive) + "}";
    engine->setParameter("lowlight_enhance_option", document.c_str());
    return engine;
}

bool process(IVideoProcessEngine& engine, const Photo& photo, std::vector<uint8_t>& frame) {
    return engine.processFrame(kPixelFormatI420, photo.width, photo.height, frame.data(),
                               static_cast<int>(frame.size()), 0, 0, kColorMatrixSMPTE170M,
                               kColorRangeLimited) == 0;
}

// The mean luma added to the 20th frame of a still picture: the dark scene
// is declared on the 15th.
double liftOfStill(const Photo& photo, const std::vector<uint8_t>& input, int adaptive,
                   int level = 0) {
    NullObserver observer;
    auto engine = lowlightEngine(adaptive, &observer, level);
    if (!engine) return NAN;
    std::vector<uint8_t> frame;
    for (int i = 0; i < 20; ++i) {
        frame = input;
        if (!process(*engine, photo, frame)) return NAN;
    }
    return lumaMean(photo, frame) - lumaMean(photo, input);
}

struct Exposure {
    const char* photo;
    double mean;  // the exposure's mean luma
    bool dark;    // false: a lit room (mean 90..130); true: dark (25..60)
};

// The dusk photo's own mean is about 68; the daylight ones' about 140.
// clang-format off
constexpr Exposure kExposures[] = {
    {"rocket_i420.png", 95, false},    {"rocket_i420.png", 120, false},
    {"aero1_i420.png", 90, false},     {"aero1_i420.png", 110, false},
    {"aero1_i420.png", 130, false},
    {"astronaut_i420.png", 100, false}, {"astronaut_i420.png", 125, false},
    {"rocket_i420.png", 30, true},     {"rocket_i420.png", 55, true},
    {"aero1_i420.png", 25, true},      {"aero1_i420.png", 45, true},
    {"astronaut_i420.png", 35, true},  {"astronaut_i420.png", 60, true},
};
// clang-format on

TEST(LowlightPictures, AdaptiveLeavesALitRoomAloneAndLiftsADarkOneAsTheCurveDoes) {
    double worstLit = 0, worstDarkShare = 1;
    for (const Exposure& e : kExposures) {
        SCOPED_TRACE(::testing::Message() << e.photo << " at mean " << e.mean);
        const Photo photo = loadPhoto(e.photo);
        ASSERT_GT(photo.width, 0) << "tests/data/" << e.photo << " unreadable";
        const std::vector<uint8_t> input = exposed(photo, e.mean);
        const double mean = lumaMean(photo, input);
        ASSERT_NEAR(mean, e.mean, 1.0) << "the exposure missed its mean";
        const double curve = liftOfStill(photo, input, 0);
        const double adaptive = liftOfStill(photo, input, 1);
        std::printf("[ lowlight ] %-20s mean %5.1f  lift: curve %+6.2f  adaptive %+6.2f\n", e.photo,
                    mean, curve, adaptive);
        if (e.dark) {
            // The curve lifts a dark frame by tens of levels; adaptive keeps
            // at least four fifths of that.
            EXPECT_GT(curve, 10.0);
            EXPECT_GE(adaptive, 0.8 * curve);
            worstDarkShare = std::min(worstDarkShare, adaptive / curve);
        } else {
            EXPECT_LE(std::fabs(adaptive), 6.0);
            worstLit = std::max(worstLit, std::fabs(adaptive));
        }
    }
    std::printf(
        "[ lowlight ] lit rooms: largest mean change %.2f; dark: least share of the "
        "curve's lift %.0f %%\n",
        worstLit, 100 * worstDarkShare);
}

// Frame-to-frame change of luma, root mean square, over the frames from
// `from` on: noise on a still picture.
struct TemporalNoise {
    double squares = 0;
    long count = 0;
    void add(const std::vector<uint8_t>& previous, const std::vector<uint8_t>& frame, int n) {
        for (int i = 0; i < n; ++i) {
            const double d = double(frame[i]) - previous[i];
            squares += d * d;
        }
        count += n;
    }
    double rms() const { return std::sqrt(squares / std::max(count, 1L) / 2); }
};

// A still, noisy camera: what low light lifts on top of the denoiser it
// brings along is set against the noise the camera gave.
TEST(LowlightPictures, AdaptiveRaisesNoNoiseBeyondTheCamerasOnAStillNoisyClip) {
    const Photo photo = loadPhoto("aero1_i420.png");
    ASSERT_GT(photo.width, 0);
    for (double mean : {40.0, 75.0, 110.0}) {
        double noise[3] = {};  // the camera's; out of the curve; out of adaptive
        for (int adaptive = 0; adaptive <= 1; ++adaptive) {
            NullObserver observer;
            auto engine = lowlightEngine(adaptive, &observer);
            ASSERT_TRUE(engine);
            std::vector<uint8_t> previousIn, previousOut;
            TemporalNoise in, out;
            for (int i = 0; i < 30; ++i) {
                const std::vector<uint8_t> input = exposed(photo, mean, 3.0, 100u + i);
                std::vector<uint8_t> frame = input;
                ASSERT_TRUE(process(*engine, photo, frame));
                if (i >= 20) {
                    in.add(previousIn, input, photo.lumaSize());
                    out.add(previousOut, frame, photo.lumaSize());
                }
                previousIn = input;
                previousOut = frame;
            }
            noise[0] = in.rms();
            noise[1 + adaptive] = out.rms();
        }
        std::printf(
            "[ lowlight ] still noisy clip, mean %5.1f: noise in %.2f, out: curve %.2f, "
            "adaptive %.2f\n",
            mean, noise[0], noise[1], noise[2]);
        EXPECT_LE(noise[2], noise[0]) << "mean " << mean;
    }
}

// A room whose light comes on, and one whose light goes off, in automatic
// mode: the lit frames are left alone at once, though the dark verdict holds
// on; the dark ones get their lift faded in from where it starts, frame by
// frame, up to what a dark still gets. Level 1: no denoiser, whose own
// blending across the change would hide the lift's.
TEST(LowlightPictures, AdaptiveLiftFollowsTheLightWithoutPumping) {
    const Photo photo = loadPhoto("astronaut_i420.png");
    ASSERT_GT(photo.width, 0);
    const std::vector<uint8_t> dark = exposed(photo, 40), lit = exposed(photo, 110);
    const double stillLift = liftOfStill(photo, dark, 1, 1);
    EXPECT_GT(stillLift, 10.0);
    NullObserver observer;
    auto engine = lowlightEngine(1, &observer, 1);
    ASSERT_TRUE(engine);
    // Dark, lit, then dark for the 20 frames of the first and 80 of each other.
    std::vector<double> lifts;
    for (int i = 0; i < 180; ++i) {
        const std::vector<uint8_t>& input = i < 20 || i >= 100 ? dark : lit;
        std::vector<uint8_t> frame = input;
        ASSERT_TRUE(process(*engine, photo, frame));
        lifts.push_back(lumaMean(photo, frame) - lumaMean(photo, input));
    }
    double litLargest = 0, fadeLargestStep = 0;
    for (int i = 20; i < 100; ++i) litLargest = std::max(litLargest, std::fabs(lifts[i]));
    for (int i = 101; i < 180; ++i) {
        fadeLargestStep = std::max(fadeLargestStep, lifts[i] - lifts[i - 1]);
        EXPECT_GE(lifts[i], lifts[i - 1] - 0.5) << "frame " << i << ": the lift fell back";
    }
    std::printf(
        "[ lowlight ] light on then off: dark still %+.2f; lit frames at most %.2f; "
        "fading in: first %+.2f, 16th %+.2f, 80th %+.2f, largest step %.2f\n",
        stillLift, litLargest, lifts[100], lifts[115], lifts[179], fadeLargestStep);
    EXPECT_NEAR(lifts[19], stillLift, 0.5);
    EXPECT_LE(litLargest, 1.0);
    EXPECT_LE(fadeLargestStep, stillLift / 8);
    EXPECT_GE(lifts[179], 0.9 * stillLift);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
