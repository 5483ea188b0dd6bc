#include <obs-module.h>

#include "filters.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("kelvo-obs", "en-US")

MODULE_EXPORT const char* obs_module_name(void) { return "kelvo-obs"; }

MODULE_EXPORT const char* obs_module_description(void) {
    return "Skin smoothing, colour enhancement, low-light lift and denoising with the kelvo "
           "video library";
}

bool obs_module_load(void) {
    // obs_register_source copies the table.
    const obs_source_info async = kelvo::obs::asyncFilterInfo();
    obs_register_source(&async);
#if KELVO_OBS_GPU_FILTER
    const obs_source_info gpu = kelvo::obs::gpuFilterInfo();
    obs_register_source(&gpu);
#endif
    return true;
}
