// Low-light enhancement as both backends draw it: the luma curve, the
// sharpening weights, and the decision whether a frame is drawn. The GL
// program receives the constants as a generated block
// (withLowlightConstants); the CPU rows read them here, as compile-time
// constants.
#pragma once

#include <memory>
#include <string>

#include "effects/green_high_pass.h"

namespace kelvo {
namespace video {

class I420VideoFrame;

// Settings: mode 0 automatic, 1 manual; level 0 or 1.
constexpr int kLowlightModeMax = 1;
constexpr int kLowlightLevelMax = 1;

// The settings both backends' low-light effects take, stored unchanged; the
// dark-scene flag comes from the engine's automatic adjustments.
class LowlightControls {
public:
    virtual void setMode(int value) = 0;
    virtual void setLevel(int value) = 0;
    virtual void setDarkScene(bool value) = 0;

protected:
    ~LowlightControls() = default;
};

// Luma y = kLowlightLuma . rgb (BT.601 weights), clamped to 0..1.
constexpr float kLowlightLuma[3] = {0.299f, 0.587f, 0.114f};

// The curve: below the knee, y' = knee ln(1 + y / k) / ln(1 + knee / k)
// with k = logMean / kLowlightLogMeanScale; it meets the identity at the
// knee, above which luma is left alone. Double because the CPU's gain
// table is computed in double; the shader reads their floats.
constexpr double kLowlightKnee = 0.9;
constexpr double kLowlightLogMeanScale = 1.8;
// Luma at or below this gets gain 0 in the shader (the CPU's table takes
// the curve's limit there; on 8-bit input both leave black black).
constexpr float kLowlightBlackLuma = 0.00001f;

// Sharpening weight per high-pass band (green_high_pass.h): a fixed
// strength, unlike beauty's.
constexpr float kLowlightSharpenLow = 0.4f;
constexpr float kLowlightSharpenMid = 0.8f;
constexpr float kLowlightSharpenHigh = 0.6f;

// The last log mean before any frame brought statistics.
constexpr float kLowlightNoLogMean = -1.0f;
// Below this log mean (an almost black scene) the frame is left unchanged:
// the curve would only amplify noise.
constexpr double kLowlightMinLogMean = 0.008;

// What low light does with a frame before drawing, the same on both backends:
// kDrawUnchanged in automatic mode on a scene not judged dark, or for an
// almost black frame; kDrawNoOutput before any frame brought statistics;
// kDrawDone to draw with *logMean, which keeps the last statistics seen.
int lowlightDrawDecision(int mode, bool darkScene, const std::shared_ptr<I420VideoFrame>& frame,
                         float* logMean);

// A low-light shader stage's source with the constants above that the GLSL
// uses inserted as a block after its "#version" and "precision" lines
// (shader_constants.h).
std::string withLowlightConstants(const char* source);

}  // namespace video
}  // namespace kelvo
