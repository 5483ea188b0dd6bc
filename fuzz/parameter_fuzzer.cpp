// Parameter documents: arbitrary keys and values into setParameter of an
// engine running all four effects, then, for one input in sixty-four, one
// small frame through the chain.
//
// Input: lines; "key<TAB>value" sets that key, a line without a tab is the
// value for the option groups in turn, so most mutations reach a real group.
//
// A frame costs a hundred times the documents (GL draws and a readback on the
// software rasteriser), so running one per input would leave the documents
// themselves little tried. Inputs whose length is a multiple of 64 run it:
// mutations change lengths all the time, so every kind of document meets the
// chain, and a saved input reproduces with or without its frame as it ran.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine_fuzz_support.h"

namespace {

using namespace kelvo::video;

const char* const kKeys[] = {"beauty_effect_option", "color_enhance_option",
                             "video_denoiser_option", "lowlight_enhance_option", "environment"};
constexpr int kMaxDocuments = 16;
constexpr int kWidth = 48;
constexpr int kHeight = 30;
constexpr size_t kFrameEvery = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VideoProcessEngineImpl* engine = fuzz::sharedEngine();
    if (!engine) return 0;
    fuzz::resetParameters(*engine);

    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int n = 0; n < kMaxDocuments && start <= text.size(); ++n) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t tab = line.find('\t');
        const std::string key = tab == std::string::npos ? kKeys[n % 5] : line.substr(0, tab);
        const std::string value = tab == std::string::npos ? line : line.substr(tab + 1);
        const int r = engine->setParameter(key.c_str(), value.c_str());
        if (r != 0 && r != -7) std::abort();
    }

    if (size % kFrameEvery != 0) return 0;
    const std::vector<uint8_t> picture = fuzz::i420Picture(kWidth, kHeight, data, size);
    fuzz::GuardedBuffer frame(picture.size());
    std::copy(picture.begin(), picture.end(), frame.data());
    const int r = engine->processFrame(kPixelFormatI420, kWidth, kHeight, frame.data(),
                                       static_cast<int>(frame.size()), 0, 0, -1, -1);
    // A whole, well-formed frame: processed, or nothing is enabled.
    if (r != 0 && r != -4) std::abort();
    return 0;
}
