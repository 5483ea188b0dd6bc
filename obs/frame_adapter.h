// How an OBS async frame reaches the engine (kelvo_process) and goes back:
// in place, whatever its strides and plane offsets, for the formats the
// engine takes (I420, NV12, I422, BGRA, BGRX, RGBA), else through one reused
// buffer converted with libyuv (YUY2, UYVY and YVYU through I422, I444
// through I420). Needs libobs's types and video_format_get_parameters only,
// not a running libobs.
#pragma once

#include <obs.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "engine_client.h"
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
    kConvert,  // another format, converted with libyuv both ways
};
Route frameRoute(const obs_source_frame& frame);

// Not thread-safe: one adapter per processing thread. Keeps its buffer
// between frames, so a steady stream allocates nothing.
class FrameAdapter {
public:
    // Points `in` at the frame's planes or fills the buffer from them. False
    // (nothing done) for an unsupported frame.
    bool prepare(const obs_source_frame& frame, kelvo_frame* in);
    // Writes the buffer back into the frame after prepare() unless the frame
    // was processed in place.
    void finish(obs_source_frame* frame);

    // prepare, kelvo_process with the stream time `timeUs` when given,
    // finish (only when processing succeeded). The engine's result, or
    // KELVO_ERR_INVALID_ARGUMENT for an unsupported frame.
    int process(integration::Engine& engine, obs_source_frame* frame,
                std::optional<int64_t> timeUs = std::nullopt);

private:
    std::vector<uint8_t> buffer_;
    Route route_ = Route::kUnsupported;
    kelvo_frame in_{};  // the converted planes, for finish()
};

}  // namespace obs
}  // namespace kelvo
