#include "host_test_support.h"

#include <dlfcn.h>

#include <cstdlib>

namespace kelvo {
namespace video {

rtc_sdk::StandInHost* standInHost() {
    static rtc_sdk::StandInHost* host = []() -> rtc_sdk::StandInHost* {
        void* library = dlopen(KELVO_HOST_LIBRARY_PATH, RTLD_NOW | RTLD_GLOBAL);
        if (!library) return nullptr;
        auto entry = reinterpret_cast<rtc_sdk::StandInHostFunction>(
            dlsym(library, rtc_sdk::kStandInHostEntry));
        return entry ? entry() : nullptr;
    }();
    return host;
}

std::vector<uint8_t> skinFrame(int width, int height) {
    const int cw = width / 2, ch = height / 2;
    std::vector<uint8_t> frame(width * height + 2 * cw * ch);
    uint8_t* y = frame.data();
    uint8_t* u = y + width * height;
    uint8_t* v = u + cw * ch;
    auto inDisc = [&](int x, int row) {
        const int dx = x - width / 2, dy = row - height / 2;
        return dx * dx + dy * dy < (height / 3) * (height / 3);
    };
    unsigned seed = 7u;
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 25) - 12;
            y[row * width + x] = static_cast<uint8_t>((inDisc(x, row) ? 150 : 90) + noise);
        }
    for (int row = 0; row < ch; ++row)
        for (int x = 0; x < cw; ++x) {
            const bool disc = inDisc(2 * x, 2 * row);
            u[row * cw + x] = disc ? 108 : 128;
            v[row * cw + x] = disc ? 152 : 128;
        }
    return frame;
}

HostFrameData pixelFrameDescription(std::vector<uint8_t>& pixels, int width, int height) {
    HostFrameData d;
    d.kind = kHostFramePixelBuffer;
    d.buffer = pixels.data();
    d.bufferSize = static_cast<int32_t>(pixels.size());
    d.width = width;
    d.height = height;
    d.primariesCode = d.transferCode = d.matrixCode = d.rangeCode = -1;
    return d;
}

double meanAbsDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / static_cast<double>(a.size());
}

}  // namespace video
}  // namespace kelvo
