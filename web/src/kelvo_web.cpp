// The few calls the JavaScript module needs beside the C interface: a frame
// described by its format and size over one tight buffer (WebCodecs' layout),
// rejections and facts kept here so that JavaScript reads them as strings,
// and the CPU mask, which the module's environment would not see.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kelvo/kelvo.h"

namespace {

std::vector<kelvo_rejection> gRejections;
size_t gRejectionCount = 0;
std::string gInfo;

}  // namespace

extern "C" {

// Bytes of a tight frame of `format`, 0 for a format or size the library refuses.
EMSCRIPTEN_KEEPALIVE double kelvo_web_frame_bytes(int format, int width, int height) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return 0;
    const double w = width, h = height, cw = (width + 1) / 2, ch = (height + 1) / 2;
    switch (format) {
        case KELVO_FORMAT_I420:
        case KELVO_FORMAT_YV12:
        case KELVO_FORMAT_NV12:
        case KELVO_FORMAT_NV21:
            return w * h + 2 * cw * ch;
        case KELVO_FORMAT_I422:
            return w * h + 2 * cw * h;
        case KELVO_FORMAT_RGBA:
        case KELVO_FORMAT_BGRA:
        case KELVO_FORMAT_ARGB:
        case KELVO_FORMAT_ABGR:
            return 4 * w * h;
        default:
            return 0;
    }
}

// Processes a tight frame at `data` in place. The timestamp is a double so
// that JavaScript passes it as a number (exact to 2^53 microseconds).
EMSCRIPTEN_KEEPALIVE int kelvo_web_process(kelvo_engine* engine, uint8_t* data, int format,
                                           int width, int height, int matrix, int range,
                                           int hasTimestamp, double timestampUs) {
    if (kelvo_web_frame_bytes(format, width, height) == 0) return KELVO_ERR_INVALID_ARGUMENT;
    // NaN or a time past int64 would trap in the conversion below.
    if (hasTimestamp && !(timestampUs > -9.2e18 && timestampUs < 9.2e18))
        return KELVO_ERR_INVALID_ARGUMENT;
    kelvo_frame f{};
    f.size = sizeof f;
    f.format = format;
    f.width = width;
    f.height = height;
    const size_t luma = static_cast<size_t>(width) * height;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    const int chromaRows = format == KELVO_FORMAT_I422 ? height : ch;
    switch (format) {
        case KELVO_FORMAT_NV12:
        case KELVO_FORMAT_NV21:
            f.planes[0] = data;
            f.planes[1] = data + luma;
            f.strides[0] = width;
            f.strides[1] = 2 * cw;
            break;
        case KELVO_FORMAT_RGBA:
        case KELVO_FORMAT_BGRA:
        case KELVO_FORMAT_ARGB:
        case KELVO_FORMAT_ABGR:
            f.planes[0] = data;
            f.strides[0] = 4 * width;
            break;
        default:
            f.planes[0] = data;
            f.planes[1] = data + luma;
            f.planes[2] = data + luma + static_cast<size_t>(cw) * chromaRows;
            f.strides[0] = width;
            f.strides[1] = f.strides[2] = cw;
            break;
    }
    f.color_matrix = matrix;
    f.color_range = range;
    f.has_timestamp = hasTimestamp;
    f.timestamp_us = static_cast<int64_t>(timestampUs);
    return kelvo_process(engine, &f);
}

// Applies a parameter document; the rejections stay readable until the next
// call. Returns the result code.
EMSCRIPTEN_KEEPALIVE int kelvo_web_set_parameter(kelvo_engine* engine, const char* key,
                                                 const char* json) {
    gRejections.resize(32);
    kelvo_rejections r{};
    r.size = sizeof r;
    r.item_size = sizeof(kelvo_rejection);
    r.items = gRejections.data();
    r.capacity = gRejections.size();
    int result = kelvo_set_parameter(engine, key, json, &r);
    if (result == KELVO_OK && r.count > r.capacity) {
        // More than fit: the engine applied the valid members already, and
        // applying the same document again gives the same rejections.
        gRejections.resize(r.count);
        r.items = gRejections.data();
        r.capacity = gRejections.size();
        result = kelvo_set_parameter(engine, key, json, &r);
    }
    gRejectionCount = result == KELVO_OK ? std::min(r.count, r.capacity) : 0;
    return result;
}

EMSCRIPTEN_KEEPALIVE int kelvo_web_rejection_count() { return static_cast<int>(gRejectionCount); }
EMSCRIPTEN_KEEPALIVE const char* kelvo_web_rejection_member(int i) {
    return i >= 0 && static_cast<size_t>(i) < gRejectionCount ? gRejections[i].member : "";
}
EMSCRIPTEN_KEEPALIVE const char* kelvo_web_rejection_text(int i) {
    return i >= 0 && static_cast<size_t>(i) < gRejectionCount ? gRejections[i].text : "";
}

// The fact, "" when the call failed; valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* kelvo_web_get_info(kelvo_engine* engine, const char* key) {
    size_t length = 0;
    gInfo.clear();
    if (kelvo_get_info(engine, key, nullptr, 0, &length) != KELVO_OK) return "";
    gInfo.resize(length + 1);
    if (kelvo_get_info(engine, key, gInfo.data(), gInfo.size(), nullptr) != KELVO_OK) gInfo.clear();
    gInfo.resize(std::string(gInfo.c_str()).size());
    return gInfo.c_str();
}

// KELVO_CPU_MASK for this module; read when the first engine picks its rows.
EMSCRIPTEN_KEEPALIVE void kelvo_web_set_cpu_mask(const char* mask) {
    setenv("KELVO_CPU_MASK", mask, 1);
}

EMSCRIPTEN_KEEPALIVE kelvo_engine* kelvo_web_create(const char* config) {
    kelvo_engine* engine = nullptr;
    return kelvo_create(config, &engine) == KELVO_OK ? engine : nullptr;
}

}  // extern "C"
