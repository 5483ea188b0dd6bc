// The kelvoenhance element as GStreamer users meet it: the plugin loaded from
// the build tree, frames pushed through GstHarness and compared with the
// library called directly, and the command-line tools.
#include <glib/gstdio.h>
#include <gst/check/gstharness.h>
#include <gst/controller/controller.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "kelvo/kelvo.h"
#include "kelvo/video_process_engine.h"

namespace {

using namespace kelvo::video;

// Run with GST_TRACERS=leaks (the gstreamer_leaks test), GStreamer lists
// every object still alive at gst_deinit with a g_warning, which
// G_DEBUG=fatal-warnings turns into a failure.
class GstDeinit : public ::testing::Environment {
public:
    void TearDown() override {
        if (gst_is_initialized()) gst_deinit();
    }
};
const auto* const kGstDeinit = ::testing::AddGlobalTestEnvironment(new GstDeinit);

void initGst() {
    static bool done = false;
    if (done) return;
    gst_init(nullptr, nullptr);
    // Loaded in this process: a sanitized plugin would fail in the registry's
    // helper process, which is not.
    GstPlugin* plugin = gst_plugin_load_file(KELVO_GST_PLUGIN, nullptr);
    ASSERT_NE(plugin, nullptr);
    gst_object_unref(plugin);
    done = true;
}

// Test picture: a luma ramp with a flat blue-green chroma, which colour
// enhancement boosts, while the same pair swapped is a skin tone it spares.
int lumaAt(int x, int y) { return 60 + (3 * x + 2 * y) % 150; }
const int kU = 150, kV = 100;

// Fills or reads a frame through GStreamer's own description of the format,
// independent of how the element maps it.
GstBuffer* yuvBuffer(const GstVideoInfo& info, const gsize* offsets = nullptr,
                     const gint* strides = nullptr, gsize size = 0) {
    GstBuffer* buf = gst_buffer_new_allocate(nullptr, size ? size : info.size, nullptr);
    gst_buffer_memset(buf, 0, 0xEE, gst_buffer_get_size(buf));
    GstVideoInfo layout = info;
    if (offsets) {
        for (guint p = 0; p < GST_VIDEO_INFO_N_PLANES(&info); ++p) {
            layout.offset[p] = offsets[p];
            layout.stride[p] = strides[p];
        }
        gst_buffer_add_video_meta_full(buf, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                       info.width, info.height, GST_VIDEO_INFO_N_PLANES(&info),
                                       layout.offset, layout.stride);
    }
    GstVideoFrame f;
    EXPECT_TRUE(gst_video_frame_map(&f, &layout, buf, GST_MAP_WRITE));
    for (int c = 0; c < 3; ++c) {
        auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, c));
        const int ps = GST_VIDEO_FRAME_COMP_PSTRIDE(&f, c), rs = GST_VIDEO_FRAME_COMP_STRIDE(&f, c);
        for (int y = 0; y < GST_VIDEO_FRAME_COMP_HEIGHT(&f, c); ++y)
            for (int x = 0; x < GST_VIDEO_FRAME_COMP_WIDTH(&f, c); ++x)
                data[y * rs + x * ps] = static_cast<uint8_t>(c == 0   ? lumaAt(x, y)
                                                             : c == 1 ? kU
                                                                      : kV);
    }
    gst_video_frame_unmap(&f);
    return buf;
}

// Components Y, U, V (or R, G, B, A) row by row, without padding.
std::vector<uint8_t> components(GstBuffer* buf, const GstVideoInfo& info) {
    GstVideoFrame f;
    std::vector<uint8_t> out;
    EXPECT_TRUE(gst_video_frame_map(&f, const_cast<GstVideoInfo*>(&info), buf, GST_MAP_READ));
    for (guint c = 0; c < GST_VIDEO_FRAME_N_COMPONENTS(&f); ++c) {
        const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, c));
        const int ps = GST_VIDEO_FRAME_COMP_PSTRIDE(&f, c), rs = GST_VIDEO_FRAME_COMP_STRIDE(&f, c);
        for (int y = 0; y < GST_VIDEO_FRAME_COMP_HEIGHT(&f, c); ++y)
            for (int x = 0; x < GST_VIDEO_FRAME_COMP_WIDTH(&f, c); ++x)
                out.push_back(data[y * rs + x * ps]);
    }
    gst_video_frame_unmap(&f);
    return out;
}

// The GL backend where the build has one, so that results compare with GL
// runs; a build without GL has the CPU backend only.
#if KELVO_WITH_GL
constexpr char kBackend[] = "gpu";
const std::vector<const char*> kBackends = {"gpu", "cpu"};
#else
constexpr char kBackend[] = "cpu";
const std::vector<const char*> kBackends = {"cpu"};
#endif

