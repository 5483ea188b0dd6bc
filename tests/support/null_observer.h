// An observer that ignores everything: tests derive from it and override only
// the callbacks they look at.
#pragma once

#include <memory>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class NullObserver : public IVideoProcessObserver {
public:
    void onInitialized(int) override {}
    void onLog(int, const char*) override {}
    void onDetectionResult(int, int, const std::shared_ptr<IMetaDataInfo>&) override {}
    void onEffectResult(int, int) override {}
    void onProcessResult(int) override {}
};

}  // namespace video
}  // namespace kelvo
