// Colour enhancement: chroma boost in CIE L*a*b* with skin protection.
#pragma once

#include <memory>

#include "render/effect_base.h"

namespace kelvo {
namespace video {

class GLTexture;
class GPUColorEnhanceProgram;

enum {
    kEffectTypeColorEnhance = 202,
};

// Type 202, kind GPU filter, created disabled. One full-resolution pass:
// each pixel goes to Lab (BT.709 primaries, D65), its chroma rises along a
// curve that favours weak and moderate colours (by up to 25 x strength
// units), held back on skin by the skin-likelihood table (resource 103)
// scaled by skin protect, with a* and b* kept within +-127; lightness and
// hue stay. Without the skin table no pixel counts as skin.
//
// Construction and init() need the GL context current. GL thread only; the
// setters are plain stores read at the next Draw.
class EffectColorEnhance : public GLEffectBase {
public:
    EffectColorEnhance();
    ~EffectColorEnhance() override;

    // Creates a new program (deleting the held one) and loads the skin table
    // unless it is already loaded. A table that fails to load leaves the
    // slot empty; drawing still works.
    void init() override;
    // Deletes the program only; the skin table stays. Idempotent.
    void release() override;
    // -6 without output framebuffer, -3 without input texture, -4 when
    // disabled, -1 after release() (no program), else 0. The frame is not
    // used and may be empty.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // Enhancement strength, nominally 0 to 1 (default 0.5); not range-checked
    // here (the parameter document does that).
    void setStrength(float value) { strength = value; }
    // Share of the boost withheld on skin, nominally 0 to 1 (default 1.0).
    void setSkinProtect(float value) { skinProtect = value; }

    std::shared_ptr<GLTexture> skinTable;  // resource 103; empty when not loaded
    std::unique_ptr<GPUColorEnhanceProgram> program;
    float strength = 0.5f;
    float skinProtect = 1.0f;
    const float threshold = 0.15f;   // chroma share where the curve changes branch
    const float gamma = 2.5f;
    const float lowChromaGain;       // 0.1275 / 0.15^2.5: both branches meet at threshold
    const float chromaRange = 90.0f; // chroma at and above which nothing is added
};

}  // namespace video
}  // namespace kelvo
