// First GPU stage of a buffer chain: I420 planes in, RGB framebuffer out.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/gl/gl_effect_base.h"
#include "render/yuv_round_trip.h"

namespace kelvo {
namespace video {

class YUVConvertProgram;

// Type 103, kind input convertor. Ignores the input texture: uploads the
// frame's planes and converts them with the colour matrix and range the
// frame carries. Construction creates the program, so the GL context must be
// current; not thread-safe.
//
// When an output convertor ends its run, it also reads its picture back and
// keeps what the output conversion makes of it (render/yuv_round_trip.h), so
// that the pair gives back the frame's own planes where no effect changed
// anything.
class EffectYUVInputConvertor : public GLEffectBase {
public:
    EffectYUVInputConvertor();
    ~EffectYUVInputConvertor() override;

    // Replaces the program (new textures, nothing uploaded yet).
    void init() override;
    // Destroys the program (idempotent); Draw then returns −1 until init().
    void release() override;
    // −6 without output framebuffer or frame, −4 when disabled, −1 when the
    // frame cannot be uploaded (no planes, planes too small for its size, or
    // no program), else 0 with the RGB picture in outputFBO and, when an
    // output convertor follows, its unchanged planes in roundTrip().
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // Empty after release().
    YUVConvertProgram* convertProgram() const { return program.get(); }

    // Read and forgotten by the output convertor of the pair.
    YUVRoundTrip& roundTrip() { return roundTrip_; }

    std::unique_ptr<YUVConvertProgram> program;

private:
    void keepUnchangedPlanes(const I420VideoFrame& frame);

    YUVRoundTrip roundTrip_;
    std::vector<uint8_t> readback_;
};

}  // namespace video
}  // namespace kelvo
