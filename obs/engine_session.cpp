#include "engine_session.h"

#include <util/base.h>
#include <util/platform.h>

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

integration::Engine* FrameSession::apply(const FilterConfig& config) {
    const char* name = obs_source_get_name(source_);
    if (config.backend != backend_ || (!engine_.valid() && !failed_)) {
        release();
        backend_ = config.backend;
        const std::string init = config.engineConfig();
        std::string why;
        const int r = engine_.create(init, &why);
        failed_ = r != KELVO_OK;
        if (failed_) {
            blog(LOG_WARNING,
                 "[kelvo-obs: '%s'] cannot start the engine with %s (%d: %s): frames pass "
                 "through",
                 name, init.c_str(), r, why.c_str());
            return nullptr;
        }
        obs_source_t* source = source_;
        engine_.setLog([source](int level, const char* message) {
            blog(level == KELVO_LOG_ERROR ? LOG_WARNING : LOG_DEBUG, "[kelvo-obs: '%s'] %s",
                 obs_source_get_name(source), message);
        });
    }
    if (!engine_.valid()) return nullptr;
    const integration::Settings& s = config.settings;
    if (s.effects.empty()) return nullptr;
    if (s.effects != effects_) {
        const int r = engine_.setEffects(s.effects);
        if (r != KELVO_OK)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] setVideoEffects returned %d", name, r);
        effects_ = s.effects;
    }
    auto docs = integration::composeDocuments(s);
    std::vector<std::string> rejections;
    for (const auto& doc : docs) {
        if (std::find(sent_.begin(), sent_.end(), doc) != sent_.end()) continue;
        const int r = engine_.setParameter(doc.first, doc.second, &rejections);
        for (const std::string& text : rejections)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] setParameter rejected: %s", name, text.c_str());
        if (r != KELVO_OK)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] setParameter(%s, %s) returned %d", name,
                 doc.first.c_str(), doc.second.c_str(), r);
    }
    sent_ = std::move(docs);
    return &engine_;
}

void FrameSession::noteResult(int result) {
    if (result != KELVO_OK && result != KELVO_ERR_NO_EFFECT && result != lastResult_)
        blog(LOG_WARNING, "[kelvo-obs: '%s'] processing returned %d (%s): the frame passes through",
             obs_source_get_name(source_), result, integration::Engine::lastError().c_str());
    lastResult_ = result;
}

int64_t FrameSession::frameTime(uint64_t timestampNs) {
    if (timestampNs == 0) timestampNs = os_gettime_ns();
    return clock_.advance(static_cast<int64_t>(timestampNs / 1000));
}

void FrameSession::release() {
    engine_.destroy();
    clock_.reset();
    effects_.clear();
    sent_.clear();
    lastResult_ = 0;
}

}  // namespace obs
}  // namespace kelvo
