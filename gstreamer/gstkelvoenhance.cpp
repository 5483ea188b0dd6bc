#include "gstkelvoenhance.h"

#include <gst/video/video.h>
#include <libyuv/planar_functions.h>

#include <cstring>
#include <exception>
#include <new>
#include <type_traits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effect_names.h"
#include "enhance_settings.h"
#include "exception_text.h"
#include "kelvo/metadata_frame_stats.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace gst = integration;  // the shared settings, under the name this file uses
}

GST_DEBUG_CATEGORY_STATIC(kelvo_enhance_debug);
#define GST_CAT_DEFAULT kelvo_enhance_debug

namespace {

using namespace kelvo::video;
using kelvo::gst::PlaneLayout;
using kelvo::gst::Settings;

enum Backend { kBackendAuto, kBackendGpu, kBackendCpu };

const char kRejectedPrefix[] = "setParameter rejected";

enum {
    PROP_0,
    PROP_EFFECTS,
    PROP_PARAMS,
    PROP_BACKEND,
    PROP_POST_MESSAGES,
    PROP_BEAUTY_SMOOTHNESS,
    PROP_BEAUTY_LIGHTNESS,
    PROP_BEAUTY_REDNESS,
    PROP_BEAUTY_SHARPNESS,
    PROP_COLOR_STRENGTH,
    PROP_COLOR_SKIN_PROTECT,
    PROP_DENOISE_LEVEL,  // the tuning values above, in the order of kelvo::gst::Tuning
    PROP_LOWLIGHT_ENABLE,
    PROP_LOWLIGHT_MODE,
    PROP_DENOISE_ENABLE,
    PROP_DENOISE_MODE,
};
static_assert(PROP_DENOISE_LEVEL - PROP_BEAUTY_SMOOTHNESS == kelvo::gst::kDenoiseLevel,
              "tuning properties follow kelvo::gst::Tuning");

// Brightness record of the frame being processed, copied because the
// detector refills its record in place.
struct FrameStats {
    bool valid = false;
    uint32_t mean = 0;
    double logAverage = 0;
    double darkFraction = 0;
    int median = 0;
    int percentile5 = 0;
};

class Observer : public IVideoProcessObserver {
public:
    explicit Observer(GstElement* element) : element_(element) {}
    void onInitialized(int) override {}
    void onLog(int level, const char* message) override {
        if (level == kLogError) {
            if (std::strncmp(message, kRejectedPrefix, sizeof kRejectedPrefix - 1) == 0)
                rejections.emplace_back(message);
            else
                GST_WARNING_OBJECT(element_, "engine: %s", message);
        } else if (level == kLogInfo) {
            GST_INFO_OBJECT(element_, "engine: %s", message);
        } else {
            GST_LOG_OBJECT(element_, "engine: %s", message);
        }
    }
    void onDetectionResult(int result, int, const std::shared_ptr<IMetaDataInfo>& record) override {
        if (result != 0 || !record || record->metadataKind != kMetadataKindFrameStats) return;
        const auto& r = static_cast<const MetaDataFrameStats&>(*record);
        stats.valid = true;
        stats.mean = r.mean;
        stats.logAverage = r.logAverage;
        stats.darkFraction = r.darkFraction;
        stats.median = r.median;
        stats.percentile5 = r.percentile5;
    }
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}

    std::vector<std::string> rejections;
    FrameStats stats;

private:
    GstElement* element_;
};

// Everything the element keeps besides its GObject part.
struct State {
    // Guarded by the object lock: written by property setters, read by the
    // streaming thread at the start of each frame.
    Settings settings;
    bool settingsDirty = true;
    bool postMessages = false;
    Backend backend = kBackendAuto;
    // Why the last value given to `effects` / `params` was refused, "" when it
    // was taken. The element keeps the previous value but will not start
    // while one is set: a typo must not quietly run other effects.
    std::string refusedEffects, refusedParams;

