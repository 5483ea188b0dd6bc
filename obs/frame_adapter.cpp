#include "frame_adapter.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <cmath>
#include <limits>

#include "enhance_settings.h"

namespace kelvo {
namespace obs {

using namespace kelvo::video;
using integration::PlaneLayout;

namespace {

// The library's format for the frame's data, directly or after conversion.
int libraryFormat(video_format f) {
    switch (f) {
        case VIDEO_FORMAT_I420:
            return kPixelFormatI420;
        case VIDEO_FORMAT_NV12:
            return kPixelFormatNV12;
        case VIDEO_FORMAT_I422:
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
        case VIDEO_FORMAT_YVYU:
            return kPixelFormatI422;  // keeps all the chroma rows
        case VIDEO_FORMAT_I444:
            return kPixelFormatI420;  // the engine works in 4:2:0 anyway
        // OBS names packed formats by bytes in memory, the library by the
        // channels of a little-endian word: OBS BGRA is the library's ARGB.
        case VIDEO_FORMAT_BGRA:
        case VIDEO_FORMAT_BGRX:
        case VIDEO_FORMAT_RGBA:
            return kPixelFormatARGB;
        default:
            return 0;
    }
}

bool needsConversion(video_format f) {
    return f == VIDEO_FORMAT_YUY2 || f == VIDEO_FORMAT_UYVY || f == VIDEO_FORMAT_YVYU ||
           f == VIDEO_FORMAT_I444 || f == VIDEO_FORMAT_RGBA;
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
        case VIDEO_FORMAT_RGBA:
            rowBytes[0] = 4 * w;
            rows[0] = h;
            return 1;
        default:
            break;
    }
    PlaneLayout l[3];
    size_t size = 0;
    const int n = integration::planeLayout(libraryFormat(f.format), static_cast<int>(w),
                                           static_cast<int>(h), l, &size);
    for (int i = 0; i < n; ++i)
        rowBytes[i] = static_cast<uint32_t>(l[i].stride), rows[i] = l[i].rows;
    return n;
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
        if (!f.data[i] || f.linesize[i] < rowBytes[i]) return Route::kUnsupported;
    if (needsConversion(f.format)) return Route::kConvert;
    PlaneLayout l[3];
    size_t size = 0;
    integration::planeLayout(format, static_cast<int>(f.width), static_cast<int>(f.height), l,
                             &size);
    for (int i = 0; i < n; ++i)
        if (f.data[i] != f.data[0] + l[i].offset ||
            f.linesize[i] != static_cast<uint32_t>(l[i].stride))
            return Route::kRepack;
    return Route::kInPlace;
}

bool FrameAdapter::prepare(const obs_source_frame& f, Input* in) {
    route_ = frameRoute(f);
    if (route_ == Route::kUnsupported) return false;
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    const ColorCodes codes = frameColorCodes(f);
    PlaneLayout l[3];
    size_t size = 0;
    const int n = integration::planeLayout(libraryFormat(f.format), w, h, l, &size);
    *in = {libraryFormat(f.format),
           w,
           h,
           f.data[0],
           static_cast<int>(size),
           codes.matrix,
           codes.range};
    if (route_ == Route::kInPlace) return true;

    if (buffer_.size() < size) buffer_.resize(size);
    uint8_t* b = buffer_.data();
    in->data = b;
    uint8_t *y = b + l[0].offset, *u = b + l[1].offset, *v = b + l[2].offset;
    const int ys = l[0].stride, cs = l[1].stride;
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
        case VIDEO_FORMAT_I444:
            libyuv::I444ToI420(f.data[0], f.linesize[0], f.data[1], f.linesize[1], f.data[2],
                               f.linesize[2], y, ys, u, cs, v, cs, w, h);
            break;
        // libyuv's ABGR is R, G, B, A in memory: OBS's RGBA.
        case VIDEO_FORMAT_RGBA:
            libyuv::ABGRToARGB(f.data[0], f.linesize[0], b, 4 * w, w, h);
            break;
        default:  // repack
            for (int i = 0; i < n; ++i)
                libyuv::CopyPlane(f.data[i], f.linesize[i], b + l[i].offset, l[i].stride,
                                  l[i].stride, l[i].rows);
            break;
    }
    return true;
}

void FrameAdapter::finish(obs_source_frame* f) {
    if (route_ == Route::kInPlace || route_ == Route::kUnsupported) return;
    const int w = static_cast<int>(f->width), h = static_cast<int>(f->height);
    PlaneLayout l[3];
    size_t size = 0;
    const int n = integration::planeLayout(libraryFormat(f->format), w, h, l, &size);
    const uint8_t* b = buffer_.data();
    const uint8_t *y = b + l[0].offset, *u = b + l[1].offset, *v = b + l[2].offset;
    const int ys = l[0].stride, cs = l[1].stride;
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
        case VIDEO_FORMAT_I444:
            libyuv::I420ToI444(y, ys, u, cs, v, cs, f->data[0], f->linesize[0], f->data[1],
                               f->linesize[1], f->data[2], f->linesize[2], w, h);
            break;
        case VIDEO_FORMAT_RGBA:
            libyuv::ARGBToABGR(b, 4 * w, f->data[0], f->linesize[0], w, h);
            break;
        default:
            for (int i = 0; i < n; ++i)
                libyuv::CopyPlane(b + l[i].offset, l[i].stride, f->data[i], f->linesize[i],
                                  l[i].stride, l[i].rows);
            break;
    }
}

int FrameAdapter::process(IVideoProcessEngine& engine, obs_source_frame* frame) {
    Input in;
    if (!prepare(*frame, &in)) return kResultInvalidArgument;
    const int r = engine.processFrame(in.format, in.width, in.height, in.data, in.size, -1, -1,
                                      in.matrix, in.range);
    if (r == kResultOk) finish(frame);
    return r;
}

}  // namespace obs
}  // namespace kelvo
