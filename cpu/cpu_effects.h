// The CPU backend's image effects: the YUV input (103) and output (901)
// convertors, beauty (201), colour enhancement (202) and low light (203),
// each reporting the status codes of its GL counterpart.
#pragma once

#include <memory>

namespace kelvo {
namespace video {

class EffectBase;

// Each a new effect, disabled.
std::shared_ptr<EffectBase> makeCpuYUVInputConvertor();
std::shared_ptr<EffectBase> makeCpuYUVOutputConvertor();
std::shared_ptr<EffectBase> makeCpuBeauty();
std::shared_ptr<EffectBase> makeCpuColorEnhance();
std::shared_ptr<EffectBase> makeCpuLowlightEnhance();

}  // namespace video
}  // namespace kelvo
