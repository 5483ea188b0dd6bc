#include "denoise/denoiser_blend.h"

#include "denoise/denoiser_rows.h"

#include <algorithm>
#include <cstring>

#include "denoise/denoiser_model.h"

namespace kelvo {
namespace video {

namespace {

uint32_t centreLumaSum(const uint8_t* block, int stride) {
    uint32_t sum = 0;
    for (int y = 4; y < 12; ++y) {
        const uint8_t* row = block + y * stride;
        for (int x = 4; x < 12; ++x) sum += row[x];
    }
    return sum;
}

}  // namespace

void DenoiserBlockMaps::resize(int width, int height) {
    rows = std::max(0, height >> 4);
    columns = std::max(0, width >> 4);
    const size_t blocks = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    movingEdge.assign(blocks, 0);
    movingObject.assign(blocks, 0);
    blockDifference.assign(blocks, 0);
    decision.assign(blocks, kCopyBlock);
    columnDensity.assign(static_cast<size_t>(columns), 0);
    rowDensity.assign(static_cast<size_t>(rows), 0);
    const size_t samples = (blocks + kDenoiserSampleInterval - 1) / kDenoiserSampleInterval;
    sampleStatic.assign(samples, 0);
    sampleVariance.assign(samples, 0);
    sampleLuma.assign(samples, 0);
}

DenoiserBlendClass denoiserBlendClass(int width, int height) {
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (pixels < kDenoiserSmallFramePixels)
        return {kDenoiserSmallFrameWeight, kDenoiserSmallFrameThreshold};
    return {kDenoiserLargeFrameWeight, pixels < kDenoiserMidFramePixels
                                           ? kDenoiserMidFrameThreshold
                                           : kDenoiserLargeFrameThreshold};
}

int blockPositionFactor(int row, int column, int rows, int columns, int strong) {
    if (!strong) return 1;
    if (row <= rows >> 4 || column <= columns >> 4 || column >= (15 * columns) >> 4) return 3;
    if (row <= rows >> 3 || column <= columns >> 3 || column >= (7 * columns) >> 3) return 2;
    return 1;
}

void analyseBlocks(DenoiserFilter& filter, NoiseEstimator* estimator, const uint8_t* reference,
                   const uint8_t* source, uint8_t* out, int stride, int strong,
                   DenoiserBlockMaps& maps, RowSplitter* splitter) {
    std::fill(maps.columnDensity.begin(), maps.columnDensity.end(), 0);
    std::fill(maps.rowDensity.begin(), maps.rowDensity.end(), 0);
    std::fill(maps.movingEdge.begin(), maps.movingEdge.end(), 0);
    std::fill(maps.movingObject.begin(), maps.movingObject.end(), 1);

    // Each block writes only its own entries; what is shared (densities,
    // the estimator) is gathered afterwards in block order.
    splitRows(splitter, maps.rows, 1, [&](int, int firstRow, int endRow) {
        for (int r = firstRow; r < endRow; ++r) {
            for (int c = 0; c < maps.columns; ++c) {
                const int i = r * maps.columns + c;
                const size_t offset =
                    static_cast<size_t>(r) * 16 * stride + static_cast<size_t>(c) * 16;
                const uint8_t* ref = reference + offset;
                const uint8_t* src = source + offset;
                uint8_t* dst = out + offset;
                const bool sampled = estimator && i % kDenoiserSampleInterval == 0;
                const int factor = blockPositionFactor(r, c, maps.rows, maps.columns, strong);
                const uint32_t edgeThreshold =
                    kDenoiserMovingEdgeVariance * static_cast<uint32_t>(factor);
                const uint32_t lumaSum = sampled ? centreLumaSum(src, stride) : 0;

                int sumDiff = 0;
                const BlockDecision d = filter.denoiseBlock(ref, stride, dst, stride, src, stride,
                                                            0, strong, &sumDiff);
                maps.decision[i] = d;
                maps.blockDifference[i] = sumDiff;

                // A copied block whose output still follows the reference
                // closely is no moving edge; for the estimator it counts as
                // static.
                const bool still =
                    d == kFilterBlock ||
                    filter.variance16x8(ref, stride, dst, stride, nullptr) <= edgeThreshold;
                maps.movingEdge[i] = still ? 0 : 1;
                if (sampled) {
                    const size_t k = static_cast<size_t>(i / kDenoiserSampleInterval);
                    maps.sampleStatic[k] = still ? 1 : 0;
                    if (still) {
                        maps.sampleVariance[k] =
                            filter.variance16x8(ref, stride, src, stride, nullptr);
                        maps.sampleLuma[k] = lumaSum;
                    }
                }
            }
        }
    });
    for (int r = 0; r < maps.rows; ++r) {
        for (int c = 0; c < maps.columns; ++c) {
            if (!maps.movingEdge[r * maps.columns + c] ||
                blockPositionFactor(r, c, maps.rows, maps.columns, strong) >= 3)
                continue;
            ++maps.columnDensity[c];
            ++maps.rowDensity[r];
        }
    }
    if (!estimator) return;
    for (int i = 0; i < maps.blockCount(); i += kDenoiserSampleInterval) {
        const size_t k = static_cast<size_t>(i / kDenoiserSampleInterval);
        if (maps.sampleStatic[k])
            estimator->addBlock(i, maps.sampleVariance[k], maps.sampleLuma[k]);
        else
            estimator->resetLowVarRun(i);
    }
}

void sweepMovingObjects(DenoiserBlockMaps& maps) {
    const int rows = maps.rows;
    const int columns = maps.columns;
    auto edge = [&](int r, int c) { return maps.movingEdge[r * columns + c] != 0; };
    auto clear = [&](int r, int c) { maps.movingObject[r * columns + c] = 0; };

    // The stop column carries from row to row: each sweep clears a staircase.
    auto fromLeft = [&](int r, int& stop) {
        for (int c = 0; c <= stop; ++c) {
            if (edge(r, c)) {
                stop = c - 1;
                return;
            }
            clear(r, c);
        }
    };
    auto fromRight = [&](int r, int& stop) {
        for (int c = columns - 1; c >= stop; --c) {
            if (edge(r, c)) {
                stop = c + 1;
                return;
            }
            clear(r, c);
        }
    };

    int stop = columns - 1;
    for (int r = 0; r < rows; ++r) fromLeft(r, stop);
    stop = columns - 1;
    for (int r = rows - 1; r >= 0; --r) fromLeft(r, stop);
    stop = 0;
    for (int r = 0; r < rows; ++r) fromRight(r, stop);
    stop = 0;
    for (int r = rows - 1; r >= 0; --r) fromRight(r, stop);
}

bool isMovingBlock(const DenoiserBlockMaps& maps, int row, int column, int neighbourThreshold) {
    if (row == 0 || column == 0 || row == maps.rows - 1 || column == maps.columns - 1) return true;
    const int i = row * maps.columns + column;
    if (maps.blockDifference[i] > neighbourThreshold) return true;
    int movingNeighbours = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            if ((dr || dc) && maps.blockDifference[i + dr * maps.columns + dc] > neighbourThreshold)
                ++movingNeighbours;
    if (movingNeighbours >= kDenoiserMovingNeighbours) return true;
    return maps.columnDensity[column] * maps.rowDensity[row] != 0 && maps.movingObject[i];
}

void blendMovingBlock16x16(const uint8_t* reference, int referenceStride, const uint8_t* source,
                           int sourceStride, uint8_t* out, int outStride) {
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            out[x] = static_cast<uint8_t>(
                static_cast<int>(kDenoiserMovingReferenceWeight * reference[x] +
                                 kDenoiserMovingSourceWeight * source[x]));
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }
}

void blendStaticBlock16x16(const uint8_t* reference, int referenceStride, const uint8_t* source,
                           int sourceStride, uint8_t* out, int outStride, float staticWeight) {
    const double sourceWeight = 1.0 - static_cast<double>(staticWeight);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const float weightedReference = static_cast<float>(reference[x]) * staticWeight;
            out[x] = static_cast<uint8_t>(static_cast<int>(source[x] * sourceWeight +
                                                           static_cast<double>(weightedReference)));
        }
        reference += referenceStride;
        source += sourceStride;
        out += outStride;
    }
}

