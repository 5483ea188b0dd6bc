// Frame-level steps of the video denoiser on one luma plane: block analysis,
// the moving-object sweep, the per-block blend and the margins. Pure CPU code
// on caller-owned planes; the effect owns the planes, the maps and the
// reference frame and only wires these together.
//
// Planes: reference (previous output), source (current input) and out share
// one stride and hold width x height samples. Only full 16x16 blocks are
// mapped: (height >> 4) rows by (width >> 4) columns, index
// i = row * columns + column. Nothing here allocates except
// DenoiserBlockMaps::resize; nothing is thread-safe beyond its arguments.
#pragma once

#include <cstdint>
#include <vector>

#include "denoise/denoiser_filter.h"
#include "denoise/noise_estimator.h"
#include "denoise/denoiser_rows.h"
#include "system/row_splitter.h"
#include "system/cpu_features.h"

namespace kelvo {
namespace video {

// Per-block state of one frame, rebuilt on every size change.
struct DenoiserBlockMaps {
    int rows = 0;
    int columns = 0;
    std::vector<uint8_t> movingEdge;    // 1: moving edge found in this frame
    std::vector<uint8_t> movingObject;  // 1: may belong to a moving object
    std::vector<int> blockDifference;   // sumDiff of denoiseBlock
    std::vector<int> decision;          // BlockDecision
    // Moving edges per block column and row. Wider than a byte so that a row
    // of 256 or more moving blocks (4096-wide video) cannot wrap to 0.
    std::vector<int> columnDensity;
    std::vector<int> rowDensity;
    // The estimator's sampled blocks (every kDenoiserSampleInterval-th), as
    // the analysis found them, fed to it in order once all blocks are done:
    // static or not, variance against the reference, centre luma sum.
    std::vector<uint8_t> sampleStatic;
    std::vector<uint32_t> sampleVariance;
    std::vector<uint32_t> sampleLuma;

    // Maps for (height >> 4) x (width >> 4) blocks; negative sizes give none.
    void resize(int width, int height);
    int blockCount() const { return rows * columns; }
};

// Weight of the reference in static blocks and the block-difference limit
// above which a block or its neighbours count as moving.
struct DenoiserBlendClass {
    float staticWeight;
    int neighbourThreshold;
};

// The class of a frame size (denoiser_model.h): 0.7 / 256 below 640x480
// pixels, 0.5 / 448 below 1280x540, else 0.5 / 512.
DenoiserBlendClass denoiserBlendClass(int width, int height);

// 1 unless `strong`; when strong, 3 for blocks near the top, left or right
// border and 2 for the next band inward, which raises the moving-edge
// threshold (512 x factor) where motion is usually the camera's.
int blockPositionFactor(int row, int column, int rows, int columns, int strong);

// Runs denoiseBlock over every block (writing out's blocks), fills the
// decision, block-difference, moving-edge and density maps, sets every
// moving-object entry to 1 and feeds every 41st block to the estimator.
// A null estimator skips the noise statistics. Rows of blocks are split over
// `splitter` (null: the calling thread); the results do not depend on it.
void analyseBlocks(DenoiserFilter& filter, NoiseEstimator* estimator, const uint8_t* reference,
                   const uint8_t* source, uint8_t* out, int stride, int strong,
                   DenoiserBlockMaps& maps, RowSplitter* splitter = nullptr);

// Clears movingObject over the staircase regions that each of the four
// corners reaches before the first moving edge of every row.
void sweepMovingObjects(DenoiserBlockMaps& maps);

// Blocks on the outer ring, blocks above the threshold or with at least two
// neighbours above it, and moving-object blocks in a row and column that
// both hold moving edges.
bool isMovingBlock(const DenoiserBlockMaps& maps, int row, int column, int neighbourThreshold);

// out = truncate(0.1 * reference + 0.9 * source), in double.
void blendMovingBlock16x16(const uint8_t* reference, int referenceStride, const uint8_t* source,
                           int sourceStride, uint8_t* out, int outStride);

// out = truncate(source * (1 - w) + reference * w): 1 - w in double from the
// float w, reference * w a float product widened to double.
void blendStaticBlock16x16(const uint8_t* reference, int referenceStride, const uint8_t* source,
                           int sourceStride, uint8_t* out, int outStride, float staticWeight);

// Overwrites every full block of out with its moving or static blend, with
// the blends of `rows`, rows of blocks split over `splitter`.
void blendBlocks(const uint8_t* reference, const uint8_t* source, uint8_t* out, int stride,
                 int width, int height, const DenoiserBlockMaps& maps,
                 const DenoiserRows& rows = denoiserRows(), RowSplitter* splitter = nullptr);

// Copies the samples outside the full blocks (bottom rows over the full
// width, right columns beside the blocks) from source to out.
void copyMargins(const uint8_t* source, uint8_t* out, int stride, int width, int height);

// The whole luma pass: analysis, sweep, blend and margins. `maps` is resized
// first if it was built for another size. Returns the strong flag used: the
// estimator's verdict on the previous frames, 0 with a null estimator.
int denoiseLumaPlane(DenoiserFilter& filter, NoiseEstimator* estimator, const uint8_t* reference,
                     const uint8_t* source, uint8_t* out, int stride, int width, int height,
                     DenoiserBlockMaps& maps, const DenoiserRows& rows = denoiserRows(),
                     RowSplitter* splitter = nullptr);

}  // namespace video
}  // namespace kelvo
