#include "cpu/color_enhance.h"

#include <algorithm>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

namespace {
constexpr int kSkinTableSize = 512;
}

ColorEnhance::ColorEnhance(RowPath path) : row_(colorEnhanceRowFor(path)) {}

bool ColorEnhance::setSkinTable(const ConstImageRGBA8& table) {
    if (!table.data || table.width != kSkinTableSize || table.height != kSkinTableSize ||
        table.stride < 4 * kSkinTableSize) {
        skin_.clear();
        return false;
    }
    skin_.resize(static_cast<size_t>(kSkinTableSize) * kSkinTableSize);
    auto red = [&](int x, int y) {
        x = std::min(x, kSkinTableSize - 1);
        y = std::min(y, kSkinTableSize - 1);
        return static_cast<uint32_t>(table.data[static_cast<ptrdiff_t>(y) * table.stride + 4 * x]);
    };
    for (int y = 0; y < kSkinTableSize; ++y) {
        for (int x = 0; x < kSkinTableSize; ++x) {
            skin_[static_cast<size_t>(y) * kSkinTableSize + x] =
                red(x, y) | red(x + 1, y) << 8 | red(x, y + 1) << 16 | red(x + 1, y + 1) << 24;
        }
    }
    return true;
}

bool ColorEnhance::process(const ConstImageRGBA8& src, const ImageRGBA8& dst,
                           const ColorEnhanceParams& params, WorkerPool* pool) const {
    const int w = src.width;
    const int h = src.height;
    if (!src.data || !dst.data || w < 1 || h < 1 || dst.width != w || dst.height != h ||
        src.stride < 4 * w || dst.stride < 4 * w) {
        return false;
    }
    ColorEnhanceRowParams p;
    p.colorStep = params.strength * 100.0f;
    p.suppress = skin_.empty() ? 0.0f : params.skinProtect;
    p.lowChromaGain = params.lowChromaGain;
    p.threshold = params.threshold;
    p.maxRange = params.maxRange;
    p.skin = skin_.empty() ? nullptr : skin_.data();
    p.tables = colorEnhanceTables();
    auto band = [&](int, int begin, int end) {
        for (int row = begin; row < end; ++row) {
            row_(src.data + static_cast<ptrdiff_t>(row) * src.stride,
                 dst.data + static_cast<ptrdiff_t>(row) * dst.stride, w, p);
        }
    };
    forRows(pool, h, 1, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
