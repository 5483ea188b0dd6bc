#include <new>

#include "engine/video_process_engine_impl.h"
#include "kelvo/video_process_engine.h"

extern "C" KELVO_VIDEO_API kelvo::video::IVideoProcessEngine* createVideoProcessEngine(
    bool useExternalContext) {
    return new (std::nothrow) kelvo::video::VideoProcessEngineImpl(useExternalContext);
}
