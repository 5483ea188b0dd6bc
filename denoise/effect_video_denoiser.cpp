#include "denoise/effect_video_denoiser.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "frame/i420_video_frame.h"

namespace kelvo {
namespace video {

namespace {

// Copies a width x height luma plane whose rows are `stride` bytes apart.
void copyLuma(const uint8_t* src, uint8_t* dst, int stride, int width, int height) {
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + int64_t{y} * stride, src + int64_t{y} * stride, static_cast<size_t>(width));
}

// Bytes a width x height luma plane spans with rows `stride` apart.
int64_t lumaSpan(int width, int height, int stride) {
    return int64_t{height - 1} * stride + width;
}

bool lumaPlaneCovers(const I420VideoFrame& frame, int width, int height, int stride) {
    return frame.buffer(0) != nullptr && frame.allocatedSize(0) >= lumaSpan(width, height, stride);
}

}  // namespace

EffectVideoDenoiser::EffectVideoDenoiser()
    : EffectBase(kEffectType, kEffectKindCPU), filter_(DenoiserFilter::create(true)) {}

EffectVideoDenoiser::~EffectVideoDenoiser() = default;

void EffectVideoDenoiser::init() {
    width_ = 0;
    height_ = 0;
    blockRows_ = 0;
    blockColumns_ = 0;
    mode_ = 0;
    level_ = 0;
    autoTrigger_ = true;
    filter_ = DenoiserFilter::create(true);
    estimator_ = NoiseEstimator();
    dropReference();
}

void EffectVideoDenoiser::release() {}

void EffectVideoDenoiser::dropReference() {
    reference_.reset();
    referenceStride_ = 0;
}

int EffectVideoDenoiser::Draw(std::shared_ptr<I420VideoFrame> frame) {
    if (!enabled) {
        dropReference();
        return kDrawDisabled;
    }
    if (!autoTrigger_ && mode_ == 0) return kDrawUnchanged;
    if (!frame) return kDrawNoOutput;
    if (frame->isEmpty()) return kDrawFailed;

    const int width = frame->width();
    const int height = frame->height();
    const int stride = frame->stride(0);
    // A frame whose luma plane does not hold what its size and stride claim
    // would be read and written out of bounds; neither keep nor touch it.
    if (width < 1 || height < 1 || stride < width || !lumaPlaneCovers(*frame, width, height, stride))
        return kDrawFailed;

    // The reference is read with the frame's stride, so a new stride (or a
    // reference whose plane no longer covers it) needs a new reference too.
    if (!reference_ || width != width_ || height != height_ || stride != referenceStride_ ||
        !lumaPlaneCovers(*reference_, width, height, stride)) {
        reset(frame);
        return kDrawDone;
    }
    return denoise(frame);
}

void EffectVideoDenoiser::reset(const std::shared_ptr<I420VideoFrame>& frame) {
    width_ = frame->width();
    height_ = frame->height();
    blockRows_ = height_ >> 4;
    blockColumns_ = width_ >> 4;
    estimator_.init(width_, height_);
    maps_.resize(width_, height_);
    referenceStride_ = frame->stride(0);
    // A copy, not the frame itself: the rest of the chain writes its output
    // into the frame's planes, and the next frame must be blended with this
    // input, not with the beautified result.
    spare_.reset();
    reference_ = lumaFrame(frame->stride(1), frame->stride(2));
    if (!reference_) return;
    copyLuma(frame->buffer(0), reference_->buffer(0), referenceStride_, width_, height_);
}

std::shared_ptr<I420VideoFrame> EffectVideoDenoiser::lumaFrame(int strideU, int strideV) {
    const int stride = referenceStride_;
    // allocate() ignores the chroma strides but takes a zero among them to
    // mean "stride = width", which would give a plane narrower than ours.
    if (strideU <= 0) strideU = (stride + 1) / 2;
    if (strideV <= 0) strideV = (stride + 1) / 2;
    std::shared_ptr<I420VideoFrame> out(new (std::nothrow) I420VideoFrame(),
                                        I420VideoFrame::deleter());
    if (!out || out->allocateI420(width_, height_, stride, strideU, strideV) != 0 ||
        !lumaPlaneCovers(*out, width_, height_, stride))
        return nullptr;
    return out;
}

int EffectVideoDenoiser::denoise(const std::shared_ptr<I420VideoFrame>& frame) {
    const int stride = frame->stride(0);
    // The reference of two frames ago is free again once the previous frame
    // is done: reuse its planes instead of allocating new ones every frame.
    std::shared_ptr<I420VideoFrame> out = std::move(spare_);
    if (!out || out.use_count() != 1) out = lumaFrame(frame->stride(1), frame->stride(2));
    if (!out) {
        // Without an output buffer the reference of two frames ago would be
        // blended against later frames; start over instead.
        reference_.reset();
        return kDrawFailed;
    }

    uint8_t* source = frame->buffer(0);
    uint8_t* denoised = out->buffer(0);
    denoiseLumaPlane(*filter_, &estimator_, reference_->buffer(0), source, denoised, stride, width_,
                     height_, maps_);
    copyLuma(denoised, source, stride, width_, height_);
    spare_ = std::move(reference_);
    reference_ = std::move(out);
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
