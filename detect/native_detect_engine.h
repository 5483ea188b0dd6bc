// Runs the detectors on each frame, attaches their records to the frame and
// reports every run to the observer.
//
// Used from the engine's processing thread only; holds no lock. The observer
// is called synchronously from detect().
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "detect/detect_base.h"
#include "frame/i420_video_frame.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class NativeDetectEngine {
public:
    NativeDetectEngine() = default;
    // Calls release() on every detector.
    ~NativeDetectEngine();
    NativeDetectEngine(const NativeDetectEngine&) = delete;
    NativeDetectEngine& operator=(const NativeDetectEngine&) = delete;

    // Not owned; null removes it.
    void setObserver(IVideoProcessObserver* observer) { observer_ = observer; }

    // addDetector for each kind in order. −6 for an empty list, else 0
    // whatever the single additions return.
    int setDetections(const std::vector<int>& kinds);

    // Kind 1 appends a brightness detector, kind 3 a face detector (both
    // disabled): 0. Kind 0: −5. Other kinds add nothing: 0. A kind that
    // already has its detector adds nothing either: 0.
    int addDetector(int kind);

    // Switches the brightness detector on or off; nothing without one.
    void setBrightnessDetectionEnabled(bool enabled);

    // Runs every detector on one frame:
    // 1. −6 when frame or buffer is null, or size is smaller than a packed
    //    frame of videoType needs (nothing is read then).
    // 2. −5 when skip is set.
    // 3. Each detector gets the frame's luma, tightly packed. The caller's
    //    buffer is never written: a frame that fails later must leave it as
    //    it was. A record of a successful detector is attached to the frame
    //    under its metadataKind; the observer is told every result with the
    //    detector's kind and its record (maybe empty).
    // Returns the last non-zero detector result, or 0.
    int detect(const std::shared_ptr<I420VideoFrame>& frame, uint8_t* buffer, int size,
               int videoType, bool skip);

    // The detectors in the order added.
    const std::vector<std::shared_ptr<IDetectBase>>& detectors() const { return detectors_; }

private:
    std::vector<std::shared_ptr<IDetectBase>> detectors_;
    std::map<int, std::weak_ptr<IDetectBase>> byKind_;
    IVideoProcessObserver* observer_ = nullptr;
    // Luma of packed-RGB frames, kept across frames to avoid an allocation each.
    std::vector<uint8_t> luma_;
};

}  // namespace video
}  // namespace kelvo
