#include "engine_client.h"

#include <utility>

namespace kelvo {
namespace integration {

int64_t StreamClock::advance(int64_t sourceUs) {
    if (started_) {
        const int64_t step = sourceUs - lastSourceUs_;
        if (step > 0 && step <= kMaxStepUs) nowUs_ += step;
    }
    started_ = true;
    lastSourceUs_ = sourceUs;
    return nowUs_;
}

int64_t frameTimeUs(int64_t index, int rateNum, int rateDen) {
    if (rateNum <= 0 || rateDen <= 0) return 0;
    // Whole seconds apart from the remainder, so that the product cannot
    // overflow for any frame count a file can hold.
    const int64_t whole = index / rateNum, rest = index % rateNum;
    return whole * rateDen * 1000000 + rest * rateDen * 1000000 / rateNum;
}

Engine::~Engine() { destroy(); }

int Engine::create(const std::string& config, std::string* error) {
    destroy();
    const int r = kelvo_create(config.c_str(), &engine_);
    if (r != KELVO_OK) {
        engine_ = nullptr;
        if (error) *error = kelvo_last_error();
        return r;
    }
    if (log_) kelvo_set_log_callback(engine_, &Engine::forward, this);
    return r;
}

void Engine::destroy() {
    kelvo_destroy(engine_);
    engine_ = nullptr;
}

void Engine::setLog(LogFn log) {
    log_ = std::move(log);
    if (engine_) kelvo_set_log_callback(engine_, log_ ? &Engine::forward : nullptr, this);
}

void Engine::forward(void* user, int level, const char* message) {
    auto* self = static_cast<Engine*>(user);
    if (self->log_) self->log_(level, message);
}

int Engine::setEffects(const std::vector<int>& ids) {
    return kelvo_set_effects(engine_, ids.data(), ids.size());
}

int Engine::setParameter(const std::string& key, const std::string& json,
                         std::vector<std::string>* rejections) {
    kelvo_rejection items[16];
    kelvo_rejections refused{sizeof(kelvo_rejections), sizeof(kelvo_rejection), items, 16, 0};
    const int r = kelvo_set_parameter(engine_, key.c_str(), json.c_str(), &refused);
    if (rejections) {
        rejections->clear();
        const size_t stored = refused.count < refused.capacity ? refused.count : refused.capacity;
        for (size_t i = 0; i < stored; ++i) rejections->emplace_back(items[i].text);
        if (refused.count > stored)
            rejections->push_back(std::to_string(refused.count - stored) + " more refused");
    }
    return r;
}

int Engine::process(const kelvo_frame& frame) { return kelvo_process(engine_, &frame); }

kelvo_frame_stats Engine::frameStats() {
    kelvo_frame_stats stats{};
    stats.size = sizeof stats;
    if (kelvo_get_frame_stats(engine_, &stats) != KELVO_OK) stats.valid = 0;
    return stats;
}

std::string Engine::info(const char* key) {
    char text[256];
    if (kelvo_get_info(engine_, key, text, sizeof text, nullptr) != KELVO_OK) return "";
    return text;
}

std::string Engine::lastError() { return kelvo_last_error(); }

kelvo_frame makeFrame(int format, int width, int height, int matrix, int range) {
    kelvo_frame f{};
    f.size = sizeof f;
    f.format = format;
    f.width = width;
    f.height = height;
    f.color_matrix = matrix;
    f.color_range = range;
    return f;
}

void setFrameTime(kelvo_frame* frame, int64_t timeUs) {
    frame->has_timestamp = 1;
    frame->timestamp_us = timeUs;
}

}  // namespace integration
}  // namespace kelvo
