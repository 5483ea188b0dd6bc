// The single pass of low-light enhancement.
#pragma once

#include <memory>

#include "effects/gl/uv_quad_program.h"
#include "gpu/gl_program.h"
#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {

// Vertex stage: attPosition (vec3, fed two components) and attUV, passing
// vTextureCoord and the eight neighbours textureShift_1..8 (one
// (widthOffset, heightOffset) step away). Fragment stage: luma below the
// knee is lifted along a log curve steered by logMean, the colour
// differences by (gain + 1) / 2, then a green-channel high-pass of the input
// is added at the fixed strength of its band. The constants come from
// lowlight_model.h (withLowlightConstants) when the program is built.
//
// Needs the GL context current; not thread-safe.
class GPULowlightEnhanceProgram : public UVQuadProgram {
public:
    GPULowlightEnhanceProgram();

    // Binds srcImageTex (unit 0); an empty texture binds nothing.
    void setSrcTexture(const std::shared_ptr<TextureBase>& texture);
    // widthOffset, heightOffset: one texel of the input.
    void setOffset(float width, float height);
    // logMean; a value <= 0 is ignored (the curve divides by it).
    void setLogMean(float value);
    // strength, sharpen, quiet (lowlight_model.h).
    void setShape(const LowlightShape& shape);
};

extern const char* const kLowlightEnhanceVertexShader;
extern const char* const kLowlightEnhanceFragmentShader;

}  // namespace video
}  // namespace kelvo
