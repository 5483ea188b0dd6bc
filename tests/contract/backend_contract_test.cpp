// The agreement contract of the two rendering backends, through the public
// interface: a GPU engine and a CPU engine get the same camera frames and the
// same parameter documents, and their outputs are compared plane by plane.
//
// Each effect alone: mean |d| <= 0.3, at most 1 % of samples more than 2
// levels apart and 0.01 % more than 8. The whole chain: mean |d| <= 0.5,
// PSNR >= 45 dB, at most 0.1 % of samples more than 8 apart. The GL path
// itself moves by a level here and there between drivers, and the chain's
// decision points (skin test, tone bands) amplify that, so the contract
// bounds shares of samples rather than the largest difference.
//
// The figures of every run are printed as "[ contract ]" lines.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

constexpr char kGpu[] = R"({"backend":"gpu"})";
constexpr char kCpu[] = R"({"backend":"cpu"})";

struct Limits {
    double mean;     // mean |d| at most
    double over2;    // share of samples with |d| > 2 at most (1: not bounded)
    double over8;    // share of samples with |d| > 8 at most
    double minPsnr;  // dB, at least (0: not bounded)
};
constexpr Limits kEffectAlone{0.3, 0.01, 0.0001, 0.0};
constexpr Limits kWholeChain{0.5, 1.0, 0.001, 45.0};

// ---------------------------------------------------------------------------
// Camera frames made from the photograph in tests/data.

struct Photo {
    int width = 0, height = 0;
    std::vector<uint8_t> planes[3];  // Y, U, V
    int planeWidth(int p) const { return p == 0 ? width : width / 2; }
    int planeHeight(int p) const { return p == 0 ? height : height / 2; }
};

// The PNG holds Y (width x height) above rows of U then V side by side.
Photo loadPhoto() {
    Photo photo;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(KELVO_TEST_DATA_DIR) + "/astronaut_i420.png";
    if (!png_image_begin_read_from_file(&image, path.c_str())) return photo;
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return photo;
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height) * 2 / 3;
    photo.width = w;
    photo.height = h;
    photo.planes[0].assign(pixels.begin(), pixels.begin() + w * h);
    for (int y = 0; y < h / 2; ++y) {
        const uint8_t* row = pixels.data() + static_cast<size_t>(h + y) * w;
        photo.planes[1].insert(photo.planes[1].end(), row, row + w / 2);
        photo.planes[2].insert(photo.planes[2].end(), row + w / 2, row + w);
    }
    return photo;
}

enum class Light { kDaylight, kDimRoom };

struct FrameSize {
    int width, height;
};

// Mirrored repeat, so a wide frame continues the picture without seams.
double mirror(double t, int n) {
    const double period = 2.0 * (n - 1);
    t = std::fmod(std::fabs(t), period);
    return t > n - 1 ? period - t : t;
}

double sample(const Photo& photo, int plane, double x, double y) {
    const int w = photo.planeWidth(plane), h = photo.planeHeight(plane);
    x = mirror(x, w), y = mirror(y, h);
    const int x0 = std::min(static_cast<int>(x), w - 2), y0 = std::min(static_cast<int>(y), h - 2);
    const double fx = x - x0, fy = y - y0;
    const uint8_t* p = photo.planes[plane].data() + y0 * w + x0;
    return (1 - fy) * ((1 - fx) * p[0] + fx * p[1]) + fy * ((1 - fx) * p[w] + fx * p[w + 1]);
}

