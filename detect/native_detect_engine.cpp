#include "detect/native_detect_engine.h"

#include <utility>

#include "convert/buffer_layout.h"
#include "detect/detection_factory.h"
#include "libyuv/planar_functions.h"

namespace kelvo {
namespace video {

NativeDetectEngine::~NativeDetectEngine() {
    for (const auto& detector : detectors_) detector->release();
}

int NativeDetectEngine::setDetections(const std::vector<int>& kinds) {
    if (kinds.empty()) return kDetectInvalidData;
    for (int kind : kinds) addDetector(kind);
    return kDetectOk;
}

int NativeDetectEngine::addDetector(int kind) {
    // Every chain rebuild hands over the kinds again; a second detector of a
    // kind would only run the same analysis twice and report it twice.
    const auto existing = byKind_.find(kind);
    if (existing != byKind_.end() && !existing->second.expired()) return kDetectOk;
    std::shared_ptr<IDetectBase> detector;
    switch (kind) {
        case kDetectionNone:
            return kDetectSkipped;
        case kDetectionFrameBrightness:
            detector = DetectionFactory::create(kind, kDetectorFrameBrightness);
            break;
        case kDetectionFace:
            detector = DetectionFactory::create(kind, kDetectorFaceKelvo);
            break;
        default:
            return kDetectOk;
    }
    if (!detector) return kDetectSkipped;
    // Listed first: an entry of a detector that could not be kept would stay
    // expired, and the kind's next detector would never be found.
    detectors_.push_back(detector);
    byKind_[detector->kind()] = detector;
    return kDetectOk;
}

void NativeDetectEngine::setBrightnessDetectionEnabled(bool enabled) {
    const auto found = byKind_.find(kDetectionFrameBrightness);
    if (found == byKind_.end()) return;
    if (const auto detector = found->second.lock()) detector->setEnabled(enabled);
}

int NativeDetectEngine::detect(const std::shared_ptr<I420VideoFrame>& frame, uint8_t* buffer,
                               int size, int videoType, bool skip) {
    if (!buffer || !frame) return kDetectInvalidData;
    const int width = frame->width();
    const int height = frame->height();
    // The write-back fills a whole frame of the caller's format; a shorter
    // buffer would be written past its end.
    if (size <= 0 || size < requiredBufferSize(videoType, width, height)) return kDetectInvalidData;

    if (skip) return kDetectSkipped;

    const uint8_t* luma = nullptr;
    int lumaSize = 0;
    const uint8_t* y = frame->buffer(0);
    const int stride = frame->stride(0);
    if (y && width > 0 && height > 0 && stride >= width &&
        static_cast<int64_t>(stride) * (height - 1) + width <= frame->allocatedSize(0)) {
        if (stride == width) {
            luma = y;
        } else {
            luma_.resize(static_cast<size_t>(width) * height);
            libyuv::CopyPlane(y, stride, luma_.data(), width, width, height);
            luma = luma_.data();
        }
        lumaSize = width * height;
    }

    int result = kDetectOk;
    for (const auto& detector : detectors_) {
        const int r = detector->detect(1, width, height, luma, lumaSize);
        std::shared_ptr<IMetaDataInfo> record;
        if (r != kDetectOk) {
            result = r;
        } else {
            record = detector->metadata();
            if (record) frame->setMetadata(record->metadataKind, record);
        }
        if (observer_) observer_->onDetectionResult(r, detector->kind(), record);
    }
    return result;
}

}  // namespace video
}  // namespace kelvo
