// The numbering schemes the layers share, in one place that every layer can
// include (no GL, no code). The values are fixed: they appear in log texts
// ("inner effects: 103 201 901", "inner detections: 1") and in the callers'
// data. Public effect ids (101-104) and pixel-format ids (1-8) are the
// kEffect... and kPixelFormat... constants of the public header.
#pragma once

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

// Internal effect types of the render chain.
enum EffectType : int {
    kEffectTypeVideoDenoiser = 10,
    kEffectTypeOESConvertor = 102,
    kEffectTypeYUVInputConvertor = 103,
    kEffectTypeBeauty = 201,
    kEffectTypeColorEnhance = 202,
    kEffectTypeLowlightEnhance = 203,
    kEffectTypeTextureOutput = 900,
    kEffectTypeYUVOutputConvertor = 901,
};

// What an effect is, fixed by its constructor.
enum EffectKind : int {
    kEffectKindGPUFilter = 0,
    kEffectKindCPU = 1,
    kEffectKindInputConvertor = 2,
    kEffectKindOutputConvertor = 3,
};

// Internal video types of caller pixel buffers, one per pixel format; 0 for
// none. The packed types take libyuv's names (see convert/frame_conversion.h).
enum VideoType : int {
    kVideoTypeUnknown = 0,
    kVideoTypeI420 = 1,
    kVideoTypeARGB = 5,
    kVideoTypeYV12 = 10,
    kVideoTypeNV21 = 13,
    kVideoTypeNV12 = 14,
    kVideoTypeBGRA = 15,
    kVideoTypeRGBA = 16,
    kVideoTypeI422 = 17,
};

// Detection kinds of the detection engine.
enum DetectionKind : int {
    kDetectionNone = 0,
    kDetectionFrameBrightness = 1,
    kDetectionFace = 3,
};

}  // namespace video
}  // namespace kelvo
