// How an OBS async frame reaches IVideoProcessEngine::processFrame and goes
// back: in place when its planes already lie as processFrame expects, else
// through one reused buffer, repacked (I420, NV12, I422, BGRA, BGRX) or
// converted with libyuv (YUY2, UYVY and YVYU through I422, I444 through
// I420, RGBA through the library's ARGB). Needs libobs's types and
// video_format_get_parameters only, not a running libobs.
#pragma once

#include <obs.h>

#include <cstdint>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace obs {

// Colour codes (kColorMatrix..., kColorRange...) of a frame. For YUV they
// are read from the frame's colour matrix, which sources fill from
// video_format_get_parameters: BT.601, BT.709 and BT.2100, full or partial.
// An unknown matrix leaves the matrix unspecified and takes the range from
// color_range_min alone. Packed RGB has no codes (−1, −1). OBS's full_range
// flag is not read: its own V4L2 source never sets it.
struct ColorCodes {
    int matrix;
    int range;
};
ColorCodes frameColorCodes(const obs_source_frame& frame);

enum class Route {
    kUnsupported,  // passes through untouched (10-bit, alpha planes, Y800, ...)
    kInPlace,
    kRepack,   // same format, other strides or plane offsets
    kConvert,  // another format, converted with libyuv both ways
};
Route frameRoute(const obs_source_frame& frame);

// Not thread-safe: one adapter per processing thread. Keeps its buffer
// between frames, so a steady stream allocates nothing.
class FrameAdapter {
public:
    // What processFrame takes for the frame.
    struct Input {
        int format;  // kPixelFormat...
        int width, height;
        uint8_t* data;
        int size;
        int matrix, range;
    };

    // Points `in` at the frame itself or fills the buffer from it. False
    // (nothing done) for an unsupported frame.
    bool prepare(const obs_source_frame& frame, Input* in);
    // Writes the buffer back into the frame after prepare() unless the frame
    // was processed in place.
    void finish(obs_source_frame* frame);

    // prepare, processFrame, finish (only when processFrame succeeded). The
    // result of processFrame, or kResultInvalidArgument for an unsupported
    // frame.
    int process(video::IVideoProcessEngine& engine, obs_source_frame* frame);

private:
    std::vector<uint8_t> buffer_;
    Route route_ = Route::kUnsupported;
};

}  // namespace obs
}  // namespace kelvo
