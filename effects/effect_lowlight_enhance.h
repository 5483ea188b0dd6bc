// Low-light enhancement: log-curve luma lift driven by the frame's log
// average, with colour-difference lift and fixed-strength sharpening.
#pragma once

#include <memory>

#include "render/effect_base.h"

namespace kelvo {
namespace video {

class GPULowlightEnhanceProgram;

enum {
    kEffectTypeLowlightEnhance = 203,
};

// Type 203, kind GPU filter, created disabled. One full-resolution pass:
// luma below 0.9 is lifted along ln(1 + y / (m / 1.8)), normalised so 0.9
// stays 0.9, where m is the log-average luma of the frame statistics
// (metadata kind 1, MetaDataFrameStats::logAverage); colour differences rise
// by half the luma gain; a green high-pass of the unbrightened input sharpens
// the result.
//
// Mode 1 (manual) draws every frame; mode 0 (automatic) draws only while the
// engine's dark-scene flag is set. The last log mean seen persists, so a
// frame without statistics reuses the previous one.
//
// Construction and init() need the GL context current. GL thread only; the
// setters are plain stores read at the next Draw.
class EffectLowlightEnhance : public GLEffectBase {
public:
    EffectLowlightEnhance();
    ~EffectLowlightEnhance() override;

    // Creates a new program (deleting the held one) and resets last log mean
    // to -1, mode and level to 0 and the dark-scene flag to false.
    void init() override;
    // Deletes the program only. Idempotent.
    void release() override;
    // -6 without output framebuffer or input texture, or when no log mean
    // has been seen yet; -4 when disabled; 1 (nothing drawn) in automatic
    // mode on a frame not judged dark, or when the log mean is below 0.008;
    // -1 after release() (no program); else 0. An empty frame counts as a
    // frame without statistics.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override;

    // 0 automatic, 1 manual; not range-checked here.
    void setMode(int value) { mode = value; }
    // Stored for the engine; the draw does not read it.
    void setLevel(int value) { level = value; }
    // The engine's per-frame verdict, read in automatic mode.
    void setDarkScene(bool value) { darkScene = value; }

    std::unique_ptr<GPULowlightEnhanceProgram> program;
    float lastLogMean = -1.0f;  // < 0: no statistics seen yet
    int mode = 0;
    int level = 0;
    bool darkScene = false;
};

}  // namespace video
}  // namespace kelvo
