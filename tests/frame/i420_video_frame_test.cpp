#include "frame/i420_video_frame.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace kelvo {
namespace video {
namespace {

using Frame = std::shared_ptr<I420VideoFrame>;

Frame makeFrame() { return Frame(new I420VideoFrame(), I420VideoFrame::deleter()); }

bool aligned64(const void* p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; }

struct Record : IMetaDataInfo {
    explicit Record(int kind, int v) : IMetaDataInfo(kind), value(v) {}
    int value;
};

// Source planes of a w x h I420 picture, tightly packed, with distinct bytes.
struct SourcePlanes {
    SourcePlanes(int w, int h) : w(w), h(h), cw((w + 1) / 2), ch((h + 1) / 2) {
        y.resize(size_t(w) * h);
        u.resize(size_t(cw) * ch);
        v.resize(size_t(cw) * ch);
        for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(i * 7 + 1);
        for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(i * 3 + 2);
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(i * 5 + 3);
    }
    int copyInto(I420VideoFrame& f) const {
        return f.copyPlanesI420(int(y.size()), y.data(), int(u.size()), u.data(),
                                int(v.size()), v.data(), w, h, w, cw, cw);
    }
    int w, h, cw, ch;
    std::vector<uint8_t> y, u, v;
};

TEST(AlignedAlloc, ReturnsSixtyFourByteAlignedWritableStorage) {
    for (size_t size : {size_t{1}, size_t{63}, size_t{64}, size_t{1000}, size_t{4097}}) {
        auto* p = static_cast<uint8_t*>(alignedAlloc(size, 64));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(aligned64(p));
        p[0] = 1;
        p[size - 1] = 2;
        alignedFree(p);
    }
}

TEST(AlignedAlloc, RejectsZeroSizeAndBadAlignment) {
    EXPECT_EQ(alignedAlloc(0, 64), nullptr);
    EXPECT_EQ(alignedAlloc(16, 0), nullptr);
    EXPECT_EQ(alignedAlloc(16, 48), nullptr);
    EXPECT_EQ(alignedAlloc(SIZE_MAX - 8, 64), nullptr);
    alignedFree(nullptr);
}

TEST(AlignedAlloc, SmallAlignmentsStillWork) {
    for (size_t a : {size_t{1}, size_t{2}, size_t{8}, size_t{128}}) {
        auto* p = static_cast<uint8_t*>(alignedAlloc(10, a));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % a, 0u);
        alignedFree(p);
    }
}

TEST(I420VideoFrame, NewFrameHasInitialState) {
    Frame f = makeFrame();
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->width(), 0);
    EXPECT_EQ(f->height(), 0);
    EXPECT_EQ(f->storageKind, -1);
    EXPECT_EQ(f->textureId, 0);
    EXPECT_EQ(f->textureType, 2);
    EXPECT_EQ(f->format, 0);
    EXPECT_EQ(f->colorRange, -1);
    EXPECT_EQ(f->colorMatrix, -1);
    EXPECT_EQ(f->buffer(0), nullptr);
    EXPECT_EQ(f->allocatedSize(0), 0);
    EXPECT_EQ(f->handle(), nullptr);
}

TEST(I420VideoFrame, AllocatesEvenSizeWithRequestedStrides) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(640, 480, 640, 320, 320), 0);
    EXPECT_EQ(f->stride(0), 640);
    EXPECT_EQ(f->stride(1), 320);
    EXPECT_EQ(f->stride(2), 320);
    EXPECT_EQ(f->allocatedSize(0), 307200);
    EXPECT_EQ(f->allocatedSize(1), 76800);
    EXPECT_EQ(f->allocatedSize(2), 76800);
    EXPECT_EQ(f->format, 1);
    EXPECT_EQ(f->storageKind, 0);
    EXPECT_FALSE(f->isEmpty());
    for (int p = 0; p < 3; ++p) EXPECT_TRUE(aligned64(f->buffer(p)));
}