// The same picture as I420 through an engine of its own, colour enhancement
// at full strength: what the element must give back, byte for byte.
std::vector<uint8_t> reference(int w, int h, int matrix, int range, bool i422 = false,
                               const char* backend = kBackend) {
    const int cw = (w + 1) / 2, ch = i422 ? h : (h + 1) / 2;
    std::vector<uint8_t> planes(w * h + 2 * cw * ch);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) planes[y * w + x] = lumaAt(x, y);
    for (int i = 0; i < cw * ch; ++i) {
        planes[w * h + i] = kU;
        planes[w * h + cw * ch + i] = kV;
    }
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    EXPECT_EQ(engine->init((std::string(R"({"backend":")") + backend + "\"}").c_str()), 0);
    EXPECT_EQ(engine->setVideoEffects({kEffectColorEnhance}), 0);
    EXPECT_EQ(engine->setParameter("color_enhance_option", R"({"enable":1,"strength":1.0})"), 0);
    EXPECT_EQ(engine->processFrame(i422 ? kPixelFormatI422 : kPixelFormatI420, w, h, planes.data(),
                                   static_cast<int>(planes.size()), 0, 0, matrix, range),
              0);
    engine->release();
    return planes;
}

std::string caps(const char* format, int w, int h, const char* extra = "") {
    return std::string("video/x-raw,format=") + format + ",width=" + std::to_string(w) +
           ",height=" + std::to_string(h) + ",framerate=30/1" + extra;
}

GstVideoInfo infoOf(const std::string& capsText) {
    initGst();
    GstVideoInfo info;
    GstCaps* c = gst_caps_from_string(capsText.c_str());
    EXPECT_TRUE(gst_video_info_from_caps(&info, c));
    gst_caps_unref(c);
    return info;
}

// A harness around one element, with a bus to collect its messages. The GL
// backend unless `properties` name another, so results compare with GL runs.
class Element {
public:
    explicit Element(const std::string& properties = "effects=color color-strength=1.0") {
        initGst();
        h_ = gst_harness_new_parse(
            ("kelvoenhance backend=" + std::string(kBackend) + " " + properties).c_str());
        bus_ = gst_bus_new();
        gst_element_set_bus(h_->element, bus_);
    }
    ~Element() {
        // Messages left on the bus hold the element that holds the bus.
        gst_bus_set_flushing(bus_, TRUE);
        gst_harness_teardown(h_);
        gst_object_unref(bus_);
    }
    GstElement* element() { return gst_harness_find_element(h_, "kelvoenhance"); }
    void set(const char* name, const char* value) {
        GstElement* e = element();
        gst_util_set_object_arg(G_OBJECT(e), name, value);
        gst_object_unref(e);
    }
    void setCaps(const std::string& c) { gst_harness_set_src_caps_str(h_, c.c_str()); }
    // Output buffer (owned by the caller), or null when the element refused.
    GstBuffer* push(GstBuffer* in) {
        if (gst_harness_push(h_, in) != GST_FLOW_OK) return nullptr;
        return gst_harness_pull(h_);
    }
    std::vector<GstMessage*> messages(GstMessageType type) {
        std::vector<GstMessage*> out;
        while (GstMessage* m = gst_bus_pop_filtered(bus_, type)) out.push_back(m);
        return out;
    }
    size_t count(GstMessageType type) {
        auto all = messages(type);
        for (GstMessage* m : all) gst_message_unref(m);
        return all.size();
    }

private:
    GstHarness* h_;
    GstBus* bus_;
};

// The element's g_warning lines while alive: what a user sees on standard
// error without GST_DEBUG. They are expected, so not fatal even under
// G_DEBUG=fatal-warnings (the leak tracer's run).
class Warnings {
public:
    Warnings()
        : id_(g_log_set_handler("kelvoenhance", G_LOG_LEVEL_WARNING, take, this)),
          fatal_(g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_FATAL_MASK))) {}
    ~Warnings() {
        g_log_set_always_fatal(fatal_);
        g_log_remove_handler("kelvoenhance", id_);
    }
    std::vector<std::string> lines;

private:
    static void take(const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
        static_cast<Warnings*>(self)->lines.emplace_back(message);
    }
    guint id_;
    GLogLevelFlags fatal_;
};

