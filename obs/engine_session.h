// One engine driven by a filter's settings, on one thread: created on the
// chosen backend, given the effects and every changed parameter document,
// its rejections and failures written to OBS's log as warnings. The GPU
// filter's engine draws in OBS's context through the C++ interface; the
// async filter's goes through the C interface, which takes frames by planes
// and strides with their time and hands back refused settings as data.
#pragma once

#include <obs.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_client.h"
#include "filter_settings.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace obs {

class EngineSession : public video::IVideoProcessObserver {
public:
    // `source` names the filter in log lines. externalContext: the engine
    // runs in the GL context current on the calling thread (OBS's own).
    EngineSession(obs_source_t* source, bool externalContext);
    ~EngineSession() override;

    // Brings the engine in line with `config`: a new engine when the backend
    // changed (or none exists yet), then the effects and the documents that
    // differ from those it holds. `config` must outlive the call only. The
    // engine, or null when none could be made (warned once per backend) or no
    // effect is selected (frames pass through).
    video::IVideoProcessEngine* apply(const FilterConfig& config);

    // Logs a processing failure once per change of result; no effect enabled
    // is not one.
    void noteResult(int result);

    // Releases the engine (in the context it was made in, for an external one).
    void release();

    void onInitialized(int) override {}
    void onLog(int level, const char* message) override;
    void onDetectionResult(int, int, const std::shared_ptr<video::IMetaDataInfo>&) override {}
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}

private:
    obs_source_t* source_;
    bool externalContext_;
    std::unique_ptr<video::IVideoProcessEngine> engine_;
    std::string backend_;  // of engine_, or of the last failed attempt
    bool failed_ = false;
    std::vector<int> effects_;
    std::vector<std::pair<std::string, std::string>> sent_;
    int lastResult_ = 0;
};

class FrameSession {
public:
    // `source` names the filter in log lines.
    explicit FrameSession(obs_source_t* source) : source_(source) {}

    // As EngineSession::apply.
    integration::Engine* apply(const FilterConfig& config);
    // As EngineSession::noteResult.
    void noteResult(int result);
    // The engine's time for a frame with OBS timestamp `timestampNs`; the
    // wall clock for a frame without one (0).
    int64_t frameTime(uint64_t timestampNs);
    void release();

private:
    obs_source_t* source_;
    integration::Engine engine_;
    integration::StreamClock clock_;
    std::string backend_;  // of engine_, or of the last failed attempt
    bool failed_ = false;
    std::vector<int> effects_;
    std::vector<std::pair<std::string, std::string>> sent_;
    int lastResult_ = 0;
};

}  // namespace obs
}  // namespace kelvo