    // Streaming thread only (and start/stop, which do not overlap it).
    std::unique_ptr<IVideoProcessEngine> engine;
    std::unique_ptr<Observer> observer;
    std::vector<int> effects;                               // selection the engine holds
    std::vector<std::pair<std::string, std::string>> sent;  // documents the engine holds
    std::vector<std::string> warned;  // rejections already posted for these documents
    int format = 0, width = 0, height = 0, matrix = -1, range = -1;
    PlaneLayout layout[3] = {};
    int planeCount = 0;
    size_t frameSize = 0;
    std::vector<uint8_t> repack;  // contiguous copy for frames whose layout differs
    int lastResult = 0;
};

}  // namespace

struct _GstKelvoEnhance {
    GstVideoFilter parent;
    State* state;
};

G_DEFINE_TYPE(GstKelvoEnhance, gst_kelvo_enhance, GST_TYPE_VIDEO_FILTER)
GST_ELEMENT_REGISTER_DEFINE(kelvoenhance, "kelvoenhance", GST_RANK_NONE, GST_TYPE_KELVO_ENHANCE)

namespace {

#define KELVO_FORMATS "{ I420, YV12, NV12, NV21, Y42B, ABGR, BGRA, ARGB }"
const char kCaps[] =
    GST_VIDEO_CAPS_MAKE(KELVO_FORMATS) ", width = (int) [ 1, 16384 ], height = (int) [ 1, 16384 ]";

// GStreamer names packed formats by byte order, the library by the channels
// of a little-endian word.
int pixelFormat(GstVideoFormat f) {
    switch (f) {
        case GST_VIDEO_FORMAT_I420:
            return kPixelFormatI420;
        case GST_VIDEO_FORMAT_YV12:
            return kPixelFormatYV12;
        case GST_VIDEO_FORMAT_NV12:
            return kPixelFormatNV12;
        case GST_VIDEO_FORMAT_NV21:
            return kPixelFormatNV21;
        case GST_VIDEO_FORMAT_Y42B:
            return kPixelFormatI422;
        case GST_VIDEO_FORMAT_ABGR:
            return kPixelFormatRGBA;
        case GST_VIDEO_FORMAT_BGRA:
            return kPixelFormatARGB;
        case GST_VIDEO_FORMAT_ARGB:
            return kPixelFormatBGRA;
        default:
            return 0;
    }
}

int matrixCode(GstVideoColorMatrix m) {
    switch (m) {
        case GST_VIDEO_COLOR_MATRIX_RGB:
            return kColorMatrixRGB;
        case GST_VIDEO_COLOR_MATRIX_FCC:
            return kColorMatrixFCC;
        case GST_VIDEO_COLOR_MATRIX_BT709:
            return kColorMatrixBT709;
        case GST_VIDEO_COLOR_MATRIX_BT601:
            return kColorMatrixSMPTE170M;
        case GST_VIDEO_COLOR_MATRIX_SMPTE240M:
            return kColorMatrixSMPTE240M;
        case GST_VIDEO_COLOR_MATRIX_BT2020:
            return kColorMatrixBT2020NCL;
        default:
            return kColorMatrixUnspecified;
    }
}

GType backendType() {
    static GType type = 0;
    if (g_once_init_enter(&type)) {
        static const GEnumValue values[] = {
            {kBackendAuto, "The best backend of this machine", "auto"},
            {kBackendGpu, "OpenGL 3.3", "gpu"},
            {kBackendCpu, "CPU", "cpu"},
            {0, nullptr, nullptr},
        };
        g_once_init_leave(&type, g_enum_register_static("GstKelvoEnhanceBackend", values));
    }
    return type;
}

const char* backendName(Backend b) {
    return b == kBackendAuto ? "auto" : b == kBackendCpu ? "cpu" : "gpu";
}

State& state(gpointer object) { return *GST_KELVO_ENHANCE(object)->state; }

void postRejections(GstKelvoEnhance* self) {
    State& st = *self->state;
    for (const std::string& r : st.observer->rejections) {
        bool seen = false;
        for (const std::string& w : st.warned) seen = seen || w == r;
        if (seen) continue;
        GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("The engine rejected a setting"),
                            ("%s", r.c_str()));
        st.warned.push_back(r);
    }
    st.observer->rejections.clear();
}

