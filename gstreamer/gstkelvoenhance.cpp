#include "gstkelvoenhance.h"

#include <gst/video/video.h>

#include <cstring>
#include <exception>
#include <new>
#include <type_traits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effect_names.h"
#include "engine_client.h"
#include "enhance_settings.h"
#include "exception_text.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace gst = integration;  // the shared settings, under the name this file uses
}

GST_DEBUG_CATEGORY_STATIC(kelvo_enhance_debug);
#define GST_CAT_DEFAULT kelvo_enhance_debug

namespace {

using namespace kelvo::video;
using kelvo::gst::Settings;

enum Backend { kBackendAuto, kBackendGpu, kBackendCpu };

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
    PROP_EXTRA_FIRST,  // then one per kelvo::gst::extraSettings()
};
static_assert(PROP_DENOISE_LEVEL - PROP_BEAUTY_SMOOTHNESS == kelvo::gst::kDenoiseLevel,
              "tuning properties follow kelvo::gst::Tuning");

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
    kelvo::integration::Engine engine;
    std::vector<int> effects;                               // selection the engine holds
    std::vector<std::pair<std::string, std::string>> sent;  // documents the engine holds
    std::vector<std::string> warned;  // rejections already posted for these documents
    int format = 0, width = 0, height = 0, matrix = -1, range = -1;
    // Buffer timestamps to the engine's time; the monotonic clock for
    // buffers without one.
    kelvo::integration::StreamClock clock;
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

// GStreamer and the C interface both name packed formats by byte order.
int pixelFormat(GstVideoFormat f) {
    switch (f) {
        case GST_VIDEO_FORMAT_I420:
            return KELVO_FORMAT_I420;
        case GST_VIDEO_FORMAT_YV12:
            return KELVO_FORMAT_YV12;
        case GST_VIDEO_FORMAT_NV12:
            return KELVO_FORMAT_NV12;
        case GST_VIDEO_FORMAT_NV21:
            return KELVO_FORMAT_NV21;
        case GST_VIDEO_FORMAT_Y42B:
            return KELVO_FORMAT_I422;
        case GST_VIDEO_FORMAT_ABGR:
            return KELVO_FORMAT_ABGR;
        case GST_VIDEO_FORMAT_BGRA:
            return KELVO_FORMAT_BGRA;
        case GST_VIDEO_FORMAT_ARGB:
            return KELVO_FORMAT_ARGB;
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

// Posts each refused member once while the same documents stand.
void postRejections(GstKelvoEnhance* self, const std::vector<std::string>& rejections) {
    State& st = *self->state;
    for (const std::string& r : rejections) {
        bool seen = false;
        for (const std::string& w : st.warned) seen = seen || w == r;
        if (seen) continue;
        GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("The engine rejected a setting"),
                            ("setParameter rejected: %s", r.c_str()));
        st.warned.push_back(r);
    }
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
        const int r = st.engine.setEffects(settings.effects);
        if (r != 0)
            GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("Cannot select the effects"),
                                ("setVideoEffects returned %d", r));
        st.effects = settings.effects;
    }
    const auto docs = kelvo::gst::composeDocuments(settings);
    st.warned.clear();
    std::vector<std::string> rejections;
    for (const auto& doc : docs) {
        bool same = false;
        for (const auto& old : st.sent) same = same || old == doc;
        if (same) continue;
        GST_DEBUG_OBJECT(self, "%s: %s", doc.first.c_str(), doc.second.c_str());
        const int r = st.engine.setParameter(doc.first, doc.second, &rejections);
        if (r != 0)
            GST_ELEMENT_WARNING(
                self, LIBRARY, SETTINGS, ("The engine rejected a setting"),
                ("setParameter(%s, %s) returned %d", doc.first.c_str(), doc.second.c_str(), r));
        postRejections(self, rejections);
    }
    st.sent = docs;
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
    const kelvo_frame_stats f = st.engine.frameStats();
    if (f.valid)
        gst_structure_set(s, "mean-luma", G_TYPE_UINT, f.mean, "log-mean-luma", G_TYPE_DOUBLE,
                          f.log_mean, "dark-share", G_TYPE_DOUBLE, f.dark_share, "median",
                          G_TYPE_INT, f.median, "low-percentile", G_TYPE_INT, f.low_percentile,
                          nullptr);
    // "" (not known) counts as false.
    gst_structure_set(s, "dark-scene", G_TYPE_BOOLEAN, st.engine.info("dark_scene") == "1", "noisy",
                      G_TYPE_BOOLEAN, st.engine.info("noisy") == "1", nullptr);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
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
        default: {
            const size_t i = id - PROP_EXTRA_FIRST;
            if (id < PROP_EXTRA_FIRST || i >= s.extra.size()) {
                G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
                break;
            }
            update(s.extra[i],
                   G_VALUE_HOLDS_INT(value) ? g_value_get_int(value) : g_value_get_double(value));
            update(s.extraSet, s.extraSet | uint64_t{1} << i);
            break;
        }
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
        default: {
            const size_t i = id - PROP_EXTRA_FIRST;
            if (id < PROP_EXTRA_FIRST || i >= s.extra.size())
                G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            else if (G_VALUE_HOLDS_INT(value))
                g_value_set_int(value, static_cast<int>(s.extra[i]));
            else
                g_value_set_double(value, s.extra[i]);
            break;
        }
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

    // The engine's own reason for a refused start, to put in the message.
    std::string reason;
    const int r = st.engine.create(config, &reason);
    if (r != 0) {
        std::string why = "init returned " + std::to_string(r);
        if (r == -1)
            why += " (failure): no usable OpenGL 3.3 context";
        else if (r == -6)
            why += " (invalid argument)";
        if (!reason.empty()) why += ": " + reason;
        GST_ELEMENT_ERROR(self, LIBRARY, INIT,
                          ("Cannot start the kelvo video engine: %s%s", why.c_str(),
                           gpuBackend ? "; set backend=auto (or cpu) to run on the CPU" : ""),
                          ("init(%s) returned %d", config.c_str(), r));
        return FALSE;
    }
    GstElement* element = GST_ELEMENT(self);
    // Refused settings come back as data, not as these lines.
    st.engine.setLog([element](int level, const char* message) {
        if (level == KELVO_LOG_ERROR)
            GST_WARNING_OBJECT(element, "engine: %s", message);
        else if (level == KELVO_LOG_INFO)
            GST_INFO_OBJECT(element, "engine: %s", message);
        else
            GST_LOG_OBJECT(element, "engine: %s", message);
    });
    GST_INFO_OBJECT(self, "%s backend, renderer %s", st.engine.info("backend").c_str(),
                    st.engine.info("renderer").c_str());
    st.effects.clear();
    st.sent.clear();
    st.warned.clear();
    st.clock.reset();
    st.lastResult = 0;
    return TRUE;
}

