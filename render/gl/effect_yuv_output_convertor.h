// Last stage of a buffer chain: reads the chain's last framebuffer back and
// writes the frame's I420 planes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/gl/gl_effect_base.h"

namespace kelvo {
namespace video {

class BaseRenderProgram;

// Type 901, kind output convertor. Draw renders nothing: it reads outputFBO
// (the framebuffer the previous effect drew into) and converts it with
// ABGRToI420ColorSpace using the frame's colour range and matrix. Pixel
// (x, y) of the framebuffer becomes sample (x, y); no scaling. When the
// input convertor of its run kept its unchanged planes for this frame, the
// frame's planes take only the change (render/yuv_round_trip.h). Construction
// needs the GL context current; not thread-safe.
class EffectYUVOutputConvertor : public GLEffectBase {
public:
    EffectYUVOutputConvertor();
    ~EffectYUVOutputConvertor() override;

    // New program; drops the readback buffer and resets the colour codes.
    void init() override;
    // Destroys the program (idempotent). Draw does not need it.
    void release() override;
    // −6 without output framebuffer or frame, −3 without input texture, −4
    // when disabled. A frame without luma storage first gets I420 planes of
    // its own size. −1 when the converter rejects its arguments or when the
    // frame's planes cannot hold the framebuffer's picture (nothing written).
    // 0: planes filled, storageKind 0, format 1.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    size_t readbackCapacity() const { return readbackCapacity_; }

    std::unique_ptr<BaseRenderProgram> program;
    int colorRange = 1;
    int colorMatrix = 4;

private:
    std::unique_ptr<uint8_t[]> readback_;
    size_t readbackCapacity_ = 0;
};

}  // namespace video
}  // namespace kelvo
