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

#include "cpu/color_cube.h"
#include "cpu/image.h"
#include "cpu/worker_pool.h"
#include "render/effect_base.h"
#include "render/render_engine.h"

namespace kelvo {
namespace video {

// An effect of the CPU chain that reads one RGBA8 image and writes another,
// both set by the engine before every Draw. An input with no data stands for
// "no input" (the GL effects' missing input texture).
//
// Point operations are handed on: where an effect's pass is a function of
// each pixel's colour (pointFunction) and the next enabled effect composes
// such a function into the colours it writes (composesPointFunction), the
// engine sets handOn for the first, which then draws without touching the
// picture (its output stays its input), and gives the function to the
// second as `before`. If the second does not draw, the engine runs the
// first's pass (runInPlace) on the picture before going on, so what the
// chain reports and writes is what running both in turn gives, but for
// the second effect now working on the colours before the function.
class CpuImageEffect : public EffectBase {
public:
    using EffectBase::EffectBase;
    void init() override {}
    void release() override {}

    // The pass as a colour function for this frame's settings; null for an
    // effect that is none (the default).
    virtual const ColourFunction* pointFunction() { return nullptr; }
    // Whether the effect applies a `before` function when it draws.
    virtual bool composesPointFunction() const { return false; }
    // The pass over `image` in place; false when it failed.
    virtual bool runInPlace(const ImageRGBA8& /*image*/) { return false; }

    ConstImageRGBA8 input{nullptr, 0, 0, 0};
    ImageRGBA8 output{nullptr, 0, 0, 0};
    WorkerPool* pool = nullptr;
    // Set by the engine before each Draw (see above).
    bool handOn = false;
    const ColourFunction* before = nullptr;
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

    // Runs the pass a handed-on effect left, if any, on the current image.
    void catchUp();

    WorkerPool pool_;
    std::vector<uint8_t> images_[2];
    ConstImageRGBA8 current_{nullptr, 0, 0, 0};
    // The effect whose pass was handed on and not yet applied this frame,
    // and whether the chain's turns of the working images are one step off
    // the engine's (a handed-on effect kept its input current).
    CpuImageEffect* handedOn_ = nullptr;
    bool turned_ = false;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace video
}  // namespace kelvo