// Property values the element refuses, with a word each refusal must name.
struct Refused {
    const char* name;
    const char* value;
    const char* named;
};
const Refused kRefused[] = {
    {"effects", "beauty,sepia", "sepia"},
    {"params", "{\"beauty_effect_option\":", "bad JSON"},
    {"params", "[1]", "JSON object"},
    {"params", R"({"beauty_effect_option":{"smoothness":5}})", "beauty_effect_option.smoothness"},
    {"params", R"({"beauty":{"enable":1}})", "unknown key"},
};

// --- formats -----------------------------------------------------------------

TEST(KelvoEnhanceFormats, PlanarMatchesTheLibraryOnI420) {
    for (const char* backend : kBackends)
        for (const char* format : {"I420", "YV12", "NV12", "NV21", "Y42B"}) {
            SCOPED_TRACE(std::string(backend) + " " + format);
            Element e(std::string("effects=color color-strength=1.0 backend=") + backend);
            const std::string c = caps(format, 64, 48, ",colorimetry=bt601");
            e.setCaps(c);
            const GstVideoInfo info = infoOf(c);
            GstBuffer* out = e.push(yuvBuffer(info));
            ASSERT_NE(out, nullptr);
            const bool i422 = std::strcmp(format, "Y42B") == 0;
            EXPECT_EQ(components(out, info),
                      reference(64, 48, kColorMatrixSMPTE170M, kColorRangeLimited, i422, backend));
            gst_buffer_unref(out);
        }
}

// Packed formats by byte order: the engine's luma statistics show whether
// it read red, green and blue where GStreamer put them.
TEST(KelvoEnhanceFormats, PackedByteOrder) {
    const int r = 250, g = 200, b = 40;
    // BT.601 luma in either range (the engine chooses how it codes packed
    // RGB); every other library format read from these bytes lies at least
    // 20 levels away (with alpha 255).
    const double full = 0.299 * r + 0.587 * g + 0.114 * b, limited = 16 + full * 219 / 255;
    for (const char* format : {"ABGR", "BGRA", "ARGB"}) {
        SCOPED_TRACE(format);
        Element e("effects=lowlight post-messages=true");
        const std::string c = caps(format, 64, 48);
        e.setCaps(c);
        const GstVideoInfo info = infoOf(c);
        GstBuffer* in = gst_buffer_new_allocate(nullptr, info.size, nullptr);
        GstVideoFrame f;
        ASSERT_TRUE(gst_video_frame_map(&f, const_cast<GstVideoInfo*>(&info), in, GST_MAP_WRITE));
        const int values[4] = {r, g, b, 255};
        for (int comp = 0; comp < 4; ++comp) {
            auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, comp));
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    data[y * GST_VIDEO_FRAME_COMP_STRIDE(&f, comp) + 4 * x] = values[comp];
        }
        gst_video_frame_unmap(&f);
        const std::vector<uint8_t> before = components(in, info);
        GstBuffer* out = e.push(in);
        ASSERT_NE(out, nullptr);
        // Low light declines on a bright scene: colours come back as they went.
        const std::vector<uint8_t> after = components(out, info);
        // 3: an 8-bit YUV 4:2:0 round trip of a saturated colour.
        for (size_t i = 0; i < 3 * 64 * 48; ++i) ASSERT_NEAR(after[i], before[i], 3) << i;
        gst_buffer_unref(out);
        auto stats = e.messages(GST_MESSAGE_ELEMENT);
        ASSERT_EQ(stats.size(), 1u);
        guint mean = 0;
        EXPECT_TRUE(
            gst_structure_get_uint(gst_message_get_structure(stats[0]), "mean-luma", &mean));
        EXPECT_TRUE(std::abs(mean - full) < 2 || std::abs(mean - limited) < 2) << mean;
        for (GstMessage* m : stats) gst_message_unref(m);
    }
}

