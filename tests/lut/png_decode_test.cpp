#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "effects/lut_loader.h"
#include "lut/png_test_util.h"
#include "resources/resources.h"

// The largest array the program asked for, so that a test can tell an
// allocation that should never have happened.
static size_t gLargestArray = 0;
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    if (size > gLargestArray) gLargestArray = size;
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size) {
    if (void* p = operator new[](size, std::nothrow)) return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace kelvo::video {
namespace {

using test::encodePng;

std::vector<uint8_t> embedded(int id) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!findEmbeddedResource(id, &data, &size)) return {};
    return std::vector<uint8_t>(data, data + size);
}

// Decoded independently with libpng's simplified reader.
std::vector<uint8_t> referenceRgba(const std::vector<uint8_t>& png, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return rgba;
}

TEST(EmbeddedTables, DecodeToFull512x512FramesMatchingAnIndependentDecoder) {
    for (int id : {kWhiteningLutId, kRuddyLutId, kSkinLutId}) {
        SCOPED_TRACE(id);
        const std::vector<uint8_t> png = embedded(id);
        ASSERT_FALSE(png.empty());
        auto frame = loadLutTable(id);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->width(), 512);
        EXPECT_EQ(frame->height(), 512);
        EXPECT_EQ(frame->size(), 1048576);

        int width = 0, height = 0;
        const std::vector<uint8_t> reference = referenceRgba(png, &width, &height);
        ASSERT_EQ(reference.size(), 1048576u);
        // Top-left pixel first: the rows keep the PNG's orientation.
        EXPECT_EQ(0, std::memcmp(frame->data(), reference.data(), reference.size()));
    }
}

TEST(EmbeddedTables, UnknownIdsAndNullOutputsFindNothing) {
    for (int id : {0, -1, 100, 104, 201}) {
        const uint8_t* data = nullptr;
        size_t size = 7;
        EXPECT_FALSE(findEmbeddedResource(id, &data, &size)) << id;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 7u);
        EXPECT_FALSE(loadLutTable(id)) << id;
    }
    size_t size = 0;
    const uint8_t* data = nullptr;
    EXPECT_FALSE(findEmbeddedResource(kWhiteningLutId, nullptr, &size));
    EXPECT_FALSE(findEmbeddedResource(kWhiteningLutId, &data, nullptr));
}

TEST(PngDecode, FlipsRowsOnlyWithoutKeepOrientation) {
    // 2x3 RGBA, each row one colour.
    std::vector<uint8_t> pixels;
    for (uint8_t row : {10, 20, 30})
        for (int x = 0; x < 2; ++x) pixels.insert(pixels.end(), {row, 1, 2, 255});
    const auto png = encodePng(2, 3, PNG_COLOR_TYPE_RGBA, 8, pixels);

    auto kept = decodePngToARGBFrame(png.data(), png.size(), true);
    auto flipped = decodePngToARGBFrame(png.data(), png.size(), false);
    ASSERT_TRUE(kept && flipped);
    EXPECT_EQ(kept->size(), 2 * 3 * 4);
    EXPECT_EQ(std::vector<uint8_t>(kept->data(), kept->data() + kept->size()), pixels);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(flipped->data()[y * 8], pixels[(2 - y) * 8]) << "row " << y;
    }
}

TEST(PngDecode, TruncatedStreamsFailThroughTheReadCallback) {
    const std::vector<uint8_t> png = embedded(kSkinLutId);
    ASSERT_GT(png.size(), 100u);
    // One byte short cuts only the final IEND checksum; a mid-stream cut, and a
    // cut inside the header, must fail the same way.
    for (size_t length : {png.size() - 1, png.size() / 2, size_t{20}}) {
        SCOPED_TRACE(length);
        testing::internal::CaptureStderr();
        auto frame = decodePngToARGBFrame(png.data(), length, true);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(frame);
        EXPECT_NE(log.find("pngReaderCallback failed"), std::string::npos) << log;
    }
}

TEST(PngDecode, GarbageAndEmptyInputGiveNoFrame) {
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(4096);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> badBody = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    badBody.insert(badBody.end(), noise.begin(), noise.begin() + 200);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(decodePngToARGBFrame(noise.data(), noise.size(), true));
    EXPECT_FALSE(decodePngToARGBFrame(badBody.data(), badBody.size(), true));
    EXPECT_FALSE(decodePngToARGBFrame(noise.data(), 0, true));
    EXPECT_FALSE(decodePngToARGBFrame(nullptr, 100, true));
    EXPECT_FALSE(decodeLutTable(noise.data(), noise.size()));
    testing::internal::GetCapturedStderr();
}

// A chunk with its length and checksum, as a file would hold it.
void appendChunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& body) {
    auto be32 = [out](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out->push_back(static_cast<uint8_t>(v >> s));
    };
    be32(static_cast<uint32_t>(body.size()));
    const size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), body.begin(), body.end());
    be32(static_cast<uint32_t>(
        crc32(0, out->data() + start, static_cast<uInt>(out->size() - start))));
}

