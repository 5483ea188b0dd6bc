#include <new>

#include "engine/video_process_engine_impl.h"
#include "kelvo/video_process_engine.h"

extern "C" KELVO_VIDEO_API kelvo::video::IVideoProcessEngine* createVideoProcessEngine(
    bool useExternalContext) {
    // The constructor allocates too (a caller context's framebuffer pool):
    // nothrow new alone would let that throw through.
    try {
        return new kelvo::video::VideoProcessEngineImpl(useExternalContext);
    } catch (...) {
        return nullptr;
    }
}
