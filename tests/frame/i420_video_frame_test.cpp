#include "frame/i420_video_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo {
namespace video {
namespace {

using Frame = std::shared_ptr<I420VideoFrame>;

Frame makeFrame() { return Frame(new I420VideoFrame(), I420VideoFrame::deleter()); }

bool aligned64(const void* p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; }

struct Record : IMetaDataInfo {
    explicit Record(int kind) : IMetaDataInfo(kind) {}
};

// Tightly packed w x h I420 source planes with distinct bytes.
struct Source {
    Source(int w, int h) : w(w), h(h), cw((w + 1) / 2) {
        const int ch = (h + 1) / 2;
        for (int i = 0; i < w * h; ++i) y.push_back(uint8_t(i * 7 + 1));
        for (int i = 0; i < cw * ch; ++i) u.push_back(uint8_t(i * 3 + 2));
        v.assign(u.rbegin(), u.rend());
    }
    int copyInto(I420VideoFrame& f, int sizeU = -1) const {
        return f.copyPlanesI420(int(y.size()), y.data(), sizeU < 0 ? int(u.size()) : sizeU,
                                u.data(), int(v.size()), v.data(), w, h, w, cw, cw);
    }
    int w, h, cw;
    std::vector<uint8_t> y, u, v;
};

TEST(AlignedAlloc, GivesAlignedStorageAndRejectsBadRequests) {
    for (size_t size : {size_t{1}, size_t{63}, size_t{4097}}) {
        auto* p = static_cast<uint8_t*>(alignedAlloc(size, 64));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(aligned64(p));
        p[size - 1] = 1;
        alignedFree(p);
    }
    EXPECT_EQ(alignedAlloc(0, 64), nullptr);
    EXPECT_EQ(alignedAlloc(16, 0), nullptr);
    EXPECT_EQ(alignedAlloc(16, 48), nullptr);
    EXPECT_EQ(alignedAlloc(SIZE_MAX - 8, 64), nullptr);
    alignedFree(nullptr);
}

TEST(I420VideoFrame, AllocationRoundsTheLumaStrideToSixteen) {
    struct Row {
        int w, h, sY, sU, sV;
        int strideY, strideC, sizeY, sizeC;
    } rows[] = {
        {640, 480, 640, 320, 320, 640, 320, 307200, 76800},
        {641, 481, 641, 321, 321, 656, 328, 315536, 79048},
        {100, 10, 400, 0, 200, 112, 56, 1120, 280},  // a zero stride: width is the stride
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.w);
        Frame f = makeFrame();
        ASSERT_EQ(f->allocateI420(r.w, r.h, r.sY, r.sU, r.sV), 0);
        EXPECT_EQ(f->stride(0), r.strideY);
        EXPECT_EQ(f->stride(1), r.strideC);
        EXPECT_EQ(f->stride(2), r.strideC);
        EXPECT_EQ(f->allocatedSize(0), r.sizeY);
        EXPECT_EQ(f->allocatedSize(1), r.sizeC);
        EXPECT_EQ(f->allocatedSize(2), r.sizeC);
        EXPECT_EQ(f->storageKind, 0);
        for (int p = 0; p < 3; ++p) EXPECT_TRUE(aligned64(f->buffer(p)));
    }
}

TEST(I420VideoFrame, AllocationRejectsEmptyAndOverflowingSizes) {
    Frame f = makeFrame();
    EXPECT_EQ(f->allocateI420(0, 0, 0, 0, 0), -1);
    EXPECT_EQ(f->format, 1);  // stored before the check
    EXPECT_EQ(f->allocateI420(INT_MAX - 3, 2, INT_MAX - 3, 1, 1), -1);
    EXPECT_EQ(f->allocateI420(70000, 70000, 70000, 35000, 35000), -1);
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->buffer(0), nullptr);
}

