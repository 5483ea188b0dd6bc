#include "cpu/cpu_render_engine.h"

#include <algorithm>
#include <cmath>

#include "cpu/beauty.h"
#include "cpu/color_enhance.h"
#include "cpu/lowlight_enhance.h"
#include "cpu/yuv_input.h"
#include "cpu/yuv_output.h"
#include "denoise/effect_video_denoiser.h"
#include "detect/metadata_frame_stats.h"
#include "effects/effect_color_enhance.h"
#include "effects/effect_lowlight_enhance.h"
#include "effects/lut_loader.h"
#include "frame/i420_video_frame.h"
#include "frame/yuv_matrix.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {


// The embedded tables, decoded once for the process; null when one is bad.
const ARGBFrame* lutTable(int id) {
    static const std::shared_ptr<ARGBFrame> whiten = loadLutTable(kWhiteningLutId);
    static const std::shared_ptr<ARGBFrame> ruddy = loadLutTable(kRuddyLutId);
    static const std::shared_ptr<ARGBFrame> skin = loadLutTable(kSkinLutId);
    const std::shared_ptr<ARGBFrame>& table =
        id == kWhiteningLutId ? whiten : id == kRuddyLutId ? ruddy : skin;
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
        if (!output.data || !frame) return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        if (!planesHold(*frame)) return kDrawFailed;
        const YuvMatrix& matrix = yuvMatrixFor(frame->colorMatrix, frame->colorRange);
        YUVInputRowParams coeffs;
        std::copy(matrix.decode, matrix.decode + 9, coeffs.matrix);
        coeffs.rangeOffset = matrix.lumaOffset;
        coeffs.chromaOffset = matrix.chromaOffset;
        const bool done = convert_.convert(frame->buffer(0), frame->stride(0), frame->buffer(1),
                                           frame->stride(1), frame->buffer(2), frame->stride(2),
                                           (frame->height() + 1) / 2, coeffs, output, pool);
        return done ? kDrawDone : kDrawFailed;
    }

private:
    YUVInput convert_;
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
        if (frame->width() != input.width || frame->height() != input.height ||
            !planesHold(*frame))
            return kDrawFailed;
        const YUVOutputCoeffs coeffs =
            yuvOutputCoeffs(yuvMatrixFor(frame->colorMatrix, frame->colorRange));
        if (!convert_.convert(input, frame->buffer(0), frame->stride(0), frame->buffer(1),
                              frame->stride(1), frame->buffer(2), frame->stride(2), coeffs, pool))
            return kDrawFailed;
        frame->storageKind = 0;
        frame->format = 1;
        return kDrawDone;
    }

private:
    YUVOutput convert_;
};

class CpuLowlightEnhance : public CpuImageEffect {
public:
    CpuLowlightEnhance() : CpuImageEffect(kEffectTypeLowlightEnhance, kEffectKindGPUFilter) {}

    // Decides as the GL effect does; only the pass differs.
    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        if (!output.data || !input.data) return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        const int decision = lowlightDrawDecision(mode, darkScene, frame, &lastLogMean_);
        if (decision != kDrawDone) return decision;
        return pass_.process(input, output, lastLogMean_, pool) ? kDrawDone : kDrawFailed;
    }

    int mode = 0;
    int level = 0;
    bool darkScene = false;

private:
    LowlightEnhance pass_;
    float lastLogMean_ = -1.0f;
};

class CpuColorEnhance : public CpuImageEffect {
public:
    CpuColorEnhance() : CpuImageEffect(kEffectTypeColorEnhance, kEffectKindGPUFilter) {
        pass_.setSkinTable(tableView(lutTable(kSkinLutId)));
        params.lowChromaGain = colorEnhanceLowChromaGain();
    }

    int Draw(std::shared_ptr<I420VideoFrame> /*frame*/) override {
        if (!output.data) return kDrawNoOutput;
        if (!input.data) return kDrawNoInputTexture;
        if (!enabled) return kDrawDisabled;
        return pass_.process(input, output, params, pool) ? kDrawDone : kDrawFailed;
    }

    ColorEnhanceParams params;

private:
    ColorEnhance pass_;
};

class CpuBeautyEffect : public CpuImageEffect {
public:
    CpuBeautyEffect() : CpuImageEffect(kEffectTypeBeauty, kEffectKindGPUFilter) {
        beauty_.setTables(tableView(lutTable(kWhiteningLutId)), tableView(lutTable(kRuddyLutId)));
    }

    int Draw(std::shared_ptr<I420VideoFrame> frame) override {
        if (!output.data || !frame || output.width <= 0 || output.height <= 0)
            return kDrawNoOutput;
        if (!enabled) return kDrawDisabled;
        if (!input.data) return kDrawNoInputTexture;
        beauty_.setParameters(params);
        if (beauty_.begin(input, output) != 0) return kDrawFailed;
        for (int s = 0; s < CpuBeauty::kStageCount; ++s) {
            const auto stage = static_cast<CpuBeauty::Stage>(s);
            auto run = [this, stage](int, int y0, int y1) { beauty_.runStage(stage, y0, y1); };
            forRows(pool, beauty_.stageRows(stage), 1, run);
        }
        return kDrawDone;
    }

    BeautyParameters params;

private:
    CpuBeauty beauty_;
};

std::shared_ptr<EffectBase> createEffect(int type) {
    switch (type) {
        case kEffectTypeVideoDenoiser: return std::make_shared<EffectVideoDenoiser>();
        case kEffectTypeYUVInputConvertor: return std::make_shared<CpuYUVInputConvertor>();
        case kEffectTypeBeauty: return std::make_shared<CpuBeautyEffect>();
        case kEffectTypeColorEnhance: return std::make_shared<CpuColorEnhance>();
        case kEffectTypeLowlightEnhance: return std::make_shared<CpuLowlightEnhance>();
        case kEffectTypeYUVOutputConvertor: return std::make_shared<CpuYUVOutputConvertor>();
        default: return nullptr;
    }
}

