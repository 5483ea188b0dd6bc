// The async filter in a running libobs: frames output by a test source with
// the filter attached, read back with obs_source_get_frame, and compared
// with the library called directly with the same settings (and with the
// kelvo-enhance program).
#include <libyuv/planar_functions.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "effect_names.h"
#include "kelvo/video_process_engine.h"
#include "obs_runtime.h"

namespace {

using namespace kelvo::video;
using kelvo_obs_test::ObsRuntime;

// A frame in OBS's own layout, planes back to back, a new picture per seed.
struct Frame {
    video_format format;
    uint32_t width, height;
    std::vector<uint8_t> bytes;

    Frame(video_format f, uint32_t w, uint32_t h, uint32_t seed) : format(f), width(w), height(h) {
        bytes.resize(size());
        std::mt19937 rng(seed);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(40 + (i * 7 / 5 + seed * 13) % 160 + rng() % 20);
    }
    uint32_t cw() const { return (width + 1) / 2; }
    uint32_t ch() const { return (height + 1) / 2; }
    size_t size() const {
        switch (format) {
            case VIDEO_FORMAT_I420:
                return width * height + 2 * cw() * ch();
            case VIDEO_FORMAT_NV12:
                return width * height + 2 * cw() * ch();
            case VIDEO_FORMAT_YUY2:
                return 4 * cw() * height;
            default:
                return 4 * width * height;
        }
    }
    // Points `f` at the bytes, with `space` and `range` as a camera source
    // fills them in.
    obs_source_frame obsFrame(video_colorspace space, video_range_type range, uint64_t ts) {
        obs_source_frame f = {};
        f.format = format;
        f.width = width;
        f.height = height;
        f.timestamp = ts;
        uint8_t* p = bytes.data();
        switch (format) {
            case VIDEO_FORMAT_I420:
                f.data[0] = p, f.data[1] = p + width * height, f.data[2] = f.data[1] + cw() * ch();
                f.linesize[0] = width, f.linesize[1] = f.linesize[2] = cw();
                break;
            case VIDEO_FORMAT_NV12:
                f.data[0] = p, f.data[1] = p + width * height;
                f.linesize[0] = width, f.linesize[1] = 2 * cw();
                break;
            case VIDEO_FORMAT_YUY2:
                f.data[0] = p, f.linesize[0] = 4 * cw();
                break;
            default:
                f.data[0] = p, f.linesize[0] = 4 * width;
                break;
        }
        video_format_get_parameters(space, range, f.color_matrix, f.color_range_min,
                                    f.color_range_max);
        return f;
    }
    // Copies a frame of the same geometry (OBS's own strides) into the bytes.
    void read(const obs_source_frame& f) {
        Frame copy = *this;
        obs_source_frame layout = copy.obsFrame(VIDEO_CS_DEFAULT, VIDEO_RANGE_DEFAULT, 0);
        for (int i = 0; i < MAX_AV_PLANES && layout.data[i]; ++i) {
            const bool chroma420 =
                i > 0 && (format == VIDEO_FORMAT_I420 || format == VIDEO_FORMAT_NV12);
            const uint32_t rows = chroma420 ? ch() : height;
            const size_t at = static_cast<size_t>(layout.data[i] - copy.bytes.data());
            libyuv::CopyPlane(f.data[i], static_cast<int>(f.linesize[i]), bytes.data() + at,
                              static_cast<int>(layout.linesize[i]),
                              static_cast<int>(layout.linesize[i]), static_cast<int>(rows));
        }
    }
};

// The library as kelvo-enhance drives it: the default effects, automatic modes.
std::unique_ptr<IVideoProcessEngine> directEngine() {
    std::unique_ptr<IVideoProcessEngine> e(createVideoProcessEngine(false));
    EXPECT_EQ(e->init(R"({"backend":"cpu"})"), 0);
    std::vector<int> effects;
    std::string error;
    EXPECT_TRUE(
        kelvo::video::parseEffectNames(kelvo::video::kDefaultEffectNames, &effects, &error));
    EXPECT_EQ(e->setVideoEffects(effects), 0);
    const struct {
        int effect;
        const char *key, *document;
    } documents[] = {
        {kEffectVideoDenoiser, "video_denoiser_option", R"({"enable":1,"mode":0,"level":2})"},
        {kEffectLowLightEnhance, "lowlight_enhance_option", R"({"enable":1,"mode":0})"},
        {kEffectColorEnhance, "color_enhance_option", R"({"enable":1})"},
        {kEffectBeauty, "beauty_effect_option", R"({"enable":1})"}};
    for (const auto& d : documents)
        if (std::find(effects.begin(), effects.end(), d.effect) != effects.end())
            e->setParameter(d.key, d.document);
    return e;
}

// The frame processed by the library called directly; YUY2 goes through
// I422 with libyuv, OBS's BGRA is the library's ARGB.
void processDirectly(IVideoProcessEngine& e, Frame* f, int matrix, int range) {
    const int w = static_cast<int>(f->width), h = static_cast<int>(f->height);
    const int size = static_cast<int>(f->bytes.size());
    switch (f->format) {
        case VIDEO_FORMAT_I420:
            ASSERT_EQ(e.processFrame(kPixelFormatI420, w, h, f->bytes.data(), size, -1, -1, matrix,
                                     range),
                      0);
            break;
        case VIDEO_FORMAT_NV12:
            ASSERT_EQ(e.processFrame(kPixelFormatNV12, w, h, f->bytes.data(), size, -1, -1, matrix,
                                     range),
                      0);
            break;
        case VIDEO_FORMAT_YUY2: {
            const int cw = static_cast<int>(f->cw());
            std::vector<uint8_t> i422(w * h + 2 * cw * h);
            uint8_t *y = i422.data(), *u = y + w * h, *v = u + cw * h;
            libyuv::YUY2ToI422(f->bytes.data(), 4 * cw, y, w, u, cw, v, cw, w, h);
            ASSERT_EQ(e.processFrame(kPixelFormatI422, w, h, i422.data(),
                                     static_cast<int>(i422.size()), -1, -1, matrix, range),
                      0);
            libyuv::I422ToYUY2(y, w, u, cw, v, cw, f->bytes.data(), 4 * cw, w, h);
            break;
        }
        default:
            ASSERT_EQ(e.processFrame(kPixelFormatARGB, w, h, f->bytes.data(), size, -1, -1, -1, -1),
                      0);
            break;
    }
}

class ObsPipeline : public ObsRuntime {
protected:
    void SetUp() override {
        ObsRuntime::SetUp();
        if (HasFatalFailure()) return;
        camera_ = obs_source_create_private("kelvo_test_async_source", "camera", nullptr);
        ASSERT_NE(camera_, nullptr);
        // The newest frame at every tick, whatever its timestamp.
        obs_source_set_async_unbuffered(camera_, true);
    }
    void TearDown() override {
        if (filter_) {
            obs_source_filter_remove(camera_, filter_);
            obs_source_release(filter_);
        }
        if (camera_) obs_source_release(camera_);
        ObsRuntime::TearDown();
    }