// Hands the engine what changed since the last frame. Allocates only when a
// property changed.
void applySettings(GstKelvoEnhance* self) {
    State& st = *self->state;
    GST_OBJECT_LOCK(self);
    if (!st.settingsDirty) {
        GST_OBJECT_UNLOCK(self);
        return;
    }
    const Settings settings = st.settings;
    st.settingsDirty = false;
    GST_OBJECT_UNLOCK(self);

    if (settings.effects.empty()) return;  // passthrough; the engine keeps its selection
    if (settings.effects != st.effects) {
        const int r = st.engine->setVideoEffects(settings.effects);
        if (r != 0)
            GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("Cannot select the effects"),
                                ("setVideoEffects returned %d", r));
        st.effects = settings.effects;
    }
    const auto docs = kelvo::gst::composeDocuments(settings);
    for (const auto& doc : docs) {
        bool same = false;
        for (const auto& old : st.sent) same = same || old == doc;
        if (same) continue;
        GST_DEBUG_OBJECT(self, "%s: %s", doc.first.c_str(), doc.second.c_str());
        const int r = st.engine->setParameter(doc.first.c_str(), doc.second.c_str());
        if (r != 0)
            GST_ELEMENT_WARNING(
                self, LIBRARY, SETTINGS, ("The engine rejected a setting"),
                ("setParameter(%s, %s) returned %d", doc.first.c_str(), doc.second.c_str(), r));
    }
    st.sent = docs;
    st.warned.clear();
    postRejections(self);
}

void postStats(GstKelvoEnhance* self, GstBuffer* buffer) {
    State& st = *self->state;
    GstBaseTransform* trans = GST_BASE_TRANSFORM(self);
    const GstClockTime ts = GST_BUFFER_PTS(buffer);
    GstStructure* s = gst_structure_new(
        "kelvo-frame-stats", "timestamp", G_TYPE_UINT64, ts, "stream-time", G_TYPE_UINT64,
        gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, ts), "running-time",
        G_TYPE_UINT64, gst_segment_to_running_time(&trans->segment, GST_FORMAT_TIME, ts),
        "duration", G_TYPE_UINT64, GST_BUFFER_DURATION(buffer), nullptr);
    const FrameStats& f = st.observer->stats;
    if (f.valid)
        gst_structure_set(s, "mean-luma", G_TYPE_UINT, f.mean, "log-mean-luma", G_TYPE_DOUBLE,
                          f.logAverage, "dark-share", G_TYPE_DOUBLE, f.darkFraction, "median",
                          G_TYPE_INT, f.median, "low-percentile", G_TYPE_INT, f.percentile5,
                          nullptr);
    // "" (not known) counts as false.
    const char* dark = st.engine->getInfo("dark_scene");
    const char* noisy = st.engine->getInfo("noisy");
    gst_structure_set(s, "dark-scene", G_TYPE_BOOLEAN, dark && std::strcmp(dark, "1") == 0, "noisy",
                      G_TYPE_BOOLEAN, noisy && std::strcmp(noisy, "1") == 0, nullptr);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

// True when the mapped frame already is the contiguous buffer processFrame
// expects, so it can be processed where it lies.
bool contiguous(const GstVideoFrame* frame, const State& st) {
    const auto base = reinterpret_cast<uintptr_t>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    for (int i = 0; i < st.planeCount; ++i)
        if (reinterpret_cast<uintptr_t>(GST_VIDEO_FRAME_PLANE_DATA(frame, i)) !=
                base + st.layout[i].offset ||
            GST_VIDEO_FRAME_PLANE_STRIDE(frame, i) != st.layout[i].stride)
            return false;
    const auto mapped = reinterpret_cast<uintptr_t>(frame->map[0].data);
    return base >= mapped && base - mapped + st.frameSize <= frame->map[0].size;
}