gboolean stop(GstBaseTransform* trans) {
    state(trans).engine.destroy();
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
    if (!st.engine.valid() || st.format == 0) return GST_FLOW_NOT_NEGOTIATED;
    applySettings(self);
    if (st.effects.empty()) return GST_FLOW_OK;

    // Processed where the frame lies, whatever its strides and plane offsets.
    kelvo_frame picture =
        kelvo::integration::makeFrame(st.format, st.width, st.height, st.matrix, st.range);
    for (guint i = 0; i < GST_VIDEO_FRAME_N_PLANES(frame) && i < 3; ++i) {
        picture.planes[i] = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, i));
        picture.strides[i] = GST_VIDEO_FRAME_PLANE_STRIDE(frame, i);
    }
    // The automatic modes count the buffers' time, so that a file gives the
    // same output at any speed.
    const GstClockTime pts = GST_BUFFER_PTS(frame->buffer);
    const int64_t sourceUs = GST_CLOCK_TIME_IS_VALID(pts)
                                 ? static_cast<int64_t>(pts / GST_USECOND)
                                 : static_cast<int64_t>(g_get_monotonic_time());
    kelvo::integration::setFrameTime(&picture, st.clock.advance(sourceUs));
    const int r = st.engine.process(picture);
    // No effect enabled is passthrough; other failures are reported once per
    // change of result and the frame goes on as it came.
    if (r != 0 && r != kResultNoEffectEnabled && r != st.lastResult)
        GST_ELEMENT_WARNING(
            self, STREAM, FAILED, ("Video enhancement failed"),
            ("kelvo_process returned %d: %s", r, kelvo::integration::Engine::lastError().c_str()));
    st.lastResult = r;

    GST_OBJECT_LOCK(self);
    const bool post = st.postMessages;
    GST_OBJECT_UNLOCK(self);
    if (post && r == 0) postStats(self, frame->buffer);
    return GST_FLOW_OK;
}

