// The GL side of the effect contract: effects that read a texture and draw
// into a framebuffer.
#pragma once

#include <epoxy/gl.h>

#include <memory>

#include "render/effect_base.h"

namespace kelvo {
namespace video {

class TextureBase;
class FBOBase;

// What a frame source says about itself, for textureFromFrame.
struct FrameDescriptor {
    int kind = 0;  // 1: the frame carries a texture
    GLuint textureId = 0;
    int textureType = 0;
    int width = 0;
    int height = 0;
};

// A frame produced outside the library that can describe itself.
class IFrameSource {
public:
    virtual ~IFrameSource() = default;
    // Fills `out`; fields not known are left as they are.
    virtual void describe(FrameDescriptor& out) const = 0;
};

// An effect that reads one texture and draws into one framebuffer, both set
// by the engine before every Draw.
class GPUEffectBase : public EffectBase {
public:
    using EffectBase::EffectBase;

    // Shares the references (the caller keeps its own).
    void setInputTexture(std::shared_ptr<TextureBase> texture);
    void setOutputFBO(std::shared_ptr<FBOBase> framebuffer);

    // The output framebuffer's colour texture; empty when there is no output
    // framebuffer or it never completed InitFBO.
    virtual std::shared_ptr<TextureBase> outputTexture();
    // A shared copy of outputFBO (may be empty).
    virtual std::shared_ptr<FBOBase> outputFramebuffer();
    // A new wrapping texture for a source whose descriptor has kind 1;
    // otherwise, or for an empty source, empty.
    virtual std::shared_ptr<TextureBase> textureFromFrame(
        const std::shared_ptr<IFrameSource>& source) = 0;

    std::shared_ptr<FBOBase> outputFBO;
    std::shared_ptr<TextureBase> inputTexture;
};

// Base of the OpenGL effects.
class GLEffectBase : public GPUEffectBase {
public:
    using GPUEffectBase::GPUEffectBase;

    std::shared_ptr<TextureBase> textureFromFrame(
        const std::shared_ptr<IFrameSource>& source) override;
};

}  // namespace video
}  // namespace kelvo