// Strides wider than the picture, planes apart, odd sizes: the element
// processes the planes where they lie and gives what an unpadded frame
// gives, leaving the padding alone.
TEST(KelvoEnhanceFormats, PaddedStrides) {
    struct Row {
        const char* format;
        int w, h, pad;
    };
    for (const Row& row :
         {Row{"I420", 64, 48, 64}, Row{"NV12", 64, 48, 32}, Row{"Y42B", 64, 48, 16},
          Row{"I420", 63, 47, 8}, Row{"NV21", 31, 17, 4}}) {
        SCOPED_TRACE(std::string(row.format) + " " + std::to_string(row.w) + "x" +
                     std::to_string(row.h));
        const std::string c = caps(row.format, row.w, row.h);
        const GstVideoInfo info = infoOf(c);
        gsize offsets[GST_VIDEO_MAX_PLANES];
        gint strides[GST_VIDEO_MAX_PLANES];
        gsize size = 0;
        for (guint p = 0; p < GST_VIDEO_INFO_N_PLANES(&info); ++p) {
            offsets[p] = size + row.pad;
            strides[p] = GST_VIDEO_INFO_PLANE_STRIDE(&info, p) + row.pad;
            size = offsets[p] + strides[p] * GST_VIDEO_INFO_COMP_HEIGHT(&info, p);
        }
        Element plain, padded;
        plain.setCaps(c);
        padded.setCaps(c);
        GstBuffer* a = plain.push(yuvBuffer(info));
        GstBuffer* b = padded.push(yuvBuffer(info, offsets, strides, size));
        ASSERT_TRUE(a && b);
        EXPECT_EQ(components(b, infoOf(c)), components(a, info));
        // Bytes outside the planes keep the fill they had.
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(b, &map, GST_MAP_READ));
        for (guint p = 0; p < GST_VIDEO_INFO_N_PLANES(&info); ++p)
            EXPECT_EQ(map.data[offsets[p] - 1], 0xEE) << "before plane " << p;
        EXPECT_EQ(map.data[offsets[0] + strides[0] - 1], 0xEE) << "end of a luma row";
        gst_buffer_unmap(b, &map);
        gst_buffer_unref(a);
        gst_buffer_unref(b);
    }
}

TEST(KelvoEnhanceFormats, UnsupportedCapsAreRefused) {
    for (const std::string& c :
         {caps("RGB", 64, 48), caps("I420", 16385, 16), caps("YUY2", 64, 48)}) {
        SCOPED_TRACE(c);
        Element e;
        e.setCaps(c);
        const GstVideoInfo info = infoOf(c);
        EXPECT_EQ(e.push(gst_buffer_new_allocate(nullptr, info.size, nullptr)), nullptr);
    }
}

// --- colour codes ------------------------------------------------------------

TEST(KelvoEnhanceColorimetry, MapsOntoMatrixAndRangeCodes) {
    struct Row {
        const char* colorimetry;
        int matrix, range;
    };
    for (const Row& row : {Row{"bt601", kColorMatrixSMPTE170M, kColorRangeLimited},
                           Row{"bt709", kColorMatrixBT709, kColorRangeLimited},
                           Row{"bt2020", kColorMatrixBT2020NCL, kColorRangeLimited},
                           Row{"1:4:0:0", kColorMatrixSMPTE170M, kColorRangeFull},
                           Row{"1:3:5:1", kColorMatrixBT709, kColorRangeFull},
                           Row{"2:5:0:0", kColorMatrixSMPTE240M, kColorRangeLimited},
                           Row{"1:6:0:0", kColorMatrixBT2020NCL, kColorRangeFull},
                           // No matrix given: the engine's default.
                           Row{"2:0:0:0", kColorMatrixSMPTE170M, kColorRangeLimited}}) {
        SCOPED_TRACE(row.colorimetry);
        Element e;
        const std::string c =
            caps("I420", 32, 24, (std::string(",colorimetry=") + row.colorimetry).c_str());
        e.setCaps(c);
        const GstVideoInfo info = infoOf(c);
        GstBuffer* out = e.push(yuvBuffer(info));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(components(out, info), reference(32, 24, row.matrix, row.range));
        gst_buffer_unref(out);
    }
}

// --- stream behaviour ----------------------------------------------------------

TEST(KelvoEnhanceStream, RenegotiatesSizeAndFormat) {
    Element e;
    for (const std::string& c :
         {caps("I420", 64, 48), caps("NV12", 32, 24), caps("I420", 63, 47)}) {
        SCOPED_TRACE(c);
        e.setCaps(c);
        const GstVideoInfo info = infoOf(c);
        GstBuffer* out = e.push(yuvBuffer(info));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(components(out, info),
                  reference(info.width, info.height, kColorMatrixSMPTE170M, kColorRangeLimited));
        gst_buffer_unref(out);
    }
    EXPECT_EQ(e.count(GST_MESSAGE_WARNING), 0u);
}

// Settings made while playing reach the next frame.
TEST(KelvoEnhanceStream, PropertyChangesApplyAtTheNextFrame) {
    Element e("effects=color color-strength=0.0");
    const std::string c = caps("I420", 32, 24);
    e.setCaps(c);
    const GstVideoInfo info = infoOf(c);
    const auto expected = reference(32, 24, kColorMatrixSMPTE170M, kColorRangeLimited);
    GstBuffer* weak = e.push(yuvBuffer(info));
    e.set("color-strength", "1.0");
    GstBuffer* strong = e.push(yuvBuffer(info));
    e.set("effects", "");
    GstBuffer* passthrough = e.push(yuvBuffer(info));
    e.set("effects", "102");
    e.set("params", R"({"color_enhance_option":{"enable":0}})");
    GstBuffer* disabled = e.push(yuvBuffer(info));
    ASSERT_TRUE(weak && strong && passthrough && disabled);
    EXPECT_NE(components(weak, info), expected);
    EXPECT_EQ(components(strong, info), expected);
    GstBuffer* untouched = yuvBuffer(info);
    EXPECT_EQ(components(passthrough, info), components(untouched, info));
    EXPECT_EQ(components(disabled, info), components(untouched, info));
    for (GstBuffer* b : {weak, strong, passthrough, disabled, untouched}) gst_buffer_unref(b);
    EXPECT_EQ(e.count(GST_MESSAGE_WARNING), 0u);
}

