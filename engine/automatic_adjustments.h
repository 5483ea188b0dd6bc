// The automatic modes: per frame, the brightness statistics decide whether
// the scene is dark (low-light enhancement, denoiser) and whether the picture
// is noisy (denoiser trigger); a denoiser at level 1 turns beauty into a
// plain smoother. The unit owns the dark-scene hysteresis and is given each
// frame's time by its caller.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

class I420VideoFrame;

// The caller's settings the adjustments read, taken before each frame.
struct AutomaticSettings {
    bool lowlightSelected = false;  // the effect list holds low-light enhancement
    bool denoiserSelected = false;  // the effect list holds the denoiser
    bool beautyEnabled = false;
    bool videoDenoiserEnabled = false;
    bool lowlightEnhanceEnabled = false;
    int videoDenoiserMode = 0;
    int videoDenoiserLevel = 0;
    int lowlightEnhanceMode = 0;
    int lowlightEnhanceLevel = 0;
};

// Where the adjustments write: the engine forwards to its own denoiser
// setters and to the render engine's.
class AutomaticTarget {
public:
    virtual void setVideoDenoiserMode(int mode) = 0;
    virtual void setVideoDenoiserLevel(int level) = 0;
    virtual void setVideoDenoiserEnable(bool enable) = 0;
    virtual void setVideoDenoiserAutoNoisy(bool noisy) = 0;
    virtual void setLowlightDarkScene(bool dark) = 0;
    virtual void setBeautyEnable(bool enable) = 0;
    virtual void setBeautySmoothness(float value) = 0;
    virtual void setBeautyLightness(float value) = 0;
    virtual void setBeautyRedness(float value) = 0;
    virtual void setBeautyContrast(int value) = 0;
    virtual void setBeautySharpness(float value) = 0;

protected:
    ~AutomaticTarget() = default;
};

class AutomaticAdjustments {
public:
    // Adjusts the effects for one frame whose time is `nowMs`. 0, or −6 for a
    // missing or empty frame (nothing is changed then).
    int apply(const I420VideoFrame* frame, int64_t nowMs, const AutomaticSettings& settings,
              AutomaticTarget& target);
    // The dark-scene hysteresis over the frame's brightness statistics; false
    // and nothing changed for a frame without them.
    bool decideDarkScene(const I420VideoFrame* frame, int64_t nowMs);

    bool darkScene() const { return darkScene_; }
    // Verdicts on the last frame that had statistics: 1, 0, or −1 before any.
    int lastDarkScene() const { return lastDarkScene_; }
    int lastNoisy() const { return lastNoisy_; }

private:
    // Moves the unit's own clock on to the frame at `nowMs`: a time earlier
    // than the last frame's counts as no time passed.
    int64_t advanceTo(int64_t nowMs);

    bool darkScene_ = false;
    int64_t lastDarkMs_ = 0;  // on the unit's clock
    int darkFrameCount_ = 0;
    int holdFrameCount_ = 0;
    int lastDarkScene_ = -1;
    int lastNoisy_ = -1;
    bool clockStarted_ = false;
    int64_t lastFrameMs_ = 0;  // the caller's time of the last frame
    int64_t clockMs_ = 0;
};

}  // namespace video
}  // namespace kelvo
