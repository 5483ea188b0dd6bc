#include "effects/beauty/cpu/beauty.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "effects/beauty/beauty_model.h"

namespace kelvo::video {
namespace {

// Where the driver's linear filter reads for texture coordinate `coord` on
// an axis of `size` texels: first texel (unclamped) and packed weights of it
// and the next. Coordinates are formed exactly; the driver's float rounding
// can only differ where a position falls on a tie of the 8.8 grid.
void linearRead(double coord, int size, int* texel, uint32_t* weights) {
    const int fixed = static_cast<int>(std::nearbyint(coord * size * 256.0)) - 128;
    const int fraction = fixed & 255;
    *texel = fixed >> 8;
    *weights = static_cast<uint32_t>(256 - fraction) | static_cast<uint32_t>(fraction) << 16;
}

int clampIndex(int i, int size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }

bool inUnitRange(float x) { return kBeautyUnitRange.contains(x); }

size_t spanBytes(int stride, int width, int height) {
    return static_cast<size_t>(stride) * static_cast<size_t>(height - 1) +
           static_cast<size_t>(width) * 4;
}

}  // namespace

// Grid points per axis of the grading cube: 64 puts them on the tables'
// texel centres (a tile is 64 texels wide, blue has 64 levels), where one
// grading is itself interpolated linearly between them.
constexpr int kGradingCubeSize = 64;
// With a colour function of 8-bit colours in front, grid points lie every
// fifth level, where the function is evaluated exactly; the gradings,
// smooth between their texel centres, lose little to the coarser grid.
constexpr int kComposedCubeSize = 52;
constexpr int kComposedCubeStep = 255 / (kComposedCubeSize - 1);
static_assert(kComposedCubeStep * (kComposedCubeSize - 1) == 255, "grid points on 8-bit levels");

Beauty::Beauty(const BeautyRows& rows, bool gradingCube)
    : rows_(rows), useGradingCube_(gradingCube) {}

Beauty::TableCells Beauty::tableCells(ConstImageRGBA8 table) {
    if (!table.data || table.width != kBeautyTableSize || table.height != kBeautyTableSize ||
        table.stride < kBeautyTableSize * 4) {
        return nullptr;
    }
    // Out of memory throws: gradings left off would pass for a picture.
    auto cells = std::make_shared<std::vector<uint8_t>>(kBeautyTableBytes);
    beautyTableCells(table.data, table.stride, cells->data());
    return cells;
}

bool Beauty::setTables(ConstImageRGBA8 whiten, ConstImageRGBA8 ruddy) {
    return setTables(tableCells(whiten), tableCells(ruddy));
}

bool Beauty::setTables(TableCells whiten, TableCells ruddy) {
    auto valid = [](const TableCells& t) { return t && t->size() == kBeautyTableBytes; };
    if (!valid(whiten) || !valid(ruddy)) {
        clearTables();
        return false;
    }
    whiten_ = std::move(whiten);
    ruddy_ = std::move(ruddy);
    hasTables_ = true;
    gradingStale_ = true;
    return true;
}

void Beauty::clearTables() {
    hasTables_ = false;
    whiten_.reset();
    ruddy_.reset();
}

void Beauty::resize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    // The half size as the GL effect sizes its framebuffers.
    const int w2 = beautyHalfSize(width);
    const int h2 = beautyHalfSize(height);
    halfWidth_ = w2;
    halfHeight_ = h2;

    downX0_.resize(w2);
    downX1_.resize(w2);
    downWeights_.resize(w2);
    for (int i = 0; i < w2; ++i) {
        int texel;
        linearRead((i + 0.5) / w2, width, &texel, &downWeights_[i]);
        downX0_[i] = clampIndex(texel, width);
        downX1_[i] = clampIndex(texel + 1, width);
    }
    upX0_.resize(width);
    upX1_.resize(width);
    upWeights_.resize(width);
    for (int x = 0; x < width; ++x) {
        int texel;
        linearRead((x + 0.5) / width, w2, &texel, &upWeights_[x]);
        upX0_[x] = clampIndex(texel, w2);
        upX1_[x] = clampIndex(texel + 1, w2);
    }
    halving_ = doubling_ = width == 2 * w2;
    for (int i = 0; i < w2; ++i) {
        halving_ = halving_ && downX0_[i] == 2 * i && downX1_[i] == 2 * i + 1 &&
                   downWeights_[i] == (128u | 128u << 16);
        doubling_ = doubling_ && upX0_[2 * i] == clampIndex(i - 1, w2) && upX1_[2 * i] == i &&
                    upWeights_[2 * i] == kBeautyQuarterBack && upX0_[2 * i + 1] == i &&
                    upX1_[2 * i + 1] == clampIndex(i + 1, w2) &&
                    upWeights_[2 * i + 1] == kBeautyQuarterOn;
    }

