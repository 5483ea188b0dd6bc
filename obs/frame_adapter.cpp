#include "frame_adapter.h"

#include <libyuv/convert.h>
#include <libyuv/convert_from.h>
#include <libyuv/planar_functions.h>

#include <cmath>
#include <cstdint>

namespace kelvo {
namespace obs {

using namespace kelvo::video;

namespace {

// The C interface's format for the frame's data, directly or after
// conversion.
int libraryFormat(video_format f) {
    switch (f) {
        case VIDEO_FORMAT_I420:
            return KELVO_FORMAT_I420;
        case VIDEO_FORMAT_NV12:
            return KELVO_FORMAT_NV12;
        case VIDEO_FORMAT_I422:
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
        case VIDEO_FORMAT_YVYU:
            return KELVO_FORMAT_I422;  // keeps all the chroma rows
        case VIDEO_FORMAT_I444:
            return KELVO_FORMAT_I420;  // the engine works in 4:2:0 anyway
        // Both name packed formats by their bytes in memory; the X byte is
        // alpha the engine leaves alone.
        case VIDEO_FORMAT_BGRA:
        case VIDEO_FORMAT_BGRX:
            return KELVO_FORMAT_BGRA;
        case VIDEO_FORMAT_RGBA:
            return KELVO_FORMAT_RGBA;
        default:
            return 0;
    }
}

bool needsConversion(video_format f) {
    return f == VIDEO_FORMAT_YUY2 || f == VIDEO_FORMAT_UYVY || f == VIDEO_FORMAT_YVYU ||
           f == VIDEO_FORMAT_I444;
}

// Rows and bytes per row of each plane of a tight picture in `format` (a
// KELVO_FORMAT_...), and their offsets in one buffer; the plane count.
int tightPlanes(int format, int w, int h, uint32_t rowBytes[3], uint32_t rows[3],
                size_t offsets[3]) {
    const uint32_t uw = static_cast<uint32_t>(w), uh = static_cast<uint32_t>(h);
    const uint32_t cw = (uw + 1) / 2, ch = (uh + 1) / 2;
    int n = 0;
    switch (format) {
        case KELVO_FORMAT_I420:
            rowBytes[0] = uw, rows[0] = uh, rowBytes[1] = rowBytes[2] = cw, rows[1] = rows[2] = ch;
            n = 3;
            break;
        case KELVO_FORMAT_I422:
            rowBytes[0] = uw, rows[0] = uh, rowBytes[1] = rowBytes[2] = cw, rows[1] = rows[2] = uh;
            n = 3;
            break;
        case KELVO_FORMAT_NV12:
            rowBytes[0] = uw, rows[0] = uh, rowBytes[1] = 2 * cw, rows[1] = ch;
            n = 2;
            break;
        case KELVO_FORMAT_BGRA:
        case KELVO_FORMAT_RGBA:
            rowBytes[0] = 4 * uw, rows[0] = uh;
            n = 1;
            break;
        default:
            return 0;
    }
    size_t at = 0;
    for (int i = 0; i < n; ++i) {
        offsets[i] = at;
        at += static_cast<size_t>(rowBytes[i]) * rows[i];
    }
    return n;
}

// Bytes each row of each plane of the frame's own format holds; 0 planes
// for formats the adapter does not take.
int framePlanes(const obs_source_frame& f, uint32_t rowBytes[3], uint32_t rows[3]) {
    const uint32_t w = f.width, h = f.height, cw = (w + 1) / 2;
    switch (f.format) {
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
        case VIDEO_FORMAT_YVYU:
            rowBytes[0] = 4 * cw;
            rows[0] = h;
            return 1;
        case VIDEO_FORMAT_I444:
            for (int i = 0; i < 3; ++i) rowBytes[i] = w, rows[i] = h;
            return 3;
        default:
            break;
    }
    size_t offsets[3];
    return tightPlanes(libraryFormat(f.format), static_cast<int>(w), static_cast<int>(h), rowBytes,
                       rows, offsets);
}

bool sameMatrix(const float a[16], const float b[16]) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a[i] - b[i]) > 1e-4f) return false;
    return true;
}

}  // namespace

ColorCodes frameColorCodes(const obs_source_frame& frame) {
    if (!format_is_yuv(frame.format)) return {kColorMatrixUnspecified, kColorRangeUnspecified};
    static const struct {
        video_colorspace space;
        int matrix;
    } kSpaces[] = {
        {VIDEO_CS_601, kColorMatrixSMPTE170M},
        {VIDEO_CS_709, kColorMatrixBT709},
        {VIDEO_CS_2100_PQ, kColorMatrixBT2020NCL},  // HLG has the same matrix
    };
    for (const auto& s : kSpaces)
        for (video_range_type range : {VIDEO_RANGE_PARTIAL, VIDEO_RANGE_FULL}) {
            float matrix[16], min[3], max[3];
            if (!video_format_get_parameters(s.space, range, matrix, min, max)) continue;
            // The partial and full matrices differ (the range expansion is
            // folded in), so the matrix alone gives both codes; OBS copies
            // color_range_min into its cached frames only for partial range.
            if (sameMatrix(frame.color_matrix, matrix))
                return {s.matrix, range == VIDEO_RANGE_FULL ? kColorRangeFull : kColorRangeLimited};
        }
    float matrix[16], min[3], max[3];
    video_format_get_parameters(VIDEO_CS_601, VIDEO_RANGE_PARTIAL, matrix, min, max);
    const bool partial = std::fabs(frame.color_range_min[0] - min[0]) < 1e-4f;
    return {kColorMatrixUnspecified, partial ? kColorRangeLimited : kColorRangeUnspecified};
}