void copyPlanes(GstVideoFrame* frame, State& st, bool toRepack) {
    for (int i = 0; i < st.planeCount; ++i) {
        auto* plane = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, i));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame, i);
        uint8_t* packed = st.repack.data() + st.layout[i].offset;
        const int rowBytes = st.layout[i].stride, rows = st.layout[i].rows;
        if (toRepack)
            libyuv::CopyPlane(plane, stride, packed, rowBytes, rowBytes, rows);
        else
            libyuv::CopyPlane(packed, rowBytes, plane, stride, rowBytes, rows);
    }
}

// --- GObject ---------------------------------------------------------------

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstKelvoEnhance* self = GST_KELVO_ENHANCE(object);
    State& st = state(object);
    std::string error;
    // A controller sets every controlled property on every frame: only a
    // real change costs new documents, and an unchanged value no allocation.
    bool changed = false;
    auto update = [&changed](auto& field, auto v) {
        if (field == v) return;
        field = v;
        changed = true;
    };
    GST_OBJECT_LOCK(self);
    Settings& s = st.settings;
    switch (id) {
        case PROP_EFFECTS: {
            const char* text = g_value_get_string(value);
            std::vector<int> effects;
            if (kelvo::video::parseEffectNames(text ? text : "", &effects, &error))
                update(s.effects, effects);
            st.refusedEffects = error.empty() ? "" : std::string(text ? text : "") + ": " + error;
            break;
        }
        case PROP_PARAMS: {
            const std::string text = g_value_get_string(value) ? g_value_get_string(value) : "";
            if (kelvo::gst::checkParams(text, &error)) update(s.params, text);
            st.refusedParams = error;
            break;
        }
        case PROP_BACKEND: {
            st.backend = static_cast<Backend>(g_value_get_enum(value));
            break;
        }
        case PROP_POST_MESSAGES:
            st.postMessages = g_value_get_boolean(value);
            break;
        case PROP_BEAUTY_SMOOTHNESS:
        case PROP_BEAUTY_LIGHTNESS:
        case PROP_BEAUTY_REDNESS:
        case PROP_BEAUTY_SHARPNESS:
        case PROP_COLOR_STRENGTH:
        case PROP_COLOR_SKIN_PROTECT:
        case PROP_DENOISE_LEVEL: {
            const int t = static_cast<int>(id - PROP_BEAUTY_SMOOTHNESS);
            update(s.tuning[t],
                   id == PROP_DENOISE_LEVEL ? g_value_get_int(value) : g_value_get_double(value));
            update(s.tuningSet, s.tuningSet | 1u << t);
            break;
        }
        case PROP_LOWLIGHT_ENABLE:
            update(s.lowlightEnable, g_value_get_boolean(value) != FALSE);
            break;
        case PROP_LOWLIGHT_MODE:
            update(s.lowlightMode, g_value_get_int(value));
            break;
        case PROP_DENOISE_ENABLE:
            update(s.denoiseEnable, g_value_get_boolean(value) != FALSE);
            break;
        case PROP_DENOISE_MODE:
            update(s.denoiseMode, g_value_get_int(value));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
    if (changed) st.settingsDirty = true;
    const bool passthrough = s.effects.empty();
    GST_OBJECT_UNLOCK(self);
    if (id == PROP_EFFECTS)
        gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), passthrough);
    if (!error.empty()) {
        // Properties are mostly set before the element has a bus (gst-launch,
        // gst_parse_launch): the bus message alone would go unseen.
        g_warning(
            "%s: invalid value for property '%s', the previous value stays and the "
            "element will not start until it is corrected: %s",
            GST_OBJECT_NAME(self), g_param_spec_get_name(pspec), error.c_str());
        GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS,
                            ("Invalid value for property '%s'", g_param_spec_get_name(pspec)),
                            ("%s", error.c_str()));
    }
}

