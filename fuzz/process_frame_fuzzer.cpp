// processFrame with arbitrary format id, size, buffer size and contents, on
// the CPU backend, or on the GL backend when built with KELVO_FUZZ_GL
// (process_frame_gl_fuzzer, from the same seeds).
//
// Most inputs take the pixel path: a known or unknown format, up to 256x256,
// and a buffer a little shorter or longer than the format needs. The rest
// feed raw 32-bit values (huge, negative, odd) that the engine must turn
// away with −6 before touching any pixel. Either way the buffer ends at an
// inaccessible page, so no read or write past it goes unnoticed.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine_fuzz_support.h"

namespace {

using namespace kelvo::video;

#if KELVO_FUZZ_GL
// llvmpipe draws every pass on the CPU: smaller frames keep inputs coming.
constexpr int kMaxPixelSide = 96;
constexpr const char* kBackend = R"({"backend":"gpu"})";
#else
constexpr int kMaxPixelSide = 256;
// The CPU backend runs far more inputs a second than the GL driver.
constexpr const char* kBackend = R"({"backend":"cpu","threads":1})";
#endif
// Largest buffer of the validation path; far below any frame of its sizes
// that would be slow to process.
constexpr int64_t kMaxValidationBytes = 1 << 16;

bool validSide(int64_t v) { return v >= 1 && v <= 16384; }

// Bytes a packed buffer of the format needs, −1 for an unknown format or a
// side outside 1..16384. Written from the formats' layouts, independently of
// the engine.
int64_t neededBytes(int format, int64_t w, int64_t h) {
    if (!validSide(w) || !validSide(h)) return -1;
    const int64_t luma = w * h, chroma = ((w + 1) / 2) * ((h + 1) / 2);
    switch (format) {
        case kPixelFormatI420:
        case kPixelFormatYV12:
        case kPixelFormatNV12:
        case kPixelFormatNV21:
            return luma + 2 * chroma;
        case kPixelFormatI422:
            return luma + 2 * ((w + 1) / 2) * h;
        case kPixelFormatRGBA:
        case kPixelFormatARGB:
        case kPixelFormatBGRA:
            return 4 * luma;
        default:
            return -1;
    }
}

// The automatic and manual modes of low light and denoiser, chosen by bits.
void chooseModes(VideoProcessEngineImpl& engine, uint8_t bits) {
    const std::string denoiser = std::string(R"({"mode":)") + (bits & 1 ? "0" : "1") +
                                 R"(,"level":)" + (bits & 2 ? "1" : "0") + "}";
    const std::string lowlight = std::string(R"({"mode":)") + (bits & 4 ? "0" : "1") +
                                 R"(,"level":)" + (bits & 8 ? "0" : "1") + "}";
    engine.setParameter("video_denoiser_option", denoiser.c_str());
    engine.setParameter("lowlight_enhance_option", lowlight.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VideoProcessEngineImpl* engine = fuzz::sharedEngine(kBackend);
    if (!engine) return 0;
    FuzzedDataProvider in(data, size);
    const uint8_t mode = in.ConsumeIntegral<uint8_t>();
    const bool pixelPath = (mode & 0xc0) != 0;
    chooseModes(*engine, mode);
    const int matrix = in.ConsumeIntegralInRange<int>(-2, 10);
    const int range = in.ConsumeIntegralInRange<int>(-2, 2);

    int format, width, height;
    int64_t claimed;
    bool nullBuffer = false;
    if (pixelPath) {
        format = in.ConsumeIntegralInRange<int>(0, 9);
        width = in.ConsumeIntegralInRange<int>(1, kMaxPixelSide);
        height = in.ConsumeIntegralInRange<int>(1, kMaxPixelSide);
        const int64_t needed = std::max<int64_t>(neededBytes(format, width, height), 16);
        claimed = needed + in.ConsumeIntegralInRange<int>(-64, 64);
    } else {
        format = in.ConsumeIntegral<int32_t>();
        width = in.ConsumeIntegral<int32_t>();
        height = in.ConsumeIntegral<int32_t>();
        claimed = in.ConsumeIntegral<int32_t>();
        nullBuffer = in.ConsumeBool();
        const int64_t needed = neededBytes(format, width, height);
        // Keep it a validation case: a buffer that would really be processed
        // at a size beyond the pixel path is made one byte short.
        if (validSide(width) && validSide(height) && needed > 0 &&
            (width > kMaxPixelSide || height > kMaxPixelSide) && claimed >= needed)
            claimed = needed - 1;
        claimed = std::min(claimed, kMaxValidationBytes);
    }

    fuzz::GuardedBuffer buffer(nullBuffer || claimed <= 0 ? 0 : static_cast<size_t>(claimed));
    const std::vector<uint8_t> fill = in.ConsumeRemainingBytes<uint8_t>();
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer.data()[i] = fill.empty() ? static_cast<uint8_t>(i) : fill[i % fill.size()];

    const int r = engine->processFrame(format, width, height, buffer.data(),
                                       static_cast<int>(claimed), 0, 0, matrix, range);

    const int64_t needed = neededBytes(format, width, height);
    const bool acceptable = validSide(width) && validSide(height) && needed > 0 &&
                            buffer.data() != nullptr && claimed >= needed;
    if (!acceptable && r != -6) std::abort();
    if (acceptable && r != 0) std::abort();
    return 0;
}