// A control binding drives a typed property from the buffers' stream time.
TEST(KelvoEnhanceStream, ControlledPropertyFollowsStreamTime) {
    Element e("effects=color color-strength=0.0");
    const std::string c = caps("I420", 32, 24);
    e.setCaps(c);
    GstElement* element = e.element();
    GstControlSource* source = gst_interpolation_control_source_new();
    gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), 0, 1.0);
    gst_object_add_control_binding(
        GST_OBJECT(element),
        gst_direct_control_binding_new(GST_OBJECT(element), "color-strength", source));
    const GstVideoInfo info = infoOf(c);
    GstBuffer* in = yuvBuffer(info);
    GST_BUFFER_PTS(in) = 0;
    GstBuffer* out = e.push(in);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(components(out, info), reference(32, 24, kColorMatrixSMPTE170M, kColorRangeLimited));
    gst_buffer_unref(out);
    gst_object_unref(source);
    gst_object_unref(element);
}

// Values that cannot be used are reported on standard error and on the bus;
// a running stream goes on with the previous setting.
TEST(KelvoEnhanceStream, RejectedValuesPostWarnings) {
    for (const Refused& row : kRefused) {
        SCOPED_TRACE(std::string(row.name) + "=" + row.value);
        Element e;
        const std::string c = caps("I420", 32, 24);
        e.setCaps(c);
        Warnings warnings;
        e.set(row.name, row.value);
        ASSERT_EQ(warnings.lines.size(), 1u);
        EXPECT_NE(warnings.lines[0].find(row.named), std::string::npos) << warnings.lines[0];
        const GstVideoInfo info = infoOf(c);
        GstBuffer* out = e.push(yuvBuffer(info));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(components(out, info),
                  reference(32, 24, kColorMatrixSMPTE170M, kColorRangeLimited));
        gst_buffer_unref(out);
        EXPECT_EQ(e.count(GST_MESSAGE_WARNING), 1u);
    }
}

// A pipeline started with a refused value stops with an error naming it
// instead of running the default effects; a corrected value starts it.
TEST(KelvoEnhanceStream, DoesNotStartWithARefusedValue) {
    initGst();
    for (const Refused& row : kRefused) {
        SCOPED_TRACE(std::string(row.name) + "=" + row.value);
        GstElement* pipeline = gst_parse_launch(
            "videotestsrc num-buffers=2 ! video/x-raw,width=32,height=24 ! kelvoenhance name=k "
            "backend=cpu ! fakesink",
            nullptr);
        ASSERT_NE(pipeline, nullptr);
        GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline), "k");
        Warnings warnings;
        gst_util_set_object_arg(G_OBJECT(element), row.name, row.value);
        EXPECT_EQ(warnings.lines.size(), 1u);
        GstBus* bus = gst_element_get_bus(pipeline);
        auto finish = [&]() {
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            GstMessage* m = gst_bus_timed_pop_filtered(
                bus, 60 * GST_SECOND,
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
            const GstMessageType type = m ? GST_MESSAGE_TYPE(m) : GST_MESSAGE_UNKNOWN;
            std::string detail;
            if (type == GST_MESSAGE_ERROR) {
                GError* error = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(m, &error, &debug);
                detail = std::string(error->message) + " " + (debug ? debug : "");
                g_error_free(error);
                g_free(debug);
            }
            if (m) gst_message_unref(m);
            gst_element_set_state(pipeline, GST_STATE_NULL);
            return std::make_pair(type, detail);
        };
        const auto refused = finish();
        EXPECT_EQ(refused.first, GST_MESSAGE_ERROR);
        EXPECT_NE(refused.second.find(row.name), std::string::npos) << refused.second;
        EXPECT_NE(refused.second.find(row.named), std::string::npos) << refused.second;

        gst_util_set_object_arg(G_OBJECT(element), row.name,
                                std::string(row.name) == "effects" ? "beauty" : "");
        EXPECT_EQ(finish().first, GST_MESSAGE_EOS);
        gst_object_unref(bus);
        gst_object_unref(element);
        gst_object_unref(pipeline);
    }
}