// A tuning value's property: name, range and default from the settings
// schema.
void installTuning(GObjectClass* klass, guint id, const char* nick, const char* blurb) {
    const kelvo::gst::TuningInfo& t =
        kelvo::gst::tuningInfo(static_cast<int>(id - PROP_BEAUTY_SMOOTHNESS));
    const GParamFlags flags =
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                 GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        klass, id,
        t.integer
            ? g_param_spec_int(t.name, nick, blurb, static_cast<int>(t.min),
                               static_cast<int>(t.max), static_cast<int>(t.defaultValue), flags)
            : g_param_spec_double(t.name, nick, blurb, t.min, t.max, t.defaultValue, flags));
}

// The schema's other members with an element property (an effect's level,
// say), offered as they are described.
void installExtras(GObjectClass* klass) {
    const GParamFlags flags =
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                 GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING);
    const auto& extras = kelvo::gst::extraSettings();
    for (size_t i = 0; i < extras.size(); ++i) {
        const kelvo::gst::SettingInfo& t = *extras[i];
        // The schema's texts live as long as the library: static strings.
        const char* name = t.elementName.c_str();
        const char* blurb = t.summary.c_str();
        g_object_class_install_property(
            klass, PROP_EXTRA_FIRST + static_cast<guint>(i),
            t.integer ? g_param_spec_int(name, name, blurb, static_cast<int>(t.min),
                                         static_cast<int>(t.max),
                                         static_cast<int>(t.integrationDefault), flags)
                      : g_param_spec_double(name, name, blurb, t.min, t.max, t.integrationDefault,
                                            flags));
    }
}

// The offered range of a mode member, from the settings schema.
int offeredMax(const char* key, const char* member) {
    const kelvo::gst::SettingInfo* info = kelvo::gst::findSetting(key, member);
    return info ? static_cast<int>(info->max) : 1;
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
    installTuning(gobject, PROP_BEAUTY_SMOOTHNESS, "Beauty smoothness",
                  "Skin smoothing strength (beauty effect)");
    installTuning(gobject, PROP_BEAUTY_LIGHTNESS, "Beauty lightness",
                  "Skin whitening strength (beauty effect)");
    installTuning(gobject, PROP_BEAUTY_REDNESS, "Beauty redness",
                  "Ruddy tint strength (beauty effect)");
    installTuning(gobject, PROP_BEAUTY_SHARPNESS, "Beauty sharpness",
                  "Sharpening strength (beauty effect)");
    installTuning(gobject, PROP_COLOR_STRENGTH, "Colour strength",
                  "Colour enhancement strength (color effect)");
    installTuning(gobject, PROP_COLOR_SKIN_PROTECT, "Colour skin protection",
                  "Share of the colour boost withheld on skin (color effect)");
    g_object_class_install_property(
        gobject, PROP_LOWLIGHT_ENABLE,
        g_param_spec_boolean("lowlight-enable", "Low-light enable",
                             "Low-light enhancement on, when lowlight is among the effects", TRUE,
                             kControllable));
    g_object_class_install_property(
        gobject, PROP_LOWLIGHT_MODE,
        g_param_spec_int("lowlight-mode", "Low-light mode",
                         "0: automatic, only on dark scenes; 1: manual, always", 0,
                         offeredMax("lowlight_enhance_option", "mode"), 0, kControllable));
    g_object_class_install_property(
        gobject, PROP_DENOISE_ENABLE,
        g_param_spec_boolean("denoise-enable", "Denoiser enable",
                             "Video denoiser on, when denoise is among the effects", TRUE,
                             kControllable));
    g_object_class_install_property(
        gobject, PROP_DENOISE_MODE,
        g_param_spec_int("denoise-mode", "Denoiser mode",
                         "0: automatic, only on noisy frames; 1: manual, always", 0,
                         offeredMax("video_denoiser_option", "mode"), 0, kControllable));
    installTuning(gobject, PROP_DENOISE_LEVEL, "Denoiser level",
                  "0: normal; 1: also smooths through the beauty effect when beauty is off; 2: "
                  "strong, also filters chroma");

    installExtras(gobject);

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
