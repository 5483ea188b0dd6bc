// The text init() takes: a JSON object choosing the rendering backend and the
// CPU backend's thread count. Null, "" and "{}" mean the defaults; members
// other than "backend" and "threads" are ignored.
#pragma once

#include <string>

namespace kelvo {
namespace video {

enum class Backend { kAuto, kGpu, kCpu };

struct EngineConfig {
    Backend backend = Backend::kAuto;
    int threads = 0;  // 0 automatic, 1 no worker thread
};

// Fills `out` from `text`. Returns "" on success, else why the text was
// refused (invalid JSON, not an object, an unknown backend, threads not an
// integer >= 0); `out` is then unspecified. Thread-safe.
std::string parseEngineConfig(const char* text, EngineConfig& out);

// Whether a GL_RENDERER string names a software rasteriser.
bool isSoftwareRenderer(const char* renderer);

}  // namespace video
}  // namespace kelvo
