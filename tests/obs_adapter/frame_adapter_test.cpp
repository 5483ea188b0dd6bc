// The OBS frame adapter without a running libobs: every format it takes, in
// OBS's own layout and with padded rows or planes apart, processed by a CPU
// engine and compared with the C++ engine called directly on a buffer built
// here independently; the colour codes read from OBS's colour parameters.
#include <gtest/gtest.h>
#include <libyuv/convert.h>
#include <libyuv/convert_from.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame_adapter.h"
#include "kelvo/video_process_engine.h"

namespace {

using namespace kelvo::video;
using kelvo::obs::FrameAdapter;
using kelvo::obs::Route;

struct Plane {
    uint32_t rowBytes, rows;
};

// Visible bytes of each plane, from OBS's description of its formats.
std::vector<Plane> planesOf(video_format f, uint32_t w, uint32_t h) {
    const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (f) {
        case VIDEO_FORMAT_I420:
            return {{w, h}, {cw, ch}, {cw, ch}};
        case VIDEO_FORMAT_NV12:
            return {{w, h}, {2 * cw, ch}};
        case VIDEO_FORMAT_I422:
            return {{w, h}, {cw, h}, {cw, h}};
        case VIDEO_FORMAT_I444:
            return {{w, h}, {w, h}, {w, h}};
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
        case VIDEO_FORMAT_YVYU:
            return {{4 * cw, h}};
        case VIDEO_FORMAT_I010:
            return {{2 * w, h}, {2 * cw, ch}, {2 * cw, ch}};
        case VIDEO_FORMAT_Y800:
            return {{w, h}};
        default:
            return {{4 * w, h}};  // BGRA, BGRX, RGBA
    }
}

// A frame in its own storage: rows `pad` bytes longer than needed and
// `gap` bytes between planes (0, 0 is OBS's own layout for these sizes).
struct TestFrame {
    obs_source_frame frame = {};
    std::vector<uint8_t> storage;
    std::vector<Plane> planes;

    TestFrame(video_format format, uint32_t w, uint32_t h, uint32_t pad, uint32_t gap,
              uint32_t seed = 0) {
        planes = planesOf(format, w, h);
        size_t size = 0;
        for (const Plane& p : planes) size += (p.rowBytes + pad) * p.rows + gap;
        storage.assign(size, 0xEE);
        std::mt19937 rng(seed);
        size_t offset = 0;
        for (size_t i = 0; i < planes.size(); ++i) {
            frame.data[i] = storage.data() + offset;
            frame.linesize[i] = planes[i].rowBytes + pad;
            for (uint32_t y = 0; y < planes[i].rows; ++y)
                for (uint32_t x = 0; x < planes[i].rowBytes; ++x)
                    frame.data[i][y * frame.linesize[i] + x] =
                        static_cast<uint8_t>(16 + (x * 3 + y * 5) % 200 + rng() % 24);
            offset += frame.linesize[i] * planes[i].rows + gap;
        }
        frame.format = format;
        frame.width = w;
        frame.height = h;
        video_format_get_parameters(VIDEO_CS_601, VIDEO_RANGE_PARTIAL, frame.color_matrix,
                                    frame.color_range_min, frame.color_range_max);
    }

    std::vector<uint8_t> visible() const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < planes.size(); ++i)
            for (uint32_t y = 0; y < planes[i].rows; ++y)
                out.insert(out.end(), frame.data[i] + y * frame.linesize[i],
                           frame.data[i] + y * frame.linesize[i] + planes[i].rowBytes);
        return out;
    }

    void setVisible(const std::vector<uint8_t>& bytes) {
        size_t at = 0;
        for (size_t i = 0; i < planes.size(); ++i)
            for (uint32_t y = 0; y < planes[i].rows; ++y, at += planes[i].rowBytes)
                std::memcpy(frame.data[i] + y * frame.linesize[i], bytes.data() + at,
                            planes[i].rowBytes);
    }
};

// The adapter's engine, through the C interface.
std::unique_ptr<kelvo::integration::Engine> adapterEngine() {
    auto e = std::make_unique<kelvo::integration::Engine>();
    EXPECT_EQ(e->create(R"({"backend":"cpu","threads":1})", nullptr), 0);
    EXPECT_EQ(e->setEffects({kEffectColorEnhance, kEffectBeauty}), 0);
    EXPECT_EQ(e->setParameter("color_enhance_option", R"({"enable":1})", nullptr), 0);
    EXPECT_EQ(e->setParameter("beauty_effect_option", R"({"enable":1,"smoothness":1})", nullptr),
              0);
    return e;
}

