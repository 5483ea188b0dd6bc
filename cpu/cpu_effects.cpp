#include "cpu/cpu_effects.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "effects/beauty/cpu/beauty.h"
#include "effects/color_enhance/cpu/color_enhance.h"
#include "cpu/cpu_render_engine.h"
#include "effects/lowlight/cpu/lowlight_enhance.h"
#include "cpu/yuv_input.h"
#include "cpu/yuv_output.h"
#include "effects/color_enhance/color_enhance_model.h"
#include "effects/lowlight/lowlight_model.h"
#include "effects/lut_loader.h"
#include "frame/i420_video_frame.h"
#include "frame/yuv_matrix.h"
#include "render/effect_types.h"
#include "render/yuv_round_trip.h"

namespace kelvo {
namespace video {

namespace {

// The embedded tables, decoded once for the process; null when one is bad.
const ARGBFrame* lutTable(int id) {
    static const std::shared_ptr<ARGBFrame> whiten = loadLutTable(kWhiteningLutId);
    static const std::shared_ptr<ARGBFrame> ruddy = loadLutTable(kRuddyLutId);
    static const std::shared_ptr<ARGBFrame> skin = loadLutTable(kSkinLutId);
    const std::shared_ptr<ARGBFrame>& table = id == kWhiteningLutId ? whiten
                                              : id == kRuddyLutId   ? ruddy
                                                                    : skin;
    return table && !table->empty() ? table.get() : nullptr;
}

ConstImageRGBA8 tableView(const ARGBFrame* table) {
    if (!table) return {nullptr, 0, 0, 0};
    return {table->data(), table->stride(), table->width(), table->height()};
}

bool planesHold(const I420VideoFrame& frame) {
    const int w = frame.width(), h = frame.height();
    return w > 0 && h > 0 && frame.planeHolds(0, w, h) &&
           frame.planeHolds(1, (w + 1) / 2, (h + 1) / 2) &&
           frame.planeHolds(2, (w + 1) / 2, (h + 1) / 2);
}

class CpuYUVInputConvertor : public CpuImageEffect {
public:
    CpuYUVInputConvertor()
        : CpuImageEffect(kEffectTypeYUVInputConvertor, kEffectKindInputConvertor) {}

    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        roundTrip_.forget();
        if (!output.data || !frame) return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        if (!planesHold(*frame)) return kDrawFailed;
        const YUVMatrix& matrix = yuvMatrixFor(frame->colorMatrix, frame->colorRange);
        YUVInputRowParams coeffs;
        std::copy(matrix.decode, matrix.decode + 9, coeffs.matrix);
        coeffs.rangeOffset = matrix.lumaOffset;
        coeffs.chromaOffset = matrix.chromaOffset;
        // What the output convertor of the pair makes of this picture is
        // kept before the effects overwrite the image
        // (render/yuv_round_trip.h), piece by piece as the rows come.
        Unchanged unchanged{this, *frame, true};
        const bool keep =
            hasPairedOutputConvertor(*this) && roundTrip_.reserve(frame->width(), frame->height());
        const bool done = convert_.convert(
            frame->buffer(0), frame->stride(0), frame->buffer(1), frame->stride(1),
            frame->buffer(2), frame->stride(2), (frame->height() + 1) / 2, coeffs, output, pool,
            keep ? &Unchanged::rows : nullptr, &unchanged);
        if (!done) return kDrawFailed;
        if (keep && unchanged.converted) roundTrip_.keep(*frame);
        return kDrawDone;
    }

    // Read and forgotten by the output convertor of the pair.
    YUVRoundTrip& roundTrip() { return roundTrip_; }

private:
    struct Unchanged {
        CpuYUVInputConvertor* self;
        const I420VideoFrame& frame;
        std::atomic<bool> converted;

