// Colour enhancement: chroma boost in CIE L*a*b* with skin protection.
#pragma once

#include <memory>

#include "render/gl/gl_effect_base.h"
#include "effects/color_enhance/color_enhance_model.h"

namespace kelvo {
namespace video {

class GLTexture;
class GPUColorEnhanceProgram;

// Type 202, kind GPU filter, created disabled. One full-resolution pass:
// each pixel goes to Lab (BT.709 primaries, D65), its chroma rises along a
// curve that favours weak and moderate colours (by up to 25 x strength
// units, nothing at chroma 0 and at 90 or more), held back on skin by the
// skin-likelihood table (resource 103) times skin protect, with a* and b*
// kept within +-127; lightness and hue stay. Without a skin table no pixel
// counts as skin.
//
// Construction runs init(), so the GL context must be current; so must it
// for init, release, Draw and destruction. GL thread only, under the
// engine's lock; the setters are plain stores read at the next Draw.
class EffectColorEnhance : public GLEffectBase, public ColorEnhanceControls {
public:
    EffectColorEnhance();
    ~EffectColorEnhance() override;

    // Creates a new program (deleting the held one) and loads the skin table
    // unless it is already present. A table that fails to load leaves the
    // slot empty; Draw still works, without skin protection.
    void init() override;
    // Deletes the program only; the skin table stays. Idempotent.
    void release() override;
    // kDrawNoOutput (-6) without output framebuffer, kDrawNoInputTexture (-3)
    // without input texture, kDrawDisabled (-4) when disabled, kDrawFailed
    // (-1) after release() without init(), else kDrawDone (0). The frame is
    // not used and may be empty.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // Stored unchanged (the parameter document range-checks them).
    // 0..1 each; defaults in color_enhance_model.h.
    void setStrength(float value) override { strength_ = value; }
    void setSkinProtect(float value) override { skinProtect_ = value; }
    // Replaces the skin-likelihood table (red channel, 64-level cube layout
    // of the lookup tables); empty switches skin protection off.
    void setSkinTable(std::shared_ptr<GLTexture> table);

    float strength() const { return strength_; }
    float skinProtect() const { return skinProtect_; }
    // colorEnhanceLowChromaGain().
    float lowChromaGain() const { return lowChromaGain_; }
    const std::shared_ptr<GLTexture>& skinTable() const { return skinTable_; }
    GPUColorEnhanceProgram* colorProgram() const { return program_.get(); }

private:
    std::shared_ptr<GLTexture> skinTable_;
    std::unique_ptr<GPUColorEnhanceProgram> program_;
    float strength_ = kColorEnhanceDefaultStrength;
    float skinProtect_ = kColorEnhanceDefaultSkinProtect;
    // The chroma curve (color_enhance_model.h).
    float threshold_ = static_cast<float>(kColorEnhanceThreshold);
    float gamma_ = static_cast<float>(kColorEnhanceGamma);
    float lowChromaGain_;
    float chromaRange_ = kColorEnhanceChromaRange;
};

}  // namespace video
}  // namespace kelvo
