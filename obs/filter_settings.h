// The filters' settings: the element's effect names, params and typed
// settings, read from OBS's settings data into the shared typed settings.
#pragma once

#include <obs.h>

#include <string>
#include <vector>

#include "enhance_settings.h"

namespace kelvo {
namespace obs {

// What one update hands the processing thread; immutable once made.
struct FilterConfig {
    integration::Settings settings;
    std::string backend;  // "auto", "gpu" or "cpu"

    // The engine's init() configuration.
    std::string engineConfig() const;
};

// Backend of a filter unless its settings say otherwise.
enum class DefaultBackend { kCpu, kGpu };

void setDefaults(obs_data_t* data, DefaultBackend backend);
// Groups per effect, texts from the module's locale; the backend choice
// only where the filter has one.
obs_properties_t* makeProperties(bool withBackend);

// Reads `data` into `config`. Refused values (unknown effect names, params
// that are not a JSON object of objects) keep what `config` held and are
// described in `errors`. A tuning value counts as set, overriding the same
// member of params, once the user gave it a value of its own.
void readSettings(obs_data_t* data, FilterConfig* config, std::vector<std::string>* errors);

}  // namespace obs
}  // namespace kelvo