TEST(I420VideoFrame, AllocatesOddSizeWithStrideRoundedToSixteen) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(641, 481, 641, 321, 321), 0);
    EXPECT_EQ(f->stride(0), 656);
    EXPECT_EQ(f->stride(1), 328);
    EXPECT_EQ(f->stride(2), 328);
    EXPECT_EQ(f->allocatedSize(0), 315536);
    EXPECT_EQ(f->allocatedSize(1), 79048);  // 328 x 241 rows
    EXPECT_EQ(f->allocatedSize(2), 79048);
}

TEST(I420VideoFrame, ZeroChromaStrideMakesWidthTheLumaStride) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(100, 10, 400, 0, 200), 0);
    EXPECT_EQ(f->stride(0), 112);
    EXPECT_EQ(f->stride(1), 56);
}

TEST(I420VideoFrame, I422AllocationHasFullHeightChroma) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocate(64, 9, 64, 32, 32, 2), 0);
    EXPECT_EQ(f->allocatedSize(1), 32 * 9);
    EXPECT_EQ(f->format, 2);
}

TEST(I420VideoFrame, AllocateRejectsBadSizesButKeepsThem) {
    Frame f = makeFrame();
    EXPECT_EQ(f->allocateI420(0, 0, 0, 0, 0), -1);
    EXPECT_EQ(f->format, 1);
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->allocateI420(-4, 10, 16, 8, 8), -1);
    EXPECT_EQ(f->width(), -4);
}

TEST(I420VideoFrame, AllocateRejectsSizesThatOverflow) {
    Frame f = makeFrame();
    EXPECT_EQ(f->allocateI420(INT_MAX - 3, 2, INT_MAX - 3, 0, 0), -1);  // stride rounding
    EXPECT_EQ(f->allocateI420(70000, 70000, 70000, 35000, 35000), -1);  // h x stride
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->buffer(0), nullptr);
}

TEST(I420VideoFrame, ReallocationKeepsStorageAndNeverShrinks) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(64, 64, 64, 32, 32), 0);
    f->buffer(0)[5] = 77;
    uint8_t* before = f->buffer(0);
    ASSERT_EQ(f->allocateI420(32, 32, 32, 16, 16), 0);
    EXPECT_EQ(f->buffer(0), before);
    EXPECT_EQ(f->allocatedSize(0), 64 * 64);
    ASSERT_EQ(f->allocateI420(128, 128, 128, 64, 64), 0);
    EXPECT_EQ(f->allocatedSize(0), 128 * 128);
    EXPECT_EQ(f->buffer(0)[5], 77);  // bytes in use survive growth
    EXPECT_TRUE(aligned64(f->buffer(0)));
}

TEST(I420VideoFrame, CheckDimensionsTestsOnlyPlanarFormats) {
    Frame f = makeFrame();
    EXPECT_EQ(f->checkDimensions(-1, -1, 0, 0, 0), 0);
    EXPECT_EQ(f->setWidth(1920), 0);
    EXPECT_EQ(f->setHeight(1080), 0);
    EXPECT_EQ(f->width(), 1920);
    EXPECT_EQ(f->height(), 1080);

    f->format = 1;
    EXPECT_EQ(f->checkDimensions(5, 5, 5, 3, 3), 0);
    EXPECT_EQ(f->checkDimensions(5, 5, 4, 3, 3), -1);
    EXPECT_EQ(f->checkDimensions(5, 5, 5, 2, 3), -1);
    EXPECT_EQ(f->checkDimensions(5, 5, 5, 3, 2), -1);
    EXPECT_EQ(f->checkDimensions(0, 5, 5, 3, 3), -1);
    EXPECT_EQ(f->checkDimensions(5, 0, 5, 3, 3), -1);
}

TEST(I420VideoFrame, SetWidthIsCheckedAgainstStrides) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(64, 32, 64, 32, 32), 0);
    EXPECT_EQ(f->setWidth(65), -1);
    EXPECT_EQ(f->width(), 64);
    EXPECT_EQ(f->setWidth(60), 0);
    EXPECT_EQ(f->setHeight(0), -1);
    EXPECT_EQ(f->height(), 32);
}