        static void rows(void* context, int begin, int end) {
            auto& u = *static_cast<Unchanged*>(context);
            CpuYUVInputConvertor& self = *u.self;
            const ImageRGBA8& out = self.output;
            const PlaneSet planes = self.roundTrip_.unchanged();
            const YUVFixedCoeffs& coeffs =
                yuvMatrixFor(u.frame.colorMatrix, u.frame.colorRange).fixed;
            const ConstImageRGBA8 image{out.data + static_cast<ptrdiff_t>(begin) * out.stride,
                                        out.stride, out.width, end - begin};
            auto at = [&](int p, int row) {
                return planes.data[p] + static_cast<ptrdiff_t>(row) * planes.stride[p];
            };
            if (!self.output_.convert(image, at(0, begin), planes.stride[0], at(1, begin / 2),
                                      planes.stride[1], at(2, begin / 2), planes.stride[2], coeffs,
                                      nullptr))
                u.converted = false;
        }
    };

    YUVInput convert_;
    YUVOutput output_;
    YUVRoundTrip roundTrip_;
};

class CpuYUVOutputConvertor : public CpuImageEffect {
public:
    CpuYUVOutputConvertor()
        : CpuImageEffect(kEffectTypeYUVOutputConvertor, kEffectKindOutputConvertor) {}

    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        if (!output.data || !frame) return kDrawNoOutput;
        if (!input.data) return kDrawNoInputTexture;
        if (!enabled) return kDrawDisabled;
        // The image is converted whole; smaller planes would be written past.
        if (frame->width() != input.width || frame->height() != input.height || !planesHold(*frame))
            return kDrawFailed;
        const YUVFixedCoeffs& coeffs = yuvMatrixFor(frame->colorMatrix, frame->colorRange).fixed;
        // Where the input convertor of this run kept its unchanged planes, the
        // frame keeps its own samples and takes only what the effects changed.
        auto* pair = dynamic_cast<CpuYUVInputConvertor*>(pairedInputConvertor(*this));
        YUVRoundTrip* trip = pair && pair->roundTrip().holds(*frame) ? &pair->roundTrip() : nullptr;
        bool done;
        if (trip) {
            // Each piece's change goes into the frame while its rows are
            // still in cache.
            const PlaneSet target = trip->changed();
            std::atomic<bool> failed{false};
            forRows(pool, input.height, 2, [&](int, int begin, int end) {
                const ConstImageRGBA8 rows{input.data + static_cast<ptrdiff_t>(begin) * input.stride,
                                           input.stride, input.width, end - begin};
                auto at = [&](int p, int row) {
                    return target.data[p] + static_cast<ptrdiff_t>(row) * target.stride[p];
                };
                if (!convert_.convert(rows, at(0, begin), target.stride[0], at(1, begin / 2),
                                      target.stride[1], at(2, begin / 2), target.stride[2], coeffs,
                                      nullptr) ||
                    !trip->applyRows(*frame, begin, end))
                    failed = true;
            });
            done = !failed;
        } else {
            done = convert_.convert(input, frame->buffer(0), frame->stride(0), frame->buffer(1),
                                    frame->stride(1), frame->buffer(2), frame->stride(2), coeffs,
                                    pool);
        }
        if (pair) pair->roundTrip().forget();
        if (!done) return kDrawFailed;
        frame->storageKind = 0;
        frame->format = 1;
        return kDrawDone;
    }

private:
    YUVOutput convert_;
};

class CpuLowlightEnhance : public CpuImageEffect, public LowlightControls {
public:
    CpuLowlightEnhance() : CpuImageEffect(kEffectTypeLowlightEnhance, kEffectKindGPUFilter) {}

    // Decides as the GL effect does; only the pass differs.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        if (!output.data || !input.data) return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        const int decision =
            lowlightDrawDecision(mode, darkScene, frame, &lastLogMean_, &strength_);
        if (decision != kDrawDone) return decision;
        return pass_.process(input, output, lastLogMean_, pool, strength_.shape()) ? kDrawDone
                                                                                   : kDrawFailed;
    }

    void setMode(int value) override { mode = value; }
    void setLevel(int value) override { level = value; }
    void setDarkScene(bool value) override { darkScene = value; }
    void setAdaptive(int value) override { strength_.setAdaptive(value != 0); }

