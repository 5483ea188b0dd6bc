// Last stage of a texture chain: copies the chain's last texture into the
// framebuffer the engine hands it.
#pragma once

#include <memory>

#include "render/gl/gl_effect_base.h"

namespace kelvo {
namespace video {

class BaseRenderProgram;

// Type 900, kind output convertor. Copies regardless of `enabled`.
// Construction needs the GL context current; not thread-safe.
class EffectTextureOutput : public GLEffectBase {
public:
    EffectTextureOutput();
    ~EffectTextureOutput() override;

    // Replaces the copy program.
    void init() override;
    // Destroys it (idempotent); Draw then returns −1 until init().
    void release() override;
    // −6 without output framebuffer or frame, −3 without input texture, else
    // 0 with the input copied into outputFBO.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    std::unique_ptr<BaseRenderProgram> program;
};

}  // namespace video
}  // namespace kelvo