TEST(I420VideoFrame, StorageGrowsKeepingBytesAndNeverShrinks) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(64, 64, 64, 32, 32), 0);
    f->buffer(0)[5] = 77;
    uint8_t* first = f->buffer(0);
    ASSERT_EQ(f->allocateI420(32, 32, 32, 16, 16), 0);
    EXPECT_EQ(f->buffer(0), first);
    EXPECT_EQ(f->allocatedSize(0), 64 * 64);
    ASSERT_EQ(f->allocateI420(128, 128, 128, 64, 64), 0);
    EXPECT_EQ(f->allocatedSize(0), 128 * 128);
    EXPECT_EQ(f->buffer(0)[5], 77);
    f->resetSize();
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->allocatedSize(0), 128 * 128);
}

TEST(I420VideoFrame, DimensionsAreCheckedOnlyForPlanarFormats) {
    Frame f = makeFrame();
    EXPECT_EQ(f->checkDimensions(-1, -1, 0, 0, 0), 0);
    EXPECT_EQ(f->setWidth(1920), 0);
    EXPECT_EQ(f->setHeight(1080), 0);
    ASSERT_EQ(f->allocateI420(64, 32, 64, 32, 32), 0);
    EXPECT_EQ(f->checkDimensions(5, 5, 5, 2, 3), -1);
    EXPECT_EQ(f->setWidth(65), -1);
    EXPECT_EQ(f->setHeight(0), -1);
    EXPECT_EQ(f->width(), 64);
    EXPECT_EQ(f->height(), 32);
}

TEST(I420VideoFrame, BadPlaneNumbersGiveNullAndMinusOne) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(16, 16, 16, 8, 8), 0);
    const I420VideoFrame& cf = *f;
    for (int p : {-1, 3}) {
        EXPECT_EQ(f->buffer(p), nullptr);
        EXPECT_EQ(cf.buffer(p), nullptr);
        EXPECT_EQ(f->stride(p), -1);
        EXPECT_EQ(f->allocatedSize(p), -1);
    }
}

TEST(I420VideoFrame, CopyPlanesCopiesRowsIntoRoundedStrides) {
    Source src(21, 7);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(src.copyInto(*f), 0);
    EXPECT_EQ(f->stride(0), 32);
    EXPECT_EQ(f->stride(1), 16);
    EXPECT_EQ(f->storageKind, 0);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 21; ++c) ASSERT_EQ(f->buffer(0)[r * 32 + c], src.y[r * 21 + c]);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 11; ++c) ASSERT_EQ(f->buffer(2)[r * 16 + c], src.v[r * 11 + c]);
}

TEST(I420VideoFrame, CopyPlanesRejectsEmptyOrShortSourcesAndChangesNothing) {
    Source src(16, 4);
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(32, 8, 32, 16, 16), 0);
    f->storageKind = 1;
    EXPECT_EQ(src.copyInto(*f, 0), -1);
    EXPECT_EQ(src.copyInto(*f, int(src.u.size()) - 1), -1);  // would read past U
    EXPECT_EQ(f->width(), 32);
    EXPECT_EQ(f->stride(0), 32);
    EXPECT_EQ(f->storageKind, 1);
}

TEST(I420VideoFrame, WiderSourceChromaStrideDoesNotWritePastRows) {
    std::vector<uint8_t> y(16 * 4, 1), u(40 * 2, 2), v(40 * 2, 3);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(f->copyPlanesI420(int(y.size()), y.data(), int(u.size()), u.data(), int(v.size()),
                                v.data(), 16, 4, 16, 40, 40),
              0);
    EXPECT_EQ(f->allocatedSize(1), 16);
}

TEST(I420VideoFrame, PadRowEndsRepeatsTheLastVisibleSample) {
    Source src(5, 3);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(src.copyInto(*f), 0);  // strides 16 and 8; the copy pads
    for (int r = 0; r < 3; ++r)
        for (int c = 5; c < 16; ++c) ASSERT_EQ(f->buffer(0)[r * 16 + c], src.y[r * 5 + 4]);
    // Three chroma samples are visible; the third is the edge and is kept.
    for (int r = 0; r < 2; ++r)
        for (int c = 2; c < 8; ++c) ASSERT_EQ(f->buffer(1)[r * 8 + c], src.u[r * 3 + 2]);
}