TEST(KelvoEnhanceStream, PostsFrameStatistics) {
    Element e("effects=lowlight post-messages=true");
    const std::string c = caps("I420", 64, 48);
    e.setCaps(c);
    const GstVideoInfo info = infoOf(c);
    GstBuffer* in = yuvBuffer(info);
    GST_BUFFER_PTS(in) = 40 * GST_MSECOND;
    gst_buffer_unref(e.push(in));
    auto messages = e.messages(GST_MESSAGE_ELEMENT);
    ASSERT_EQ(messages.size(), 1u);
    const GstStructure* s = gst_message_get_structure(messages[0]);
    EXPECT_TRUE(gst_structure_has_name(s, "kelvo-frame-stats"));
    guint64 ts = 0;
    guint mean = 0;
    gint median = 0, low = 0;
    gdouble logMean = 0, dark = 0;
    gboolean darkScene = TRUE, noisy = TRUE;
    EXPECT_TRUE(gst_structure_get_uint64(s, "timestamp", &ts));
    EXPECT_EQ(ts, 40 * GST_MSECOND);
    ASSERT_TRUE(gst_structure_get(
        s, "mean-luma", G_TYPE_UINT, &mean, "median", G_TYPE_INT, &median, "low-percentile",
        G_TYPE_INT, &low, "log-mean-luma", G_TYPE_DOUBLE, &logMean, "dark-share", G_TYPE_DOUBLE,
        &dark, "dark-scene", G_TYPE_BOOLEAN, &darkScene, "noisy", G_TYPE_BOOLEAN, &noisy, nullptr));
    // The engine subsamples; the whole picture gives nearly the same figures.
    std::vector<int> luma;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) luma.push_back(lumaAt(x, y));
    std::sort(luma.begin(), luma.end());
    double sum = 0;
    for (int v : luma) sum += v;
    EXPECT_NEAR(mean, sum / luma.size(), 4);
    EXPECT_NEAR(median, luma[luma.size() / 2], 4);
    EXPECT_NEAR(low, luma[luma.size() / 20], 4);
    EXPECT_NEAR(dark,
                std::count_if(luma.begin(), luma.end(), [](int v) { return v < 100; }) /
                    static_cast<double>(luma.size()),
                0.03);
    EXPECT_GT(logMean, 0.3);
    EXPECT_LT(logMean, mean / 255.0);  // a geometric mean lies below the arithmetic one
    EXPECT_FALSE(darkScene);
    for (GstMessage* m : messages) gst_message_unref(m);

    e.set("post-messages", "false");
    gst_buffer_unref(e.push(yuvBuffer(info)));
    EXPECT_EQ(e.count(GST_MESSAGE_ELEMENT), 0u);
}

// The automatic modes count the buffers' time: the dark-scene verdict lets
// go 10 s and 50 frames after the last dark frame by the timestamps, however
// fast the buffers come; a timestamp that loops back or seeks ahead counts
// as no time passed.
TEST(KelvoEnhanceStream, DarkSceneFollowsBufferTimestamps) {
    const struct {
        const char* what;
        int64_t shiftMs;  // added to the timestamps from frame 60 on
        int firstLit;
    } rows[] = {
        {"steady", 0, 129},
        {"looped back", -6000, 130},
        {"seeked ahead", 60000, 130},
    };
    const std::string c = caps("I420", 64, 48);
    const GstVideoInfo info = infoOf(c);
    for (const auto& row : rows) {
        Element e("effects=lowlight post-messages=true");
        e.setCaps(c);
        int firstLit = -1;
        for (int n = 0; n < 140 && firstLit < 0; ++n) {
            GstBuffer* in = gst_buffer_new_allocate(nullptr, info.size, nullptr);
            gst_buffer_memset(in, 0, 0x80, info.size);
            gst_buffer_memset(in, 0, n < 30 ? 40 : 180, 64 * 48);
            GST_BUFFER_PTS(in) = (n * 100 + (n >= 60 ? row.shiftMs : 0)) * GST_MSECOND;
            gst_buffer_unref(e.push(in));
            for (GstMessage* m : e.messages(GST_MESSAGE_ELEMENT)) {
                gboolean dark = TRUE;
                gst_structure_get_boolean(gst_message_get_structure(m), "dark-scene", &dark);
                if (n > 29 && !dark) firstLit = n;
                gst_message_unref(m);
            }
        }
        EXPECT_EQ(firstLit, row.firstLit) << row.what;
    }
}

