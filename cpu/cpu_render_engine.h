// The CPU backend: the same chain as the GL render engine, run on the CPU for
// the buffer path. The input convertor turns the frame's I420 planes into an
// RGBA8 image, the image effects pass it between two working images owned by
// the engine by turns (where the GL engine has two framebuffers), and the
// output convertor writes the last image back into the planes. The denoiser
// is the same effect as on the GL path. Each effect reports the status codes
// of its GL counterpart, and rows are split across a per-engine worker pool.
//
// Makes no GL call. Not thread-safe: the owning engine calls everything under
// its lock; engines on different threads share nothing and run in parallel.
// Once the frame size is stable, process allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cpu/image.h"
#include "cpu/worker_pool.h"
#include "render/effect_base.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

// An effect of the CPU chain that reads one RGBA8 image and writes another,
// both set by the engine before every Draw. An input with no data stands for
// "no input" (the GL effects' missing input texture).
class CpuImageEffect : public EffectBase {
public:
    using EffectBase::EffectBase;
    void init() override {}
    void release() override {}

    ConstImageRGBA8 input{nullptr, 0, 0, 0};
    ImageRGBA8 output{nullptr, 0, 0, 0};
    WorkerPool* pool = nullptr;
};

class CpuRenderEngine : public RenderEngine, private ChainHandOver {
public:
    // The factory creates the chain's effects (see EffectFactory); the image
    // effects among them derive from CpuImageEffect. threads: the worker
    // pool's size (0 automatic, 1 no thread started).
    explicit CpuRenderEngine(EffectFactory factory, int threads = 0);
    ~CpuRenderEngine() override = default;

    CpuRenderEngine(const CpuRenderEngine&) = delete;
    CpuRenderEngine& operator=(const CpuRenderEngine&) = delete;

    // textureInput is refused (false): there is no texture on this backend.
    bool process(const std::shared_ptr<I420VideoFrame>& frame, bool textureInput) override;

    int threads() const { return pool_.threads(); }
    RowSplitter* rowSplitter() override { return &pool_; }

private:
    // Image effects read the current image and write a working image; the
    // output convertor writes planes, and the image it read stays current.
    bool handOver(EffectBase& effect, int output) override;
    void adoptOutput(EffectBase& effect, bool readBack) override;

    WorkerPool pool_;
    std::vector<uint8_t> images_[2];
    ConstImageRGBA8 current_{nullptr, 0, 0, 0};
    int width_ = 0;
    int height_ = 0;
};

}  // namespace video
}  // namespace kelvo
