#include "effects/color_enhance/cpu/color_enhance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "cpu/worker_pool.h"

namespace kelvo {
namespace video {

namespace {
constexpr int kSkinTableSize = 512;
constexpr int kStep = 255 / (kColorCubeSize - 1);
static_assert(kStep * (kColorCubeSize - 1) == 255, "grid colours must be 8-bit levels");
static_assert(kStep == kColorBlockStep, "blocks hold a cell's colours");
// Blocks of exact results kept at most: 3.5 MB. A clean camera scene meets
// a hundred marked cells, a noisy one several thousand, the cells with most
// pixels first (samples find cells in proportion to them); 4096 blocks hold
// nearly 90 % of such a scene's marked pixels. The rarer rest would cost
// memory and tests for few pixels each.
constexpr size_t kMaxBlocks = 4096;
static_assert(kMaxBlocks <= ColorCube::kMaxCellNumber, "block numbers fit the cube entry");
// The picture is sampled for marked cells every kSampleStep pixels across
// and down; at most kTestsPerFrame of them are tested per frame (about 4
// microseconds each with their blocks, on the calling thread). A noisy scene
// meets thousands: at 1024 it is warm within a few frames for at most 4 ms
// on each, while each cell found saves the exact row for tens of pixels on
// every later frame.
constexpr int kSampleStep = 8;
constexpr int kTestsPerFrame = 1024;
// Shares of samples in marked cells at which a frame goes to the exact row,
// and comes back to the cube.
constexpr float kMarkedShareToLeaveCube = 0.5f;
constexpr float kMarkedShareToTakeCube = 0.35f;
}  // namespace

ColorEnhance::ColorEnhance(const ColorEnhanceRows& rows, ColorEnhanceMethod method)
    : rows_(rows), method_(method) {}

bool ColorEnhance::setSkinTable(const ConstImageRGBA8& table) {
    if (!table.data || table.width != kSkinTableSize || table.height != kSkinTableSize ||
        table.stride < 4 * kSkinTableSize) {
        skin_.clear();
        cubeStale_ = true;
        functionStale_ = true;
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
    cubeStale_ = true;
    functionStale_ = true;
    return true;
}

ColorEnhanceRowParams ColorEnhance::rowParams(const ColorEnhanceParams& params) const {
    ColorEnhanceRowParams p;
    p.colorStep = params.strength * kColorEnhanceStepScale;
    p.suppress = colorEnhanceSuppress(!skin_.empty(), params.skinProtect);
    p.lowChromaGain = params.lowChromaGain;
    p.threshold = params.threshold;
    p.maxRange = params.maxRange;
    p.skin = skin_.empty() ? nullptr : skin_.data();
    p.tables = colorEnhanceTables();
    return p;
}

namespace {
bool sameSettings(const ColorEnhanceParams& a, const ColorEnhanceParams& b) {
    return a.strength == b.strength && a.skinProtect == b.skinProtect &&
           a.threshold == b.threshold && a.lowChromaGain == b.lowChromaGain &&
           a.maxRange == b.maxRange;
}
}  // namespace

const ColourFunction& ColorEnhance::function(const ColorEnhanceParams& params) {
    if (functionStale_ || !sameSettings(params, functionParams_)) {
        function_.encodedRow = rows_.encodedRow;
        function_.params = rowParams(params);
        function_.number = newColourFunctionVersion();
        functionParams_ = params;
        functionStale_ = false;
    }
    return function_;
}

void ColorEnhance::buildCube(const ColorEnhanceParams& params, WorkerPool* pool) {
    const ColorEnhanceRowParams p = rowParams(params);
    auto line = [this, &p](int g, int b, float* rgb) {
        uint8_t pixels[4 * kColorCubeSize];
        cubeGridLine(g, b, kColorCubeSize, kStep, pixels);
        rows_.encodedRow(pixels, rgb, kColorCubeSize, p);
    };
    // Cells around a bend of over a level (a clamp, the gamut's edge, the
    // skin table's detail) take the exact row. Coarser marking leaves
    // one-level flips that low light's sharpening and the denoiser's
    // decisions, later in the chain, magnify.
    cube_.build(kColorCubeSize, line, 1.0f / 255.0f, pool);
    tested_.assign(static_cast<size_t>(kColorCubeSize) * kColorCubeSize * kColorCubeSize, 0);
    // All the room blocks may take, once: untouched pages cost nothing, and
    // frames never reallocate.
    blocks_.clear();
    blocks_.reserve(kMaxBlocks * kColorBlockColors);
    cubeParams_ = params;
    cubeStale_ = false;
}

// Unmarks the marked cell when every colour in it reads from the grid as the
// exact row gives it; otherwise keeps the exact results of all its colours in
// a block while there is room. The bend measure is wary: on the default
// settings one marked cell in six passes, and a camera picture's colours
// gather in them.
void ColorEnhance::testCell(size_t cell, const ColorEnhanceRowParams& p) {
    constexpr int kMost = kColorBlockColors, kBatch = 32;
    uint8_t colours[4 * (kMost + 8)], exact[4 * (kMost + 8)], read[4 * kBatch];
    const int corner[3] = {static_cast<int>(cell % kColorCubeSize),
                           static_cast<int>(cell / kColorCubeSize % kColorCubeSize),
                           static_cast<int>(cell / (kColorCubeSize * kColorCubeSize))};
    int levels[3];
    for (int c = 0; c < 3; ++c) levels[c] = corner[c] == kColorCubeSize - 2 ? kStep + 1 : kStep;
    int n = 0;
    for (int b = 0; b < levels[2]; ++b) {
        for (int g = 0; g < levels[1]; ++g) {
            for (int r = 0; r < levels[0]; ++r, ++n) {
                colours[4 * n] = static_cast<uint8_t>(corner[0] * kStep + r);
                colours[4 * n + 1] = static_cast<uint8_t>(corner[1] * kStep + g);
                colours[4 * n + 2] = static_cast<uint8_t>(corner[2] * kStep + b);
                colours[4 * n + 3] = 255;
            }
        }
    }
    const int real = n;
    // Whole vectors (padded with the first colour), a few at a time: most
    // cells that fail do so early.
    for (; n % 8; ++n) std::memcpy(colours + 4 * n, colours, 4);
    cube_.setMarked(cell, false);
    int at = 0;
    bool serves = true;
    for (; at < n && serves; at += kBatch) {
        const int count = std::min(kBatch, n - at);
        rows_.row(colours + 4 * at, exact + 4 * at, count, p);
        rows_.cubeRow(cube_.view(), nullptr, colours + 4 * at, read, count, p);
        serves = std::memcmp(exact + 4 * at, read, 4 * static_cast<size_t>(count)) == 0;
    }
    if (serves) return;
    cube_.setMarked(cell, true);
    const size_t block = blocks_.size() / kColorBlockColors;
    if (block >= kMaxBlocks) return;
    if (at < n) rows_.row(colours + 4 * at, exact + 4 * at, n - at, p);
    blocks_.resize(blocks_.size() + kColorBlockColors);  // within the reserve
    uint32_t* out = blocks_.data() + block * kColorBlockColors;
    for (int i = 0; i < real; ++i) {
        const uint8_t* c = colours + 4 * i;
        const int r = c[0] - corner[0] * kStep, g = c[1] - corner[1] * kStep,
                  b = c[2] - corner[2] * kStep;
        std::memcpy(out + (b * kColorBlockSide + g) * kColorBlockSide + r, exact + 4 * i, 4);
    }
    cube_.setCellNumber(cell, static_cast<uint32_t>(block + 1));
}

// Unmarks the marked cells a sample of the picture falls in where the grid
// serves them, and remembers the others' exact results. Output stays as it
// was; only the exact row runs less.
float ColorEnhance::refineCube(const ConstImageRGBA8& src, const ColorEnhanceRowParams& p,
                               WorkerPool* pool) {
    // The grid of samples moves each frame, through all kSampleStep^2
    // places in turn, so that a still scene's cells are all met in time.
    const int phase = static_cast<int>(frames_++ % (kSampleStep * kSampleStep));
    const int dx = phase % kSampleStep, dy = (phase / kSampleStep + 3 * phase) % kSampleStep;
    const int x0 = std::min(dx, src.width - 1), y0 = std::min(dy, src.height - 1);
    const int columns = (src.width - x0 + kSampleStep - 1) / kSampleStep;
    const int rows = (src.height - y0 + kSampleStep - 1) / kSampleStep;
    const int slots = pool ? pool->threads() : 1;
    // Grown only: a stable size allocates nothing.
    if (untested_.size() < static_cast<size_t>(columns) * rows)
        untested_.resize(static_cast<size_t>(columns) * rows);
    if (untestedCount_.size() < static_cast<size_t>(rows)) untestedCount_.resize(rows);
    if (markedCount_.size() < static_cast<size_t>(slots)) markedCount_.resize(slots);
    std::fill(markedCount_.begin(), markedCount_.end(), 0);
    // Reading the samples changes nothing: testing a cell changes that cell
    // alone, and only cells still untested are tested, so samples in other
    // cells count as they would after the tests.
    forRows(pool, rows, 1, [&](int slot, int begin, int end) {
        int marked = 0;
        for (int r = begin; r < end; ++r) {
            const uint8_t* row = src.data + static_cast<ptrdiff_t>(y0 + r * kSampleStep) * src.stride;
            uint32_t* untested = untested_.data() + static_cast<size_t>(r) * columns;
            int count = 0;
            for (int x = x0; x < src.width; x += kSampleStep) {
                const uint8_t* px = row + 4 * x;
                size_t cell = 0;
                for (int c = 2; c >= 0; --c) {
                    cell = cell * kColorCubeSize + std::min(px[c] / kStep, kColorCubeSize - 2);
                }
                if (!exactCell(cell)) continue;
                if (tested_[cell]) {
                    ++marked;
                } else {
                    untested[count++] = static_cast<uint32_t>(cell);
                }
            }
            untestedCount_[r] = count;
        }
        markedCount_[slot] += marked;
    });
    int tests = 0, marked = 0;
    for (int m : markedCount_) marked += m;
    for (int r = 0; r < rows; ++r) {
        const uint32_t* untested = untested_.data() + static_cast<size_t>(r) * columns;
        for (int i = 0; i < untestedCount_[r]; ++i) {
            const size_t cell = untested[i];
            // An earlier sample's test may have served the cell since.
            if (!exactCell(cell)) continue;
            if (!tested_[cell] && tests < kTestsPerFrame) {
                tested_[cell] = 1;
                ++tests;
                testCell(cell, p);
                if (!exactCell(cell)) continue;
            }
            ++marked;
        }
    }
    const int samples = columns * rows;
    return samples ? static_cast<float>(marked) / static_cast<float>(samples) : 0.0f;
}

bool ColorEnhance::process(const ConstImageRGBA8& src, const ImageRGBA8& dst,
                           const ColorEnhanceParams& params, WorkerPool* pool) {
    const int w = src.width;
    const int h = src.height;
    if (!src.data || !dst.data || w < 1 || h < 1 || dst.width != w || dst.height != h ||
        src.stride < 4 * w || dst.stride < 4 * w) {
        return false;
    }
    if (method_ == ColorEnhanceMethod::kCube) {
        if (cubeStale_ || !sameSettings(cubeParams_, params)) {
            try {
                buildCube(params, pool);
            } catch (const std::bad_alloc&) {
                // Failed at the engine's edge: a frame without colour
                // enhancement must not pass for a processed one.
                cubeStale_ = true;
                throw;
            }
        }
    }
    const ColorEnhanceRowParams p = rowParams(params);
    if (method_ == ColorEnhanceMethod::kCube) {
        // Where most of a picture lies in marked cells without blocks (a
        // skin-heavy scene's first frames), the exact row alone beats the
        // cube with its detours through it; the gap between the two bounds
        // keeps a scene from flip-flopping.
        const float share = refineCube(src, p, pool);
        frameOnCube_ = share < (frameOnCube_ ? kMarkedShareToLeaveCube : kMarkedShareToTakeCube);
    }
    const ColorCubeView cube = cube_.view();
    const uint32_t* blocks = blocks_.data();
    const bool useCube = method_ == ColorEnhanceMethod::kCube && frameOnCube_;
    auto band = [&](int, int begin, int end) {
        for (int row = begin; row < end; ++row) {
            const uint8_t* in = src.data + static_cast<ptrdiff_t>(row) * src.stride;
            uint8_t* out = dst.data + static_cast<ptrdiff_t>(row) * dst.stride;
            if (useCube) {
                rows_.cubeRow(cube, blocks, in, out, w, p);
            } else {
                rows_.row(in, out, w, p);
            }
        }
    };
    forRows(pool, h, 1, band);
    return true;
}

}  // namespace video
}  // namespace kelvo