TEST(I420VideoFrame, BadPlaneNumbersGiveNullAndMinusOne) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(16, 16, 16, 8, 8), 0);
    const I420VideoFrame& cf = *f;
    for (int p : {-1, 3, 100}) {
        EXPECT_EQ(f->buffer(p), nullptr);
        EXPECT_EQ(cf.buffer(p), nullptr);
        EXPECT_EQ(f->stride(p), -1);
        EXPECT_EQ(f->allocatedSize(p), -1);
    }
    EXPECT_EQ(cf.buffer(1), f->buffer(1));
}

TEST(I420VideoFrame, CopyPlanesCopiesRowsIntoRoundedStrides) {
    SourcePlanes src(21, 7);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(src.copyInto(*f), 0);
    EXPECT_EQ(f->stride(0), 32);
    EXPECT_EQ(f->stride(1), 16);
    EXPECT_EQ(f->width(), 21);
    EXPECT_EQ(f->height(), 7);
    EXPECT_EQ(f->storageKind, 0);
    EXPECT_EQ(f->format, 1);
    for (int r = 0; r < src.h; ++r)
        for (int c = 0; c < src.w; ++c)
            ASSERT_EQ(f->buffer(0)[r * 32 + c], src.y[size_t(r) * src.w + c]);
    for (int r = 0; r < src.ch; ++r)
        for (int c = 0; c < src.cw; ++c) {
            ASSERT_EQ(f->buffer(1)[r * 16 + c], src.u[size_t(r) * src.cw + c]);
            ASSERT_EQ(f->buffer(2)[r * 16 + c], src.v[size_t(r) * src.cw + c]);
        }
}

TEST(I420VideoFrame, CopyPlanesRejectsEmptyOrShortSourcesAndChangesNothing) {
    SourcePlanes src(16, 4);
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(32, 8, 32, 16, 16), 0);
    f->storageKind = 1;
    EXPECT_EQ(f->copyPlanesI420(64, src.y.data(), 0, src.u.data(), 16, src.v.data(), 16, 4,
                                16, 8, 8),
              -1);
    // A luma size one byte short of the rows read.
    EXPECT_EQ(f->copyPlanesI420(63, src.y.data(), 16, src.u.data(), 16, src.v.data(), 16, 4,
                                16, 8, 8),
              -1);
    EXPECT_EQ(f->copyPlanesI420(64, nullptr, 16, src.u.data(), 16, src.v.data(), 16, 4, 16,
                                8, 8),
              -1);
    EXPECT_EQ(f->width(), 32);
    EXPECT_EQ(f->height(), 8);
    EXPECT_EQ(f->stride(0), 32);
    EXPECT_EQ(f->storageKind, 1);
}

TEST(I420VideoFrame, CopyPlanesStoresFormatAfterCheckingWithThePreviousOne) {
    SourcePlanes src(16, 4);
    std::vector<uint8_t> u422(8 * 4, 9), v422(8 * 4, 10);
    Frame f = makeFrame();
    // Format 0 accepts a luma stride below the width; format 2 is stored after.
    ASSERT_EQ(f->copyPlanes(64, src.y.data(), 32, u422.data(), 32, v422.data(), 16, 4, 16, 8,
                            8, 2),
              0);
    EXPECT_EQ(f->format, 2);
    EXPECT_EQ(f->allocatedSize(1), 8 * 4);  // all four chroma rows
    EXPECT_EQ(f->buffer(1)[8 * 3], 9);
    EXPECT_EQ(f->copyPlanes(64, src.y.data(), 32, u422.data(), 32, v422.data(), 17, 4, 16, 8,
                            8, 1),
              -1);
    EXPECT_EQ(f->format, 2);
}

TEST(I420VideoFrame, WiderSourceChromaStrideDoesNotWritePastRows) {
    // Source chroma stride 40 is wider than the frame's 8; only 8 bytes a row fit.
    std::vector<uint8_t> y(16 * 4, 1), u(40 * 2, 2), v(40 * 2, 3);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(f->copyPlanesI420(int(y.size()), y.data(), int(u.size()), u.data(),
                                int(v.size()), v.data(), 16, 4, 16, 40, 40),
              0);
    EXPECT_EQ(f->allocatedSize(1), 16);
    EXPECT_EQ(f->buffer(1)[15], 2);
}