std::unique_ptr<IVideoProcessEngine> cpuEngine() {
    std::unique_ptr<IVideoProcessEngine> e(createVideoProcessEngine(false));
    EXPECT_EQ(e->init(R"({"backend":"cpu","threads":1})"), 0);
    EXPECT_EQ(e->setVideoEffects({kEffectColorEnhance, kEffectBeauty}), 0);
    EXPECT_EQ(e->setParameter("color_enhance_option", R"({"enable":1})"), 0);
    EXPECT_EQ(e->setParameter("beauty_effect_option", R"({"enable":1,"smoothness":1})"), 0);
    return e;
}

// Byte positions of Y0, U, Y1, V in a packed 4:2:2 pair.
void pairOrder(video_format f, int order[4]) {
    const int yuy2[4] = {0, 1, 2, 3}, uyvy[4] = {1, 0, 3, 2}, yvyu[4] = {0, 3, 2, 1};
    std::memcpy(order,
                f == VIDEO_FORMAT_YUY2   ? yuy2
                : f == VIDEO_FORMAT_UYVY ? uyvy
                                         : yvyu,
                sizeof yuy2);
}

// The visible bytes after processing, computed without the adapter: the
// frame's data rearranged into a library format by hand, processed, and
// rearranged back.
std::vector<uint8_t> expected(IVideoProcessEngine& engine, const TestFrame& t, int matrix,
                              int range) {
    const obs_source_frame& f = t.frame;
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> v = t.visible();
    auto run = [&](int format, std::vector<uint8_t>& buf) {
        EXPECT_EQ(engine.processFrame(format, w, h, buf.data(), static_cast<int>(buf.size()), -1,
                                      -1, matrix, range),
                  0);
    };
    switch (f.format) {
        case VIDEO_FORMAT_I420:
            run(kPixelFormatI420, v);
            break;
        case VIDEO_FORMAT_NV12:
            run(kPixelFormatNV12, v);
            break;
        case VIDEO_FORMAT_I422:
            run(kPixelFormatI422, v);
            break;
        case VIDEO_FORMAT_BGRA:
        case VIDEO_FORMAT_BGRX:
            run(kPixelFormatARGB, v);
            break;
        case VIDEO_FORMAT_RGBA: {
            for (size_t i = 0; i < v.size(); i += 4) std::swap(v[i], v[i + 2]);
            run(kPixelFormatARGB, v);
            for (size_t i = 0; i < v.size(); i += 4) std::swap(v[i], v[i + 2]);
            break;
        }
        case VIDEO_FORMAT_I444: {
            std::vector<uint8_t> i420(w * h + 2 * cw * ch);
            uint8_t *y = i420.data(), *u = y + w * h, *vv = u + cw * ch;
            libyuv::I444ToI420(v.data(), w, v.data() + w * h, w, v.data() + 2 * w * h, w, y, w, u,
                               cw, vv, cw, w, h);
            run(kPixelFormatI420, i420);
            libyuv::I420ToI444(y, w, u, cw, vv, cw, v.data(), w, v.data() + w * h, w,
                               v.data() + 2 * w * h, w, w, h);
            break;
        }
        default: {  // packed 4:2:2, even widths here
            int o[4];
            pairOrder(f.format, o);
            std::vector<uint8_t> i422(w * h + 2 * cw * h);
            uint8_t *y = i422.data(), *u = y + w * h, *vv = u + cw * h;
            for (int r = 0; r < h; ++r)
                for (int p = 0; p < cw; ++p) {
                    const uint8_t* s = v.data() + r * 4 * cw + 4 * p;
                    y[r * w + 2 * p] = s[o[0]], u[r * cw + p] = s[o[1]];
                    y[r * w + 2 * p + 1] = s[o[2]], vv[r * cw + p] = s[o[3]];
                }
            run(kPixelFormatI422, i422);
            for (int r = 0; r < h; ++r)
                for (int p = 0; p < cw; ++p) {
                    uint8_t* d = v.data() + r * 4 * cw + 4 * p;
                    d[o[0]] = y[r * w + 2 * p], d[o[1]] = u[r * cw + p];
                    d[o[2]] = y[r * w + 2 * p + 1], d[o[3]] = vv[r * cw + p];
                }
            break;
        }
    }
    return v;
}

struct FormatRow {
    const char* name;
    video_format format;
    uint32_t width, height, pad, gap;
    Route route;
};
void PrintTo(const FormatRow& r, std::ostream* os) { *os << r.name; }

