#include "detect/detection_factory.h"

#include <cstring>

#include "detect/brightness_detect_impl.h"
#include "detect/kelvo_face_detect_impl.h"

namespace kelvo {
namespace video {

const char* const kDetectorFrameBrightness = "frame_brightness";
const char* const kDetectorFaceKelvo = "face_kelvo";
const char* const kDetectorFaceExternal = "face_external";
const char* const kDetectorSegKelvoLab = "seg_kelvo_lab";
const char* const kDetectorSegKelvoVe = "seg_kelvo_ve";

std::shared_ptr<IDetectBase> DetectionFactory::create(int kind, const char* name) {
    if (kind == kDetectionNone || !name) return nullptr;
    if (kind == kDetectionFace && std::strcmp(name, kDetectorFaceKelvo) == 0) {
        return std::make_shared<KelvoFaceDetectImpl>();
    }
    if (kind == kDetectionFrameBrightness && std::strcmp(name, kDetectorFrameBrightness) == 0) {
        return std::make_shared<BrightnessDetectImpl>();
    }
    return nullptr;
}

}  // namespace video
}  // namespace kelvo