std::string effectsText(const std::vector<int>& effects) {
    static const char* const names[] = {"beauty", "color", "denoise", "lowlight"};
    std::string text;
    for (int e : effects) {
        if (!text.empty()) text += ',';
        text += names[e - kEffectBeauty];
    }
    return text;
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstKelvoEnhance* self = GST_KELVO_ENHANCE(object);
    State& st = state(object);
    GST_OBJECT_LOCK(self);
    const Settings& s = st.settings;
    switch (id) {
        case PROP_EFFECTS:
            g_value_set_string(value, effectsText(s.effects).c_str());
            break;
        case PROP_PARAMS:
            g_value_set_string(value, s.params.c_str());
            break;
        case PROP_BACKEND:
            g_value_set_enum(value, st.backend);
            break;
        case PROP_POST_MESSAGES:
            g_value_set_boolean(value, st.postMessages);
            break;
        case PROP_BEAUTY_SMOOTHNESS:
        case PROP_BEAUTY_LIGHTNESS:
        case PROP_BEAUTY_REDNESS:
        case PROP_BEAUTY_SHARPNESS:
        case PROP_COLOR_STRENGTH:
        case PROP_COLOR_SKIN_PROTECT:
            g_value_set_double(value, s.tuning[id - PROP_BEAUTY_SMOOTHNESS]);
            break;
        case PROP_DENOISE_LEVEL:
            g_value_set_int(value, static_cast<int>(s.tuning[kelvo::gst::kDenoiseLevel]));
            break;
        case PROP_LOWLIGHT_ENABLE:
            g_value_set_boolean(value, s.lowlightEnable);
            break;
        case PROP_LOWLIGHT_MODE:
            g_value_set_int(value, s.lowlightMode);
            break;
        case PROP_DENOISE_ENABLE:
            g_value_set_boolean(value, s.denoiseEnable);
            break;
        case PROP_DENOISE_MODE:
            g_value_set_int(value, s.denoiseMode);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
    GST_OBJECT_UNLOCK(self);
}

void finalize(GObject* object) {
    delete GST_KELVO_ENHANCE(object)->state;
    G_OBJECT_CLASS(gst_kelvo_enhance_parent_class)->finalize(object);
}

// --- GstBaseTransform / GstVideoFilter ---------------------------------------

gboolean start(GstBaseTransform* trans) {
    GstKelvoEnhance* self = GST_KELVO_ENHANCE(trans);
    State& st = *self->state;
    GST_OBJECT_LOCK(self);
    const std::string config = std::string("{\"backend\":\"") + backendName(st.backend) + "\"}";
    const bool gpuBackend = st.backend == kBackendGpu;
    st.settingsDirty = true;
    const bool effectsRefused = !st.refusedEffects.empty();
    const std::string refused = effectsRefused ? st.refusedEffects : st.refusedParams;
    GST_OBJECT_UNLOCK(self);
    if (!refused.empty()) {
        GST_ELEMENT_ERROR(
            self, LIBRARY, SETTINGS,
            ("Invalid value for property '%s'", effectsRefused ? "effects" : "params"),
            ("%s", refused.c_str()));
        return FALSE;
    }

    st.engine.reset(createVideoProcessEngine(false));
    if (!st.engine) {
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Cannot create the video engine"),
                          (nullptr));
        return FALSE;
    }
    // The engine's own reason for a refused start, to put in the message.
    struct InitObserver : Observer {
        using Observer::Observer;
        void onLog(int level, const char* message) override {
            if (level == kLogError) reason = message;
            Observer::onLog(level, message);
        }
        std::string reason;
    } initObserver(GST_ELEMENT(self));
    st.engine->setObserver(&initObserver);
    const int r = st.engine->init(config.c_str());
    st.engine->setObserver(nullptr);
    if (r != 0) {
        st.engine.reset();
        std::string why = "init returned " + std::to_string(r);
        if (r == -1)
            why += " (failure): no usable OpenGL 3.3 context";
        else if (r == -6)
            why += " (invalid argument)";
        if (!initObserver.reason.empty()) why += ": " + initObserver.reason;
        GST_ELEMENT_ERROR(self, LIBRARY, INIT,
                          ("Cannot start the kelvo video engine: %s%s", why.c_str(),
                           gpuBackend ? "; set backend=auto (or cpu) to run on the CPU" : ""),
                          ("init(%s) returned %d", config.c_str(), r));
        return FALSE;
    }
    GST_INFO_OBJECT(self, "%s backend, renderer %s", st.engine->getInfo("backend"),
                    st.engine->getInfo("renderer"));
    // After init, so that the detector reports its statistics to it too.
    st.observer.reset(new Observer(GST_ELEMENT(self)));
    st.engine->setObserver(st.observer.get());
    st.effects.clear();
    st.sent.clear();
    st.warned.clear();
    st.lastResult = 0;
    return TRUE;
}

