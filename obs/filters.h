// The filters the module registers.
#pragma once

#include <obs.h>

namespace kelvo {
namespace obs {

// kelvo_enhance_filter: async sources, frames in system memory.
obs_source_info asyncFilterInfo();
// kelvo_enhance_gpu_filter: synchronous sources, textures in OBS's context.
obs_source_info gpuFilterInfo();

}  // namespace obs
}  // namespace kelvo
