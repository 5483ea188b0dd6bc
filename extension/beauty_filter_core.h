// One engine per started filter, with the bookkeeping of its average
// processing time. The core is also the engine's observer: it forwards the
// engine's messages to the host control object.
//
// Locking: initEngine, process, setParameter and releaseEngine serialise on
// the core's mutex, always taken before the engine's own. The observer
// callbacks arrive under it (from inside the engine) and take no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "extension/host_interface.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class BeautyFilterCore : public IVideoProcessObserver {
public:
    // Takes its own reference to hostControl (which may be null: nothing is
    // logged then). The core starts with no references.
    explicit BeautyFilterCore(IHostControl* hostControl);

    BeautyFilterCore(const BeautyFilterCore&) = delete;
    BeautyFilterCore& operator=(const BeautyFilterCore&) = delete;

    void addRef();
    // 1 while references remain, 0 when the core deleted itself.
    int release();
    bool hasOneRef() const;

    // Creates and initialises the engine with effects 103, 104, 102, 101
    // selected (none enabled). The engine's init or setVideoEffects result;
    // −1 when an engine already exists (also one whose init failed) or cannot
    // be allocated.
    int initEngine();

    // Processes the frame a record describes, in place: kind 0 through the
    // engine's processFrame (I420), kind 1 through processTexture, whose
    // positive output name replaces record->textureName. The engine's result;
    // −3 without engine, −1 for another kind, −6 for a null record. Logs the
    // average processing time of the frames of every window of more than
    // 3000 ms of the wall clock (system/clock.h).
    int process(HostFrameData* record);

    // Releases and deletes the engine, if any. 0.
    int releaseEngine();

    // Hands one parameter document to the engine, if any; its result is
    // not reported.
    void setParameter(std::string key, std::string value);

    // IVideoProcessObserver: "kelvo beauty extension inited" on init; engine
    // levels 0 and 1 go to host levels 1 and 4, others are dropped.
    void onInitialized(int code) override;
    void onLog(int level, const char* message) override;
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {}
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}

private:
    ~BeautyFilterCore() override;
    void hostLog(int level, const char* text) const;

    int64_t lastLogMs_ = 0;
    int frameCount_ = 0;
    int totalMs_ = 0;
    std::mutex mutex_;
    std::unique_ptr<IVideoProcessEngine> engine_;
    IHostControl* hostControl_;
    std::atomic<int> refCount_{0};
};

}  // namespace video
}  // namespace kelvo