TEST(PngDecode, DimensionsBeyondA32BitByteCountAreRejected) {
    // 40000 x 40000 RGBA would need 6.4e9 bytes.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    appendChunk(&png, "IHDR", {0, 0, 0x9c, 0x40, 0, 0, 0x9c, 0x40, 8, 6, 0, 0, 0});
    appendChunk(&png, "IDAT", {0x78, 0x9c, 0x03, 0x00});
    EXPECT_FALSE(decodePngToARGBFrame(png.data(), png.size(), true));
}

TEST(PngDecode, HeadersPromisingFarMoreThanTheFileCanHoldAreRejectedWithoutAllocating) {
    // 23000 x 23000 RGBA fits a 32-bit count (2.1e9 bytes) but no 60-byte file
    // can inflate to it; decoding must fail at once rather than allocate it.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    appendChunk(&png, "IHDR", {0, 0, 0x59, 0xd8, 0, 0, 0x59, 0xd8, 8, 6, 0, 0, 0});
    appendChunk(&png, "IDAT", {0x78, 0x9c, 0x03, 0x00});
    appendChunk(&png, "IEND", {});
    gLargestArray = 0;
    EXPECT_FALSE(decodePngToARGBFrame(png.data(), png.size(), true));
    EXPECT_LT(gLargestArray, size_t{1} << 20);
}

struct FormatCase {
    const char* name;
    int colorType;
    int bitDepth;
    bool trns;
    bool interlaced;
    bool accepted;  // decodes to four 8-bit channels
};

class PngFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(PngFormats, OnlyImagesThatNormaliseToRgbaAreAccepted) {
    const FormatCase& c = GetParam();
    const int width = 5, height = 3;
    int channels = 1;
    if (c.colorType == PNG_COLOR_TYPE_RGB) channels = 3;
    if (c.colorType == PNG_COLOR_TYPE_RGBA) channels = 4;
    if (c.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) channels = 2;
    const size_t rowBytes = (static_cast<size_t>(width) * channels * c.bitDepth + 7) / 8;
    std::vector<uint8_t> pixels(rowBytes * height);
    // Palette index 1 (red) everywhere; other formats a mid value of 0x80.
    for (auto& b : pixels) b = c.colorType == PNG_COLOR_TYPE_PALETTE ? 0x55 : 0x80;
    const auto png =
        encodePng(width, height, c.colorType, c.bitDepth, pixels, c.trns, c.interlaced);
    ASSERT_FALSE(png.empty());

    auto frame = decodePngToARGBFrame(png.data(), png.size(), true);
    ASSERT_EQ(static_cast<bool>(frame), c.accepted);
    if (!frame) return;
    EXPECT_EQ(frame->size(), width * height * 4);
    const uint8_t* last = frame->data() + frame->size() - 4;
    if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
        EXPECT_EQ(last[0], 255);  // entry 1 of the palette, opaque
        EXPECT_EQ(last[1], 0);
        EXPECT_EQ(last[3], 255);
    } else {
        EXPECT_EQ(last[0], 0x80);  // 16-bit 0x8080 strips to 0x80
        EXPECT_EQ(last[1], 0x80);
        EXPECT_EQ(last[3], 0x80);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PngFormats,
    testing::Values(FormatCase{"rgba16", PNG_COLOR_TYPE_RGBA, 16, false, false, true},
                    FormatCase{"rgba8_interlaced", PNG_COLOR_TYPE_RGBA, 8, false, true, true},
                    FormatCase{"grey_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, true},
                    FormatCase{"palette2_trns", PNG_COLOR_TYPE_PALETTE, 2, true, false, true},
                    FormatCase{"palette2", PNG_COLOR_TYPE_PALETTE, 2, false, false, false},
                    FormatCase{"rgb8", PNG_COLOR_TYPE_RGB, 8, false, false, false},
                    FormatCase{"grey4", PNG_COLOR_TYPE_GRAY, 4, false, false, false}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(LutTable, RejectsImagesOfOtherSizesOrChannelCounts) {
    // A valid RGBA image of another size decodes, but is no table.
    std::vector<uint8_t> small(256 * 256 * 4, 200);
    const auto smallPng = encodePng(256, 256, PNG_COLOR_TYPE_RGBA, 8, small);
    EXPECT_TRUE(decodePngToARGBFrame(smallPng.data(), smallPng.size(), true));
    EXPECT_FALSE(decodeLutTable(smallPng.data(), smallPng.size()));

    // Right size, three channels.
    const auto rgb =
        encodePng(512, 512, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(512 * 512 * 3, 9));
    EXPECT_FALSE(decodeLutTable(rgb.data(), rgb.size()));

    const auto table =
        encodePng(512, 512, PNG_COLOR_TYPE_RGBA, 8, std::vector<uint8_t>(512 * 512 * 4, 3));
    auto frame = decodeLutTable(table.data(), table.size());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data()[frame->size() - 1], 3);
}

}  // namespace
}  // namespace kelvo::video