    void addFilter(const char* settingsJson) {
        obs_data_t* settings = obs_data_create_from_json(settingsJson);
        filter_ = obs_source_create_private("kelvo_enhance_filter", "enhance", settings);
        obs_data_release(settings);
        ASSERT_NE(filter_, nullptr);
        obs_source_filter_add(camera_, filter_);
    }

    void update(const char* settingsJson) {
        obs_data_t* settings = obs_data_create_from_json(settingsJson);
        obs_source_update(filter_, settings);
        obs_data_release(settings);
        waitTicks();  // filters apply updates at their tick
    }

    // Outputs `in` and copies into `out` the frame the filter handed on at
    // the tick that took it; false when it handed on none.
    bool push(Frame& in, video_colorspace space, video_range_type range, Frame* out) {
        const obs_source_frame f = in.obsFrame(space, range, ++timestamp_ * 100000000ull);
        obs_source_output_video(camera_, &f);
        obs_source_frame* got = pull();
        if (got) out->read(*got);
        obs_source_release_frame(camera_, got);
        return got != nullptr;
    }

    // The source's current frame, taken before the next tick replaces it:
    // polled until a few ticks went by.
    obs_source_frame* pull() {
        const long until = ticks() + 4;
        while (ticks() < until) {
            if (obs_source_frame* got = obs_source_get_frame(camera_)) return got;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return nullptr;
    }

    obs_source_t* camera_ = nullptr;
    obs_source_t* filter_ = nullptr;
    uint64_t timestamp_ = 0;
};

struct PipelineRow {
    const char* name;
    video_format format;
    video_colorspace space;
    video_range_type range;
    int matrix, rangeCode;  // what the library must be told
};
void PrintTo(const PipelineRow& r, std::ostream* os) { *os << r.name; }

class ObsPipelineFormats : public ObsPipeline, public ::testing::WithParamInterface<PipelineRow> {};

// Each frame comes out one tick late (the worker processed it meanwhile),
// with the bytes of the library called directly.
TEST_P(ObsPipelineFormats, SameBytesAsTheLibrary) {
    const PipelineRow& r = GetParam();
    addFilter("{}");
    auto engine = directEngine();
    const uint32_t w = 96, h = 64;
    const int frames = 4;
    Frame out(r.format, w, h, 0);
    for (int n = 0; n <= frames; ++n) {
        Frame in(r.format, w, h, n);
        const bool got = push(in, r.space, r.range, &out);
        if (n == 0) {
            EXPECT_FALSE(got) << "the first frame is held while it is processed";
            continue;
        }
        ASSERT_TRUE(got) << "frame " << n - 1 << " did not come out";
        Frame want(r.format, w, h, n - 1);
        processDirectly(*engine, &want, r.matrix, r.rangeCode);
        ASSERT_NE(want.bytes, Frame(r.format, w, h, n - 1).bytes);
        EXPECT_TRUE(out.bytes == want.bytes) << "frame " << n - 1;
    }
    EXPECT_TRUE(warnings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Obs, ObsPipelineFormats,
    ::testing::Values(PipelineRow{"I420_601_partial", VIDEO_FORMAT_I420, VIDEO_CS_601,
                                  VIDEO_RANGE_PARTIAL, kColorMatrixSMPTE170M, kColorRangeLimited},
                      PipelineRow{"NV12_709_full", VIDEO_FORMAT_NV12, VIDEO_CS_709,
                                  VIDEO_RANGE_FULL, kColorMatrixBT709, kColorRangeFull},
                      PipelineRow{"YUY2_601_partial", VIDEO_FORMAT_YUY2, VIDEO_CS_601,
                                  VIDEO_RANGE_PARTIAL, kColorMatrixSMPTE170M, kColorRangeLimited},
                      PipelineRow{"BGRA", VIDEO_FORMAT_BGRA, VIDEO_CS_DEFAULT, VIDEO_RANGE_FULL, -1,
                                  -1}),
    [](const ::testing::TestParamInfo<PipelineRow>& info) { return std::string(info.param.name); });

// Settings changed between frames reach the frames after the change, as
// the same change between direct calls does; a typed setting overrides the
// same member of params.
TEST_F(ObsPipeline, SettingsChangeWhileFramesFlow) {
    addFilter("{}");
    auto engine = directEngine();
    const uint32_t w = 96, h = 64;
    Frame out(VIDEO_FORMAT_I420, w, h, 0);
    for (int n = 0; n <= 6; ++n) {
        // From frame 3 on, for the filter here and for the engine below.
        if (n == 3)
            update(
                R"({"effects":"color,beauty","beauty-smoothness":0.9,"color-strength":0.2,)"
                R"("params":"{\"beauty_effect_option\":{\"smoothness\":0.1,\"redness\":0.6}}"})");
        Frame in(VIDEO_FORMAT_I420, w, h, n);
        const bool got = push(in, VIDEO_CS_601, VIDEO_RANGE_PARTIAL, &out);
        if (n > 0) {
            ASSERT_TRUE(got);
            Frame want(VIDEO_FORMAT_I420, w, h, n - 1);
            processDirectly(*engine, &want, kColorMatrixSMPTE170M, kColorRangeLimited);
            EXPECT_TRUE(out.bytes == want.bytes) << "frame " << n - 1;
        }
        if (n == 3) {
            engine->setVideoEffects({kEffectColorEnhance, kEffectBeauty});
            engine->setParameter("video_denoiser_option", R"({"enable":0})");
            engine->setParameter("lowlight_enhance_option", R"({"enable":0})");
            engine->setParameter("beauty_effect_option", R"({"smoothness":0.9,"redness":0.6})");
            engine->setParameter("color_enhance_option", R"({"strength":0.2})");
        }
    }
}

// Values the library refuses reach OBS's log as warnings with its reason.
TEST_F(ObsPipeline, RejectedValuesAreLoggedAsWarnings) {
    addFilter(R"({"params":"{\"beauty_effect_option\":{\"smoothness\":5}}"})");
    Frame in(VIDEO_FORMAT_I420, 32, 32, 0), out(VIDEO_FORMAT_I420, 32, 32, 0);
    push(in, VIDEO_CS_601, VIDEO_RANGE_PARTIAL, &out);
    push(in, VIDEO_CS_601, VIDEO_RANGE_PARTIAL, &out);
    update(R"({"params":"{not json"})");
    bool rejected = false, badJson = false;
    for (const std::string& w : warnings()) {
        // The library's rejection text, as the shared settings code gets it.
        rejected =
            rejected || w.find("smoothness = 5 (accepted: number in [0, 1])") != std::string::npos;
        badJson = badJson || w.find("params: bad JSON") != std::string::npos;
    }
    EXPECT_TRUE(rejected);
    EXPECT_TRUE(badJson);
}

// 10-bit frames pass through untouched, with one warning for the source.
TEST_F(ObsPipeline, UnsupportedFormatsPassThroughWithOneWarning) {
    addFilter("{}");
    const uint32_t w = 32, h = 16;
    for (int n = 0; n < 3; ++n) {
        std::vector<uint16_t> planes(w * h * 3 / 2, static_cast<uint16_t>(300 + n));
        obs_source_frame f = {};
        f.format = VIDEO_FORMAT_I010;
        f.width = w;
        f.height = h;
        f.timestamp = ++timestamp_ * 100000000ull;
        f.data[0] = reinterpret_cast<uint8_t*>(planes.data());
        f.data[1] = f.data[0] + 2 * w * h;
        f.data[2] = f.data[1] + w * h / 2;
        f.linesize[0] = 2 * w;
        f.linesize[1] = f.linesize[2] = w;
        video_format_get_parameters(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, f.color_matrix,
                                    f.color_range_min, f.color_range_max);
        obs_source_output_video(camera_, &f);
        obs_source_frame* got = pull();
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::memcmp(got->data[0], planes.data(), 2 * w * h), 0);
        obs_source_release_frame(camera_, got);
    }
    int count = 0;
    for (const std::string& m : warnings())
        count += m.find("pass through untouched") != std::string::npos;
    EXPECT_EQ(count, 1);
}

// The filter and kelvo-enhance, given the same BT.601 partial-range frames
// and the same settings, backend and colour codes, write the same bytes.
TEST_F(ObsPipeline, SameBytesAsKelvoEnhance) {
    addFilter("{}");
    const uint32_t w = 96, h = 64;
    const int frames = 4;
    std::string input = "YUV4MPEG2 W96 H64 F30:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n";
    std::vector<std::vector<uint8_t>> filtered;
    Frame out(VIDEO_FORMAT_I420, w, h, 0);
    for (int n = 0; n <= frames; ++n) {
        Frame in(VIDEO_FORMAT_I420, w, h, n);
        if (n < frames) input += "FRAME\n" + std::string(in.bytes.begin(), in.bytes.end());
        if (push(in, VIDEO_CS_601, VIDEO_RANGE_PARTIAL, &out)) filtered.push_back(out.bytes);
    }
    ASSERT_EQ(filtered.size(), static_cast<size_t>(frames));

    char dir[] = "/tmp/kelvo-obs-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string in = std::string(dir) + "/in.y4m", outPath = std::string(dir) + "/out.y4m";
    std::ofstream(in, std::ios::binary) << input;
    const std::string command = std::string(KELVO_ENHANCE_PATH) +
                                " --backend cpu --matrix bt601 --range limited --no-progress -i " +
                                in + " -o " + outPath + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream result(outPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(result)),
                           std::istreambuf_iterator<char>());
    std::remove(in.c_str());
    std::remove(outPath.c_str());
    rmdir(dir);
    size_t at = text.find('\n') + 1;
    for (int n = 0; n < frames; ++n) {
        ASSERT_EQ(text.compare(at, 6, "FRAME\n"), 0);
        at += 6;
        EXPECT_TRUE(text.compare(at, filtered[n].size(),
                                 std::string(filtered[n].begin(), filtered[n].end())) == 0)
            << "frame " << n;
        at += filtered[n].size();
    }
}

}  // namespace
