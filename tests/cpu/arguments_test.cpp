// Each kernel refuses arguments that would make it read or write outside the
// caller's buffers, and then leaves the destination untouched.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "effects/color_enhance/cpu/color_enhance.h"
#include "effects/lowlight/cpu/lowlight_enhance.h"
#include "cpu/yuv_input.h"
#include "cpu/yuv_output.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 8, kH = 4;

struct Buffers {
    std::vector<uint8_t> y = std::vector<uint8_t>(kW * kH, 100);
    std::vector<uint8_t> u = std::vector<uint8_t>(kW / 2 * kH / 2, 128);
    std::vector<uint8_t> v = std::vector<uint8_t>(kW / 2 * kH / 2, 128);
    std::vector<uint8_t> src = std::vector<uint8_t>(4 * kW * kH, 77);
    std::vector<uint8_t> dst = std::vector<uint8_t>(4 * kW * kH, 0xAB);
    ConstImageRGBA8 in() const { return {src.data(), 4 * kW, kW, kH}; }
    ImageRGBA8 out() { return {dst.data(), 4 * kW, kW, kH}; }
};

const YUVInputRowParams kDecode = {{1, 0, 1.402f, 1, -0.344136f, -0.714136f, 1, 1.772f, 0}, 0};
const YUVFixedCoeffs kEncode = {66, 129, 25, 4224, -38, -74, 112, 112, -94, -18};

TEST(CpuArguments, RejectedCallsWriteNothing) {
    struct Row {
        const char* name;
        std::function<bool(Buffers&)> call;
    };
    const Row rows[] = {
        {"input: no chroma rows",
         [](Buffers& b) {
             return YUVInput().convert(b.y.data(), kW, b.u.data(), kW / 2, b.v.data(), kW / 2, 0,
                                       kDecode, b.out(), nullptr);
         }},
        {"input: luma stride short",
         [](Buffers& b) {
             return YUVInput().convert(b.y.data(), kW - 1, b.u.data(), kW / 2, b.v.data(), kW / 2,
                                       kH / 2, kDecode, b.out(), nullptr);
         }},
        {"input: no V plane",
         [](Buffers& b) {
             return YUVInput().convert(b.y.data(), kW, b.u.data(), kW / 2, nullptr, kW / 2, kH / 2,
                                       kDecode, b.out(), nullptr);
         }},
        {"low light: same image in and out",
         [](Buffers& b) {
             ImageRGBA8 out = b.out();
             return LowlightEnhance().process({out.data, out.stride, kW, kH}, out, 0.3f, nullptr);
         }},
        {"low light: no log mean",
         [](Buffers& b) { return LowlightEnhance().process(b.in(), b.out(), 0.0f, nullptr); }},
        {"low light: size mismatch",
         [](Buffers& b) {
             ImageRGBA8 out = b.out();
             out.height = kH - 1;
             return LowlightEnhance().process(b.in(), out, 0.3f, nullptr);
         }},
        {"colour: destination stride short",
         [](Buffers& b) {
             ImageRGBA8 out = b.out();
             out.stride = 4 * kW - 1;
             return ColorEnhance().process(b.in(), out, ColorEnhanceParams(), nullptr);
         }},
        {"output: chroma stride short",
         [](Buffers& b) {
             return YUVOutput().convert(b.in(), b.dst.data(), kW, b.dst.data() + 64, kW / 2 - 1,
                                        b.dst.data() + 96, kW / 2, kEncode, nullptr);
         }},
        {"output: empty source",
         [](Buffers& b) {
             ConstImageRGBA8 in = b.in();
             in.width = 0;
             return YUVOutput().convert(in, b.dst.data(), kW, b.dst.data() + 64, kW / 2,
                                        b.dst.data() + 96, kW / 2, kEncode, nullptr);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Buffers b;
        const std::vector<uint8_t> before = b.dst;
        EXPECT_FALSE(row.call(b));
        EXPECT_EQ(before, b.dst);
    }
}

TEST(CpuArguments, SkinTableOfAnotherSizeIsRefused) {
    std::vector<uint8_t> table(4 * 256 * 256, 255);
    ColorEnhance effect;
    EXPECT_FALSE(effect.setSkinTable({table.data(), 4 * 256, 256, 256}));
    EXPECT_FALSE(effect.hasSkinTable());
}

}  // namespace
}  // namespace video
}  // namespace kelvo
