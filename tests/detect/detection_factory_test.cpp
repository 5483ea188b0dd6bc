#include <gtest/gtest.h>

#include <cstdint>

#include "detect/brightness_detect_impl.h"
#include "detect/detection_factory.h"
#include "detect/kelvo_face_detect_impl.h"

namespace kelvo {
namespace video {
namespace {

TEST(DetectionFactory, CreatesDisabledDetectorsOnlyForMatchingKindAndName) {
    const auto brightness = DetectionFactory::create(1, "frame_brightness");
    ASSERT_NE(dynamic_cast<BrightnessDetectImpl*>(brightness.get()), nullptr);
    EXPECT_FALSE(brightness->enabled());
    const auto face = DetectionFactory::create(3, "face_kelvo");
    ASSERT_NE(dynamic_cast<KelvoFaceDetectImpl*>(face.get()), nullptr);
    EXPECT_EQ(face->kind(), 3);
    EXPECT_FALSE(face->enabled());

    EXPECT_FALSE(DetectionFactory::create(0, "frame_brightness"));
    EXPECT_FALSE(DetectionFactory::create(3, "frame_brightness"));
    EXPECT_FALSE(DetectionFactory::create(3, kDetectorFaceExternal));
    EXPECT_FALSE(DetectionFactory::create(2, kDetectorSegKelvoLab));
    EXPECT_FALSE(DetectionFactory::create(1, nullptr));
}

TEST(KelvoFaceDetect, AcceptsAnyNonNullBufferAndProducesNoRecord) {
    KelvoFaceDetectImpl face;
    const uint8_t byte = 0;
    EXPECT_EQ(face.detect(7, -1, 0, &byte, 0), 0);  // nothing but the pointer matters
    EXPECT_EQ(face.detect(1, 64, 64, nullptr, 4096), -6);
    EXPECT_FALSE(face.metadata());
}

}  // namespace
}  // namespace video
}  // namespace kelvo
