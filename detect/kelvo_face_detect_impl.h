// Face detector of kind 3, "face_kelvo": a placeholder behind the detector
// interface that accepts every frame and produces no record.
#pragma once

#include <memory>

#include "detect/detect_base.h"

namespace kelvo {
namespace video {

class KelvoFaceDetectImpl : public FaceDetectBase {
public:
    KelvoFaceDetectImpl();

    // 0 when data is not null, −6 otherwise; reads nothing.
    int detect(int dataKind, int width, int height, const uint8_t* data, int size) override;
    // Always empty.
    std::shared_ptr<IMetaDataInfo> metadata() override;

private:
    std::shared_ptr<IMetaDataInfo> record_;
};

}  // namespace video
}  // namespace kelvo
