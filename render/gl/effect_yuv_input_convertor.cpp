#include "render/gl/effect_yuv_input_convertor.h"

#include <new>

#include "convert/color_space_convert.h"
#include "frame/i420_video_frame.h"
#include "gpu/gl_fbo.h"
#include "render/gl/yuv_convert_program.h"

namespace kelvo {
namespace video {

EffectYUVInputConvertor::EffectYUVInputConvertor()
    : GLEffectBase(kEffectTypeYUVInputConvertor, kEffectKindInputConvertor),
      program(std::make_unique<YUVConvertProgram>()) {}

EffectYUVInputConvertor::~EffectYUVInputConvertor() = default;

void EffectYUVInputConvertor::init() { program = std::make_unique<YUVConvertProgram>(); }

void EffectYUVInputConvertor::release() { program.reset(); }

int EffectYUVInputConvertor::Draw(std::shared_ptr<I420VideoFrame> frame) {
    roundTrip_.forget();
    if (!outputFBO || !frame) {
        return kDrawNoOutput;
    }
    if (!enabled) {
        return kDrawDisabled;
    }
    if (!program || !program->UpdateTextures(frame)) {
        return kDrawFailed;
    }
    outputFBO->bindFrameBuffer();
    program->draw();
    outputFBO->unbindFrameBuffer();
    keepUnchangedPlanes(*frame);
    return kDrawDone;
}

// The same readback and conversion as EffectYUVOutputConvertor::Draw, so
// that an unchanged picture gives the same bytes there.
void EffectYUVInputConvertor::keepUnchangedPlanes(const I420VideoFrame& frame) {
    const int w = outputFBO->width;
    const int h = outputFBO->height;
    if (!hasPairedOutputConvertor(*this) || outputFBO->framebufferId == 0 || w != frame.width() ||
        h != frame.height() || !roundTrip_.reserve(w, h)) {
        return;
    }
    // Out of memory throws and fails the frame: without the round trip the
    // pair would give another picture and call it a success.
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    if (readback_.size() < bytes) readback_.resize(bytes);
    int readWidth = w;
    int readHeight = h;
    outputFBO->ReadFrame(readback_.data(), readWidth, readHeight);
    const PlaneSet planes = roundTrip_.unchanged();
    if (ABGRToI420ColorSpace(readback_.data(), 4 * w, planes.data[0], planes.stride[0],
                             planes.data[1], planes.stride[1], planes.data[2], planes.stride[2], w,
                             h, frame.colorRange, frame.colorMatrix) == 0) {
        roundTrip_.keep(frame);
    }
}

}  // namespace video
}  // namespace kelvo