gboolean stop(GstBaseTransform* trans) {
    State& st = state(trans);
    if (st.engine) st.engine->release();
    st.engine.reset();
    st.observer.reset();
    st.repack.clear();
    st.repack.shrink_to_fit();
    return TRUE;
}

void beforeTransform(GstBaseTransform* trans, GstBuffer* buffer) {
    const GstClockTime t =
        gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (GST_CLOCK_TIME_IS_VALID(t)) gst_object_sync_values(GST_OBJECT(trans), t);
}

gboolean setInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* info, GstCaps*, GstVideoInfo*) {
    State& st = state(filter);
    const int format = pixelFormat(GST_VIDEO_INFO_FORMAT(info));
    if (format == 0) return FALSE;
    st.format = format;
    st.width = GST_VIDEO_INFO_WIDTH(info);
    st.height = GST_VIDEO_INFO_HEIGHT(info);
    st.planeCount = kelvo::gst::planeLayout(format, st.width, st.height, st.layout, &st.frameSize);
    if (GST_VIDEO_INFO_IS_YUV(info)) {
        st.matrix = matrixCode(info->colorimetry.matrix);
        // GStreamer's YUV is limited range unless stated.
        st.range = info->colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255 ? kColorRangeFull
                                                                          : kColorRangeLimited;
    } else {
        // The caps' matrix describes no YUV here: how the engine codes packed
        // RGB internally is its own choice.
        st.matrix = kColorMatrixUnspecified;
        st.range = kColorRangeUnspecified;
    }
    GST_DEBUG_OBJECT(filter, "format %d %dx%d matrix %d range %d", st.format, st.width, st.height,
                     st.matrix, st.range);
    return TRUE;
}

GstFlowReturn transformFrameIp(GstVideoFilter* filter, GstVideoFrame* frame) {
    GstKelvoEnhance* self = GST_KELVO_ENHANCE(filter);
    State& st = *self->state;
    if (!st.engine || st.planeCount == 0) return GST_FLOW_NOT_NEGOTIATED;
    applySettings(self);
    if (st.effects.empty()) return GST_FLOW_OK;

    const bool inPlace = contiguous(frame, st);
    uint8_t* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    if (!inPlace) {
        if (st.repack.size() < st.frameSize) st.repack.resize(st.frameSize);
        copyPlanes(frame, st, true);
        data = st.repack.data();
    }
    st.observer->stats.valid = false;
    const int r =
        st.engine->processFrame(st.format, st.width, st.height, data,
                                static_cast<int>(st.frameSize), 0, 0, st.matrix, st.range);
    if (r == 0 && !inPlace) copyPlanes(frame, st, false);
    postRejections(self);
    // No effect enabled is passthrough; other failures are reported once per
    // change of result and the frame goes on as it came.
    if (r != 0 && r != kResultNoEffectEnabled && r != st.lastResult)
        GST_ELEMENT_WARNING(self, STREAM, FAILED, ("Video enhancement failed"),
                            ("processFrame returned %d", r));
    st.lastResult = r;

    GST_OBJECT_LOCK(self);
    const bool post = st.postMessages;
    GST_OBJECT_UNLOCK(self);
    if (post && r == 0) postStats(self, frame->buffer);
    return GST_FLOW_OK;
}

void installDouble(GObjectClass* klass, guint id, const char* name, const char* nick,
                   const char* blurb, double def) {
    g_object_class_install_property(
        klass, id,
        g_param_spec_double(
            name, nick, blurb, 0.0, 1.0, def,
            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                     GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING)));
}

