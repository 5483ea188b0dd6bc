// The single pass of colour enhancement.
#pragma once

#include <memory>

#include "gpu/gl_program.h"

namespace kelvo {
namespace video {

// Default vertex stage (aPosition, aTextureCoord -> vTextureCoord) and a
// fragment stage that goes RGB -> Lab (BT.709, D65), raises the chroma
// c = |(a*, b*)| by curve(c / maxRange) x colorStep x (1 - skin x
// suppressCoef), where curve(u) = a u^gamma up to uniformThreshold and
// (1 - u) u above it, limits a* and b* to +-127 and goes back to RGB.
// skin is the red channel of skinLutTex at the pixel's colour.
//
// Setters set uniforms (no range tests). Texture units follow the order of
// first binding: the effect binds srcImageTex (unit 0) before skinLutTex
// (unit 1). Needs the GL context current; not thread-safe.
class GPUColorEnhanceProgram : public GLProgram {
public:
    GPUColorEnhanceProgram();

    // colorStep = strength * 100.
    void setColorStep(float strength);
    // suppressCoef: share of the boost withheld where the skin table reads 1.
    void setSuppressCoef(float value);
    // uniformThreshold, gamma, a.
    void setCurve(float threshold, float gamma, float gain);
    // maxRange: chroma mapped to u = 1.
    void setMaxRange(float value);
    // Bind srcImageTex / skinLutTex; an empty texture binds nothing.
    void setSrcTexture(const std::shared_ptr<TextureBase>& texture);
    void setSkinLut(const std::shared_ptr<TextureBase>& table);
};

extern const char* const kColorEnhanceFragmentShader;

}  // namespace video
}  // namespace kelvo
