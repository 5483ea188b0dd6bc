// The C interface (kelvo/kelvo.h) over VideoProcessEngineImpl.
//
// Each call on a handle holds the handle's mutex while it runs the engine,
// with an observer that queues the engine's log lines; the lines go to the
// caller's callback after the mutex is let go, so the callback may take its
// own locks and call the engine again. Failures end as a code and a message
// in a per-thread buffer; nothing thrown leaves this file.
#include "kelvo/kelvo.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert/frame_conversion.h"
#include "engine/effect_factories.h"
#include "engine/json.h"
#include "engine/parameter_store.h"
#include "engine/video_process_engine_impl.h"
#include "frame/numbering.h"
#include "kelvo/metadata_frame_stats.h"
#include "kelvo/version.h"
#include "kelvo/video_process_engine.h"
#include "render/effect_descriptor.h"
#include "system/exception_text.h"

using kelvo::video::IMetaDataInfo;
using kelvo::video::IVideoProcessObserver;
using kelvo::video::PlaneBuffer;
using kelvo::video::VideoProcessEngineImpl;

namespace {

struct LogLine {
    int level;
    std::string text;
};

class QueueObserver final : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int level, const char* message) override {
        // A line that cannot be stored is lost, not the call.
        try {
            lines.push_back({level, message ? message : ""});
        } catch (...) {
        }
    }
    // The detector refills its record in place: the values are copied.
    void onDetectionResult(int result, int kind,
                           const std::shared_ptr<IMetaDataInfo>& record) override {
        const auto* s = dynamic_cast<const kelvo::video::MetaDataFrameStats*>(record.get());
        if (result != 0 || kind != kelvo::video::kMetadataKindFrameStats || s == nullptr) return;
        stats.valid = 1;
        stats.mean = s->mean;
        stats.log_mean = s->logAverage;
        stats.dark_share = s->darkFraction;
        stats.median = s->median;
        stats.low_percentile = s->percentile5;
        stats.deviation = s->standardDeviation;
    }
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}

    std::vector<LogLine> lines;
    kelvo_frame_stats stats{};  // of the last frame processed
};

}  // namespace

struct kelvo_engine {
    std::mutex mutex;
    QueueObserver observer;
    std::unique_ptr<VideoProcessEngineImpl> engine;
    kelvo_log_fn callback = nullptr;
    void* user = nullptr;
    // What kelvo_create logged (the backend it chose, why it failed over),
    // for the first callback set: none can be set before.
    std::vector<LogLine> createLines;
};