    // Pass 1 steps kBeautyBlurStep half-size texels up and down from the centre.
    soften1Rows_.resize(static_cast<size_t>(h2) * 18);
    soften1Weights_.resize(static_cast<size_t>(h2) * 9);
    static const int kSteps[9] = {0, -1, 1, -2, 2, -3, 3, -4, 4};
    for (int j = 0; j < h2; ++j) {
        for (int k = 0; k < 9; ++k) {
            int texel;
            linearRead((j + 0.5 + static_cast<double>(kBeautyBlurStep) * kSteps[k]) / h2, height,
                       &texel, &soften1Weights_[j * 9 + k]);
            soften1Rows_[j * 18 + 2 * k] = clampIndex(texel, height);
            soften1Rows_[j * 18 + 2 * k + 1] = clampIndex(texel + 1, height);
        }
    }
    mixRows_.resize(static_cast<size_t>(height) * 2);
    mixWeights_.resize(height);
    for (int y = 0; y < height; ++y) {
        int texel;
        linearRead((y + 0.5) / height, h2, &texel, &mixWeights_[y]);
        mixRows_[2 * y] = clampIndex(texel, h2);
        mixRows_[2 * y + 1] = clampIndex(texel + 1, h2);
    }

    narrow_.resize(static_cast<size_t>(w2) * height * 4);
    wide_.resize(static_cast<size_t>(width) * h2 * 4);
    for (Padded* image : {&a_, &b_, &c_}) {
        image->stride = (w2 + 2 * kBeautyRowMargin) * 4;
        image->pixels.resize(static_cast<size_t>(image->stride) * h2);
    }
}

// Mirrors the GL effect's uniform set-up, including the program setters'
// habit of keeping the previous value when a new one is out of range.
void Beauty::latchUniforms(WorkerPool* pool, const ColourFunction* before) {
    const BeautyParameters& p = parameters_;
    const BeautyMixSettings mix =
        beautyMixSettings(p.smoothness, p.sharpness, p.redness, p.lightness, p.noiseLevel);
    if (inUnitRange(mix.sharpen)) uniforms_.sharpen = mix.sharpen;
    if (inUnitRange(mix.blurAlpha)) uniforms_.blurAlpha = mix.blurAlpha;
    uniforms_.lightStrength = p.lightStrength;
    uniforms_.noiseLevel = p.noiseLevel;
    uniforms_.level = p.level;
    if (inUnitRange(mix.ruddyDegree)) uniforms_.ruddyDegree = mix.ruddyDegree;
    if (inUnitRange(mix.whiteDegree)) uniforms_.whiteDegree = mix.whiteDegree;
    uniforms_.enableLut = hasTables_ ? 1 : 0;
    uniforms_.whiten = hasTables_ ? whiten_->data() : nullptr;
    uniforms_.ruddy = hasTables_ ? ruddy_->data() : nullptr;
    latchGrading(pool, before);
}

void Beauty::latchGrading(WorkerPool* pool, const ColourFunction* before) {
    uniforms_.grading = {nullptr, 0};
    if (!useGradingCube_) return;
    const float ruddy = uniforms_.ruddyDegree, white = uniforms_.whiteDegree;
    // Both degrees 0 skip the gradings, bit for bit as the tables do.
    const bool grades = hasTables_ && (ruddy != 0.0f || white != 0.0f);
    if (!grades && !before) return;
    const uint64_t colour = before ? before->version() : 0;
    if (gradingStale_ || ruddy != gradingDegrees_[0] || white != gradingDegrees_[1] ||
        colour != gradingColour_) {
        const BeautyMixUniforms u = uniforms_;
        const auto grade = rows_.grade;
        const int size = before ? kComposedCubeSize : kGradingCubeSize;
        grading_.build(
            size,
            [&u, grades, grade, before, size](int g, int b, float* rgb) {
                if (before) {
                    uint8_t colours[4 * kComposedCubeSize];
                    cubeGridLine(g, b, kComposedCubeSize, kComposedCubeStep, colours);
                    before->evaluate(colours, rgb, kComposedCubeSize);
                    if (!grades) return;
                    // The gradings read their tables by colour: within 0..1,
                    // as the mix gives them colours.
                    for (int i = 0; i < 3 * kComposedCubeSize; ++i)
                        rgb[i] = std::min(std::max(rgb[i], 0.0f), 1.0f);
                } else {
                    const float step = 1.0f / (kGradingCubeSize - 1);
                    for (int r = 0; r < kGradingCubeSize; ++r) {
                        rgb[3 * r] = r * step;
                        rgb[3 * r + 1] = g * step;
                        rgb[3 * r + 2] = b * step;
                    }
                }
                grade(u, rgb, size);
            },
            0.0f, pool);
        gradingDegrees_[0] = ruddy;
        gradingDegrees_[1] = white;
        gradingColour_ = colour;
        gradingStale_ = false;
    }
    uniforms_.grading = grading_.view();
}

