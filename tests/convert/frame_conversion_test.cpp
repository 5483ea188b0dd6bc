#include "convert/frame_conversion.h"

#include <gtest/gtest.h>
#include <libyuv/rotate.h>
#include <libyuv/video_common.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kelvo {
namespace video {
namespace {

using Frame = std::shared_ptr<I420VideoFrame>;

Frame allocatedFrame(int w, int h) {
    Frame f(new I420VideoFrame(), I420VideoFrame::deleter());
    EXPECT_EQ(f->allocateI420(w, h, w, (w + 1) / 2, (w + 1) / 2), 0);
    return f;
}

std::vector<uint8_t> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

TEST(FrameConversion, FormatIdsMapToInternalTypesAndFourCCs) {
    struct Row {
        int format, type;
        uint32_t fourcc;
    } rows[] = {
        {1, 1, libyuv::FOURCC_I420},  {2, 17, libyuv::FOURCC_I422}, {3, 13, libyuv::FOURCC_NV21},
        {4, 14, libyuv::FOURCC_NV12}, {5, 10, libyuv::FOURCC_YV12}, {6, 16, libyuv::FOURCC_RGBA},
        {7, 5, libyuv::FOURCC_ARGB},  {8, 15, libyuv::FOURCC_BGRA},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(videoTypeFromFormat(r.format), r.type);
        EXPECT_EQ(fourccFromVideoType(r.type), r.fourcc);
    }
    EXPECT_EQ(fourccFromVideoType(1), 0x30323449u);
    for (int bad : {0, 9, -1, 100}) EXPECT_EQ(videoTypeFromFormat(bad), 0);
    for (int bad : {0, 2, 4, 18, -1}) EXPECT_EQ(fourccFromVideoType(bad), 0u);
}

// Bytes of a w x h buffer of an internal video type.
size_t bufferSize(int type, int w, int h) {
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2, luma = size_t(w) * h;
    switch (type) {
        case 17:
            return luma + 2 * cw * h;
        case 16:
        case 5:
        case 15:
            return luma * 4;
        default:
            return luma + 2 * cw * ch;
    }
}

// Noise, except that I422 chroma is constant down each column (libyuv halves
// it and scales it back up bilinearly) and packed RGB colour is constant over
// each 2x2 block, so that subsampling loses nothing.
std::vector<uint8_t> smoothBuffer(int type, int w, int h) {
    std::vector<uint8_t> b = noise(bufferSize(type, w, h), unsigned(type));
    if (type == 16 || type == 5 || type == 15) {
        const std::vector<uint8_t> seed = b;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) {
                    const size_t src = ((size_t(y & ~1) * w) + (x & ~1)) * 4;
                    // Mid-range values stay inside the limited-range gamut.
                    b[(size_t(y) * w + x) * 4 + c] = uint8_t(64 + seed[src + c] / 2);
                }
    } else if (type == 17) {
        const size_t cw = (w + 1) / 2;
        uint8_t* chroma = b.data() + size_t(w) * h;
        for (int plane = 0; plane < 2; ++plane, chroma += cw * h)
            for (int y = 1; y < h; ++y) std::copy_n(chroma, cw, chroma + y * cw);
    }
    return b;
}

TEST(FrameConversion, PlanarTypesSurviveARoundTripExactly) {
    for (int type : {1, 17, 13, 14, 10}) {
        for (auto [w, h] : {std::pair{64, 48}, std::pair{38, 21}, std::pair{37, 22}}) {
            SCOPED_TRACE("type " + std::to_string(type) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            const std::vector<uint8_t> in = smoothBuffer(type, w, h);
            Frame f = allocatedFrame(w, h);
            ASSERT_EQ(convertBufferToFrame(type, in.data(), 0, 0, w, h, in.size(), 0, *f, 1, 4), 0);
            std::vector<uint8_t> out(in.size(), 0);
            ASSERT_EQ(convertFrameToBuffer(*f, type, 0, out.data()), 0);
            EXPECT_EQ(out, in);
        }
    }
}

// processFrame's way there and back: an unchanged frame leaves every byte;
// a changed one gives I420-like types the frame itself and the others
// buffer + F(changed) - F(as it came), clamped, F being convertFrameToBuffer.
// Changes of luma alone and of luma and chroma, on one row each.
TEST(FrameConversion, BufferRoundTripGivesTheBufferOnlyWhatTheFrameChanged) {
    const int w = 37, h = 22;
    for (int type : {1, 17, 13, 14, 10, 16, 5, 15}) {
        for (bool chromaToo : {false, true}) {
            SCOPED_TRACE("type " + std::to_string(type) + (chromaToo ? ", chroma too" : ""));
            const std::vector<uint8_t> input = noise(bufferSize(type, w, h), unsigned(type));
            std::vector<uint8_t> buffer = input;
            BufferRoundTrip roundTrip;
            Frame f = allocatedFrame(w, h);
            ASSERT_EQ(roundTrip.toFrame(type, buffer.data(), w, h, buffer.size(), *f, 0, 1), 0);
            ASSERT_EQ(roundTrip.toBuffer(*f, type, buffer.data()), 0);
            ASSERT_EQ(buffer, input);

            Frame before = allocatedFrame(w, h);
            ASSERT_EQ(before->copyFrame(*f), 0);
            for (int x = 0; x < w; ++x) f->buffer(0)[5 * f->stride(0) + x] ^= 0x55;
            if (chromaToo)
                for (int x = 0; x < (w + 1) / 2; ++x) f->buffer(2)[7 * f->stride(2) + x] ^= 0x33;
            std::vector<uint8_t> now = input, was = input;
            ASSERT_EQ(convertFrameToBuffer(*f, type, 0, now.data()), 0);
            ASSERT_EQ(convertFrameToBuffer(*before, type, 0, was.data()), 0);
            std::vector<uint8_t> expected = now;
            if (type == 17 || isPackedVideoType(type))
                for (size_t i = 0; i < input.size(); ++i)
                    expected[i] = uint8_t(std::clamp(input[i] + now[i] - was[i], 0, 255));
            ASSERT_EQ(roundTrip.toBuffer(*f, type, buffer.data()), 0);
            EXPECT_EQ(buffer, expected);
        }
    }
}

TEST(FrameConversion, PackedTypesSurviveARoundTripWithinRounding) {
    // Limited BT.601 matches libyuv's conversion back to RGB; each direction
    // rounds once more, and the limited range quantises by 255/219.
    const int kTolerance = 3;
    for (int type : {16, 5, 15}) {
        const int w = 38, h = 20;
        SCOPED_TRACE("type " + std::to_string(type));
        const std::vector<uint8_t> in = smoothBuffer(type, w, h);
        Frame f = allocatedFrame(w, h);
        ASSERT_EQ(convertBufferToFrame(type, in.data(), 0, 0, w, h, in.size(), 0, *f, 0, 4), 0);
        std::vector<uint8_t> out(in.size(), 0);
        ASSERT_EQ(convertFrameToBuffer(*f, type, 0, out.data()), 0);
        // Only colour bytes are written; the alpha bytes stay the buffer's own.
        const int alpha = type == 5 ? 3 : 0;
        int worst = 0;
        for (size_t i = 0; i < in.size(); ++i)
            if (int(i % 4) != alpha) worst = std::max(worst, std::abs(in[i] - out[i]));
        EXPECT_LE(worst, kTolerance);
    }
}

TEST(FrameConversion, PackedInputUsesAndKeepsTheGivenColorCodes) {
    // ARGB bytes B, G, R, A of pure blue; BT.601 full range gives U 255.
    std::vector<uint8_t> in(16 * 16 * 4);
    for (size_t i = 0; i < in.size(); i += 4) in[i] = 255, in[i + 3] = 255;
    Frame f = allocatedFrame(16, 16);
    ASSERT_EQ(convertBufferToFrame(5, in.data(), 0, 0, 16, 16, in.size(), 0, *f, 1, 4), 0);
    EXPECT_EQ(f->buffer(1)[0], 255);
    EXPECT_EQ(f->buffer(0)[0], 29);
    EXPECT_EQ(f->colorRange, 1);
    EXPECT_EQ(f->colorMatrix, 4);
}

TEST(FrameConversion, RotationSwapsTheCropOfTheFrameSize) {
    const int srcW = 24, srcH = 16;
    const std::vector<uint8_t> in = noise(bufferSize(1, srcW, srcH), 21);
    const uint8_t* srcY = in.data();
    const uint8_t* srcU = srcY + srcW * srcH;
    const uint8_t* srcV = srcU + (srcW / 2) * (srcH / 2);
    // 45 is no rotation at all.
    for (int rotation : {90, 180, 270, 45}) {
        SCOPED_TRACE(rotation);
        const bool swap = rotation == 90 || rotation == 270;
        const int w = swap ? srcH : srcW, h = swap ? srcW : srcH;
        Frame f = allocatedFrame(w, h);
        ASSERT_EQ(
            convertBufferToFrame(1, in.data(), 0, 0, srcW, srcH, in.size(), rotation, *f, 1, 1), 0);
        std::vector<uint8_t> y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u.size());
        ASSERT_EQ(libyuv::I420Rotate(srcY, srcW, srcU, srcW / 2, srcV, srcW / 2, y.data(), w,
                                     u.data(), w / 2, v.data(), w / 2, srcW, srcH,
                                     libyuv::RotationMode(rotation == 45 ? 0 : rotation)),
                  0);
        for (int r = 0; r < h; ++r)
            ASSERT_TRUE(std::equal(y.begin() + r * w, y.begin() + (r + 1) * w,
                                   f->buffer(0) + r * f->stride(0)));
        for (int r = 0; r < h / 2; ++r)
            ASSERT_TRUE(std::equal(v.begin() + r * (w / 2), v.begin() + (r + 1) * (w / 2),
                                   f->buffer(2) + r * f->stride(2)));
    }
}

TEST(FrameConversion, RejectsUnknownTypesAndFramesWithoutRoomForThePicture) {
    const std::vector<uint8_t> in = noise(bufferSize(1, 16, 16), 1);
    std::vector<uint8_t> out(in.size());

    Frame f = allocatedFrame(16, 16);
    EXPECT_EQ(convertBufferToFrame(0, in.data(), 0, 0, 16, 16, in.size(), 0, *f, 1, 1), -1);
    EXPECT_EQ(convertBufferToFrame(2, in.data(), 0, 0, 16, 16, in.size(), 0, *f, 1, 1), -1);
    EXPECT_EQ(convertFrameToBuffer(*f, 0, 0, out.data()), -1);

    Frame bare(new I420VideoFrame(), I420VideoFrame::deleter());
    bare->setWidth(16);
    bare->setHeight(16);
    EXPECT_EQ(convertBufferToFrame(1, in.data(), 0, 0, 16, 16, in.size(), 0, *bare, 1, 1), -1);
    EXPECT_EQ(convertFrameToBuffer(*bare, 1, 0, out.data()), -1);

    // Only the strides are checked when the height grows; the storage is not.
    Frame small = allocatedFrame(16, 4);
    ASSERT_EQ(small->setHeight(16), 0);
    EXPECT_EQ(convertBufferToFrame(1, in.data(), 0, 0, 16, 16, in.size(), 0, *small, 1, 1), -1);
    EXPECT_EQ(convertFrameToBuffer(*small, 1, 0, out.data()), -1);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
