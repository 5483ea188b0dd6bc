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
class MetaDataFrameStats;

// Settings: mode 0 automatic, 1 manual; level 0 or 1; adaptive 0 (the lift
// follows the log mean alone) or 1 (scaled by how under-exposed the frame is).
constexpr int kLowlightModeMax = 1;
constexpr int kLowlightLevelMax = 1;
constexpr int kLowlightAdaptiveMax = 1;

// The settings both backends' low-light effects take, stored unchanged; the
// dark-scene flag comes from the engine's automatic adjustments.
class LowlightControls {
public:
    virtual void setMode(int value) = 0;
    virtual void setLevel(int value) = 0;
    virtual void setDarkScene(bool value) = 0;
    virtual void setAdaptive(int value) = 0;

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

// The adaptive lift. A frame whose mean luma is at or below the first mean
// is lifted fully, one at or above the second not at all; between them the
// strength falls along a smoothstep. The curve alone would add some 50
// levels to a lit room's mid-tones, so the lift has to be gone by the time
// a frame looks normally exposed.
constexpr double kLowlightFullLiftMean = 60.0;
constexpr double kLowlightNoLiftMean = 90.0;
// A lift that grows moves this share of the way to its frame's target on
// each drawn frame, so a scene that darkens, or the dark verdict switching
// on, fades the lift in over about half a second at 30 frames a second
// instead of popping. A lift that shrinks follows at once: a room whose
// light comes on would otherwise be lifted far above normal exposure before
// settling, the worst pumping there is. Counted in frames: the same file
// gives the same picture at any processing speed.
constexpr double kLowlightStrengthFollow = 1.0 / 16.0;
// The adaptive lift's sharpening. On a lifted dark frame a small high-pass
// is mostly sensor noise, which the lift raises with the picture: there the
// weight, times the strength, takes back about the part the lift adds (the
// gain is about 2 on a dark frame), so the denoiser ahead need not remove
// more than it can. Edges are not sharpened: at the lift's gains the
// sharpening only shows the noise along them.
constexpr float kLowlightAdaptiveSharpen = 0.0f;
constexpr float kLowlightAdaptiveQuiet = -0.5f;
// Below this strength the frame is passed on unchanged: the lift would be a
// fraction of a level.
constexpr float kLowlightMinStrength = 0.02f;

// How the pass lifts and sharpens. strength takes the gain that share of the
// way from none to the curve's; sharpen scales the sharpening's band
// weights; quiet is the weight of a high-pass within the low band's bound
// either way (in the specified pass, the low band's). The defaults are the
// specified pass; each backend takes them unchanged, bit for bit.
struct LowlightShape {
    float strength = 1.0f;
    float sharpen = 1.0f;
    float quiet = kLowlightSharpenLow;
};

// The adaptive strength a frame of this mean luma (0..255) asks for, 0..1.
double lowlightTargetStrength(double meanLuma);

// The strength of the lift and sharpening: 1 unless adaptive, then the
// targets of the frames with statistics, followed over time. The first
// frame sets it outright; a frame that is not drawn can lower it but not
// raise it, so the lift fades in from where drawing starts.
class LowlightStrength {
public:
    void setAdaptive(bool on);
    bool adaptive() const { return adaptive_; }
    void observe(const MetaDataFrameStats& stats, bool drawn);
    float value() const { return adaptive_ ? (followed_ < 0.0 ? 1.0f : float(followed_)) : 1.0f; }
    // The pass's settings at this strength: the specified ones unless adaptive.
    LowlightShape shape() const;
    void reset() { followed_ = -1.0; }

private:
    bool adaptive_ = false;
    double followed_ = -1.0;  // none seen yet
};

// What low light does with a frame before drawing, the same on both backends:
// kDrawUnchanged in automatic mode on a scene not judged dark, for an almost
// black frame, or when the adaptive strength is about nothing; kDrawNoOutput
// before any frame brought statistics; kDrawDone to draw with *logMean,
// which keeps the last statistics seen, and strength->shape(). Every frame
// with statistics, drawn or not, feeds the adaptive strength.
int lowlightDrawDecision(int mode, bool darkScene, const std::shared_ptr<I420VideoFrame>& frame,
                         float* logMean, LowlightStrength* strength);

// A low-light shader stage's source with the constants above that the GLSL
// uses inserted as a block after its "#version" and "precision" lines
// (shader_constants.h).
std::string withLowlightConstants(const char* source);

}  // namespace video
}  // namespace kelvo