// GStreamer calls in from C: nothing thrown may cross into it. A callback
// that throws logs one error line and fails as its kind fails; a transform
// lets the frame go on as it came, as after any failed frame.
using kelvo::integration::currentExceptionText;

template <class R>
R callbackFailed(GObject* object, const char* name, const char* cause) {
    GST_ERROR_OBJECT(object, "%s fail, %s", name, cause);
    if constexpr (std::is_same<R, GstFlowReturn>::value) {
        GST_ELEMENT_WARNING(object, STREAM, FAILED, ("Video enhancement failed"),
                            ("%s: %s", name, cause));
        return GST_FLOW_OK;
    } else if constexpr (!std::is_void<R>::value) {
        return R();
    }
}

// The vfunc a callback stands for, for the log line.
const char* callbackName(void (*callback)()) {
    using Fn = void (*)();
    const std::pair<Fn, const char*> names[] = {
        {reinterpret_cast<Fn>(&setProperty), "set_property"},
        {reinterpret_cast<Fn>(&getProperty), "get_property"},
        {reinterpret_cast<Fn>(&finalize), "finalize"},
        {reinterpret_cast<Fn>(&start), "start"},
        {reinterpret_cast<Fn>(&stop), "stop"},
        {reinterpret_cast<Fn>(&beforeTransform), "before_transform"},
        {reinterpret_cast<Fn>(&setInfo), "set_info"},
        {reinterpret_cast<Fn>(&transformFrameIp), "transform_frame_ip"}};
    for (const auto& name : names)
        if (name.first == callback) return name.second;
    return "callback";
}

template <auto Callback>
struct Guarded;

template <class R, class Object, class... Rest, R (*Callback)(Object*, Rest...)>
struct Guarded<Callback> {
    static R call(Object* object, Rest... rest) noexcept {
        try {
            return Callback(object, rest...);
        } catch (...) {
            const char* name = callbackName(reinterpret_cast<void (*)()>(Callback));
            return callbackFailed<R>(G_OBJECT(object), name, currentExceptionText());
        }
    }
};

template <auto Callback>
constexpr auto guarded = &Guarded<Callback>::call;

const GParamFlags kPlaying = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                      GST_PARAM_MUTABLE_PLAYING);
const GParamFlags kControllable = static_cast<GParamFlags>(kPlaying | GST_PARAM_CONTROLLABLE);

}  // namespace

