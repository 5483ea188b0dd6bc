// The settings the engine routes to the effect of each type, whichever
// backend created it. Values are stored unchanged and apply from the next
// Draw (the parameter document range-checks them).
#pragma once

namespace kelvo {
namespace video {

class BeautyControls {
public:
    virtual void setSmoothness(float value) = 0;
    virtual void setLightness(float value) = 0;
    virtual void setRedness(float value) = 0;
    virtual void setContrast(int value) = 0;
    virtual void setSharpness(float value) = 0;
    virtual void setLightStrength(float value) = 0;
    virtual void setNoiseLevel(int value) = 0;

protected:
    ~BeautyControls() = default;
};

class ColorEnhanceControls {
public:
    virtual void setStrength(float value) = 0;
    virtual void setSkinProtect(float value) = 0;

protected:
    ~ColorEnhanceControls() = default;
};

class LowlightControls {
public:
    virtual void setMode(int value) = 0;
    virtual void setLevel(int value) = 0;
    virtual void setDarkScene(bool value) = 0;

protected:
    ~LowlightControls() = default;
};

class DenoiserControls {
public:
    virtual void setMode(int mode) = 0;
    virtual void setLevel(int level) = 0;
    virtual void setAutoTrigger(bool noisy) = 0;
    // Forgets the reference, so the next frame becomes a new one.
    virtual void dropReference() = 0;

protected:
    ~DenoiserControls() = default;
};

}  // namespace video
}  // namespace kelvo
