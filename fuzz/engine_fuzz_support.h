// Shared set-up of the engine fuzz targets: one engine for the whole run,
// initialised once with all four effects, since a GL context and the shader
// programs of the chain are far too slow to build per input.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/video_process_engine_impl.h"

namespace kelvo {
namespace video {
namespace fuzz {

// Reads every message, so a dangling or unterminated text shows up under
// the sanitizers.
class TouchingObserver : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int, const char* message) override { bytes += std::strlen(message); }
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>& record) override {
        if (record) bytes += static_cast<size_t>(record->metadataKind);
    }
    void onEffectResult(int, int) override {}
    void onProcessResult(int code) override { lastResult = code; }

    size_t bytes = 0;
    int lastResult = 0;
};

// The engine and its observer, created on first call; null when no GL
// context can be made (the target then tests nothing and says so once).
// `config` is the init text of the first call (later calls get the same
// engine).
VideoProcessEngineImpl* sharedEngine(const char* config = "");

// Known settings for every option group, so each input starts from the same
// documents whatever the previous input left behind.
void resetParameters(VideoProcessEngineImpl& engine);

// Caller memory whose last byte sits right before an inaccessible page, so
// that a read or write past the end faults even inside code built without
// the sanitizers (libyuv, the GL driver). size 0 gives data() == null.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void* map_ = nullptr;
    size_t mapSize_ = 0;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A tightly packed I420 picture whose bytes cycle through `seed`.
std::vector<uint8_t> i420Picture(int width, int height, const uint8_t* seed, size_t seedSize);

}  // namespace fuzz
}  // namespace video
}  // namespace kelvo
