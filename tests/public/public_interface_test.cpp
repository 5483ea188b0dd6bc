// The library as a caller sees it: the shared object, its one export, and
// frames of every pixel format through the whole GPU round trip.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

TEST(SharedLibrary, ExportsOnlyTheFactory) {
    void* lib = dlopen(KELVO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib, "createVideoProcessEngine"), nullptr);
    // Internal classes stay hidden.
    EXPECT_EQ(dlsym(lib, "_ZN5kelvo5video22VideoProcessEngineImpl4initEPKc"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN5kelvo5video15GPUImageContext8instanceEv"), nullptr);
    dlclose(lib);
}

// Flat 16x16 blocks of distinct colours, so that chroma subsampling loses
// nothing and every sample can be predicted.
struct Colour {
    int r, g, b;
};
const Colour kPalette[] = {{200, 150, 120}, {30, 60, 200}, {128, 128, 128}, {240, 240, 240},
                           {20, 20, 20},    {60, 180, 75}, {230, 25, 75},   {145, 30, 180}};

Colour blockColor(int x, int y) { return kPalette[((x / 16) + 3 * (y / 16)) % 8]; }

// BT.601 limited-range Y'CbCr, computed here without the library's tables.
void rgbToYUV601Limited(const Colour& c, double* y, double* u, double* v) {
    *y = 16 + (65.481 * c.r + 128.553 * c.g + 24.966 * c.b) / 255;
    *u = 128 + (-37.797 * c.r - 74.203 * c.g + 112.0 * c.b) / 255;
    *v = 128 + (112.0 * c.r - 93.786 * c.g - 18.214 * c.b) / 255;
}

class Observer : public NullObserver {
public:
    void onEffectResult(int result, int id) override { effects.emplace_back(id, result); }
    std::vector<std::pair<int, int>> effects;
};

// An engine whose chain is upload → low light (declines on a bright scene)
// → output, on each backend: the pixels make the whole round trip unchanged.
class RoundTripTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        engine.reset(createVideoProcessEngine(false));
        ASSERT_TRUE(engine);
        ASSERT_EQ(engine->init(GetParam()), 0);
        // After init, so that the render engine reports each effect too.
        engine->setObserver(&observer);
        ASSERT_EQ(engine->setVideoEffects({kEffectLowLightEnhance}), 0);
        ASSERT_EQ(engine->setParameter("lowlight_enhance_option", R"({"enable":1,"mode":0})"), 0);
    }
    void TearDown() override {
        if (engine) engine->release();
    }
    Observer observer;
    std::unique_ptr<IVideoProcessEngine> engine;
};

constexpr int kW = 64, kH = 48;

std::vector<uint8_t> planarFrame(int format, int range) {
    const int cw = kW / 2, ch = format == kPixelFormatI422 ? kH : kH / 2;
    std::vector<uint8_t> buf(kW * kH + 2 * cw * ch);
    uint8_t* y = buf.data();
    uint8_t* c = y + kW * kH;
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) {
            double Y, U, V;
            rgbToYUV601Limited(blockColor(x, r), &Y, &U, &V);
            if (range == 1) Y = (Y - 16) * 255 / 219;
            y[r * kW + x] = static_cast<uint8_t>(std::lround(Y));
        }
    for (int r = 0; r < ch; ++r)
        for (int x = 0; x < cw; ++x) {
            double Y, U, V;
            rgbToYUV601Limited(blockColor(2 * x, format == kPixelFormatI422 ? r : 2 * r), &Y, &U,
                               &V);
            if (range == 1) {
                U = 128 + (U - 128) * 255 / 224;
                V = 128 + (V - 128) * 255 / 224;
            }
            const uint8_t u8 = static_cast<uint8_t>(std::lround(std::clamp(U, 0.0, 255.0)));
            const uint8_t v8 = static_cast<uint8_t>(std::lround(std::clamp(V, 0.0, 255.0)));
            switch (format) {
                case kPixelFormatI420:
                case kPixelFormatI422:
                    c[r * cw + x] = u8;
                    c[cw * ch + r * cw + x] = v8;
                    break;
                case kPixelFormatYV12:
                    c[r * cw + x] = v8;
                    c[cw * ch + r * cw + x] = u8;
                    break;
                case kPixelFormatNV12:
                    c[r * kW + 2 * x] = u8;
                    c[r * kW + 2 * x + 1] = v8;
                    break;
                case kPixelFormatNV21:
                    c[r * kW + 2 * x] = v8;
                    c[r * kW + 2 * x + 1] = u8;
                    break;
            }
        }
    return buf;
}