namespace {

// No allocation: it must be writable when memory has run out.
thread_local char lastError[512];

void copyText(char* dst, size_t capacity, const char* src) {
    if (capacity == 0) return;
    size_t n = std::strlen(src);
    if (n >= capacity) {
        n = capacity - 1;
        // Cut at a character boundary, so the text stays UTF-8.
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

int fail(int code, const char* message) {
    copyText(lastError, sizeof lastError, message);
    return code;
}

const char* codeText(int code) {
    switch (code) {
        case KELVO_ERR_NOT_INITIALIZED:
            return "engine not initialised";
        case KELVO_ERR_NO_EFFECT:
            return "no selected effect is enabled (enable one with kelvo_set_parameter)";
        case KELVO_ERR_INVALID_ARGUMENT:
            return "invalid argument";
        case KELVO_ERR_INVALID_JSON:
            return "the parameter document is not valid JSON";
        default:
            return "failed";
    }
}

// The engine logs what went wrong as an error line; the last one of the
// call is its message.
void failFromLines(int code, const std::vector<LogLine>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->level == kelvo::video::kLogError) {
            fail(code, it->text.c_str());
            return;
        }
    }
    fail(code, codeText(code));
}

void deliver(const std::vector<LogLine>& lines, kelvo_log_fn callback, void* user) {
    if (!callback || lines.empty()) return;
    // The callback may call the library, which sets this thread's message.
    char kept[sizeof lastError];
    std::memcpy(kept, lastError, sizeof kept);
    for (const LogLine& line : lines) {
        // A C++ caller's callback may throw; it must not cross the interface.
        try {
            callback(user, line.level, line.text.c_str());
        } catch (...) {
        }
    }
    std::memcpy(lastError, kept, sizeof kept);
}

// Runs body(engine) under the handle's lock with the log queue empty, sets
// the thread's message, then hands the call's lines to the callback. body
// may set the message itself with fail(); otherwise a failure takes the
// last error line the engine logged.
template <class Body>
int call(kelvo_engine* handle, Body&& body) noexcept {
    lastError[0] = '\0';
    if (handle == nullptr) return fail(KELVO_ERR_INVALID_ARGUMENT, "engine is NULL");
    std::vector<LogLine> lines;
    kelvo_log_fn callback = nullptr;
    void* user = nullptr;
    int result;
    try {
        std::lock_guard<std::mutex> lock(handle->mutex);
        handle->observer.lines.clear();
        result = body(*handle->engine);
        lines.swap(handle->observer.lines);
        callback = handle->callback;
        user = handle->user;
    } catch (...) {
        return fail(KELVO_ERR_FAILED, kelvo::video::currentExceptionText());
    }
    if (result != KELVO_OK && lastError[0] == '\0') failFromLines(result, lines);
    deliver(lines, callback, user);
    return result;
}

struct EffectName {
    const char* name;
    int id;
};

// The names kelvo-enhance, the GStreamer element and the OBS filters take
// (integrations/common/effect_names.cpp; a test keeps the two in step).
const EffectName kEffectNames[] = {
    {"beauty", KELVO_EFFECT_BEAUTY}, {"101", KELVO_EFFECT_BEAUTY},
    {"color", KELVO_EFFECT_COLOR},   {"colour", KELVO_EFFECT_COLOR},
    {"102", KELVO_EFFECT_COLOR},     {"denoise", KELVO_EFFECT_DENOISE},
    {"103", KELVO_EFFECT_DENOISE},   {"lowlight", KELVO_EFFECT_LOWLIGHT},
    {"104", KELVO_EFFECT_LOWLIGHT},
};

int effectIdOf(const std::string& name) {
    for (const EffectName& entry : kEffectNames)
        if (name == entry.name) return entry.id;
    return 0;
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// "denoise, color,beauty" as the integrations read it: blanks around names
// and empty items skipped. False, with the message set, for an unknown name.
bool parseNames(const char* text, std::vector<int>* ids) {
    std::string item;
    for (const char* p = text;; ++p) {
        if (*p != ',' && *p != '\0') {
            item += *p;
            continue;
        }
        size_t b = 0, e = item.size();
        while (b < e && blank(item[b])) ++b;
        while (e > b && blank(item[e - 1])) --e;
        const std::string name = item.substr(b, e - b);
        if (!name.empty()) {
            const int id = effectIdOf(name);
            if (id == 0) {
                const std::string message =
                    "unknown effect '" + name + "' (beauty, color, denoise, lowlight or 101-104)";
                fail(KELVO_ERR_INVALID_ARGUMENT, message.c_str());
                return false;
            }
            ids->push_back(id);
        }
        item.clear();
        if (*p == '\0') return true;
    }
}

// The engine's rejections in the caller's array, member and text (without
// the log line's "setParameter rejected: ").
void storeRejections(const std::vector<kelvo::video::ParameterRejection>& rejections,
                     kelvo_rejections* out) {
    static const char kPrefix[] = "setParameter rejected: ";
    out->count = 0;
    for (const kelvo::video::ParameterRejection& rejection : rejections) {
        if (out->count < out->capacity) {
            std::string text = kelvo::video::rejectionText(rejection);
            if (text.compare(0, sizeof kPrefix - 1, kPrefix) == 0)
                text.erase(0, sizeof kPrefix - 1);
            auto* item = reinterpret_cast<kelvo_rejection*>(reinterpret_cast<char*>(out->items) +
                                                            out->count * out->item_size);
            copyText(item->member, sizeof item->member, rejection.member.c_str());
            copyText(item->text, sizeof item->text, text.c_str());
        }
        ++out->count;
    }
}

const char* settingTypeName(kelvo::video::SettingType type) {
    switch (type) {
        case kelvo::video::SettingType::kSwitch:
            return "switch";
        case kelvo::video::SettingType::kInteger:
            return "integer";
        default:
            return "number";
    }
}

void writeNameOrNull(kelvo::video::JsonWriter& w, const char* name) {
    if (name)
        w.String(name);
    else
        w.Null();
}

// Switches and integers are written as JSON integers, numbers as numbers;
// a bound that is not finite (no bound) as null.
void writeValue(kelvo::video::JsonWriter& w, kelvo::video::SettingType type, double value) {
    if (!std::isfinite(value))
        w.Null();
    else if (type == kelvo::video::SettingType::kNumber)
        w.Double(value);
    else
        w.Int(static_cast<int>(value));
}

// The settings schema (docs/c_api.md), from the effects' descriptors.
std::string buildSchema() {
    using namespace kelvo::video;
    JsonStringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("version");
    w.String(KELVO_VIDEO_VERSION_STRING);
    w.Key("keys");
    w.StartArray();
    for (const EffectDescriptor* effect : effectDescriptors()) {
        w.StartObject();
        w.Key("key");
        w.String(effect->optionKey);
        w.Key("effect_id");
        if (effect->publicId >= 0)
            w.Int(effect->publicId);
        else
            w.Null();
        w.Key("cli_name");
        writeNameOrNull(w, effect->cliName);
        w.Key("title");
        writeNameOrNull(w, effect->title);
        w.Key("members");
        w.StartArray();
        for (const SettingDescriptor& s : *effect) {
            const bool integral = s.type != SettingType::kNumber;
            w.StartObject();
            w.Key("name");
            w.String(s.member);
            w.Key("type");
            w.String(settingTypeName(s.type));
            // Integers: low <= v <= high; numbers: low < x < high.
            w.Key(integral ? "minimum" : "exclusive_minimum");
            writeValue(w, s.type, s.low);
            w.Key(integral ? "maximum" : "exclusive_maximum");
            writeValue(w, s.type, s.high);
            w.Key("offered_maximum");
            writeValue(w, s.type, s.offeredHigh);
            w.Key("default");
            writeValue(w, s.type, s.libraryDefault);
            w.Key("integration_default");
            writeValue(w, s.type, s.integrationDefault);
            w.Key("element_property");
            writeNameOrNull(w, s.elementName);
            w.Key("obs_setting");
            writeNameOrNull(w, s.obsName);
            w.Key("accepted");
            w.String(s.accepted);
            w.Key("summary");
            writeNameOrNull(w, s.summary);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

struct FormatMapping {
    int format;
    int videoType;
    bool swapRedBlue;  // bytes R, G, B, A: processed as B, G, R, A
};

const FormatMapping kFormats[] = {
    {KELVO_FORMAT_I420, kelvo::video::kVideoTypeI420, false},
    {KELVO_FORMAT_I422, kelvo::video::kVideoTypeI422, false},
    {KELVO_FORMAT_NV21, kelvo::video::kVideoTypeNV21, false},
    {KELVO_FORMAT_NV12, kelvo::video::kVideoTypeNV12, false},
    {KELVO_FORMAT_YV12, kelvo::video::kVideoTypeYV12, false},
    {KELVO_FORMAT_RGBA, kelvo::video::kVideoTypeARGB, true},
    {KELVO_FORMAT_BGRA, kelvo::video::kVideoTypeARGB, false},
    {KELVO_FORMAT_ARGB, kelvo::video::kVideoTypeBGRA, false},
    {KELVO_FORMAT_ABGR, kelvo::video::kVideoTypeRGBA, false},
};

// R, G, B, A has no rows of its own yet: it is swizzled in place to B, G, R,
// A (the colour-coded libyuv ARGB path, where the caller's matrix and range
// hold, unlike libyuv's RGBA) and back afterwards. Two passes over the
// picture, no copy.
void swapRedBlue(const PlaneBuffer& picture) {
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* p = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.stride[0];
        for (int x = 0; x < picture.width; ++x, p += 4) std::swap(p[0], p[2]);
    }
}

}  // namespace

extern "C" {

const char* kelvo_version(void) {
    lastError[0] = '\0';
    return KELVO_VIDEO_VERSION_STRING;
}

const char* kelvo_last_error(void) { return lastError; }

const char* kelvo_settings_schema(void) {
    lastError[0] = '\0';
    try {
        // Built on the first call; a first call that fails leaves the next
        // one to try again.
        static const std::string schema = buildSchema();
        return schema.c_str();
    } catch (...) {
        fail(KELVO_ERR_FAILED, kelvo::video::currentExceptionText());
        return nullptr;
    }
}

int kelvo_create(const char* config, kelvo_engine** engine) {
    lastError[0] = '\0';
    if (engine == nullptr) return fail(KELVO_ERR_INVALID_ARGUMENT, "engine is NULL");
    *engine = nullptr;
    kelvo_engine* handle = new (std::nothrow) kelvo_engine();
    if (handle == nullptr) return fail(KELVO_ERR_FAILED, "out of memory");
    try {
        handle->engine.reset(new VideoProcessEngineImpl(false));
        handle->engine->setObserver(&handle->observer);
    } catch (...) {
        delete handle;
        return fail(KELVO_ERR_FAILED, kelvo::video::currentExceptionText());
    }
    const int result = call(handle, [&](VideoProcessEngineImpl& e) {
        const int r = e.init(config);
        handle->createLines = handle->observer.lines;
        // Only an initialised engine hands its observer the detections.
        e.setObserver(&handle->observer);
        return r;
    });
    if (result != KELVO_OK) {
        try {
            delete handle;
        } catch (...) {
        }
        return result;
    }
    *engine = handle;
    return KELVO_OK;
}

void kelvo_destroy(kelvo_engine* engine) {
    lastError[0] = '\0';
    try {
        delete engine;
    } catch (...) {
    }
}

int kelvo_set_log_callback(kelvo_engine* engine, kelvo_log_fn callback, void* user) {
    return call(engine, [&](VideoProcessEngineImpl&) -> int {
        engine->callback = callback;
        engine->user = user;
        if (callback != nullptr && !engine->createLines.empty()) {
            engine->observer.lines = std::move(engine->createLines);
            engine->createLines.clear();
        }
        return KELVO_OK;
    });
}

int kelvo_set_effects(kelvo_engine* engine, const int* ids, size_t count) {
    return call(engine, [&](VideoProcessEngineImpl& e) -> int {
        if (ids == nullptr && count > 0) return fail(KELVO_ERR_INVALID_ARGUMENT, "ids is NULL");
        if (count == 0) return fail(KELVO_ERR_INVALID_ARGUMENT, "no effect given");
        return e.setVideoEffects(std::vector<int>(ids, ids + count));
    });
}

int kelvo_set_effects_by_name(kelvo_engine* engine, const char* names) {
    return call(engine, [&](VideoProcessEngineImpl& e) -> int {
        if (names == nullptr) return fail(KELVO_ERR_INVALID_ARGUMENT, "names is NULL");
        std::vector<int> ids;
        if (!parseNames(names, &ids)) return KELVO_ERR_INVALID_ARGUMENT;
        if (ids.empty()) return fail(KELVO_ERR_INVALID_ARGUMENT, "no effect given");
        return e.setVideoEffects(ids);
    });
}

int kelvo_effect_id(const char* name) {
    lastError[0] = '\0';
    if (name == nullptr) return 0;
    try {
        std::vector<int> ids;
        // One name, read as in a list: blanks around it do not count.
        if (std::strchr(name, ',') != nullptr || !parseNames(name, &ids) || ids.size() != 1) {
            lastError[0] = '\0';
            return 0;
        }
        return ids[0];
    } catch (...) {
        return 0;
    }
}

int kelvo_set_parameter(kelvo_engine* engine, const char* key, const char* json,
                        kelvo_rejections* rejections) {
    return call(engine, [&](VideoProcessEngineImpl& e) -> int {
        if (rejections != nullptr) {
            if (rejections->size != sizeof(kelvo_rejections) ||
                rejections->item_size != sizeof(kelvo_rejection))
                return fail(KELVO_ERR_INVALID_ARGUMENT,
                            "kelvo_rejections: unknown size or item_size");
            if (rejections->items == nullptr && rejections->capacity > 0)
                return fail(KELVO_ERR_INVALID_ARGUMENT, "kelvo_rejections: items is NULL");
            rejections->count = 0;
        }
        if (key == nullptr || json == nullptr)
            return fail(KELVO_ERR_INVALID_ARGUMENT, "key or document is NULL");
        std::vector<kelvo::video::ParameterRejection> refused;
        const int result = e.setParameterReporting(key, json, &refused);
        if (rejections != nullptr) storeRejections(refused, rejections);
        return result;
    });
}

int kelvo_get_info(kelvo_engine* engine, const char* key, char* text, size_t capacity,
                   size_t* length) {
    return call(engine, [&](VideoProcessEngineImpl& e) -> int {
        if (text == nullptr && capacity > 0)
            return fail(KELVO_ERR_INVALID_ARGUMENT, "text is NULL");
        const char* fact = e.getInfo(key);
        if (length != nullptr) *length = std::strlen(fact);
        copyText(text, capacity, fact);
        return KELVO_OK;
    });
}

int kelvo_process(kelvo_engine* engine, const kelvo_frame* frame) {
    return call(engine, [&](VideoProcessEngineImpl& e) -> int {
        engine->observer.stats.valid = 0;
        if (frame == nullptr) return fail(KELVO_ERR_INVALID_ARGUMENT, "frame is NULL");
        if (frame->size != sizeof(kelvo_frame))
            return fail(KELVO_ERR_INVALID_ARGUMENT, "kelvo_frame: unknown size");
        const FormatMapping* mapping = nullptr;
        for (const FormatMapping& m : kFormats)
            if (m.format == frame->format) mapping = &m;
        if (mapping == nullptr) {
            char message[64];
            std::snprintf(message, sizeof message, "unknown pixel format %d", frame->format);
            return fail(KELVO_ERR_INVALID_ARGUMENT, message);
        }
        PlaneBuffer picture;
        picture.videoType = mapping->videoType;
        picture.width = frame->width;
        picture.height = frame->height;
        for (int p = 0; p < 3; ++p) {
            picture.data[p] = frame->planes[p];
            picture.stride[p] = frame->strides[p];
        }
        // Checked here as well as in the engine: the swizzle writes first.
        if (const char* fault = kelvo::video::planeBufferFault(picture))
            return fail(KELVO_ERR_INVALID_ARGUMENT, fault);
        std::optional<int64_t> timeMs;
        if (frame->has_timestamp) timeMs = frame->timestamp_us / 1000;
        if (mapping->swapRedBlue) swapRedBlue(picture);
        const int result =
            e.processPlanes(picture, frame->color_matrix, frame->color_range, timeMs);
        if (mapping->swapRedBlue) swapRedBlue(picture);
        return result;
    });
}

int kelvo_get_frame_stats(kelvo_engine* engine, kelvo_frame_stats* stats) {
    return call(engine, [&](VideoProcessEngineImpl&) -> int {
        if (stats == nullptr || stats->size != sizeof(kelvo_frame_stats))
            return fail(KELVO_ERR_INVALID_ARGUMENT, "kelvo_frame_stats: NULL or unknown size");
        *stats = engine->observer.stats;
        stats->size = sizeof(kelvo_frame_stats);
        return KELVO_OK;
    });
}

}  // extern "C"