const FormatRow kFormats[] = {
    {"I420", VIDEO_FORMAT_I420, 64, 48, 0, 0, Route::kInPlace},
    {"I420 odd size", VIDEO_FORMAT_I420, 63, 47, 0, 0, Route::kInPlace},
    {"I420 padded rows", VIDEO_FORMAT_I420, 64, 48, 16, 0, Route::kInPlace},
    {"I420 planes apart", VIDEO_FORMAT_I420, 64, 48, 0, 32, Route::kInPlace},
    {"NV12", VIDEO_FORMAT_NV12, 64, 48, 0, 0, Route::kInPlace},
    {"NV12 padded rows", VIDEO_FORMAT_NV12, 62, 48, 2, 0, Route::kInPlace},
    {"I422", VIDEO_FORMAT_I422, 64, 48, 0, 0, Route::kInPlace},
    {"I422 planes apart", VIDEO_FORMAT_I422, 64, 48, 0, 8, Route::kInPlace},
    {"YUY2", VIDEO_FORMAT_YUY2, 64, 48, 0, 0, Route::kConvert},
    {"YUY2 padded rows", VIDEO_FORMAT_YUY2, 64, 48, 32, 0, Route::kConvert},
    {"UYVY", VIDEO_FORMAT_UYVY, 64, 48, 0, 0, Route::kConvert},
    {"YVYU", VIDEO_FORMAT_YVYU, 64, 48, 0, 0, Route::kConvert},
    {"I444", VIDEO_FORMAT_I444, 64, 48, 4, 0, Route::kConvert},
    {"BGRA", VIDEO_FORMAT_BGRA, 64, 48, 0, 0, Route::kInPlace},
    {"BGRA padded rows", VIDEO_FORMAT_BGRA, 64, 48, 64, 0, Route::kInPlace},
    {"BGRX", VIDEO_FORMAT_BGRX, 64, 48, 0, 0, Route::kInPlace},
    {"RGBA", VIDEO_FORMAT_RGBA, 64, 48, 0, 0, Route::kInPlace},
    {"RGBA padded rows", VIDEO_FORMAT_RGBA, 64, 48, 8, 0, Route::kInPlace},
};

class AdapterFormats : public ::testing::TestWithParam<FormatRow> {};

TEST_P(AdapterFormats, SameBytesAsTheEngineCalledDirectly) {
    const FormatRow& r = GetParam();
    auto reference = cpuEngine();
    auto engine = adapterEngine();
    FrameAdapter adapter;
    // Two frames through one adapter: its reused buffer carries nothing over.
    for (uint32_t seed = 0; seed < 2; ++seed) {
        TestFrame frame(r.format, r.width, r.height, r.pad, r.gap, seed);
        ASSERT_EQ(kelvo::obs::frameRoute(frame.frame), r.route);
        TestFrame wanted(r.format, r.width, r.height, r.pad, r.gap, seed);
        const bool yuv = format_is_yuv(r.format);
        const std::vector<uint8_t> want =
            expected(*reference, wanted, yuv ? kColorMatrixSMPTE170M : kColorMatrixUnspecified,
                     yuv ? kColorRangeLimited : kColorRangeUnspecified);
        ASSERT_NE(want, wanted.visible()) << "the effects change nothing: the test shows nothing";
        wanted.setVisible(want);
        ASSERT_EQ(adapter.process(*engine, &frame.frame), 0);
        // Padding and gaps keep their bytes.
        EXPECT_TRUE(frame.storage == wanted.storage);
    }
}

