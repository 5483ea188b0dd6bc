// Skin smoothing with lightening, redness and sharpening: four half-size blur
// passes and one full-size mix pass.
#pragma once

#include <memory>

#include "render/gl/gl_effect_base.h"
#include "effects/beauty/beauty_model.h"

namespace kelvo {
namespace video {

class FBOBase;
class GLTexture;
class GPUBeautySoften1Program;
class GPUBeautySoften2Program;
class GPUBeautyEdgeSoftenProgram;
class GPUBeautyMixAllProgram;
class GPUBeautySelectiveMixProgram;

// Type 201, kind GPU filter, created disabled. Construction runs init(), so
// the GL context must be current; so must it for init, release, Draw and
// destruction. Not thread-safe: used under the engine's lock only.
//
// Draw (W x H = output framebuffer size):
//   pass 1  input      -> A (W/2 x H/2)  vertical 9-tap box blur
//   pass 2  input, A   -> B              horizontal blur: mean rgb, departure in alpha
//   pass 3  B          -> A              horizontal blur of the departure
//   pass 4  A          -> B              vertical blur of the departure
//   pass 5  input, B, tables -> output   smoothing, sharpening, ruddy then whitening
// A and B come from FramebufferCache, are kept while the half size holds and
// go back to the cache on a size change and on destruction.
//
// Parameters are stored unchanged (the parameter document range-checks them)
// and take effect at the next Draw.
class EffectGPUBeauty : public GLEffectBase, public BeautyControls {
public:
    EffectGPUBeauty();
    ~EffectGPUBeauty() override;

    // Recreates the four programs, then loads the whitening (101) and ruddy
    // (102) tables unless already present. A table that fails to load stays
    // empty; Draw then runs without table gradings.
    void init() override;
    // Deletes the programs; the tables and the half-size framebuffers stay,
    // so a following init() decodes nothing. Idempotent.
    void release() override;
    // kDrawNoOutput (-6) without output framebuffer or frame, kDrawDisabled
    // (-4) when disabled, kDrawNoInputTexture (-3) without input texture
    // (checked after the half-size framebuffers are secured), kDrawFailed
    // (-1) after release() without init(), else kDrawDone (0).
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // Smoothness, sharpness, lightness and redness 0..1; contrast 0..2, with
    // no visible effect; light strength above kBeautyLightCut takes the broad
    // skin test; noise level 0..2, from 1 on ungating the smoothing. Defaults
    // are kBeautyDefaults (beauty_model.h).
    void setSmoothness(float value) override { smoothness_ = value; }
    void setSharpness(float value) override { sharpness_ = value; }
    void setLightness(float value) override { lightness_ = value; }
    void setRedness(float value) override { redness_ = value; }
    void setContrast(int value) override { contrast_ = value; }
    void setLightStrength(float value) override { lightStrength_ = value; }
    void setNoiseLevel(int value) override { noiseLevel_ = value; }
    // kBeautyLevelSelective draws with the selective mix, built on first use.
    void setLevel(int value) override { level_ = value; }

    float smoothness() const { return smoothness_; }
    float sharpness() const { return sharpness_; }
    float lightness() const { return lightness_; }
    float redness() const { return redness_; }
    int contrast() const { return contrast_; }
    float lightStrength() const { return lightStrength_; }
    int noiseLevel() const { return noiseLevel_; }
    int level() const { return level_; }

    // Replaces both tables (64-level cube images, see effects/lut_loader.h).
    // The gradings run only while both are present.
    void setTables(std::shared_ptr<GLTexture> whiten, std::shared_ptr<GLTexture> ruddy);

    // Views for diagnostics and tests; empty/null when not created.
    const std::shared_ptr<FBOBase>& halfFramebufferA() const { return fboA_; }
    const std::shared_ptr<FBOBase>& halfFramebufferB() const { return fboB_; }
    const std::shared_ptr<GLTexture>& whitenTable() const { return whitenTable_; }
    const std::shared_ptr<GLTexture>& ruddyTable() const { return ruddyTable_; }
    GPUBeautyMixAllProgram* mixAllProgram() const { return mixProgram_.get(); }

private:
    void releaseHalfFramebuffers();
    void loadTables();

    std::shared_ptr<FBOBase> fboA_;
    std::shared_ptr<FBOBase> fboB_;
    std::shared_ptr<GLTexture> whitenTable_;
    std::shared_ptr<GLTexture> ruddyTable_;
    std::unique_ptr<GPUBeautySoften1Program> soften1Program_;
    std::unique_ptr<GPUBeautySoften2Program> soften2Program_;
    std::unique_ptr<GPUBeautyEdgeSoftenProgram> edgeSoftenProgram_;
    std::unique_ptr<GPUBeautyMixAllProgram> mixProgram_;
    std::unique_ptr<GPUBeautySelectiveMixProgram> selectiveMixProgram_;
    int contrast_ = kBeautyDefaults.contrast;
    float smoothness_ = kBeautyDefaults.smoothness;
    float sharpness_ = kBeautyDefaults.sharpness;
    float lightness_ = kBeautyDefaults.lightness;
    float lightStrength_ = kBeautyDefaults.lightStrength;
    float redness_ = kBeautyDefaults.redness;
    int noiseLevel_ = kBeautyDefaults.noiseLevel;
    int level_ = kBeautyDefaults.level;
};

}  // namespace video
}  // namespace kelvo
