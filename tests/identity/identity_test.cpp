// An effect at its identity settings gives the caller's bytes back exactly:
// every pixel format, every colour code, sharp colour bars and a photograph,
// on each backend. The chain converts to RGB and back, which alone would
// soften chroma edges and clip colours; the bytes must come back all the
// same. The chroma PSNR of colour bars is printed as "[ identity ]" lines.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

using QuietObserver = NullObserver;

struct Rgb {
    int r, g, b;
};

// A picture by its colour at each pixel.
struct Picture {
    const char* name;
    int width, height;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Saturated bars that start at odd and even columns, reversed in the lower
// third, so that colour edges cross chroma blocks both ways.
Picture colorBars() {
    static const Rgb kBars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {16, 16, 16}};
    Picture p{"colour bars", 45, 29, {}};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int bar = x * 8 / p.width;
            p.pixels.push_back(kBars[y < p.height * 2 / 3 ? bar : 7 - bar]);
        }
    return p;
}

// The photograph in tests/data (I420, BT.601 limited), every eighth pixel,
// decoded to RGB.
Picture photograph() {
    Picture p{"photograph", 64, 48, {}};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(KELVO_TEST_DATA_DIR) + "/astronaut_i420.png";
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return p;
    const int w = static_cast<int>(image.width), h = w;  // Y on top, then U|V rows
    auto clip = [](double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); };
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int sx = 8 * x, sy = 8 * y + 64;
            const double l = 1.164 * (bytes[sy * w + sx] - 16);
            const uint8_t* chroma = bytes.data() + (h + sy / 2) * w;
            const double u = chroma[sx / 2] - 128, v = chroma[w / 2 + sx / 2] - 128;
            p.pixels.push_back(
                {clip(l + 1.596 * v), clip(l - 0.392 * u - 0.813 * v), clip(l + 2.017 * u)});
        }
    return p;
}

// The picture as a caller's buffer: the planar formats get BT.601 limited
// samples, chroma from the top-left pixel of each block (no smoothing, so
// edges stay sharp); packed pixels get their colour and an alpha that
// differs from pixel to pixel.
std::vector<uint8_t> callerBuffer(const Picture& p, int format) {
    const int w = p.width, h = p.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (format >= kPixelFormatRGBA) {
        // Byte offsets of R, G, B and A.
        const int order[3][4] = {{3, 2, 1, 0}, {2, 1, 0, 3}, {1, 2, 3, 0}};
        const int* o = order[format - kPixelFormatRGBA];
        std::vector<uint8_t> bytes(4 * w * h);
        for (int i = 0; i < w * h; ++i) {
            const Rgb c = p.pixels[i];
            bytes[4 * i + o[0]] = c.r, bytes[4 * i + o[1]] = c.g, bytes[4 * i + o[2]] = c.b;
            bytes[4 * i + o[3]] = static_cast<uint8_t>(i * 7);
        }
        return bytes;
    }
    auto luma = [](Rgb c) { return (66 * c.r + 129 * c.g + 25 * c.b + 4224) >> 8; };
    auto cb = [](Rgb c) { return (-38 * c.r - 74 * c.g + 112 * c.b + 32896) >> 8; };
    auto cr = [](Rgb c) { return (112 * c.r - 94 * c.g - 18 * c.b + 32896) >> 8; };
    const int chromaRows = format == kPixelFormatI422 ? h : ch;
    std::vector<uint8_t> bytes(w * h + 2 * cw * chromaRows);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bytes[y * w + x] = static_cast<uint8_t>(luma(p.at(x, y)));
    uint8_t* first = bytes.data() + w * h;
    uint8_t* second = first + cw * chromaRows;
    for (int y = 0; y < chromaRows; ++y)
        for (int x = 0; x < cw; ++x) {
            const Rgb c = p.at(2 * x, format == kPixelFormatI422 ? y : 2 * y);
            const auto u = static_cast<uint8_t>(cb(c)), v = static_cast<uint8_t>(cr(c));
            const int i = y * cw + x;
            switch (format) {
                case kPixelFormatNV12:
                    first[2 * i] = u, first[2 * i + 1] = v;
                    break;
                case kPixelFormatNV21:
                    first[2 * i] = v, first[2 * i + 1] = u;
                    break;
                case kPixelFormatYV12:
                    first[i] = v, second[i] = u;
                    break;
                default:
                    first[i] = u, second[i] = v;
            }
        }
    return bytes;
}