    int mode = 0;
    int level = 0;
    bool darkScene = false;

private:
    LowlightEnhance pass_;
    float lastLogMean_ = kLowlightNoLogMean;
    LowlightStrength strength_;
};

class CpuColorEnhance : public CpuImageEffect, public ColorEnhanceControls {
public:
    CpuColorEnhance() : CpuImageEffect(kEffectTypeColorEnhance, kEffectKindGPUFilter) {
        pass_.setSkinTable(tableView(lutTable(kSkinLutId)));
        params.lowChromaGain = colorEnhanceLowChromaGain();
    }

    int Draw(std::shared_ptr<I420VideoFrame> /*frame*/) override {
        if (!output.data) return kDrawNoOutput;
        if (!input.data) return kDrawNoInputTexture;
        if (!enabled) return kDrawDisabled;
        if (handOn) return kDrawDone;
        return pass_.process(input, output, params, pool) ? kDrawDone : kDrawFailed;
    }

    const ColourFunction* pointFunction() override { return &pass_.function(params); }
    bool runInPlace(const ImageRGBA8& image) override {
        return pass_.process({image.data, image.stride, image.width, image.height}, image, params,
                             pool);
    }

    void setStrength(float value) override { params.strength = value; }
    void setSkinProtect(float value) override { params.skinProtect = value; }

    ColorEnhanceParams params;

private:
    ColorEnhance pass_;
};

class CpuBeauty : public CpuImageEffect, public BeautyControls {
public:
    CpuBeauty() : CpuImageEffect(kEffectTypeBeauty, kEffectKindGPUFilter) {
        // Laid out for the rows once for the process: several MB a table.
        static const Beauty::TableCells whiten =
            Beauty::tableCells(tableView(lutTable(kWhiteningLutId)));
        static const Beauty::TableCells ruddy =
            Beauty::tableCells(tableView(lutTable(kRuddyLutId)));
        beauty_.setTables(whiten, ruddy);
    }

    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        if (!output.data || !frame || output.width <= 0 || output.height <= 0) return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        if (!input.data) return kDrawNoInputTexture;
        beauty_.setParameters(params);
        if (beauty_.begin(input, output, pool, before) != 0) return kDrawFailed;
        for (int s = 0; s < Beauty::kStageCount; ++s) {
            const auto stage = static_cast<Beauty::Stage>(s);
            auto run = [this, stage](int, int y0, int y1) { beauty_.runStage(stage, y0, y1); };
            forRows(pool, beauty_.stageRows(stage), 1, run);
        }
        return kDrawDone;
    }

    bool composesPointFunction() const override { return beauty_.composesColour(); }

    void setSmoothness(float value) override { params.smoothness = value; }
    void setLightness(float value) override { params.lightness = value; }
    void setRedness(float value) override { params.redness = value; }
    void setContrast(int value) override { params.contrast = value; }
    void setSharpness(float value) override { params.sharpness = value; }
    void setLightStrength(float value) override { params.lightStrength = value; }
    void setNoiseLevel(int value) override { params.noiseLevel = value; }
    void setLevel(int value) override { params.level = value; }

    BeautyParameters params;

private:
    Beauty beauty_{beautyRows(), /*gradingCube=*/true};
};

}  // namespace

std::shared_ptr<EffectBase> makeCpuYUVInputConvertor() {
    return std::make_shared<CpuYUVInputConvertor>();
}
std::shared_ptr<EffectBase> makeCpuYUVOutputConvertor() {
    return std::make_shared<CpuYUVOutputConvertor>();
}
std::shared_ptr<EffectBase> makeCpuBeauty() { return std::make_shared<CpuBeauty>(); }
std::shared_ptr<EffectBase> makeCpuColorEnhance() { return std::make_shared<CpuColorEnhance>(); }
std::shared_ptr<EffectBase> makeCpuLowlightEnhance() {
    return std::make_shared<CpuLowlightEnhance>();
}

}  // namespace video
}  // namespace kelvo
