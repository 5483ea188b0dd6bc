// The CPU backend's image effects: the YUV input (103) and output (901)
// convertors, beauty (201), colour enhancement (202) and low light (203),
// each reporting the status codes of its GL counterpart.
#pragma once

#include <memory>

namespace kelvo {
namespace video {

class EffectBase;

// A new effect of that type, disabled, or null for any other type.
std::shared_ptr<EffectBase> createCpuImageEffect(int type);

}  // namespace video
}  // namespace kelvo