struct IdentityCase {
    const char* name;
    int effect;
    const char* key;
    const char* document;
};
const IdentityCase kCases[] = {
    {"colour enhancement at strength 0", kEffectColorEnhance, "color_enhance_option",
     R"({"enable":1,"strength":0})"},
    {"beauty with every amount at 0", kEffectBeauty, "beauty_effect_option",
     R"({"enable":1,"smoothness":0,"lightness":0,"redness":0,"sharpness":0})"},
};

const char* const kFormatNames[] = {"",     "I420", "I422", "NV21", "NV12",
                                    "YV12", "RGBA", "ARGB", "BGRA"};

double psnr(const uint8_t* a, const uint8_t* b, int n) {
    double squares = 0;
    for (int i = 0; i < n; ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
    return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * n / squares);
}

class Identity : public ::testing::TestWithParam<const char*> {};

TEST_P(Identity, EffectsAtTheirIdentityGiveBackEveryByte) {
    const Picture pictures[] = {colorBars(), photograph()};
    ASSERT_FALSE(pictures[1].pixels.empty()) << "tests/data/astronaut_i420.png unreadable";
    QuietObserver observer;
    for (const IdentityCase& c : kCases) {
        std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
        ASSERT_EQ(engine->init(GetParam()), 0);
        engine->setObserver(&observer);
        ASSERT_EQ(engine->setVideoEffects({c.effect}), 0);
        ASSERT_EQ(engine->setParameter(c.key, c.document), 0);
        for (const Picture& picture : pictures) {
            for (int format = kPixelFormatI420; format <= kPixelFormatBGRA; ++format) {
                const std::vector<uint8_t> input = callerBuffer(picture, format);
                for (int matrix = kColorMatrixUnspecified; matrix <= kColorMatrixSMPTE2085;
                     ++matrix)
                    for (int range :
                         {kColorRangeUnspecified, kColorRangeLimited, kColorRangeFull}) {
                        std::vector<uint8_t> frame = input;
                        ASSERT_EQ(engine->processFrame(format, picture.width, picture.height,
                                                       frame.data(), int(frame.size()), -1, -1,
                                                       matrix, range),
                                  0);
                        const auto changed =
                            std::mismatch(frame.begin(), frame.end(), input.begin());
                        if (changed.first == frame.end()) continue;
                        ADD_FAILURE()
                            << c.name << ", " << picture.name << ", " << kFormatNames[format]
                            << ", matrix " << matrix << " range " << range << ": byte "
                            << changed.first - frame.begin() << " was " << int(*changed.second)
                            << ", is " << int(*changed.first);
                        engine->release();
                        return;  // one report says enough
                    }
            }
        }
        engine->release();
    }
}

// What the identity means for chroma, in figures: colour bars at strength 0,
// chroma PSNR of the result against the input (infinite when every sample
// comes back).
TEST_P(Identity, ChromaOfColorBarsAtStrengthZeroIsPrinted) {
    const Picture bars = colorBars();
    const int luma = bars.width * bars.height,
              chroma = (bars.width + 1) / 2 * ((bars.height + 1) / 2);
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    ASSERT_EQ(engine->init(GetParam()), 0);
    ASSERT_EQ(engine->setVideoEffects({kEffectColorEnhance}), 0);
    ASSERT_EQ(engine->setParameter("color_enhance_option", kCases[0].document), 0);
    const std::vector<uint8_t> input = callerBuffer(bars, kPixelFormatI420);
    std::vector<uint8_t> frame = input;
    ASSERT_EQ(
        engine->processFrame(kPixelFormatI420, bars.width, bars.height, frame.data(),
                             int(frame.size()), -1, -1, kColorMatrixSMPTE170M, kColorRangeLimited),
        0);
    const double u = psnr(frame.data() + luma, input.data() + luma, chroma);
    const double v = psnr(frame.data() + luma + chroma, input.data() + luma + chroma, chroma);
    std::printf(
        "[ identity ] %s, colour bars I420 at strength 0: chroma PSNR U %.2f dB, V %.2f dB\n",
        GetParam(), u, v);
    EXPECT_TRUE(std::isinf(u) && std::isinf(v));
    engine->release();
}

#if KELVO_WITH_GL
INSTANTIATE_TEST_SUITE_P(Backends, Identity,
                         ::testing::Values(R"({"backend":"gpu"})", R"({"backend":"cpu"})"));
#else
INSTANTIATE_TEST_SUITE_P(Backends, Identity, ::testing::Values(R"({"backend":"cpu"})"));
#endif

}  // namespace
}  // namespace video
}  // namespace kelvo