int Beauty::begin(ConstImageRGBA8 src, ImageRGBA8 dst, WorkerPool* pool,
                  const ColourFunction* before) {
    if (!src.data || !dst.data || src.width <= 0 || src.height <= 0 || src.width != dst.width ||
        src.height != dst.height || src.width > (INT32_MAX / 4) || src.stride < src.width * 4 ||
        dst.stride < dst.width * 4) {
        return -1;
    }
    // The mix reads neighbours of pixels it has already written over.
    const uint8_t* s0 = src.data;
    const uint8_t* s1 = s0 + spanBytes(src.stride, src.width, src.height);
    const uint8_t* d0 = dst.data;
    const uint8_t* d1 = d0 + spanBytes(dst.stride, dst.width, dst.height);
    if (s0 < d1 && d0 < s1) return -1;
    try {
        resize(src.width, src.height);
        latchUniforms(pool, before);
    } catch (const std::bad_alloc&) {
        // The next frame starts afresh; this one fails at the engine's edge
        // rather than go on without beauty.
        width_ = height_ = 0;
        gradingStale_ = true;
        throw;
    }
    src_ = src;
    dst_ = dst;
    return 0;
}

int Beauty::stageRows(Stage stage) const {
    switch (stage) {
        case kStageDownsize:
        case kStageMix:
            return height_;
        case kStageSoften:
        case kStageSpread:
            return halfHeight_;
        default:
            return 0;
    }
}

void Beauty::padRow(uint8_t* row, int width) const {
    for (int i = 1; i <= kBeautyRowMargin; ++i) {
        std::memcpy(row - i * 4, row, 4);
        std::memcpy(row + (width - 1 + i) * 4, row + (width - 1) * 4, 4);
    }
}

void Beauty::runStage(Stage stage, int y0, int y1) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, stageRows(stage));
    const int w2 = halfWidth_;
    const int h2 = halfHeight_;
    auto narrowRow = [this, w2](int y) { return narrow_.data() + static_cast<size_t>(y) * w2 * 4; };
    auto wideRow = [this](int y) { return wide_.data() + static_cast<size_t>(y) * width_ * 4; };
    for (int y = y0; y < y1; ++y) {
        switch (stage) {
            case kStageDownsize:
                if (halving_) {
                    rows_.halve(src_.data + static_cast<size_t>(y) * src_.stride, narrowRow(y), w2);
                } else {
                    rows_.downsize(src_.data + static_cast<size_t>(y) * src_.stride, downX0_.data(),
                                   downX1_.data(), downWeights_.data(), narrowRow(y), w2);
                }
                break;
            case kStageSoften: {
                BeautyColumnTaps taps;
                for (int k = 0; k < 18; ++k) taps.rows[k] = narrowRow(soften1Rows_[y * 18 + k]);
                for (int k = 0; k < 9; ++k) taps.weights[k] = soften1Weights_[y * 9 + k];
                uint8_t* a = a_.row(y);
                rows_.blurRgbColumn(taps, a, w2);
                padRow(a, w2);
                uint8_t* b = b_.row(y);
                rows_.soften2(a, taps.rows[0], taps.rows[1], taps.weights[0], b, w2);
                padRow(b, w2);
                rows_.blurAlpha(b, c_.row(y), w2);
                break;
            }
            case kStageSpread: {
                const uint8_t* column[13];
                for (int d = -6; d <= 6; ++d) column[d + 6] = c_.row(clampIndex(y + d, h2));
                // The first pass's rows are spent by now; reuse them.
                uint8_t* spread = a_.row(y);
                rows_.blurAlphaColumn(column, spread, w2);
                if (doubling_) {
                    padRow(spread, w2);
                    rows_.doubled(spread, wideRow(y), w2);
                } else {
                    rows_.downsize(spread, upX0_.data(), upX1_.data(), upWeights_.data(),
                                   wideRow(y), width_);
                }
                break;
            }
            case kStageMix: {
                auto srcRow = [this](int row) {
                    return src_.data + static_cast<size_t>(clampIndex(row, height_)) * src_.stride;
                };
                rows_.mix(uniforms_, srcRow(y - 1), srcRow(y), srcRow(y + 1),
                          wideRow(mixRows_[2 * y]), wideRow(mixRows_[2 * y + 1]), mixWeights_[y],
                          dst_.data + static_cast<size_t>(y) * dst_.stride, width_);
                break;
            }
            default:
                return;
        }
    }
}

int Beauty::process(ConstImageRGBA8 src, ImageRGBA8 dst) {
    const int status = begin(src, dst);
    if (status != 0) return status;
    for (int stage = 0; stage < kStageCount; ++stage) {
        runStage(static_cast<Stage>(stage), 0, stageRows(static_cast<Stage>(stage)));
    }
    return 0;
}

}  // namespace kelvo::video
