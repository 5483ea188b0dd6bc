// Skin smoothing with lightening, redness and sharpening on the CPU: the four
// half-size blur passes, the final mix and both table gradings, computed as
// the GL beauty effect computes them on the Mesa driver (the same bytes there
// but for a rare one-level rounding), with 8-bit intermediates where that
// effect has RGBA8 framebuffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/beauty/beauty_model.h"
#include "effects/beauty/cpu/beauty_rows.h"
#include "cpu/color_cube.h"
#include "cpu/image.h"

namespace kelvo::video {

// One frame is processed in four stages; each covers a row range that may be
// split into bands run on different threads, but a stage starts only after
// every band of the previous one has finished:
//   kStageDownsize  input rows [0, H):   input rows halved in width
//   kStageSoften    half rows [0, H/2):  passes 1 to 3 (mean colour, departure)
//   kStageSpread    half rows [0, H/2):  pass 4, widened back to W
//   kStageMix       output rows [0, H):  pass 5 with sharpening and tables
// Half sizes are W/2 and H/2 rounded down, at least 1.
//
// Owns its scratch images and tables; allocates only in setTables and in
// begin when the frame size changes. Not thread-safe except for runStage
// calls on disjoint row ranges of the same stage between one begin and the
// next.
class Beauty {
public:
    enum Stage { kStageDownsize, kStageSoften, kStageSpread, kStageMix, kStageCount };

    // `rows` defaults to the fastest set this CPU runs. With `gradingCube`
    // the two gradings are composed into a colour cube, rebuilt in begin
    // when their degrees or the tables change, and the mix reads that: a
    // third faster, but a level off the tables at one pixel in six or so,
    // since the tables' 8-bit reads are a fine-grained rounding no cube
    // follows. The engine takes the cube (it keeps to the agreement with the
    // GL path); the tables stay for checking the cube against.
    explicit Beauty(const BeautyRows& rows = beautyRows(), bool gradingCube = false);

    // The whitening and ruddy tables (512 x 512 each) laid out as the rows
    // read them (several MB each): false, and the gradings off, unless both
    // are that size with data.
    bool setTables(ConstImageRGBA8 whiten, ConstImageRGBA8 ruddy);
    // Tables laid out once (tableCells; std::bad_alloc when out of memory),
    // shared by any number of instances.
    using TableCells = std::shared_ptr<const std::vector<uint8_t>>;
    static TableCells tableCells(ConstImageRGBA8 table);
    bool setTables(TableCells whiten, TableCells ruddy);
    void clearTables();
    bool hasTables() const { return hasTables_; }

    void setParameters(const BeautyParameters& parameters) { parameters_ = parameters; }
    const BeautyParameters& parameters() const { return parameters_; }

    // Secures scratch for src's size and latches the parameters for the
    // frame. -1 (nothing done) when an image has no data, a non-positive size
    // or a stride shorter than its row, when the sizes differ, when the two
    // overlap; 0 otherwise. std::bad_alloc when the scratch images cannot
    // be allocated (the next call starts afresh).
    // The views must stay valid until the last stage has run. A grading
    // cube to rebuild is split over `pool` when there is one.
    // With `before` (only with the grading cube; ignored otherwise), the
    // frame's colours go through that function ahead of the gradings, both
    // composed into the cube (built even with the gradings off, rebuilt
    // when the function's version changes): an effect ahead of beauty whose
    // pass is such a function need not walk the picture. The function is
    // applied to the mixed colours, not the input's. Valid during the call.
    int begin(ConstImageRGBA8 src, ImageRGBA8 dst, WorkerPool* pool = nullptr,
              const ColourFunction* before = nullptr);
    bool composesColour() const { return useGradingCube_; }
    // Rows of the stage for the frame begun last.
    int stageRows(Stage stage) const;
    // Runs rows [y0, y1) of one stage (clipped to the stage's rows).
    void runStage(Stage stage, int y0, int y1);
    // begin, then every stage over all its rows on the calling thread.
    int process(ConstImageRGBA8 src, ImageRGBA8 dst);

    // The half-size result of the four blur passes after the last frame
    // (what the GL effect's framebuffer B holds); valid until the next begin.
    ConstImageRGBA8 blurredHalf() const {
        return {a_.pixels.data() + kBeautyRowMargin * 4, a_.stride, halfWidth_, halfHeight_};
    }

    // Uniform values the last begin latched (tests compare them with GL's).
    const BeautyMixUniforms& mixUniforms() const { return uniforms_; }

private:
    struct Padded {
        std::vector<uint8_t> pixels;
        int stride = 0;
        uint8_t* row(int y) {
            return pixels.data() + static_cast<size_t>(y) * stride + kBeautyRowMargin * 4;
        }
    };

    void resize(int width, int height);
    void latchUniforms(WorkerPool* pool, const ColourFunction* before);
    void latchGrading(WorkerPool* pool, const ColourFunction* before);
    void padRow(uint8_t* row, int width) const;

    BeautyRows rows_;
    BeautyParameters parameters_;
    BeautyMixUniforms uniforms_{};
    bool hasTables_ = false;
    TableCells whiten_;
    TableCells ruddy_;
    bool useGradingCube_;
    ColorCube grading_;
    bool gradingStale_ = true;
    float gradingDegrees_[2] = {0.0f, 0.0f};  // ruddy, white, as built
    uint64_t gradingColour_ = 0;              // the version of `before` built in, or 0

    ConstImageRGBA8 src_{};
    ImageRGBA8 dst_{};
    int width_ = 0;
    int height_ = 0;
    int halfWidth_ = 0;
    int halfHeight_ = 0;
    // Input columns of the half-size passes: texels x0, x1 and weight.
    std::vector<int32_t> downX0_, downX1_;
    std::vector<uint32_t> downWeights_;
    // Half-size columns read by the mix.
    std::vector<int32_t> upX0_, upX1_;
    std::vector<uint32_t> upWeights_;
    // The columns above are those of exact halving and doubling: the
    // cheaper rows read them.
    bool halving_ = false, doubling_ = false;
    std::vector<int32_t> soften1Rows_;      // 18 input rows per half row
    std::vector<uint32_t> soften1Weights_;  // 9 per half row
    std::vector<int32_t> mixRows_;          // 2 half rows per output row
    std::vector<uint32_t> mixWeights_;
    std::vector<uint8_t> narrow_;  // input rows at half width
    Padded a_;                     // pass 1, then pass 4
    Padded b_;                     // pass 2
    Padded c_;                     // pass 3
    std::vector<uint8_t> wide_;    // pass 4 widened to W, half height
};

}  // namespace kelvo::video
