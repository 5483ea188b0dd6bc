// The Y4M reader and writer of kelvo-enhance.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "y4m.h"

namespace kelvo {
namespace enhance {
namespace {

// A C stream over bytes in memory.
struct MemoryStream {
    explicit MemoryStream(const std::string& bytes) : file(std::tmpfile()) {
        if (!file) return;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~MemoryStream() {
        if (file) std::fclose(file);
    }
    std::FILE* file;
};

TEST(Y4MHeader, ReadsTheFieldsFfmpegWrites) {
    Y4MHeader h;
    std::string error;
    ASSERT_TRUE(
        parseHeader("YUV4MPEG2 W641 H361 F30000:1001 Ip A1:1 C420jpeg XYSCSS=420JPEG "
                    "XCOLORRANGE=FULL",
                    &h, &error))
        << error;
    EXPECT_EQ(h.width, 641);
    EXPECT_EQ(h.height, 361);
    EXPECT_EQ(h.fpsNum, 30000);
    EXPECT_EQ(h.fpsDen, 1001);
    EXPECT_EQ(h.chroma, Chroma::k420);
    EXPECT_EQ(h.colorRange, 1);
    EXPECT_EQ(frameBytes(h), 641u * 361 + 2u * 321 * 181);
    EXPECT_EQ(formatHeader(h),
              "YUV4MPEG2 W641 H361 F30000:1001 Ip A1:1 C420jpeg XCOLORRANGE=FULL XYSCSS=420JPEG");
}

TEST(Y4MHeader, FourTwoTwoHasFullHeightChroma) {
    Y4MHeader h;
    std::string error;
    ASSERT_TRUE(parseHeader("YUV4MPEG2 W64 H48 C422", &h, &error));
    EXPECT_EQ(h.chroma, Chroma::k422);
    EXPECT_EQ(frameBytes(h), 64u * 48 + 2u * 32 * 48);
}

TEST(Y4MHeader, RejectsWhatThisToolCannotRead) {
    const char* bad[] = {
        "",
        "YUV4MPEG W64 H48",  // wrong magic
        "YUV4MPEG2 H48",     // no width
        "YUV4MPEG2 W0 H48",
        "YUV4MPEG2 W-5 H48",
        "YUV4MPEG2 W99999999999 H48",  // overflows int
        "YUV4MPEG2 W64 H48 C444",
        "YUV4MPEG2 W64 H48 C420p10",
        "YUV4MPEG2 W64 H48 Cmono",
        "YUV4MPEG2 W64 H48 F30:0",
    };
    for (const char* line : bad) {
        Y4MHeader h;
        std::string error;
        EXPECT_FALSE(parseHeader(line, &h, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(Y4MReader, ReadsFramesUntilACleanEnd) {
    std::string bytes = "YUV4MPEG2 W4 H2 F25:1\n";
    for (int f = 0; f < 2; ++f) bytes += "FRAME\n" + std::string(4 * 2 + 2 * 2 * 1, char('a' + f));
    MemoryStream stream(bytes);
    Y4MReader reader(stream.file);
    std::string error;
    ASSERT_TRUE(reader.open(&error)) << error;
    std::vector<uint8_t> planes;
    ASSERT_TRUE(reader.readFrame(&planes, &error));
    EXPECT_EQ(planes, std::vector<uint8_t>(12, 'a'));
    ASSERT_TRUE(reader.readFrame(&planes, &error));
    EXPECT_EQ(planes, std::vector<uint8_t>(12, 'b'));
    EXPECT_FALSE(reader.readFrame(&planes, &error));
    EXPECT_TRUE(error.empty());
}

TEST(Y4MReader, ReportsTruncatedAndMalformedFrames) {
    struct Row {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"frame cut short", "YUV4MPEG2 W4 H2\nFRAME\n" + std::string(11, 'x')},
        {"no FRAME marker", "YUV4MPEG2 W4 H2\nFRAMX\n" + std::string(12, 'x')},
        {"marker without newline", "YUV4MPEG2 W4 H2\nFRAME"},
        {"endless marker line", "YUV4MPEG2 W4 H2\nFRAME" + std::string(10000, ' ')},
    };
    for (const Row& row : rows) {
        MemoryStream stream(row.bytes);
        Y4MReader reader(stream.file);
        std::string error;
        ASSERT_TRUE(reader.open(&error)) << row.what;
        std::vector<uint8_t> planes;
        EXPECT_FALSE(reader.readFrame(&planes, &error)) << row.what;
        EXPECT_FALSE(error.empty()) << row.what;
    }
}

TEST(Y4MReader, ACutOffFrameOfTheLargestSizeHoldsOnlyWhatArrived) {
    // 40 bytes of input once made the reader clear 400 MB for the frame.
    MemoryStream stream("YUV4MPEG2 W16384 H16384\nFRAME\n" + std::string(10, 'x'));
    Y4MReader reader(stream.file);
    std::string error;
    ASSERT_TRUE(reader.open(&error));
    std::vector<uint8_t> planes;
    EXPECT_FALSE(reader.readFrame(&planes, &error));
    EXPECT_EQ(error, "truncated Y4M frame (10 of 402653184 bytes)");
    EXPECT_LE(planes.capacity(), size_t{1} << 20);
}

TEST(Y4MReader, ReadsFramesLargerThanOneReadChunk) {
    // 1000x1000 I420 is 1.5 MB: the frame grows past the first chunk.
    const size_t bytes = 1000 * 1000 * 3 / 2;
    std::string frame(bytes, 'y');
    frame[bytes - 1] = 'v';
    MemoryStream stream("YUV4MPEG2 W1000 H1000\nFRAME\n" + frame + "FRAME\n" + frame);
    Y4MReader reader(stream.file);
    std::string error;
    ASSERT_TRUE(reader.open(&error));
    std::vector<uint8_t> planes;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(reader.readFrame(&planes, &error)) << error;
        ASSERT_EQ(planes.size(), bytes);
        EXPECT_EQ(planes.front(), 'y');
        EXPECT_EQ(planes.back(), 'v');
    }
    EXPECT_FALSE(reader.readFrame(&planes, &error));
    EXPECT_TRUE(error.empty());
}

TEST(Y4MReader, RejectsAnOverlongOrMissingHeader) {
    for (const std::string& bytes :
         {std::string(), std::string("YUV4MPEG2 ") + std::string(5000, 'X')}) {
        MemoryStream stream(bytes);
        ASSERT_NE(stream.file, nullptr);
        Y4MReader reader(stream.file);
        std::string error;
        EXPECT_FALSE(reader.open(&error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace enhance
}  // namespace kelvo
