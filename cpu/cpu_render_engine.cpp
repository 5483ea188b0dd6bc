#include "cpu/cpu_render_engine.h"

#include <utility>

#include "frame/i420_video_frame.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

CpuRenderEngine::CpuRenderEngine(EffectFactory factory, int threads)
    : RenderEngine(std::move(factory)), pool_(threads) {}

bool CpuRenderEngine::handOver(EffectBase& effect, int output) {
    effect.rowSplitter = &pool_;
    auto* image =
        effect.effectKind == kEffectKindCPU ? nullptr : dynamic_cast<CpuImageEffect*>(&effect);
    if (!image) return false;
    image->input = current_;
    image->output = ImageRGBA8{images_[output].data(), 4 * width_, width_, height_};
    image->pool = &pool_;
    return true;
}

void CpuRenderEngine::adoptOutput(EffectBase& effect, bool readBack) {
    if (readBack) return;
    const ImageRGBA8& output = static_cast<CpuImageEffect&>(effect).output;
    current_ = {output.data, output.stride, output.width, output.height};
}

bool CpuRenderEngine::process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) {
    if (!frame || chain_.empty() || textureInput) return false;
    width_ = frame->width();
    height_ = frame->height();
    if (width_ <= 0 || height_ <= 0) return false;
    const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    // Grown only: a stable size allocates nothing.
    for (auto& image : images_) {
        if (image.size() < bytes) image.resize(bytes);
    }
    current_ = {nullptr, 0, 0, 0};
    chain_.run(frame, *this, effectObserver_);
    return true;
}

}  // namespace video
}  // namespace kelvo
