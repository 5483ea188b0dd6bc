// The filters the module registers.
#pragma once

#include <obs-module.h>
#include <obs.h>

#include <exception>

namespace kelvo {
namespace obs {

// kelvo_enhance_filter: async sources, frames in system memory.
obs_source_info asyncFilterInfo();
// kelvo_enhance_gpu_filter: synchronous sources, textures in OBS's context.
obs_source_info gpuFilterInfo();

// The callbacks both filters share. OBS calls through a C table, so nothing
// thrown may pass: a filter that cannot be made is null, settings that cannot
// be taken keep the previous ones, each with a line in OBS's log.
template <class Filter>
void* createFilter(obs_data_t* settings, obs_source_t* context) {
    try {
        return new Filter(settings, context);
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[kelvo-obs] cannot create the filter: %s", e.what());
        return nullptr;
    }
}

template <class Filter>
void destroyFilter(void* data) {
    delete static_cast<Filter*>(data);
}

template <class Filter>
void updateFilter(void* data, obs_data_t* settings) {
    try {
        static_cast<Filter*>(data)->update(settings);
    } catch (const std::exception& e) {
        blog(LOG_WARNING, "[kelvo-obs] settings not applied: %s", e.what());
    }
}

}  // namespace obs
}  // namespace kelvo
