// PNG decoding of lookup tables: any bytes into decodePngToARGBFrame (both
// row orders) and decodeLutTable.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "effects/lut_loader.h"

namespace {

using namespace kelvo::video;

// Every pixel of a decoded frame is readable, and its shape is consistent.
uint32_t checkFrame(const ARGBFrame& frame) {
    if (frame.empty() || frame.width() < 1 || frame.height() < 1 ||
        frame.size() != frame.width() * frame.height() * 4 || frame.stride() != frame.width() * 4)
        std::abort();
    uint32_t sum = 0;
    const uint8_t* p = frame.data();
    for (int32_t i = 0; i < frame.size(); i += 61) sum += p[i];
    return sum + p[frame.size() - 1];
}

// libpng rejects a chunk whose CRC is wrong, which would stop almost every
// mutation at the first chunk; a second copy gets its CRCs recomputed.
void fixChunkCrcs(std::vector<uint8_t>& png) {
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = uint32_t{png[at]} << 24 | uint32_t{png[at + 1]} << 16 |
                                uint32_t{png[at + 2]} << 8 | png[at + 3];
        if (length > png.size() - at - 12) return;
        const uLong crc = crc32(0, png.data() + at + 4, length + 4);
        uint8_t* out = png.data() + at + 8 + length;
        for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}

void decodeAll(const std::vector<uint8_t>& input) {
    // Exactly sized heap memory, so ASan sees any read past the input.
    const size_t size = input.size();
    uint8_t* copy = size ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    if (size) std::memcpy(copy, input.data(), size);

    const auto flipped = decodePngToARGBFrame(copy, size, false);
    const auto kept = decodePngToARGBFrame(copy, size, true);
    if (static_cast<bool>(flipped) != static_cast<bool>(kept)) std::abort();
    if (kept) {
        checkFrame(*kept);
        // The two row orders are the same image upside down.
        if (flipped->width() != kept->width() || flipped->height() != kept->height()) std::abort();
        const size_t stride = static_cast<size_t>(kept->stride());
        const size_t last = static_cast<size_t>(kept->height() - 1);
        if (std::memcmp(kept->data(), flipped->data() + last * stride, stride) != 0) std::abort();
    }
    // The table decode is the kept-orientation decode plus a size check: it
    // is run where it can succeed, since elsewhere it would only repeat a
    // decode of up to a megabyte.
    if (kept && kept->width() == kLutImageSize && kept->height() == kLutImageSize) {
        const auto table = decodeLutTable(copy, size);
        if (!table) std::abort();
        checkFrame(*table);
        if (std::memcmp(table->data(), kept->data(), static_cast<size_t>(kept->size())) != 0)
            std::abort();
    }
    std::free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    decodeAll(input);
    fixChunkCrcs(input);
    if (!std::equal(input.begin(), input.end(), data)) decodeAll(input);
    return 0;
}