void dropChain(std::list<std::shared_ptr<EffectBase>>& chain) {
    // The links are shared both ways; without unlinking, dropped effects
    // would keep each other alive.
    for (auto& effect : chain) effect->unlink();
    chain.clear();
}

}  // namespace

CpuRenderEngine::CpuRenderEngine(int threads) : pool_(threads) {}

CpuRenderEngine::~CpuRenderEngine() { dropChain(chain_); }

void CpuRenderEngine::setEffects(const std::vector<int>& types) {
    if (types.empty()) return;
    dropChain(chain_);
    byType_.clear();
    std::shared_ptr<EffectBase> previous;
    for (int type : types) {
        std::shared_ptr<EffectBase> effect = createEffect(type);
        if (!effect) continue;
        byType_.emplace(type, effect);
        effect->prevEffect = previous;
        if (previous) previous->nextEffect = effect;
        previous = effect;
        chain_.push_back(std::move(effect));
    }
}

std::shared_ptr<EffectBase> CpuRenderEngine::effect(int type) const {
    auto entry = byType_.find(type);
    return entry == byType_.end() ? nullptr : entry->second.lock();
}

template <class Effect>
Effect* CpuRenderEngine::find(int type) const {
    return dynamic_cast<Effect*>(effect(type).get());
}

bool CpuRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) {
    if (!frame || chain_.empty() || textureInput) return false;
    const int w = frame->width();
    const int h = frame->height();
    if (w <= 0 || h <= 0) return false;
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    // Grown only: a stable size allocates nothing.
    for (auto& image : images_) {
        if (image.size() < bytes) image.resize(bytes);
    }
    auto view = [&](int i) { return ImageRGBA8{images_[i].data(), 4 * w, w, h}; };

    ConstImageRGBA8 current{nullptr, 0, 0, 0};
    int index = 0;
    for (auto& effect : chain_) {
        if (!effect->enabled) continue;
        auto* image = effect->effectKind == kEffectKindCPU
                          ? nullptr
                          : dynamic_cast<CpuImageEffect*>(effect.get());
        const bool readsBack = effect->effectType == kEffectTypeYUVOutputConvertor;
        if (image) {
            image->input = current;
            image->output = view(readsBack ? (index + 1) % 2 : index);
            image->pool = &pool_;
        }
        const int status = effect->Draw(frame);
        if (effectObserver_) {
            effectObserver_->onEffectResult(status, publicEffectId(effect->effectType));
        }
        if (status == kDrawDone && image && !readsBack) {
            current = {image->output.data, image->output.stride, w, h};
            index = (index + 1) % 2;
        }
    }
    return true;
}

void CpuRenderEngine::setBeautyEnable(bool enable) {
    if (auto e = effect(kEffectTypeBeauty)) e->setEnable(enable);
}
void CpuRenderEngine::setBeautySmoothness(float value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.smoothness = value;
}
void CpuRenderEngine::setBeautyLightness(float value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.lightness = value;
}
void CpuRenderEngine::setBeautyRedness(float value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.redness = value;
}
void CpuRenderEngine::setBeautyContrast(int value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.contrast = value;
}
void CpuRenderEngine::setBeautySharpness(float value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.sharpness = value;
}
void CpuRenderEngine::setBeautyLightStrength(float value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.lightStrength = value;
}
void CpuRenderEngine::setBeautyNoiseLevel(int value) {
    if (auto e = find<CpuBeautyEffect>(kEffectTypeBeauty)) e->params.noiseLevel = value;
}

void CpuRenderEngine::setColorEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeColorEnhance)) e->setEnable(enable);
}
void CpuRenderEngine::setColorEnhanceStrength(float value) {
    if (auto e = find<CpuColorEnhance>(kEffectTypeColorEnhance)) e->params.strength = value;
}
void CpuRenderEngine::setColorEnhanceSkinProtect(float value) {
    if (auto e = find<CpuColorEnhance>(kEffectTypeColorEnhance)) e->params.skinProtect = value;
}

void CpuRenderEngine::setLowlightEnhanceEnable(bool enable) {
    if (auto e = effect(kEffectTypeLowlightEnhance)) e->setEnable(enable);
}
void CpuRenderEngine::setLowlightEnhanceMode(int mode) {
    if (auto e = find<CpuLowlightEnhance>(kEffectTypeLowlightEnhance)) e->mode = mode;
}
void CpuRenderEngine::setLowlightEnhanceLevel(int level) {
    if (auto e = find<CpuLowlightEnhance>(kEffectTypeLowlightEnhance)) e->level = level;
}
void CpuRenderEngine::setLowlightDarkScene(bool dark) {
    if (auto e = find<CpuLowlightEnhance>(kEffectTypeLowlightEnhance)) e->darkScene = dark;
}

void CpuRenderEngine::setVideoDenoiserEnable(bool enable) {
    auto* e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser);
    if (!e) return;
    // A reference from before the switch would be blended into the next frame.
    if (e->enabled != enable) e->dropReference();
    e->setEnable(enable);
}
void CpuRenderEngine::setVideoDenoiserMode(int mode) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setMode(mode);
}
void CpuRenderEngine::setVideoDenoiserLevel(int level) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setLevel(level);
}
void CpuRenderEngine::setVideoDenoiserAutoNoisy(bool noisy) {
    if (auto e = find<EffectVideoDenoiser>(kEffectTypeVideoDenoiser)) e->setAutoTrigger(noisy);
}

}  // namespace video
}  // namespace kelvo
