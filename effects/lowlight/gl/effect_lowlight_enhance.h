// Low-light enhancement: a log-curve luma lift driven by the frame's log
// average, with colour-difference lift and fixed-strength sharpening.
#pragma once

#include <memory>

#include "render/gl/gl_effect_base.h"
#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {

class GPULowlightEnhanceProgram;

// Type 203, kind GPU filter, created disabled. One full-resolution pass:
// luma y below the knee becomes knee * ln(1 + y / k) / ln(1 + knee / k) with
// k = logMean / scale (lowlight_model.h), where logMean is the log-average
// luma of the frame
// statistics (metadata kind 1, MetaDataFrameStats::logAverage); colour
// differences rise by half the luma gain plus one half; a green high-pass
// of the unbrightened input sharpens the result.
//
// Mode 1 (manual) draws every frame; mode 0 (automatic) only while the
// engine's dark-scene flag is set. The last log mean seen persists, so a
// frame without statistics reuses the previous frame's value. Adaptive
// scales the lift and the sharpening by how under-exposed the frames are
// (LowlightStrength), in either mode.
//
// Construction runs init(), so the GL context must be current; so must it
// for init, release, Draw and destruction. GL thread only, under the
// engine's lock; the setters are plain stores read at the next Draw.
class EffectLowlightEnhance : public GLEffectBase, public LowlightControls {
public:
    EffectLowlightEnhance();
    ~EffectLowlightEnhance() override;

    // Creates a new program (deleting the held one) and resets the last log
    // mean to "none seen", mode, level and adaptive to 0 and the dark-scene
    // flag to false.
    void init() override;
    // Deletes the program only. Idempotent.
    void release() override;
    // kDrawNoOutput (-6) without output framebuffer or input texture;
    // kDrawDisabled (-4) when disabled; kDrawUnchanged (1, nothing drawn) in
    // automatic mode on a frame not judged dark; -6 when no frame so far
    // carried statistics; 1 when the log mean is below kLowlightMinLogMean
    // (an almost black scene); kDrawFailed (-1) after release() without
    // init(); else kDrawDone (0). An empty frame counts as one without
    // statistics.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // Stored unchanged (the parameter document range-checks them). Mode 0
    // automatic, 1 manual; the level is kept for the engine and Draw ignores
    // it; the dark-scene flag is the engine's per-frame verdict.
    void setMode(int value) override { mode_ = value; }
    void setLevel(int value) override { level_ = value; }
    void setDarkScene(bool value) override { darkScene_ = value; }
    void setAdaptive(int value) override { strength_.setAdaptive(value != 0); }

    int mode() const { return mode_; }
    int level() const { return level_; }
    bool darkScene() const { return darkScene_; }
    bool adaptive() const { return strength_.adaptive(); }
    // The pass's shape the last frame set: the specified one unless adaptive.
    LowlightShape shape() const { return strength_.shape(); }
    // Log average of the latest frame with statistics; -1 before the first.
    float lastLogMean() const { return lastLogMean_; }
    GPULowlightEnhanceProgram* lowlightProgram() const { return program_.get(); }

private:
    std::unique_ptr<GPULowlightEnhanceProgram> program_;
    float lastLogMean_ = kLowlightNoLogMean;
    int mode_ = 0;
    int level_ = 0;
    bool darkScene_ = false;
    LowlightStrength strength_;
};

}  // namespace video
}  // namespace kelvo
