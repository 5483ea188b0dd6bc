// Colour enhancement on the CPU, computed as the GL colour pass computes it:
// each pixel to Lab (BT.709 primaries, D65), chroma raised along the boost
// curve and held back on skin by the skin-likelihood table, a* and b* kept
// within +-127, and back. RGBA8 in, RGBA8 out.
#pragma once

#include <cstdint>
#include <vector>

#include "effects/color_enhance/cpu/color_enhance_rows.h"
#include "cpu/color_cube.h"
#include "cpu/image.h"
#include "effects/color_enhance/color_enhance_model.h"

namespace kelvo {
namespace video {

class WorkerPool;

// The effect's settings, as the GL effect hands them to its program
// (defaults from color_enhance_model.h).
struct ColorEnhanceParams {
    float strength = kColorEnhanceDefaultStrength;        // 0..1
    float skinProtect = kColorEnhanceDefaultSkinProtect;  // 0..1
    float threshold = static_cast<float>(kColorEnhanceThreshold);
    float lowChromaGain = colorEnhanceLowChromaGain();
    float maxRange = kColorEnhanceChromaRange;
};

// How pixels are computed: by the exact row, or looked up in a colour cube
// built from it whenever the settings or the skin table change (within a
// level of the exact row over every colour, mostly equal; faster by the
// share of a picture's colours the cube follows closely).
enum class ColorEnhanceMethod { kCube, kExact };

// Grid points per axis of the cube: every fifth 8-bit level, so each grid
// colour is one the exact row takes.
constexpr int kColorCubeSize = 52;

// Owns a copy of the skin table's red channel arranged for the rows (1 MB),
// the cube (1.1 MB, with a byte a cell of what frames have tested) and the
// exact results of marked cells that frames meet (up to 3.5 MB).
// Not thread-safe; one object per engine.
class ColorEnhance {
public:
    explicit ColorEnhance(const ColorEnhanceRows& rows = colorEnhanceRows(),
                          ColorEnhanceMethod method = ColorEnhanceMethod::kCube);

    // Takes the 512 x 512 skin-likelihood table (red channel used). A table
    // of another size, or null data, clears it: the pass then protects no
    // skin, as the GL effect does without its table. False when cleared.
    bool setSkinTable(const ConstImageRGBA8& table);
    bool hasSkinTable() const { return !skin_.empty(); }

    // src and dst must be the same size; they may be the same image. False,
    // with nothing written, for null data, a size mismatch or below 1x1, or
    // short strides. pool may be null (run inline). std::bad_alloc when the
    // cube cannot be built (rebuilt by the next call).
    bool process(const ConstImageRGBA8& src, const ImageRGBA8& dst,
                 const ColorEnhanceParams& params, WorkerPool* pool);

    // The pass as a colour function of `params` (its encoded colours before
    // the 8-bit write), for an effect that composes it into a cube of its
    // own rather than have this object run it. Its version changes with the
    // settings and the skin table. Valid while this object lives, until the
    // next call or setSkinTable.
    const ColourFunction& function(const ColorEnhanceParams& params);

    // Which cells are marked and which have blocks of exact results, for
    // tests. Empty before the first frame on the cube.
    const ColorCube& cube() const { return cube_; }

private:
    ColorEnhanceRowParams rowParams(const ColorEnhanceParams& params) const;
    void buildCube(const ColorEnhanceParams& params, WorkerPool* pool);
    // Tests marked cells that the frame's samples fall in; the share of
    // samples that still fall in marked cells without remembered results.
    // The samples are read on the pool; cells are tested in picture order
    // on the calling thread.
    float refineCube(const ConstImageRGBA8& src, const ColorEnhanceRowParams& p,
                     WorkerPool* pool);
    void testCell(size_t cell, const ColorEnhanceRowParams& p);
    // Marked and without a block: pixels there take the exact row.
    bool exactCell(size_t cell) const { return cube_.marked(cell) && !cube_.cellNumber(cell); }

    class Function : public ColourFunction {
    public:
        void evaluate(const uint8_t* colours, float* rgb, int count) const override {
            encodedRow(colours, rgb, count, params);
        }
        uint64_t version() const override { return number; }

        ColorEnhanceEncodedRowFn encodedRow = nullptr;
        ColorEnhanceRowParams params{};
        uint64_t number = 0;
    };

    ColorEnhanceRows rows_;
    ColorEnhanceMethod method_;
    Function function_;
    bool functionStale_ = true;
    ColorEnhanceParams functionParams_;
    bool frameOnCube_ = true;
    unsigned frames_ = 0;  // frames sampled, for where samples fall
    std::vector<uint32_t> skin_;
    ColorCube cube_;
    // Cells tested since the cube was built, by first corner.
    std::vector<uint8_t> tested_;
    // Blocks of kColorBlockColors exact results of marked cells the grid
    // does not serve, numbered from 1 in the cells' cube entries.
    std::vector<uint32_t> blocks_;
    // Per sample row: the cells of samples to test, and how many; the
    // samples counted as marked without a test, per pool thread.
    std::vector<uint32_t> untested_;
    std::vector<int> untestedCount_;
    std::vector<int> markedCount_;
    bool cubeStale_ = true;
    ColorEnhanceParams cubeParams_;
};

}  // namespace video
}  // namespace kelvo