void blendBlocks(const uint8_t* reference, const uint8_t* source, uint8_t* out, int stride,
                 int width, int height, const DenoiserBlockMaps& maps, const DenoiserRows& rows,
                 RowSplitter* splitter) {
    const DenoiserBlendClass blend = denoiserBlendClass(width, height);
    const auto moving = rows.blendMoving;
    const auto still = rows.blendStatic;
    splitRows(splitter, maps.rows, 1, [&](int, int firstRow, int endRow) {
        for (int r = firstRow; r < endRow; ++r) {
            for (int c = 0; c < maps.columns; ++c) {
                const size_t offset =
                    static_cast<size_t>(r) * 16 * stride + static_cast<size_t>(c) * 16;
                if (isMovingBlock(maps, r, c, blend.neighbourThreshold))
                    moving(reference + offset, stride, source + offset, stride, out + offset,
                           stride);
                else
                    still(reference + offset, stride, source + offset, stride, out + offset,
                          stride, blend.staticWeight);
            }
        }
    });
}

void copyMargins(const uint8_t* source, uint8_t* out, int stride, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const int blockHeight = (height >> 4) * 16;
    const int blockWidth = (width >> 4) * 16;
    for (int y = blockHeight; y < height; ++y)
        std::memcpy(out + static_cast<size_t>(y) * stride, source + static_cast<size_t>(y) * stride,
                    static_cast<size_t>(width));
    if (blockWidth == width) return;
    for (int y = 0; y < blockHeight; ++y)
        std::memcpy(out + static_cast<size_t>(y) * stride + blockWidth,
                    source + static_cast<size_t>(y) * stride + blockWidth,
                    static_cast<size_t>(width - blockWidth));
}

int denoiseLumaPlane(DenoiserFilter& filter, NoiseEstimator* estimator, const uint8_t* reference,
                     const uint8_t* source, uint8_t* out, int stride, int width, int height,
                     DenoiserBlockMaps& maps, const DenoiserRows& rows, RowSplitter* splitter) {
    if (maps.rows != std::max(0, height >> 4) || maps.columns != std::max(0, width >> 4))
        maps.resize(width, height);
    const int strong = estimator && estimator->updateNoiseLevel() ? 1 : 0;
    analyseBlocks(filter, estimator, reference, source, out, stride, strong, maps, splitter);
    sweepMovingObjects(maps);
    blendBlocks(reference, source, out, stride, width, height, maps, rows, splitter);
    copyMargins(source, out, stride, width, height);
    return strong;
}

}  // namespace video
}  // namespace kelvo