static void gst_kelvo_enhance_class_init(GstKelvoEnhanceClass* klass) {
    GObjectClass* gobject = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* trans = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* filter = GST_VIDEO_FILTER_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(kelvo_enhance_debug, "kelvoenhance", 0, "kelvo video enhancement");

    gobject->set_property = guarded<setProperty>;
    gobject->get_property = guarded<getProperty>;
    gobject->finalize = guarded<finalize>;

    g_object_class_install_property(
        gobject, PROP_EFFECTS,
        g_param_spec_string("effects", "Effects",
                            "Comma-separated effects to run: denoise, lowlight, color, beauty "
                            "(or their identifiers 101-104); empty passes frames through",
                            kelvo::video::kDefaultEffectNames, kPlaying));
    g_object_class_install_property(
        gobject, PROP_PARAMS,
        g_param_spec_string("params", "Parameters",
                            "JSON object of parameter documents by option key, as kelvo-enhance "
                            "--params, e.g. {\"beauty_effect_option\":{\"smoothness\":0.8}}; "
                            "overrides the enables the effects property implies",
                            "", kPlaying));
    g_object_class_install_property(
        gobject, PROP_BACKEND,
        g_param_spec_enum("backend", "Backend",
                          "Where the effects run, read when the element starts: auto takes the "
                          "GPU unless its OpenGL renders in software, else the CPU",
                          backendType(), kBackendAuto,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                   GST_PARAM_MUTABLE_READY)));
    g_object_class_install_property(
        gobject, PROP_POST_MESSAGES,
        g_param_spec_boolean("post-messages", "Post messages",
                             "Post a kelvo-frame-stats element message for every processed frame "
                             "(mean-luma, log-mean-luma, dark-share, median, low-percentile when "
                             "brightness is measured; dark-scene, noisy)",
                             FALSE, kPlaying));
    installDouble(gobject, PROP_BEAUTY_SMOOTHNESS, "beauty-smoothness", "Beauty smoothness",
                  "Skin smoothing strength (beauty effect)", 0.5);
    installDouble(gobject, PROP_BEAUTY_LIGHTNESS, "beauty-lightness", "Beauty lightness",
                  "Skin whitening strength (beauty effect)", 0.3);
    installDouble(gobject, PROP_BEAUTY_REDNESS, "beauty-redness", "Beauty redness",
                  "Ruddy tint strength (beauty effect)", 0.3);
    installDouble(gobject, PROP_BEAUTY_SHARPNESS, "beauty-sharpness", "Beauty sharpness",
                  "Sharpening strength (beauty effect)", 0.3);
    installDouble(gobject, PROP_COLOR_STRENGTH, "color-strength", "Colour strength",
                  "Colour enhancement strength (color effect)", 0.5);
    installDouble(gobject, PROP_COLOR_SKIN_PROTECT, "color-skin-protect", "Colour skin protection",
                  "Share of the colour boost withheld on skin (color effect)", 1.0);
    g_object_class_install_property(
        gobject, PROP_LOWLIGHT_ENABLE,
        g_param_spec_boolean("lowlight-enable", "Low-light enable",
                             "Low-light enhancement on, when lowlight is among the effects", TRUE,
                             kControllable));
    g_object_class_install_property(
        gobject, PROP_LOWLIGHT_MODE,
        g_param_spec_int("lowlight-mode", "Low-light mode",
                         "0: automatic, only on dark scenes; 1: manual, always", 0, 1, 0,
                         kControllable));
    g_object_class_install_property(
        gobject, PROP_DENOISE_ENABLE,
        g_param_spec_boolean("denoise-enable", "Denoiser enable",
                             "Video denoiser on, when denoise is among the effects", TRUE,
                             kControllable));
    g_object_class_install_property(
        gobject, PROP_DENOISE_MODE,
        g_param_spec_int("denoise-mode", "Denoiser mode",
                         "0: automatic, only on noisy frames; 1: manual, always", 0, 1, 0,
                         kControllable));
    g_object_class_install_property(
        gobject, PROP_DENOISE_LEVEL,
        g_param_spec_int(
            "denoise-level", "Denoiser level",
            "0: normal; 1: also smooths through the beauty effect when beauty is off; 2: strong, "
            "also filters chroma",
            0, 2, 0, kControllable));

    gst_element_class_set_static_metadata(
        element, "Kelvo video enhancement", "Filter/Effect/Video",
        "Skin smoothing, colour enhancement, low-light lift and temporal denoising with the kelvo "
        "video library",
        "kelvo developers");
    GstCaps* caps = gst_caps_from_string(kCaps);
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);

    trans->start = guarded<start>;
    trans->stop = guarded<stop>;
    trans->before_transform = guarded<beforeTransform>;
    // Passthrough (no effect) leaves the buffers alone entirely.
    trans->transform_ip_on_passthrough = FALSE;
    filter->set_info = guarded<setInfo>;
    filter->transform_frame_ip = guarded<transformFrameIp>;

    gst_type_mark_as_plugin_api(backendType(), static_cast<GstPluginAPIFlags>(0));
}

static void gst_kelvo_enhance_init(GstKelvoEnhance* self) {
    self->state = new State();
    std::string error;
    kelvo::video::parseEffectNames(kelvo::video::kDefaultEffectNames,
                                   &self->state->settings.effects, &error);
}

static gboolean plugin_init(GstPlugin* plugin) {
    return GST_ELEMENT_REGISTER(kelvoenhance, plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, kelvo,
                  "Video enhancement with the kelvo video process library", plugin_init,
                  KELVO_VERSION, "BSD", "kelvo", "kelvo")