TEST(I420VideoFrame, PadRowEndsRepeatsTheLastVisibleSample) {
    SourcePlanes src(5, 3);
    Frame f = makeFrame();
    f->format = 1;
    ASSERT_EQ(src.copyInto(*f), 0);  // strides 16 and 8; pads on copy
    for (int r = 0; r < 3; ++r)
        for (int c = 5; c < 16; ++c) ASSERT_EQ(f->buffer(0)[r * 16 + c], src.y[r * 5 + 4]);
    // Three chroma samples per row are visible; the third is the edge.
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(f->buffer(1)[r * 8 + 2], src.u[r * 3 + 2]);
        for (int c = 3; c < 8; ++c) {
            ASSERT_EQ(f->buffer(1)[r * 8 + c], src.u[r * 3 + 2]);
            ASSERT_EQ(f->buffer(2)[r * 8 + c], src.v[r * 3 + 2]);
        }
    }
}

TEST(I420VideoFrame, PadRowEndsDoesNothingWhenLumaStrideEqualsWidth) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(32, 4, 32, 16, 16), 0);
    for (int p = 0; p < 3; ++p)
        std::iota(f->buffer(p), f->buffer(p) + f->allocatedSize(p), uint8_t(p * 50));
    ASSERT_EQ(f->setWidth(30), 0);  // chroma now wider than half the width...
    ASSERT_EQ(f->setWidth(32), 0);  // ...but the luma stride equals the width again
    std::vector<uint8_t> before(f->buffer(1), f->buffer(1) + f->allocatedSize(1));
    f->padRowEnds();
    EXPECT_EQ(std::vector<uint8_t>(f->buffer(1), f->buffer(1) + f->allocatedSize(1)), before);
    EXPECT_EQ(f->buffer(0)[31], 31);
}

TEST(I420VideoFrame, PadRowEndsStaysInsideStorageWhenHeightExceedsIt) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(16, 2, 32, 16, 16), 0);
    ASSERT_EQ(f->setHeight(1000), 0);  // only strides are checked
    f->padRowEnds();                   // must not write past the two rows
    EXPECT_EQ(f->buffer(0)[31], f->buffer(0)[15]);
}

TEST(I420VideoFrame, CopyFrameCopiesPlanesAndFieldsButNotMetadata) {
    SourcePlanes src(33, 9);
    Frame a = makeFrame();
    a->format = 1;
    ASSERT_EQ(src.copyInto(*a), 0);
    a->setUserValue1(11);
    a->setUserValue2(12);
    a->setUserValue3(13);
    a->setUserValue4(14);
    a->textureId = 5;
    a->textureType = 1;
    a->colorRange = 0;
    a->colorMatrix = 1;
    a->setMetadata(1, std::make_shared<Record>(1, 1));

    Frame b = makeFrame();
    ASSERT_EQ(b->copyFrame(*a), 0);
    EXPECT_EQ(b->width(), 33);
    EXPECT_EQ(b->height(), 9);
    EXPECT_EQ(b->stride(0), a->stride(0));
    EXPECT_EQ(b->userValue1(), 11);
    EXPECT_EQ(b->userValue2(), 12);
    EXPECT_EQ(b->userValue3(), 0);
    EXPECT_EQ(b->userValue4(), 0);
    EXPECT_EQ(b->textureId, 5);
    EXPECT_EQ(b->textureType, 1);
    EXPECT_EQ(b->format, 1);
    EXPECT_EQ(b->colorRange, 0);
    EXPECT_EQ(b->colorMatrix, 1);
    EXPECT_EQ(b->storageKind, 0);
    EXPECT_EQ(b->metadata(1), nullptr);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(std::vector<uint8_t>(b->buffer(p), b->buffer(p) + a->allocatedSize(p)),
                  std::vector<uint8_t>(a->buffer(p), a->buffer(p) + a->allocatedSize(p)));
}

TEST(I420VideoFrame, CopyFrameOfEmptyFrameFails) {
    Frame a = makeFrame();
    Frame b = makeFrame();
    EXPECT_EQ(b->copyFrame(*a), -1);
    EXPECT_EQ(b->copyFrame(*b), 0);
}

