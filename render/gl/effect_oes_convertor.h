// Copy from an external (OES) image texture into the chain.
#pragma once

#include <memory>

#include "render/gl/gl_effect_base.h"

namespace kelvo {
namespace video {

class OESProgram;

// Type 102, kind input convertor. Accepts only kTextureExternalOES input.
// Its program cannot be built on desktop GL (name 0, logs printed), so this
// effect is not placed in chains here. Construction needs the GL context.
class EffectOESConvertor : public GLEffectBase {
public:
    EffectOESConvertor();
    ~EffectOESConvertor() override;

    // Replaces the program with a new one.
    void init() override;
    // Deletes the program (idempotent).
    void release() override;
    // -6 without output framebuffer or frame, -5 without an external-image
    // input texture, else 0 after the copy. Does not test `enabled`.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    std::unique_ptr<OESProgram> program;
};

}  // namespace video
}  // namespace kelvo