std::vector<uint8_t> packedFrame(int format) {
    std::vector<uint8_t> buf(kW * kH * 4);
    for (int r = 0; r < kH; ++r)
        for (int x = 0; x < kW; ++x) {
            const Colour c = blockColor(x, r);
            uint8_t* p = &buf[(r * kW + x) * 4];
            switch (format) {
                case kPixelFormatRGBA:
                    p[0] = 255, p[1] = c.b, p[2] = c.g, p[3] = c.r;
                    break;
                case kPixelFormatARGB:
                    p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255;
                    break;
                case kPixelFormatBGRA:
                    p[0] = 255, p[1] = c.r, p[2] = c.g, p[3] = c.b;
                    break;
            }
        }
    return buf;
}

// Whether luma column x (or row y) is at least four samples away from a block
// edge: chroma is resampled bilinearly on the GPU (and, for 4:2:2, by libyuv
// on the way back), so colours bleed a few samples across edges.
bool interior(int v) { return v % 16 >= 4 && v % 16 <= 11; }

// Largest difference over samples inside the colour blocks. `lumaStep`
// and `chromaRows` describe where each sample of the format sits.
int maxDifference(int format, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int worst = 0;
    auto take = [&](size_t i) { worst = std::max(worst, std::abs(a[i] - b[i])); };
    if (format == kPixelFormatRGBA || format == kPixelFormatARGB || format == kPixelFormatBGRA) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (interior(x) && interior(y))
                    for (int c = 0; c < 4; ++c) take((y * kW + x) * 4 + c);
        return worst;
    }
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (interior(x) && interior(y)) take(y * kW + x);
    const bool full = format == kPixelFormatI422;
    const int ch = full ? kH : kH / 2, cw = kW / 2;
    const size_t base = kW * kH;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            if (!interior(2 * x) || !interior(full ? y : 2 * y)) continue;
            if (format == kPixelFormatNV12 || format == kPixelFormatNV21) {
                take(base + y * kW + 2 * x);
                take(base + y * kW + 2 * x + 1);
            } else {
                take(base + y * cw + x);
                take(base + cw * ch + y * cw + x);
            }
        }
    return worst;
}

TEST_P(RoundTripTest, PlanarFormatsComeBackExactly) {
    const int formats[] = {kPixelFormatI420, kPixelFormatI422, kPixelFormatNV21, kPixelFormatNV12,
                           kPixelFormatYV12};
    for (int range : {0, 1}) {
        for (int format : formats) {
            std::vector<uint8_t> frame = planarFrame(format, range);
            const std::vector<uint8_t> input = frame;
            observer.effects.clear();
            ASSERT_EQ(engine->processFrame(format, kW, kH, frame.data(), int(frame.size()), -1, -1,
                                           kColorMatrixSMPTE170M, range),
                      0)
                << format;
            EXPECT_EQ(maxDifference(format, frame, input), 0)
                << "format " << format << " range " << range;
            // The low-light stage took part and declined the bright frame.
            EXPECT_NE(std::find(observer.effects.begin(), observer.effects.end(),
                                std::make_pair(int(kEffectLowLightEnhance), 1)),
                      observer.effects.end());
        }
    }
}

TEST_P(RoundTripTest, PackedRgbFormatsComeBackExactly) {
    for (int range : {-1, 0, 1}) {
        for (int format : {kPixelFormatRGBA, kPixelFormatARGB, kPixelFormatBGRA}) {
            std::vector<uint8_t> frame = packedFrame(format);
            const std::vector<uint8_t> input = frame;
            ASSERT_EQ(engine->processFrame(format, kW, kH, frame.data(), int(frame.size()), -1, -1,
                                           -1, range),
                      0);
            EXPECT_EQ(maxDifference(format, frame, input), 0)
                << "format " << format << " range " << range;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, RoundTripTest,
                         ::testing::Values(R"({"backend":"gpu"})", R"({"backend":"cpu"})"));

}  // namespace
}  // namespace video
}  // namespace kelvo
