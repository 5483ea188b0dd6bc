// kelvo_enhance_filter: the engine on the frames of async sources (webcams,
// media). filter_video runs on OBS's graphics thread, which renders every
// scene and must not wait for a frame that takes tens of milliseconds: each
// frame is handed to a worker thread and the frame before it, processed
// meanwhile, is handed back, so the output runs one frame behind (frames are
// held as OBS's async delay filter holds them). When the worker falls
// behind, the newest frame waits for it and older waiting ones are skipped,
// so the delay does not grow and the graphics thread never waits.
#include <obs-module.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine_session.h"
#include "filter_settings.h"
#include "filters.h"
#include "frame_adapter.h"

namespace kelvo {
namespace obs {
namespace {

class AsyncFilter {
public:
    AsyncFilter(obs_data_t* settings, obs_source_t* context)
        : context_(context), session_(context) {
        update(settings);
        worker_ = std::thread(&AsyncFilter::run, this);
    }

    ~AsyncFilter() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        worker_.join();
        // Frames still held were released by filter_remove, which OBS calls
        // before it destroys a filter that is attached.
    }

    void update(obs_data_t* data) {
        std::vector<std::string> errors;
        std::lock_guard<std::mutex> lock(mutex_);
        auto next = std::make_shared<FilterConfig>(config_ ? *config_ : FilterConfig());
        readSettings(data, next.get(), &errors);
        config_ = std::move(next);
        for (const std::string& e : errors)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] %s", obs_source_get_name(context_), e.c_str());
    }

    obs_source_frame* filterVideo(obs_source_frame* frame) {
        obs_source_t* parent = obs_filter_get_parent(context_);
        if (frameRoute(*frame) == Route::kUnsupported) {
            if (!warnedFormat_)
                blog(LOG_WARNING, "[kelvo-obs: '%s'] %s frames of %ux%u pass through untouched",
                     obs_source_get_name(context_), get_video_format_name(frame->format),
                     frame->width, frame->height);
            warnedFormat_ = true;
            // Frames still held would come out after this one.
            release(parent);
            return frame;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        // OBS calls this with the source's (recursive) frame lock held, so
        // frames go back to it here and never from the worker.
        for (obs_source_frame* f : skipped_) obs_source_release_frame(parent, f);
        skipped_.clear();
        obs_source_frame* out = done_;
        done_ = nullptr;
        if (!job_) {
            job_ = frame;
            jobConfig_ = config_;
            cv_.notify_all();
        } else {
            if (next_) obs_source_release_frame(parent, next_);
            next_ = frame;
            nextConfig_ = config_;
        }
        return out;
    }

    // Gives the held frames back to their source, once the worker is idle.
    void release(obs_source_t* parent) {
        std::vector<obs_source_frame*> frames;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (next_) skipped_.push_back(next_);
            next_ = nullptr;
            cv_.wait(lock, [this] { return !job_; });
            if (done_) skipped_.push_back(done_);
            done_ = nullptr;
            frames.swap(skipped_);
        }
        // Outside the lock: the source's frame lock comes first elsewhere.
        if (parent)
            for (obs_source_frame* f : frames) obs_source_release_frame(parent, f);
    }

private:
    void run() {
        std::shared_ptr<const FilterConfig> applied;
        integration::Engine* engine = nullptr;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return quit_ || job_; });
            if (quit_) break;
            obs_source_frame* frame = job_;
            std::shared_ptr<const FilterConfig> config = jobConfig_;
            lock.unlock();
            try {
                if (config != applied) {
                    applied = config;
                    engine = session_.apply(*config);
                }
                // The automatic modes count the frames' own time.
                if (engine)
                    session_.noteResult(
                        adapter_.process(*engine, frame, session_.frameTime(frame->timestamp)));
            } catch (const std::exception& e) {
                // Out of memory in the adapter or the documents: this frame
                // passes through, the settings are tried again with the next.
                applied.reset();
                blog(LOG_WARNING, "[kelvo-obs: '%s'] %s: the frame passes through",
                     obs_source_get_name(context_), e.what());
            }
            lock.lock();
            if (done_) skipped_.push_back(done_);  // not taken by a tick in time
            done_ = frame;
            job_ = next_;
            jobConfig_ = std::move(nextConfig_);
            next_ = nullptr;
            cv_.notify_all();
        }
        lock.unlock();
        session_.release();
    }

    obs_source_t* context_;
    bool warnedFormat_ = false;  // graphics thread only

    std::mutex mutex_;
    std::condition_variable cv_;
    std::shared_ptr<const FilterConfig> config_;     // the latest settings
    obs_source_frame* job_ = nullptr;                // being processed
    std::shared_ptr<const FilterConfig> jobConfig_;  // settings of job_
    obs_source_frame* next_ = nullptr;               // waiting for the worker
    std::shared_ptr<const FilterConfig> nextConfig_;
    obs_source_frame* done_ = nullptr;        // processed, not yet handed back
    std::vector<obs_source_frame*> skipped_;  // to give back unshown
    bool quit_ = false;

    // Worker thread only.
    FrameSession session_;
    FrameAdapter adapter_;
    std::thread worker_;
};

const char* getName(void*) { return obs_module_text("KelvoEnhanceFilter"); }

void getDefaults(obs_data_t* settings) { setDefaults(settings, DefaultBackend::kCpu); }

obs_properties_t* getProperties(void*) { return makeProperties(true); }

obs_source_frame* filterVideo(void* data, obs_source_frame* frame) {
    return static_cast<AsyncFilter*>(data)->filterVideo(frame);
}

void filterRemove(void* data, obs_source_t* parent) {
    static_cast<AsyncFilter*>(data)->release(parent);
}

}  // namespace

obs_source_info asyncFilterInfo() {
    obs_source_info info = {};
    info.id = "kelvo_enhance_filter";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_ASYNC;
    info.get_name = getName;
    info.create = createFilter<AsyncFilter>;
    info.destroy = destroyFilter<AsyncFilter>;
    info.update = updateFilter<AsyncFilter>;
    info.get_defaults = getDefaults;
    info.get_properties = getProperties;
    info.filter_video = filterVideo;
    info.filter_remove = filterRemove;
    return info;
}

}  // namespace obs
}  // namespace kelvo