// Every member the settings schema gives an element property is one, with
// the schema's type, offered maximum and integrations' default, and reads
// back that default (the denoiser's level: 2).
TEST(KelvoEnhanceStream, PropertiesFollowTheSettingsSchema) {
    rapidjson::Document schema;
    schema.Parse(kelvo_settings_schema());
    ASSERT_TRUE(schema.IsObject());
    Element e("effects=color");
    GstElement* element = e.element();
    int checked = 0;
    for (const auto& key : schema["keys"].GetArray())
        for (const auto& m : key["members"].GetArray()) {
            if (!m["element_property"].IsString()) continue;
            const char* name = m["element_property"].GetString();
            GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name);
            ASSERT_NE(spec, nullptr) << name;
            const double def = m["integration_default"].GetDouble();
            GValue value = G_VALUE_INIT;
            g_value_init(&value, spec->value_type);
            g_object_get_property(G_OBJECT(element), name, &value);
            EXPECT_TRUE(g_param_value_defaults(spec, &value)) << name;
            double got = 0, max = 1;
            if (G_IS_PARAM_SPEC_BOOLEAN(spec)) {
                got = g_value_get_boolean(&value);
            } else if (G_IS_PARAM_SPEC_INT(spec)) {
                EXPECT_STRNE(m["type"].GetString(), "number") << name;
                got = g_value_get_int(&value);
                max = G_PARAM_SPEC_INT(spec)->maximum;
            } else {
                ASSERT_TRUE(G_IS_PARAM_SPEC_DOUBLE(spec)) << name;
                EXPECT_STREQ(m["type"].GetString(), "number") << name;
                got = g_value_get_double(&value);
                max = G_PARAM_SPEC_DOUBLE(spec)->maximum;
            }
            EXPECT_NEAR(got, def, 1e-6) << name;
            EXPECT_NEAR(max, m["offered_maximum"].GetDouble(), 1e-6) << name;
            if (std::strcmp(name, "denoise-level") == 0) {
                EXPECT_EQ(got, 2);
            }
            g_value_unset(&value);
            ++checked;
        }
    EXPECT_GE(checked, 11);
    gst_object_unref(element);
}

// --- pipelines and tools -------------------------------------------------------

TEST(KelvoEnhancePipeline, TwoInstancesInOnePipeline) {
    initGst();
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "videotestsrc num-buffers=10 ! video/x-raw,width=160,height=120 ! kelvoenhance ! queue ! "
        "kelvoenhance effects=beauty,color beauty-smoothness=0.9 ! fakesink",
        &error);
    ASSERT_NE(pipeline, nullptr) << error->message;
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(
        bus, 120 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(m), GST_MESSAGE_EOS);
    gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// Every transition between NULL, READY, PAUSED and PLAYING, 500 in all,
// while a live source keeps buffers coming: each start makes an engine and
// each stop releases it, and the pipeline ends without an error.
TEST(KelvoEnhancePipeline, FiveHundredStateChangesWhileBuffersFlow) {
    initGst();
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "videotestsrc is-live=true ! video/x-raw,width=64,height=48,framerate=200/1 ! "
        "kelvoenhance effects=beauty,color,lowlight,denoise name=k ! fakesink sync=false",
        &error);
    ASSERT_NE(pipeline, nullptr) << error->message;
    const GstState cycle[] = {
        GST_STATE_READY, GST_STATE_PAUSED,  GST_STATE_PLAYING, GST_STATE_PAUSED,  GST_STATE_PLAYING,
        GST_STATE_NULL,  GST_STATE_PLAYING, GST_STATE_READY,   GST_STATE_PLAYING, GST_STATE_NULL};
    GstBus* bus = gst_element_get_bus(pipeline);
    for (int change = 0; change < 500; ++change) {
        const GstState target = cycle[change % (sizeof cycle / sizeof cycle[0])];
        ASSERT_NE(gst_element_set_state(pipeline, target), GST_STATE_CHANGE_FAILURE) << change;
        GstState now = GST_STATE_VOID_PENDING;
        ASSERT_NE(gst_element_get_state(pipeline, &now, nullptr, 10 * GST_SECOND),
                  GST_STATE_CHANGE_FAILURE)
            << change;
        if (target == GST_STATE_PLAYING) g_usleep(2000);  // a few buffers through
        if (GstMessage* m = gst_bus_pop_filtered(
                bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING))) {
            ADD_FAILURE() << "change " << change << ": "
                          << gst_message_type_get_name(GST_MESSAGE_TYPE(m));
            gst_message_unref(m);
            break;
        }
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
}

int runTool(const std::string& command, std::string* output);

