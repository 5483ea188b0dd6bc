#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "detect/metadata_frame_stats.h"
#include "detect/native_detect_engine.h"
#include "frame/i420_video_frame.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

struct DetectionCall {
    int result;
    int kind;
    std::shared_ptr<IMetaDataInfo> record;
};

class RecordingObserver : public NullObserver {
public:
    void onDetectionResult(int result, int kind,
                           const std::shared_ptr<IMetaDataInfo>& record) override {
        calls.push_back({result, kind, record});
    }
    std::vector<DetectionCall> calls;
};

// Random planes. Widths that are not multiples of 16 give strides wider than
// the picture.
std::shared_ptr<I420VideoFrame> makeFrame(int w, int h, unsigned seed) {
    std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(frame->allocate(w, h, w, (w + 1) / 2, (w + 1) / 2, 1), 0);
    std::mt19937 gen(seed);
    for (int p = 0; p < 3; ++p)
        for (int i = 0; i < frame->allocatedSize(p); ++i)
            frame->buffer(p)[i] = static_cast<uint8_t>(16 + gen() % 220);
    return frame;
}

// Bytes of a packed caller buffer; also the expected write-back for I420.
int bufferSize(int videoType, int w, int h) {
    if (videoType == 16 || videoType == 5 || videoType == 15) return 4 * w * h;
    const int chromaRows = videoType == 17 ? h : (h + 1) / 2;
    return w * h + 2 * ((w + 1) / 2) * chromaRows;
}

const MetaDataFrameStats* frameStats(const I420VideoFrame& frame) {
    return dynamic_cast<const MetaDataFrameStats*>(frame.metadata(1).get());
}

class NativeDetectEngineTest : public ::testing::Test {
protected:
    void SetUp() override { engine.setObserver(&observer); }
    int detectI420(const std::shared_ptr<I420VideoFrame>& frame, std::vector<uint8_t>& buffer,
                   bool skip = false) {
        return engine.detect(frame, buffer.data(), static_cast<int>(buffer.size()), 1, skip);
    }
    RecordingObserver observer;
    NativeDetectEngine engine;
};

TEST_F(NativeDetectEngineTest, BrightnessThenFaceRunInOrderAndOnlyBrightnessAttachesARecord) {
    ASSERT_EQ(engine.setDetections({1, 3}), 0);
    ASSERT_EQ(engine.detectors().size(), 2u);
    EXPECT_EQ(engine.detectors()[0]->kind(), 1);
    EXPECT_EQ(engine.detectors()[1]->kind(), 3);
    engine.setBrightnessDetectionEnabled(true);
    auto frame = makeFrame(64, 48, 1);
    std::vector<uint8_t> buffer(bufferSize(1, 64, 48));
    EXPECT_EQ(detectI420(frame, buffer), 0);

    ASSERT_NE(frameStats(*frame), nullptr);
    EXPECT_EQ(frame->metadata(1), engine.detectors()[0]->metadata());
    EXPECT_FALSE(frame->metadata(3));
    ASSERT_EQ(observer.calls.size(), 2u);
    EXPECT_EQ(observer.calls[0].kind, 1);
    EXPECT_EQ(observer.calls[0].record, frame->metadata(1));
    EXPECT_EQ(observer.calls[1].result, 0);
    EXPECT_EQ(observer.calls[1].kind, 3);
    EXPECT_FALSE(observer.calls[1].record);
}

TEST_F(NativeDetectEngineTest, KindsAreCheckedWhenAddingAndEachKindGetsOneDetector) {
    EXPECT_EQ(engine.setDetections({}), -6);
    engine.setBrightnessDetectionEnabled(true);  // no detector yet: nothing to do
    EXPECT_EQ(engine.addDetector(2), 0);
    EXPECT_EQ(engine.addDetector(0), -5);
    EXPECT_TRUE(engine.detectors().empty());
    EXPECT_EQ(engine.setDetections({0, 1, 2, 1}), 0);
    EXPECT_EQ(engine.setDetections({1, 3, 3}), 0);
    ASSERT_EQ(engine.detectors().size(), 2u);
    EXPECT_EQ(engine.detectors()[0]->kind(), 1);
    EXPECT_EQ(engine.detectors()[1]->kind(), 3);
    EXPECT_FALSE(engine.detectors()[0]->enabled());
    engine.setBrightnessDetectionEnabled(true);
    EXPECT_TRUE(engine.detectors()[0]->enabled());

    auto frame = makeFrame(32, 32, 2);
    std::vector<uint8_t> buffer(bufferSize(1, 32, 32));
    EXPECT_EQ(detectI420(frame, buffer), 0);
    EXPECT_EQ(observer.calls.size(), 2u);
}

