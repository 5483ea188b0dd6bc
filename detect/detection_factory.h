// Creates detectors by detection kind and detector name.
#pragma once

#include <memory>

#include "detect/detect_base.h"

namespace kelvo {
namespace video {

class DetectionFactory {
public:
    // (1, "frame_brightness"): a BrightnessDetectImpl; (3, "face_kelvo"): a
    // KelvoFaceDetectImpl; anything else, kind 0 included: empty. name may be
    // null. The new detector is disabled.
    static std::shared_ptr<IDetectBase> create(int kind, const char* name);
};

}  // namespace video
}  // namespace kelvo
