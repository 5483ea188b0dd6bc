// The integrations' engine: the library's C interface (kelvo/kelvo.h), which
// takes frames by planes and strides with their stream time and hands back
// a refused setting as data, behind a small owning class; and the stream
// clock that turns a source's frame times into the time the automatic modes
// count.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kelvo/kelvo.h"

namespace kelvo {
namespace integration {

// Frame times as a source gives them (a file's frame rate, buffer or frame
// timestamps) to the time the engine counts: a time that goes backwards or
// jumps ahead (a seek, a loop, a pause) counts as no time passed, so that a
// seek never lets a held verdict go early.
class StreamClock {
public:
    // A step longer than this is a jump, not the stream's own pace.
    static constexpr int64_t kMaxStepUs = 2000000;

    // The engine's time for a frame whose source time is `sourceUs`; 0 for
    // the first frame.
    int64_t advance(int64_t sourceUs);
    void reset() { started_ = false; }

private:
    bool started_ = false;
    int64_t lastSourceUs_ = 0;
    int64_t nowUs_ = 0;
};

// The time of frame `index` at `rateNum / rateDen` frames a second, in
// microseconds, without drift over long files; 0 for a rate that is not
// positive.
int64_t frameTimeUs(int64_t index, int rateNum, int rateDen);

class Engine {
public:
    using LogFn = std::function<void(int level, const char* message)>;

    Engine() = default;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // A new engine from the JSON `config`; the one held before is destroyed
    // first. On failure the engine is empty and `error` (may be null) gets
    // the library's message.
    int create(const std::string& config, std::string* error);
    void destroy();
    bool valid() const { return engine_ != nullptr; }

    // The engine's log lines (the rejections come as data instead).
    void setLog(LogFn log);

    int setEffects(const std::vector<int>& ids);
    // Applies the document; every refused member's text (key.member = value
    // (accepted: ...)) goes to `rejections` (may be null), cleared first.
    int setParameter(const std::string& key, const std::string& json,
                     std::vector<std::string>* rejections);
    int process(const kelvo_frame& frame);
    // The statistics of the last processed frame; valid = 0 when there are
    // none.
    kelvo_frame_stats frameStats();
    std::string info(const char* key);

    // The library's message for the last failed call on this thread.
    static std::string lastError();

private:
    static void forward(void* user, int level, const char* message);

    kelvo_engine* engine_ = nullptr;
    LogFn log_;
};

// A frame for kelvo_process; the caller fills planes and strides.
kelvo_frame makeFrame(int format, int width, int height, int matrix, int range);
// Sets the frame's stream time.
void setFrameTime(kelvo_frame* frame, int64_t timeUs);

}  // namespace integration
}  // namespace kelvo