TEST_F(NativeDetectEngineTest, DisabledBrightnessAttachesNothingAndReportsAnEmptyRecord) {
    ASSERT_EQ(engine.setDetections({1}), 0);
    auto frame = makeFrame(32, 32, 3);
    std::vector<uint8_t> buffer(bufferSize(1, 32, 32));
    EXPECT_EQ(detectI420(frame, buffer), -4);
    EXPECT_FALSE(frame->metadata(1));
    ASSERT_EQ(observer.calls.size(), 1u);
    EXPECT_EQ(observer.calls[0].result, -4);
    EXPECT_EQ(observer.calls[0].kind, 1);
    EXPECT_FALSE(observer.calls[0].record);
}

// A frame that fails after detection must leave the caller's bytes as they
// came, so detection only reads.
TEST_F(NativeDetectEngineTest, NeverWritesTheCallersBuffer) {
    const int w = 37, h = 21;  // padded strides, rounded-up chroma
    auto frame = makeFrame(w, h, 4);
    const std::vector<uint8_t> untouched(bufferSize(1, w, h), 7);
    std::vector<uint8_t> buffer = untouched;
    EXPECT_EQ(detectI420(frame, buffer), 0);  // no detectors
    EXPECT_EQ(buffer, untouched);

    ASSERT_EQ(engine.setDetections({1}), 0);
    engine.setBrightnessDetectionEnabled(true);
    EXPECT_EQ(detectI420(frame, buffer), 0);
    EXPECT_EQ(buffer, untouched);
    ASSERT_NE(frameStats(*frame), nullptr);
    observer.calls.clear();
    EXPECT_EQ(detectI420(frame, buffer, true), -5);
    EXPECT_EQ(buffer, untouched);
    EXPECT_TRUE(observer.calls.empty());

    EXPECT_EQ(engine.detect(frame, nullptr, 1000, 1, false), -6);
    EXPECT_EQ(engine.detect(nullptr, buffer.data(), static_cast<int>(buffer.size()), 1, false), -6);
    EXPECT_TRUE(observer.calls.empty());
}

struct FormatCase {
    const char* name;
    int videoType;
};

class DetectFormats : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        engine.setObserver(&observer);
        ASSERT_EQ(engine.setDetections({1}), 0);
        engine.setBrightnessDetectionEnabled(true);
    }
    RecordingObserver observer;
    NativeDetectEngine engine;
};

// Whatever the caller's format, the statistics describe the frame's Y plane.
TEST_P(DetectFormats, StatisticsDescribeTheFramesLumaPlane) {
    const int type = GetParam().videoType;
    for (const int w : {90, 20}) {  // a smaller second frame: no stale luma
        const int h = w / 2;
        auto frame = makeFrame(w, h, type * 100 + w);
        std::vector<uint8_t> buffer(bufferSize(type, w, h), 7);
        ASSERT_EQ(engine.detect(frame, buffer.data(), static_cast<int>(buffer.size()), type, false),
                  0);
        uint32_t histogram[256] = {}, sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = frame->buffer(0)[y * frame->stride(0) + x];
                histogram[v]++;
                sum += v;
            }
        const MetaDataFrameStats* stats = frameStats(*frame);
        ASSERT_NE(stats, nullptr);
        EXPECT_EQ(stats->sampleCount, static_cast<uint32_t>(w * h));
        EXPECT_EQ(stats->mean, sum / (w * h));
        EXPECT_EQ(0, std::memcmp(stats->histogram, histogram, sizeof histogram));
    }
}

// One byte short, on the heap, so that ASan sees a read past it.
TEST_P(DetectFormats, BufferShorterThanTheFormatNeedsIsNeitherWrittenNorRead) {
    const int type = GetParam().videoType;
    auto frame = makeFrame(33, 17, 6);
    std::vector<uint8_t> buffer(bufferSize(type, 33, 17) - 1, 7);
    EXPECT_EQ(engine.detect(frame, buffer.data(), static_cast<int>(buffer.size()), type, false),
              -6);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 7));
    EXPECT_TRUE(observer.calls.empty());
    EXPECT_FALSE(frame->metadata(1));
}

INSTANTIATE_TEST_SUITE_P(AllCallerFormats, DetectFormats,
                         ::testing::Values(FormatCase{"I420", 1}, FormatCase{"I422", 17},
                                           FormatCase{"NV21", 13}, FormatCase{"NV12", 14},
                                           FormatCase{"YV12", 10}, FormatCase{"RGBA", 16},
                                           FormatCase{"ARGB", 5}, FormatCase{"BGRA", 15}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace video
}  // namespace kelvo