Route frameRoute(const obs_source_frame& f) {
    const int format = libraryFormat(f.format);
    if (format == 0 || !f.data[0] || f.width == 0 || f.height == 0 || f.width > 16384 ||
        f.height > 16384)
        return Route::kUnsupported;
    uint32_t rowBytes[3], rows[3];
    const int n = framePlanes(f, rowBytes, rows);
    for (int i = 0; i < n; ++i)
        if (!f.data[i] || f.linesize[i] < rowBytes[i] || f.linesize[i] > INT32_MAX)
            return Route::kUnsupported;
    return needsConversion(f.format) ? Route::kConvert : Route::kInPlace;
}

bool FrameAdapter::prepare(const obs_source_frame& f, kelvo_frame* in) {
    route_ = frameRoute(f);
    if (route_ == Route::kUnsupported) return false;
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    const ColorCodes codes = frameColorCodes(f);
    const int format = libraryFormat(f.format);
    *in = integration::makeFrame(format, w, h, codes.matrix, codes.range);
    if (route_ == Route::kInPlace) {
        for (int i = 0; i < 3; ++i) {
            in->planes[i] = f.data[i];
            in->strides[i] = static_cast<int>(f.linesize[i]);
        }
        return true;
    }

    uint32_t rowBytes[3], rows[3];
    size_t offsets[3];
    const int n = tightPlanes(format, w, h, rowBytes, rows, offsets);
    const size_t size = offsets[n - 1] + static_cast<size_t>(rowBytes[n - 1]) * rows[n - 1];
    if (buffer_.size() < size) buffer_.resize(size);
    for (int i = 0; i < n; ++i) {
        in->planes[i] = buffer_.data() + offsets[i];
        in->strides[i] = static_cast<int>(rowBytes[i]);
    }
    uint8_t *y = in->planes[0], *u = in->planes[1], *v = in->planes[2];
    const int ys = in->strides[0], cs = in->strides[1];
    switch (f.format) {
        case VIDEO_FORMAT_YUY2:
            libyuv::YUY2ToI422(f.data[0], f.linesize[0], y, ys, u, cs, v, cs, w, h);
            break;
        case VIDEO_FORMAT_UYVY:
            libyuv::UYVYToI422(f.data[0], f.linesize[0], y, ys, u, cs, v, cs, w, h);
            break;
        // YVYU is YUY2 with the chroma bytes swapped.
        case VIDEO_FORMAT_YVYU:
            libyuv::YUY2ToI422(f.data[0], f.linesize[0], y, ys, v, cs, u, cs, w, h);
            break;
        default:  // I444
            libyuv::I444ToI420(f.data[0], f.linesize[0], f.data[1], f.linesize[1], f.data[2],
                               f.linesize[2], y, ys, u, cs, v, cs, w, h);
            break;
    }
    in_ = *in;
    return true;
}

void FrameAdapter::finish(obs_source_frame* f) {
    if (route_ != Route::kConvert) return;
    const int w = static_cast<int>(f->width), h = static_cast<int>(f->height);
    const uint8_t *y = in_.planes[0], *u = in_.planes[1], *v = in_.planes[2];
    const int ys = in_.strides[0], cs = in_.strides[1];
    switch (f->format) {
        case VIDEO_FORMAT_YUY2:
            libyuv::I422ToYUY2(y, ys, u, cs, v, cs, f->data[0], f->linesize[0], w, h);
            break;
        case VIDEO_FORMAT_UYVY:
            libyuv::I422ToUYVY(y, ys, u, cs, v, cs, f->data[0], f->linesize[0], w, h);
            break;
        case VIDEO_FORMAT_YVYU:
            libyuv::I422ToYUY2(y, ys, v, cs, u, cs, f->data[0], f->linesize[0], w, h);
            break;
        default:  // I444
            libyuv::I420ToI444(y, ys, u, cs, v, cs, f->data[0], f->linesize[0], f->data[1],
                               f->linesize[1], f->data[2], f->linesize[2], w, h);
            break;
    }
}

int FrameAdapter::process(integration::Engine& engine, obs_source_frame* frame,
                          std::optional<int64_t> timeUs) {
    kelvo_frame in;
    if (!prepare(*frame, &in)) return KELVO_ERR_INVALID_ARGUMENT;
    if (timeUs) integration::setFrameTime(&in, *timeUs);
    const int r = engine.process(in);
    if (r == KELVO_OK) finish(frame);
    return r;
}

}  // namespace obs
}  // namespace kelvo
