#include "render/gl/effect_yuv_output_convertor.h"

#include "convert/color_space_convert.h"
#include "frame/i420_video_frame.h"
#include "gpu/default_programs.h"
#include "gpu/gl_fbo.h"
#include "render/gl/effect_yuv_input_convertor.h"

namespace kelvo {
namespace video {

EffectYUVOutputConvertor::EffectYUVOutputConvertor()
    : GLEffectBase(kEffectTypeYUVOutputConvertor, kEffectKindOutputConvertor),
      program(std::make_unique<BaseRenderProgram>()) {}

EffectYUVOutputConvertor::~EffectYUVOutputConvertor() = default;

void EffectYUVOutputConvertor::init() {
    program = std::make_unique<BaseRenderProgram>();
    readback_.reset();
    readbackCapacity_ = 0;
    colorRange = 1;
    colorMatrix = 4;
}

void EffectYUVOutputConvertor::release() { program.reset(); }

int EffectYUVOutputConvertor::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!outputFBO || !frame) {
        return kDrawNoOutput;
    }
    if (!inputTexture) {
        return kDrawNoInputTexture;
    }
    if (!enabled) {
        return kDrawDisabled;
    }
    if (!frame->buffer(0)) {
        const int width = frame->width();
        frame->allocateI420(width, frame->height(), width, (width + 1) / 2, (width + 1) / 2);
    }
    colorRange = frame->colorRange;
    colorMatrix = frame->colorMatrix;

    const int w = outputFBO->width;
    const int h = outputFBO->height;
    if (w > 0 && h > 0) {
        // The framebuffer is converted whole; a frame too small for it would
        // be written past its planes.
        const int chromaWidth = (w + 1) / 2;
        const int chromaHeight = (h + 1) / 2;
        if (!frame->planeHolds(0, w, h) || !frame->planeHolds(1, chromaWidth, chromaHeight) ||
            !frame->planeHolds(2, chromaWidth, chromaHeight)) {
            return kDrawFailed;
        }
        const size_t needed = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
        if (!readback_ || readbackCapacity_ < needed) {
            readback_.reset(new uint8_t[needed]);
            readbackCapacity_ = needed;
        }
        int readWidth = w;
        int readHeight = h;
        // ReadFrame binds the framebuffer itself and unbinds it after.
        outputFBO->ReadFrame(readback_.get(), readWidth, readHeight);
    }

    // Where the input convertor of this run kept its unchanged planes, the
    // frame keeps its own samples and takes only what the effects changed.
    auto* pair = dynamic_cast<EffectYUVInputConvertor*>(pairedInputConvertor(*this));
    YUVRoundTrip* trip =
        pair && w == frame->width() && h == frame->height() && pair->roundTrip().holds(*frame)
            ? &pair->roundTrip()
            : nullptr;
    PlaneSet target = {{frame->buffer(0), frame->buffer(1), frame->buffer(2)},
                       {frame->stride(0), frame->stride(1), frame->stride(2)}};
    if (trip) target = trip->changed();
    const int result = ABGRToI420ColorSpace(
        readback_.get(), 4 * w, target.data[0], target.stride[0], target.data[1], target.stride[1],
        target.data[2], target.stride[2], w, h, colorRange, colorMatrix);
    if (trip && result == 0) trip->applyTo(*frame);
    if (pair) pair->roundTrip().forget();
    if (result == 0) {
        frame->storageKind = 0;
        frame->format = 1;
    }
    return result;
}

}  // namespace video
}  // namespace kelvo
