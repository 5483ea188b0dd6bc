// The four shader programs of the beauty effect. Three run at half the output
// size (two box blurs building the local mean colour and a departure map, and
// an alpha-only blur of that map); the fourth mixes at full size.
//
// All take "attPosition" (vec3, fed two components) and "attUV" from the
// quad instead of the base class's attribute names. Constructors compile and
// link at once and need the GL context current; so do all setters, which make
// the program current and skip uniforms that are not active. Texture setters
// bind nothing for an empty texture. Float setters with a range drop values
// outside it silently, keeping the uniform's previous value. Not thread-safe.
//
// Each stage's source below is completed with the beauty model's constants
// (withBeautyConstants, effects/beauty/beauty_model.h) when a program is built.
#pragma once

#include <memory>

#include "effects/gl/uv_quad_program.h"
#include "gpu/gl_program.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

// Vertex stage of the three blur programs: textureCoord plus texBlurShift1..4,
// each (uv - k*step, uv + k*step) with step = 1.5 * (texBlurWidthOffset,
// texBlurHeightOffset).
extern const char* const kBeautyBlurVertexShader;
extern const char* const kBeautySoften1FragmentShader;
extern const char* const kBeautySoften2FragmentShader;
extern const char* const kBeautyEdgeSoftenFragmentShader;
// Vertex stage of the mix program: textureCoord plus the eight neighbours
// textureShift_1..8, one (widthOffset, heightOffset) texel away.
extern const char* const kBeautyMixVertexShader;
extern const char* const kBeautyMixFragmentShader;

// The three blur passes share their vertex stage and its offsets.
class GPUBeautyBlurProgram : public UVQuadProgram {
public:
    using UVQuadProgram::UVQuadProgram;
    // texBlurWidthOffset, texBlurHeightOffset (texture-coordinate units; one
    // of them 0 picks the axis).
    void setTexBlurOffset(float width, float height);
};

// Nine-tap box blur (weight kNineTapWeight) of the rgb of `srcImageTex`
// along one axis; alpha 1.
class GPUBeautySoften1Program : public GPUBeautyBlurProgram {
public:
    GPUBeautySoften1Program();
    void setSrcTexture(const std::shared_ptr<GLTexture>& src);
};

// rgb: nine-tap blur of `blurImageTex` (the local mean colour); alpha: the
// mean over channels of min(((src - mean) * kBeautyDepartureGain)^2, 1), 0
// on flat areas.
class GPUBeautySoften2Program : public GPUBeautyBlurProgram {
public:
    GPUBeautySoften2Program();
    // Binds srcImageTex, then blurImageTex.
    void setSoftenTextures(const std::shared_ptr<GLTexture>& src,
                           const std::shared_ptr<GLTexture>& blur);
};

// Nine-tap blur of the alpha of `varImageTex`; rgb passes through from the
// centre sample.
class GPUBeautyEdgeSoftenProgram : public GPUBeautyBlurProgram {
public:
    GPUBeautyEdgeSoftenProgram();
    void setVarTexture(const std::shared_ptr<GLTexture>& var);
};

// Final mix: edge-preserving smoothing towards the blurred mean (gated to
// skin unless noiseLevel >= 1 or lightStrength < kBeautyLightCut), green-channel
// sharpening, then, when enableLut > 0, the ruddy and the whitening table
// (64-level cubes in 512x512 images). Output alpha is 1.
class GPUBeautyMixAllProgram : public UVQuadProgram {
public:
    GPUBeautyMixAllProgram();

    // Binds srcImageTex, blurImageTex, whitenImageTex, ruddyImageTex in that
    // order (so, the first time, units 0..3 when all are present).
    void setMixTextures(const std::shared_ptr<GLTexture>& src,
                        const std::shared_ptr<GLTexture>& blur,
                        const std::shared_ptr<GLTexture>& whiten,
                        const std::shared_ptr<GLTexture>& ruddy);
    // widthOffset, heightOffset: one output texel.
    void setOffset(float width, float height);
    // Each only within kBeautyUnitRange (-0.001 < x < 1.001).
    void setBlurAlpha(float x);
    void setSharpen(float x);
    void setWhiteDegree(float x);
    void setRuddyDegree(float x);
    // Float uniform "contrast", only when -0.001 < x < 2.001. The mix stage
    // declares no such uniform, so this changes nothing.
    void setContrast(float x);
    void setLightStrength(float x);  // no range test
    void setNoiseLevel(int n);
    void setEnableLut(int n);
    // frequencyRangeValue = kBeautyBandValue, frequencyRangeBlur =
    // kBeautyBandBlur: the smoothing-weight bands.
    void setFrequencyRange();

protected:
    GPUBeautyMixAllProgram(const char* vertex, const char* fragment);
};

// The selective mix (kBeautyLevelSelective, beauty_model.h): the same
// textures, uniforms and sharpening, with a soft skin likelihood and a
// texture-keeping weight in place of the skin test and the bands; it reads
// no lightStrength, noiseLevel or frequency range.
class GPUBeautySelectiveMixProgram : public GPUBeautyMixAllProgram {
public:
    GPUBeautySelectiveMixProgram();
};

}  // namespace video
}  // namespace kelvo