TEST(I420VideoFrame, SwapFrameExchangesPlanesAndFieldsButNotMetadata) {
    Frame a = makeFrame();
    Frame b = makeFrame();
    ASSERT_EQ(a->allocateI420(64, 16, 64, 32, 32), 0);
    a->colorMatrix = 1;
    a->setUserValue2(7);
    a->setUserValue3(3);
    a->setMetadata(1, std::make_shared<Record>(1, 42));
    b->textureId = 9;
    b->storageKind = 1;
    uint8_t* aY = a->buffer(0);

    a->swapFrame(b.get());
    EXPECT_EQ(b->buffer(0), aY);
    EXPECT_EQ(b->width(), 64);
    EXPECT_EQ(b->stride(0), 64);
    EXPECT_EQ(b->format, 1);
    EXPECT_EQ(b->colorMatrix, 1);
    EXPECT_EQ(b->userValue2(), 7);
    EXPECT_EQ(b->userValue3(), 0);
    EXPECT_EQ(b->metadata(1), nullptr);
    EXPECT_TRUE(a->isEmpty());
    EXPECT_EQ(a->textureId, 9);
    EXPECT_EQ(a->storageKind, 1);
    EXPECT_EQ(a->format, 0);
    EXPECT_EQ(a->userValue3(), 3);
    EXPECT_NE(a->metadata(1), nullptr);
    a->swapFrame(nullptr);
}

TEST(I420VideoFrame, ResetSizeEmptiesPlanesButKeepsStorage) {
    Frame f = makeFrame();
    ASSERT_EQ(f->allocateI420(16, 16, 16, 8, 8), 0);
    uint8_t* y = f->buffer(0);
    f->resetSize();
    EXPECT_TRUE(f->isEmpty());
    EXPECT_EQ(f->buffer(0), y);
    EXPECT_EQ(f->allocatedSize(0), 256);
}

TEST(I420VideoFrame, MetadataIsStoredReplacedAndRejectedForKindZero) {
    Frame f = makeFrame();
    auto first = std::make_shared<Record>(1, 1);
    auto second = std::make_shared<Record>(1, 2);
    EXPECT_EQ(f->metadata(1), nullptr);
    EXPECT_EQ(f->setMetadata(0, first), -6);
    EXPECT_EQ(f->setMetadata(1, nullptr), -6);
    EXPECT_EQ(f->setMetadata(1, first), 0);
    EXPECT_EQ(f->setMetadata(1, second), 0);
    EXPECT_EQ(f->metadata(1), second);
    EXPECT_EQ(first.use_count(), 1);  // the replaced record was let go
    std::weak_ptr<IMetaDataInfo> held = second;
    second.reset();
    f.reset();
    EXPECT_TRUE(held.expired());
}

TEST(FramePlane, OperationsRejectNonPositiveArguments) {
    FramePlane p(1);
    uint8_t src[4] = {1, 2, 3, 4};
    EXPECT_EQ(p.ensureCapacity(0), -1);
    EXPECT_EQ(p.createEmpty(0, 4, 4), -1);
    EXPECT_EQ(p.createEmpty(4, 4, 8), -1);
    EXPECT_EQ(p.copyRows(0, 4, 4, 1, src), -1);
    EXPECT_EQ(p.copyRows(4, 4, 4, 2, src), -1);  // two rows need 8 bytes
    EXPECT_EQ(p.copyRows(4, 4, 4, 1, nullptr), -1);
    EXPECT_EQ(p.buffer, nullptr);
    ASSERT_EQ(p.copyRows(4, 4, 4, 1, src), 0);
    EXPECT_EQ(p.buffer[3], 4);
    EXPECT_EQ(p.planeSize, 4);

    FramePlane q(2);
    p.swap(q);
    EXPECT_EQ(p.buffer, nullptr);
    EXPECT_EQ(p.planeIndex, 2);
    EXPECT_EQ(q.planeIndex, 1);
    EXPECT_EQ(q.allocatedSize, 4);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
