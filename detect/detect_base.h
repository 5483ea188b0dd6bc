// Detector interface of the detection engine.
//
// A detector analyses the luma of one frame and keeps its result in a record
// (an IMetaDataInfo) that the detection engine attaches to the frame and hands
// to the observer. Detectors are not thread-safe; they run on the thread that
// processes frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "frame/numbering.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

// Detector names. Only "frame_brightness" and "face_kelvo" create anything.
extern const char* const kDetectorFrameBrightness;  // "frame_brightness"
extern const char* const kDetectorFaceKelvo;        // "face_kelvo"
extern const char* const kDetectorFaceExternal;     // "face_external"
extern const char* const kDetectorSegKelvoLab;      // "seg_kelvo_lab"
extern const char* const kDetectorSegKelvoVe;       // "seg_kelvo_ve"

// Result codes of detect().
enum {
    kDetectOk = 0,
    kDetectSkipped = -5,      // engine: run skipped or no detector created
    kDetectDisabled = -4,     // the detector is switched off
    kDetectInvalidData = -6,  // missing or too small data, bad size or kind
};

class IDetectBase {
public:
    IDetectBase(int kind, std::string name) : kind_(kind), name_(std::move(name)) {}
    virtual ~IDetectBase() = default;
    IDetectBase(const IDetectBase&) = delete;
    IDetectBase& operator=(const IDetectBase&) = delete;

    // Lifecycle hooks; no current detector needs them. The detection engine
    // calls release() on each detector when it is destroyed.
    virtual void prepare() {}
    virtual void release() {}
    virtual void setOption(int /*key*/, int /*value*/) {}

    // Analyses one picture. dataKind 1 means data holds a luma plane of
    // width * height bytes, rows width bytes apart; size is the number of
    // readable bytes at data and is never exceeded. Returns 0 when the record
    // was refilled, or a negative code (kDetect...) leaving it as it was.
    virtual int detect(int dataKind, int width, int height, const uint8_t* data, int size) = 0;

    // The result record, shared with the detector; may be empty.
    virtual std::shared_ptr<IMetaDataInfo> metadata() = 0;

    int kind() const { return kind_; }
    const std::string& name() const { return name_; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

protected:
    int kind_;
    bool enabled_ = false;
    std::string name_;
};

// Base of face detectors: kind 3.
class FaceDetectBase : public IDetectBase {
public:
    explicit FaceDetectBase(std::string name) : IDetectBase(kDetectionFace, std::move(name)) {}
};

}  // namespace video
}  // namespace kelvo