TEST(I420VideoFrame, PadRowEndsDoesNothingWhenLumaStrideEqualsWidth) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(32, 4, 32, 16, 16), 0);
    for (int p = 0; p < 3; ++p)
        for (int i = 0; i < f->allocatedSize(p); ++i) f->buffer(p)[i] = uint8_t(i);
    f->padRowEnds();
    for (int p = 0; p < 3; ++p)
        for (int i = 0; i < f->allocatedSize(p); ++i) ASSERT_EQ(f->buffer(p)[i], uint8_t(i));
}

TEST(I420VideoFrame, PadRowEndsStaysInsideStorageWhenHeightExceedsIt) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(16, 2, 32, 16, 16), 0);
    ASSERT_EQ(f->setHeight(1000), 0);  // only strides are checked
    f->padRowEnds();                   // the sanitizer build catches a stray write
    EXPECT_EQ(f->buffer(0)[31], f->buffer(0)[15]);
}

TEST(I420VideoFrame, CopyAndSwapCarryPlanesAndFieldsButNotMetadata) {
    Source src(33, 9);
    Frame a = makeFrame();
    a->format = 1;
    ASSERT_EQ(src.copyInto(*a), 0);
    a->setUserValue2(12);
    a->setUserValue3(13);
    a->textureId = 5;
    a->colorMatrix = 1;
    a->setMetadata(1, std::make_shared<Record>(1));

    Frame b = makeFrame();
    ASSERT_EQ(b->copyFrame(*a), 0);
    EXPECT_EQ(b->width(), 33);
    EXPECT_EQ(b->userValue2(), 12);
    EXPECT_EQ(b->userValue3(), 0);
    EXPECT_EQ(b->textureId, 5);
    EXPECT_EQ(b->format, 1);
    EXPECT_EQ(b->colorMatrix, 1);
    EXPECT_EQ(b->metadata(1), nullptr);
    EXPECT_TRUE(std::equal(a->buffer(1), a->buffer(1) + a->allocatedSize(1), b->buffer(1)));
    EXPECT_EQ(b->copyFrame(*makeFrame()), -1);

    Frame c = makeFrame();
    uint8_t* aY = a->buffer(0);
    a->swapFrame(c.get());
    EXPECT_EQ(c->buffer(0), aY);
    EXPECT_EQ(c->width(), 33);
    EXPECT_EQ(c->colorMatrix, 1);
    EXPECT_EQ(c->userValue3(), 0);
    EXPECT_EQ(c->metadata(1), nullptr);
    EXPECT_TRUE(a->isEmpty());
    EXPECT_EQ(a->format, 0);
    EXPECT_EQ(a->userValue3(), 13);
    EXPECT_NE(a->metadata(1), nullptr);
}

TEST(I420VideoFrame, MetadataIsReplacedByKindAndRejectedForKindZero) {
    Frame f = makeFrame();
    auto first = std::make_shared<Record>(1);
    auto second = std::make_shared<Record>(1);
    EXPECT_EQ(f->setMetadata(0, first), -6);
    EXPECT_EQ(f->setMetadata(1, nullptr), -6);
    EXPECT_EQ(f->setMetadata(1, first), 0);
    EXPECT_EQ(f->setMetadata(1, second), 0);
    EXPECT_EQ(f->metadata(1), second);
    EXPECT_EQ(f->metadata(2), nullptr);
    EXPECT_EQ(first.use_count(), 1);
    std::weak_ptr<IMetaDataInfo> held = second;
    second.reset();
    f.reset();  // the deleter releases the records with the frame
    EXPECT_TRUE(held.expired());
}

}  // namespace
}  // namespace video
}  // namespace kelvo