// One I420 frame of a camera that pans slowly across the scene: the photo
// scaled to the frame's height, sensor noise on every sample, and in a dim
// room a third of the light and more noise.
std::vector<uint8_t> cameraFrame(const Photo& photo, FrameSize size, Light light, int index) {
    const int cw = (size.width + 1) / 2, ch = (size.height + 1) / 2;
    std::vector<uint8_t> frame(static_cast<size_t>(size.width) * size.height + 2 * cw * ch);
    std::mt19937 rng(1000u + static_cast<unsigned>(index));
    const bool dim = light == Light::kDimRoom;
    std::normal_distribution<double> lumaNoise(0.0, dim ? 3.5 : 2.0),
        chromaNoise(0.0, dim ? 1.5 : 1.0);
    const double scale = static_cast<double>(photo.height) / size.height;
    const double pan = 1.5 * index;
    auto store = [](double v) {
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    uint8_t* y = frame.data();
    for (int r = 0; r < size.height; ++r) {
        for (int c = 0; c < size.width; ++c) {
            double v = sample(photo, 0, (c + 0.5 + pan) * scale - 0.5, (r + 0.5) * scale - 0.5);
            if (dim) v = 16 + (v - 16) * 0.3;
            y[r * size.width + c] = store(v + lumaNoise(rng));
        }
    }
    for (int p = 1; p <= 2; ++p) {
        uint8_t* out = frame.data() + static_cast<size_t>(size.width) * size.height +
                       static_cast<size_t>(p - 1) * cw * ch;
        for (int r = 0; r < ch; ++r) {
            for (int c = 0; c < cw; ++c) {
                double v = sample(photo, p, ((2 * c + 1 + pan) * scale - 1) / 2,
                                  ((2 * r + 1) * scale - 1) / 2);
                if (dim) v = 128 + (v - 128) * 0.6;
                out[r * cw + c] = store(v + chromaNoise(rng));
            }
        }
    }
    return frame;
}

// The same frame as the packed format kPixelFormatRGBA (bytes A, B, G, R),
// decoded with BT.601 limited range as the camera encoded it.
std::vector<uint8_t> toRGBA(const std::vector<uint8_t>& i420, FrameSize size) {
    const int cw = (size.width + 1) / 2, ch = (size.height + 1) / 2;
    const uint8_t* y = i420.data();
    const uint8_t* u = y + static_cast<size_t>(size.width) * size.height;
    const uint8_t* v = u + static_cast<size_t>(cw) * ch;
    std::vector<uint8_t> rgba(4 * static_cast<size_t>(size.width) * size.height);
    auto store = [](double x) {
        return static_cast<uint8_t>(std::clamp(std::lround(x), 0L, 255L));
    };
    for (int r = 0; r < size.height; ++r) {
        for (int c = 0; c < size.width; ++c) {
            const double l = 1.164383 * (y[r * size.width + c] - 16);
            const double cb = u[(r / 2) * cw + c / 2] - 128.0, cr = v[(r / 2) * cw + c / 2] - 128.0;
            uint8_t* px = &rgba[4 * (static_cast<size_t>(r) * size.width + c)];
            px[0] = 255;
            px[1] = store(l + 2.017232 * cb);
            px[2] = store(l - 0.391762 * cb - 0.812968 * cr);
            px[3] = store(l + 1.596027 * cr);
        }
    }
    return rgba;
}

// ---------------------------------------------------------------------------
// Differences of one plane (or channel), summed over the frames of a run.

struct Plane {
    const char* name;
    size_t offset;  // first sample
    int step;       // bytes between samples
    size_t count;
};

struct Difference {
    std::array<size_t, 256> histogram{};
    size_t count = 0;
    double sum = 0, squares = 0;

    void add(const uint8_t* a, const uint8_t* b, const Plane& plane) {
        for (size_t i = 0; i < plane.count; ++i) {
            const size_t at = plane.offset + i * plane.step;
            const int d = std::abs(a[at] - b[at]);
            ++histogram[d];
            sum += d;
            squares += static_cast<double>(d) * d;
        }
        count += plane.count;
    }
    double mean() const { return sum / count; }
    double shareOver(int level) const {
        size_t n = 0;
        for (int d = level + 1; d < 256; ++d) n += histogram[d];
        return static_cast<double>(n) / count;
    }
    double psnr() const {
        const double mse = squares / count;
        return mse == 0 ? std::numeric_limits<double>::infinity()
                        : 10 * std::log10(255.0 * 255.0 / mse);
    }
};

std::vector<Plane> planesOf(int format, FrameSize size) {
    const size_t luma = static_cast<size_t>(size.width) * size.height;
    const size_t chroma = static_cast<size_t>((size.width + 1) / 2) * ((size.height + 1) / 2);
    if (format == kPixelFormatRGBA)
        return {{"R", 3, 4, luma}, {"G", 2, 4, luma}, {"B", 1, 4, luma}};
    return {{"Y", 0, 1, luma}, {"U", luma, 1, chroma}, {"V", luma + chroma, 1, chroma}};
}

class ReportObserver : public NullObserver {
public:
    void onEffectResult(int result, int effect) override { reports.emplace_back(effect, result); }
    std::vector<std::pair<int, int>> reports;  // (effect, result) of the last frame
};

// ---------------------------------------------------------------------------

struct Case {
    const char* name;
    bool wholeChain;
    std::vector<int> effects;
    std::vector<std::pair<const char*, const char*>> documents;
    Light light;
    int warmUpFrames;  // processed but not compared
    int comparedFrames;
    std::vector<int> mustDraw;  // effects that must report 0 on every compared frame
};

const Case kCases[] = {
    {"beauty",
     false,
     {kEffectBeauty},
     {{"beauty_effect_option",
       R"({"enable":1,"smoothness":0.7,"lightness":0.5,"redness":0.5,"sharpness":0.5})"}},
     Light::kDaylight,
     0,
     3,
     {kEffectBeauty}},
    {"beauty_selective",
     false,
     {kEffectBeauty},
     {{"beauty_effect_option",
       R"({"enable":1,"level":1,"smoothness":1,"lightness":0.3,"redness":0.3,"sharpness":0.3})"}},
     Light::kDaylight,
     0,
     3,
     {kEffectBeauty}},
    // A noisy camera: smoothing over the whole picture, not only skin.
    {"beauty_noisy_camera",
     false,
     {kEffectBeauty},
     {{"beauty_effect_option", R"({"enable":1,"smoothness":0.9,"sharpness":0.8})"},
      {"environment", R"({"light_strength":70,"noise_level":1})"}},
     Light::kDimRoom,
     0,
     3,
     {kEffectBeauty}},
    {"colour",
     false,
     {kEffectColorEnhance},
     {{"color_enhance_option", R"({"enable":1,"strength":0.8,"skinProtect":0.5})"}},
     Light::kDaylight,
     0,
     3,
     {kEffectColorEnhance}},
    // Level 1 keeps the denoiser, which low light brings along, switched off.
    {"lowlight_manual",
     false,
     {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":1,"level":1})"}},
     Light::kDimRoom,
     0,
     3,
     {kEffectLowLightEnhance}},
    {"lowlight_adaptive",
     false,
     {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":1,"level":1,"adaptive":1})"}},
     Light::kDimRoom,
     0,
     3,
     {kEffectLowLightEnhance}},
    // The dark scene is declared on the 15th dark frame; before it, only the
    // effects' reports are compared.
    {"lowlight_automatic",
     false,
     {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":0,"level":1})"}},
     Light::kDimRoom,
     15,
     2,
     {kEffectLowLightEnhance}},
    // Automatic: a dim, noisy frame is filtered.
    {"denoiser_automatic",
     false,
     {kEffectVideoDenoiser},
     {{"video_denoiser_option", R"({"enable":1,"mode":0,"level":0})"}},
     Light::kDimRoom,
     0,
     4,
     {kEffectVideoDenoiser}},
    {"denoiser_strong",
     false,
     {kEffectVideoDenoiser},
     {{"video_denoiser_option", R"({"enable":1,"mode":1,"level":2})"}},
     Light::kDaylight,
     0,
     4,
     {kEffectVideoDenoiser}},
    {"chain_manual",
     true,
     {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty},
     {{"beauty_effect_option", R"({"enable":1})"},
      {"color_enhance_option", R"({"enable":1})"},
      {"lowlight_enhance_option", R"({"enable":1,"mode":1})"},
      {"video_denoiser_option", R"({"enable":1,"mode":1})"}},
     Light::kDaylight,
     0,
     3,
     {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty}},
    // Colour at full strength into beauty without its gradings, where the
    // CPU chain's beauty carries colour's function alone.
    {"chain_strong_colour",
     true,
     {kEffectColorEnhance, kEffectBeauty},
     {{"beauty_effect_option", R"({"enable":1,"lightness":0,"redness":0})"},
      {"color_enhance_option", R"({"enable":1,"strength":1,"skinProtect":0.5})"}},
     Light::kDaylight,
     0,
     3,
     {kEffectColorEnhance, kEffectBeauty}},
    // As a host runs it: automatic modes in a dim room.
    {"chain_automatic",
     true,
     {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty},
     {{"beauty_effect_option", R"({"enable":1})"},
      {"color_enhance_option", R"({"enable":1})"},
      {"lowlight_enhance_option", R"({"enable":1})"},
      {"video_denoiser_option", R"({"enable":1})"}},
     Light::kDimRoom,
     15,
     2,
     {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

struct Stream {
    int format;
    FrameSize size;
};
// Odd and even sizes, landscape and portrait; the packed format once. Shares
// of 0.01 % need frames of some size: fewer than ten thousand samples would
// allow none at all.
const Stream kStreams[] = {
    {kPixelFormatI420, {1280, 720}},
    {kPixelFormatI420, {641, 361}},
    {kPixelFormatI420, {360, 639}},
    {kPixelFormatRGBA, {641, 361}},
};

class BackendContract : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { photo = new Photo(loadPhoto()); }
    static void TearDownTestSuite() {
        delete photo;
        photo = nullptr;
    }
    static Photo* photo;
};
Photo* BackendContract::photo = nullptr;

TEST_P(BackendContract, CpuBackendKeepsToTheContract) {
    const Case& c = GetParam();
    ASSERT_GT(photo->width, 0) << "test picture missing: " << KELVO_TEST_DATA_DIR;
    const Limits& limits = c.wholeChain ? kWholeChain : kEffectAlone;
    for (const Stream& run : kStreams) {
        const FrameSize size = run.size;
        const char* formatName = run.format == kPixelFormatRGBA ? "RGBA" : "I420";
        SCOPED_TRACE(::testing::Message() << formatName << " " << size.width << "x" << size.height);
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
        const std::vector<Plane> planes = planesOf(run.format, size);
        std::vector<Difference> differences(planes.size());
        for (int index = 0; index < c.warmUpFrames + c.comparedFrames; ++index) {
            SCOPED_TRACE(::testing::Message() << "frame " << index);
            std::vector<uint8_t> input = cameraFrame(*photo, size, c.light, index);
            if (run.format == kPixelFormatRGBA) input = toRGBA(input, size);
            std::vector<uint8_t> outputs[2] = {input, input};
            for (int b = 0; b < 2; ++b) {
                observers[b].reports.clear();
                ASSERT_EQ(engines[b]->processFrame(run.format, size.width, size.height,
                                                   outputs[b].data(), int(outputs[b].size()), -1,
                                                   -1, kColorMatrixSMPTE170M, kColorRangeLimited),
                          0);
            }
            // Both backends take the same decisions: which effects drew.
            EXPECT_EQ(observers[0].reports, observers[1].reports);
            if (index < c.warmUpFrames) continue;
            for (int effect : c.mustDraw) {
                EXPECT_NE(std::find(observers[0].reports.begin(), observers[0].reports.end(),
                                    std::make_pair(effect, 0)),
                          observers[0].reports.end())
                    << "effect " << effect << " did not draw";
            }
            for (size_t p = 0; p < planes.size(); ++p)
                differences[p].add(outputs[0].data(), outputs[1].data(), planes[p]);
        }
        std::string line;
        char field[96];
        for (size_t p = 0; p < planes.size(); ++p) {
            const Difference& d = differences[p];
            std::snprintf(field, sizeof field, "  %s %.3f %.3f%% %.4f%% %5.1fdB", planes[p].name,
                          d.mean(), 100 * d.shareOver(2), 100 * d.shareOver(8), d.psnr());
            line += field;
            SCOPED_TRACE(::testing::Message() << "plane " << planes[p].name << ":" << field);
            EXPECT_LE(d.mean(), limits.mean);
            EXPECT_LE(d.shareOver(2), limits.over2);
            EXPECT_LE(d.shareOver(8), limits.over8);
            EXPECT_GE(d.psnr(), limits.minPsnr);
        }
        std::printf("[ contract ] %-20s %s %4dx%-4d  (mean, >2, >8, PSNR)%s\n", c.name, formatName,
                    size.width, size.height, line.c_str());
        for (auto& e : engines) e->release();
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, BackendContract, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace video
}  // namespace kelvo