// The element and kelvo-enhance, given the same frames and effects, write
// the same bytes.
TEST(KelvoEnhancePipeline, SameBytesAsKelvoEnhance) {
    const int w = 64, h = 48, frames = 3;
    const std::string c = caps("I420", w, h, ",colorimetry=bt601");
    const GstVideoInfo info = infoOf(c);
    Element e("effects=color,beauty");
    e.setCaps(c);
    std::string input = "YUV4MPEG2 W64 H48 F30:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\n", expected;
    for (int n = 0; n < frames; ++n) {
        GstBuffer* in = yuvBuffer(info);
        const std::vector<uint8_t> planes = components(in, info);
        input += "FRAME\n" + std::string(planes.begin(), planes.end());
        GstBuffer* out = e.push(in);
        ASSERT_NE(out, nullptr);
        const std::vector<uint8_t> result = components(out, info);
        expected += "FRAME\n" + std::string(result.begin(), result.end());
        gst_buffer_unref(out);
    }
    gchar* dir = g_dir_make_tmp("kelvoenhance-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    const std::string in = std::string(dir) + "/in.y4m", out = std::string(dir) + "/out.y4m";
    ASSERT_TRUE(g_file_set_contents(in.c_str(), input.data(), input.size(), nullptr));
    std::string log;
    ASSERT_EQ(runTool(std::string(KELVO_ENHANCE_PATH " --backend ") + kBackend +
                          " -e color,beauty --no-progress -i " + in + " -o " + out,
                      &log),
              0)
        << log;
    gchar* written = nullptr;
    gsize length = 0;
    ASSERT_TRUE(g_file_get_contents(out.c_str(), &written, &length, nullptr));
    const std::string text(written, length);
    const size_t body = text.find('\n') + 1;  // past the header line
    EXPECT_TRUE(text.substr(body) == expected);
    g_free(written);
    g_remove(in.c_str());
    g_remove(out.c_str());
    g_rmdir(dir);
    g_free(dir);
}

int runTool(const std::string& command, std::string* output) {
    const std::string line = "GST_PLUGIN_PATH=" KELVO_GST_PLUGIN_DIR " " + command + " 2>&1";
    FILE* p = popen(line.c_str(), "r");
    if (!p) return -1;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) output->append(chunk, n);
    return pclose(p);
}

TEST(KelvoEnhancePipeline, CommandLineTools) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the installed tools cannot load a sanitized plugin";
#endif
    std::string out;
    EXPECT_EQ(runTool(KELVO_GST_INSPECT " kelvoenhance", &out), 0) << out;
    for (const char* property :
         {"effects", "params", "backend", "post-messages", "beauty-smoothness",
          "color-skin-protect", "lowlight-mode", "denoise-level"})
        EXPECT_NE(out.find(std::string("  ") + property + " "), std::string::npos) << property;
    out.clear();
    EXPECT_EQ(
        runTool(KELVO_GST_LAUNCH " -m videotestsrc num-buffers=5 ! kelvoenhance post-messages=true "
                                 "effects=denoise,lowlight,color,beauty ! fakesink",
                &out),
        0)
        << out;
    EXPECT_NE(out.find("kelvo-frame-stats"), std::string::npos) << out;
    // A mistyped effect is seen without GST_DEBUG and stops the pipeline
    // (its warning is expected, so not fatal in the leak tracer's run).
    out.clear();
    EXPECT_NE(runTool("GST_DEBUG= G_DEBUG= " KELVO_GST_LAUNCH " videotestsrc num-buffers=1 ! "
                      "kelvoenhance effects=beauty,sparkle ! fakesink",
                      &out),
              0)
        << out;
    EXPECT_NE(out.find("WARNING **"), std::string::npos) << out;
    EXPECT_NE(out.find("ERROR: from element"), std::string::npos) << out;
    EXPECT_NE(out.find("sparkle"), std::string::npos) << out;
    // Mesa without its drivers: the GL backend cannot start, and says so;
    // the default backend falls back to the CPU.
    const std::string noGL = "LIBGL_DRIVERS_PATH=/nonexistent DISPLAY= " KELVO_GST_LAUNCH
                             " videotestsrc num-buffers=1 ! kelvoenhance effects=beauty ";
    out.clear();
    EXPECT_NE(runTool(noGL + "backend=gpu ! fakesink", &out), 0);  // also without GL built in
    // It says why (the result and its meaning) and what to do.
    for (const char* part :
         {"Cannot start the kelvo video engine: init returned -", "backend=auto"})
        EXPECT_NE(out.find(part), std::string::npos) << part << ": " << out;
    EXPECT_EQ(runTool(noGL + "! fakesink", &out), 0) << out;
}

}  // namespace