INSTANTIATE_TEST_SUITE_P(Obs, AdapterFormats, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<FormatRow>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Formats the engine cannot take, and frames that lie about their rows,
// pass through without a byte touched.
TEST(AdapterFormats, UnsupportedFramesAreLeftAlone) {
    auto engine = adapterEngine();
    FrameAdapter adapter;
    for (video_format f : {VIDEO_FORMAT_I010, VIDEO_FORMAT_Y800, VIDEO_FORMAT_NONE}) {
        TestFrame t(f == VIDEO_FORMAT_NONE ? VIDEO_FORMAT_BGRA : f, 64, 48, 0, 0);
        t.frame.format = f;
        const std::vector<uint8_t> before = t.storage;
        EXPECT_EQ(kelvo::obs::frameRoute(t.frame), Route::kUnsupported) << f;
        EXPECT_EQ(adapter.process(*engine, &t.frame), KELVO_ERR_INVALID_ARGUMENT);
        EXPECT_TRUE(t.storage == before);
    }
    TestFrame shortRows(VIDEO_FORMAT_I420, 64, 48, 0, 0);
    shortRows.frame.linesize[1] = 16;  // under the 32 bytes a chroma row holds
    EXPECT_EQ(kelvo::obs::frameRoute(shortRows.frame), Route::kUnsupported);
}

// The async filter's automatic modes count the frames' timestamps: the
// dark-scene verdict lets go 10 s and 50 frames after the last dark frame,
// however fast the frames come; a timestamp that loops back counts as no
// time passed.
TEST(AdapterStreamTime, DarkSceneFollowsFrameTimestamps) {
    const struct {
        const char* what;
        int64_t shiftMs;  // added to the timestamps from frame 60 on
        int firstLit;
    } rows[] = {{"steady", 0, 129}, {"looped back", -6000, 130}};
    for (const auto& row : rows) {
        kelvo::integration::Engine engine;
        ASSERT_EQ(engine.create(R"({"backend":"cpu","threads":1})", nullptr), 0);
        ASSERT_EQ(engine.setEffects({kEffectLowLightEnhance}), 0);
        engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":0})", nullptr);
        kelvo::integration::StreamClock clock;  // as the filter's session keeps it
        FrameAdapter adapter;
        int firstLit = -1;
        for (int n = 0; n < 140 && firstLit < 0; ++n) {
            TestFrame t(VIDEO_FORMAT_I420, 64, 48, 0, 0);
            std::fill(t.storage.begin(), t.storage.end(), 0x80);
            std::fill(t.storage.begin(), t.storage.begin() + 64 * 48, n < 30 ? 40 : 180);
            t.frame.timestamp =
                static_cast<uint64_t>(n * 100 + (n >= 60 ? row.shiftMs : 0)) * 1000000;
            const int64_t timeUs = clock.advance(static_cast<int64_t>(t.frame.timestamp / 1000));
            ASSERT_EQ(adapter.process(engine, &t.frame, timeUs), 0);
            if (n > 29 && engine.info("dark_scene") == "0") firstLit = n;
        }
        EXPECT_EQ(firstLit, row.firstLit) << row.what;
    }
}

struct ColorRow {
    const char* name;
    video_colorspace space;
    video_range_type range;
    bool fullRangeFlag;  // what OBS's full_range says, which must not matter
    int matrix, rangeCode;
};

TEST(AdapterColorCodes, ReadFromTheFramesMatrix) {
    const ColorRow rows[] = {
        {"601 partial", VIDEO_CS_601, VIDEO_RANGE_PARTIAL, true, kColorMatrixSMPTE170M,
         kColorRangeLimited},
        {"601 full", VIDEO_CS_601, VIDEO_RANGE_FULL, false, kColorMatrixSMPTE170M, kColorRangeFull},
        {"709 partial", VIDEO_CS_709, VIDEO_RANGE_PARTIAL, false, kColorMatrixBT709,
         kColorRangeLimited},
        {"709 full", VIDEO_CS_709, VIDEO_RANGE_FULL, false, kColorMatrixBT709, kColorRangeFull},
        {"sRGB is 709", VIDEO_CS_SRGB, VIDEO_RANGE_PARTIAL, false, kColorMatrixBT709,
         kColorRangeLimited},
        {"2100 PQ partial", VIDEO_CS_2100_PQ, VIDEO_RANGE_PARTIAL, false, kColorMatrixBT2020NCL,
         kColorRangeLimited},
        {"2100 HLG full", VIDEO_CS_2100_HLG, VIDEO_RANGE_FULL, false, kColorMatrixBT2020NCL,
         kColorRangeFull},
    };
    for (const ColorRow& r : rows) {
        obs_source_frame f = {};
        f.format = VIDEO_FORMAT_NV12;
        f.full_range = r.fullRangeFlag;
        ASSERT_TRUE(video_format_get_parameters(r.space, r.range, f.color_matrix, f.color_range_min,
                                                f.color_range_max));
        const auto codes = kelvo::obs::frameColorCodes(f);
        EXPECT_EQ(codes.matrix, r.matrix) << r.name;
        EXPECT_EQ(codes.range, r.rangeCode) << r.name;
    }
    // No matrix given: the range minimum alone still tells partial range.
    obs_source_frame f = {};
    f.format = VIDEO_FORMAT_I420;
    float matrix[16];
    video_format_get_parameters(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, matrix, f.color_range_min,
                                f.color_range_max);
    auto codes = kelvo::obs::frameColorCodes(f);
    EXPECT_EQ(codes.matrix, kColorMatrixUnspecified);
    EXPECT_EQ(codes.range, kColorRangeLimited);
    // Packed RGB carries no YUV codes, whatever its matrix says.
    video_format_get_parameters(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, f.color_matrix,
                                f.color_range_min, f.color_range_max);
    f.format = VIDEO_FORMAT_BGRA;
    codes = kelvo::obs::frameColorCodes(f);
    EXPECT_EQ(codes.matrix, kColorMatrixUnspecified);
    EXPECT_EQ(codes.range, kColorRangeUnspecified);
}

}  // namespace
