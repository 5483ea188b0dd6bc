#include "detect/kelvo_face_detect_impl.h"

namespace kelvo {
namespace video {

KelvoFaceDetectImpl::KelvoFaceDetectImpl() : FaceDetectBase(kDetectorFaceKelvo) {}

int KelvoFaceDetectImpl::detect(int /*dataKind*/, int /*width*/, int /*height*/,
                                const uint8_t* data, int /*size*/) {
    return data ? kDetectOk : kDetectInvalidData;
}

std::shared_ptr<IMetaDataInfo> KelvoFaceDetectImpl::metadata() { return record_; }

}  // namespace video
}  // namespace kelvo
