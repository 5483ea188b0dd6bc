#include "engine_session.h"

#include <util/base.h>

#include <algorithm>

namespace kelvo {
namespace obs {

using namespace kelvo::video;

EngineSession::EngineSession(obs_source_t* source, bool externalContext)
    : source_(source), externalContext_(externalContext) {}

EngineSession::~EngineSession() { release(); }

void EngineSession::onLog(int level, const char* message) {
    // Rejected settings come as errors, with the reason.
    blog(level == kLogError ? LOG_WARNING : LOG_DEBUG, "[kelvo-obs: '%s'] %s",
         obs_source_get_name(source_), message);
}

IVideoProcessEngine* EngineSession::apply(const FilterConfig& config) {
    if (config.backend != backend_ || (!engine_ && !failed_)) {
        release();
        backend_ = config.backend;
        failed_ = true;
        std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(externalContext_));
        const std::string init = config.engineConfig();
        const int r = engine ? engine->init(init.c_str()) : kResultFailed;
        if (r != kResultOk) {
            blog(LOG_WARNING,
                 "[kelvo-obs: '%s'] cannot start the engine with %s (%d): frames pass "
                 "through",
                 obs_source_get_name(source_), init.c_str(), r);
            return nullptr;
        }
        // After init, so that the sub-engines report to it too.
        engine->setObserver(this);
        engine_ = std::move(engine);
        failed_ = false;
    }
    if (!engine_) return nullptr;
    const integration::Settings& s = config.settings;
    if (s.effects.empty()) return nullptr;
    if (s.effects != effects_) {
        const int r = engine_->setVideoEffects(s.effects);
        if (r != kResultOk)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] setVideoEffects returned %d",
                 obs_source_get_name(source_), r);
        effects_ = s.effects;
    }
    auto docs = integration::composeDocuments(s);
    for (const auto& doc : docs) {
        if (std::find(sent_.begin(), sent_.end(), doc) != sent_.end()) continue;
        const int r = engine_->setParameter(doc.first.c_str(), doc.second.c_str());
        if (r != kResultOk)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] setParameter(%s, %s) returned %d",
                 obs_source_get_name(source_), doc.first.c_str(), doc.second.c_str(), r);
    }
    sent_ = std::move(docs);
    return engine_.get();
}

void EngineSession::noteResult(int result) {
    if (result != kResultOk && result != kResultNoEffectEnabled && result != lastResult_)
        blog(LOG_WARNING, "[kelvo-obs: '%s'] processFrame returned %d: the frame passes through",
             obs_source_get_name(source_), result);
    lastResult_ = result;
}

void EngineSession::release() {
    if (engine_) engine_->release();
    engine_.reset();
    effects_.clear();
    sent_.clear();
    lastResult_ = 0;
}

}  // namespace obs
}  // namespace kelvo
