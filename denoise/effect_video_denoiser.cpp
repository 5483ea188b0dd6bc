#include "denoise/effect_video_denoiser.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "frame/i420_video_frame.h"
#include "system/row_splitter.h"

namespace kelvo {
namespace video {

namespace {

// Copies a width x height luma plane whose rows are `stride` bytes apart.
void copyLuma(const uint8_t* src, uint8_t* dst, int stride, int width, int height) {
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + int64_t{y} * stride, src + int64_t{y} * stride,
                    static_cast<size_t>(width));
}

void copyPlane(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width,
               int height) {
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + int64_t{y} * dstStride, src + int64_t{y} * srcStride,
                    static_cast<size_t>(width));
}

// Bytes a width x height luma plane spans with rows `stride` apart.
int64_t lumaSpan(int width, int height, int stride) { return int64_t{height - 1} * stride + width; }

bool lumaPlaneCovers(const I420VideoFrame& frame, int width, int height, int stride) {
    return frame.buffer(0) != nullptr && frame.allocatedSize(0) >= lumaSpan(width, height, stride);
}

bool chromaPlanesCover(const I420VideoFrame& frame, int width, int height) {
    const int w = (width + 1) / 2;
    const int h = (height + 1) / 2;
    for (int plane = 1; plane < 3; ++plane)
        if (!frame.buffer(plane) || frame.stride(plane) < w ||
            frame.allocatedSize(plane) < lumaSpan(w, h, frame.stride(plane)))
            return false;
    return true;
}

template <typename Frame, typename Byte>
I420Planes<Byte> planesOf(Frame& frame) {
    return {{frame.buffer(0), frame.buffer(1), frame.buffer(2)},
            {frame.stride(0), frame.stride(1), frame.stride(2)}};
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
    referenceChroma_ = false;
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
    if (width < 1 || height < 1 || stride < width ||
        !lumaPlaneCovers(*frame, width, height, stride))
        return kDrawFailed;
    const bool strong = level_ >= 2;
    if (strong && !chromaPlanesCover(*frame, width, height)) return kDrawFailed;

    // The reference is read with the frame's stride, so a new stride (or a
    // reference whose plane no longer covers it) needs a new reference too.
    // The strong level also reads the reference's chroma.
    if (!reference_ || width != width_ || height != height_ || stride != referenceStride_ ||
        !lumaPlaneCovers(*reference_, width, height, stride) || (strong && !referenceChroma_)) {
        reset(frame);
        return kDrawDone;
    }
    return strong ? denoiseStrong(frame) : denoise(frame);
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
    referenceChroma_ = false;
    if (!reference_) return;
    copyLuma(frame->buffer(0), reference_->buffer(0), referenceStride_, width_, height_);
    if (level_ >= 2 && chromaPlanesCover(*frame, width_, height_)) {
        for (int plane = 1; plane < 3; ++plane)
            copyPlane(frame->buffer(plane), frame->stride(plane), reference_->buffer(plane),
                      reference_->stride(plane), (width_ + 1) / 2, (height_ + 1) / 2);
        referenceChroma_ = true;
        // Row buffers follow the size; allocating here keeps it off the
        // frames that follow.
        if (strong_.width() != width_ || strong_.height() != height_)
            strong_.resize(width_, height_);
    }
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

std::shared_ptr<I420VideoFrame> EffectVideoDenoiser::outputFrame(const I420VideoFrame& frame) {
    // The reference of two frames ago is free again once the previous frame
    // is done: reuse its planes instead of allocating new ones every frame.
    std::shared_ptr<I420VideoFrame> out = std::move(spare_);
    if (!out || out.use_count() != 1) out = lumaFrame(frame.stride(1), frame.stride(2));
    return out;
}

int EffectVideoDenoiser::denoiseStrong(const std::shared_ptr<I420VideoFrame>& frame) {
    std::shared_ptr<I420VideoFrame> out = outputFrame(*frame);
    if (!out) {
        reference_.reset();
        return kDrawFailed;
    }
    if (strong_.width() != width_ || strong_.height() != height_) strong_.resize(width_, height_);
    const I420VideoFrame& reference = *reference_;
    strong_.denoise(planesOf<const I420VideoFrame, const uint8_t>(reference),
                    planesOf<const I420VideoFrame, const uint8_t>(*frame),
                    planesOf<I420VideoFrame, uint8_t>(*out), rowSplitter);
    splitRows(rowSplitter, height_, 2, [&](int, int begin, int end) {
        for (int plane = 0; plane < 3; ++plane) {
            const int first = plane ? begin / 2 : begin;
            const int rows = plane ? (end + 1) / 2 - first : end - begin;
            const int w = plane ? (width_ + 1) / 2 : width_;
            copyPlane(out->buffer(plane) + int64_t{first} * out->stride(plane), out->stride(plane),
                      frame->buffer(plane) + int64_t{first} * frame->stride(plane),
                      frame->stride(plane), w, rows);
        }
    });
    spare_ = std::move(reference_);
    reference_ = std::move(out);
    referenceChroma_ = true;
    return kDrawDone;
}

int EffectVideoDenoiser::denoise(const std::shared_ptr<I420VideoFrame>& frame) {
    const int stride = frame->stride(0);
    std::shared_ptr<I420VideoFrame> out = outputFrame(*frame);
    if (!out) {
        // Without an output buffer the reference of two frames ago would be
        // blended against later frames; start over instead.
        reference_.reset();
        return kDrawFailed;
    }

    uint8_t* source = frame->buffer(0);
    uint8_t* denoised = out->buffer(0);
    denoiseLumaPlane(*filter_, &estimator_, reference_->buffer(0), source, denoised, stride, width_,
                     height_, maps_, denoiserRows(), rowSplitter);
    splitRows(rowSplitter, height_, 1, [&](int, int begin, int end) {
        copyLuma(denoised + int64_t{begin} * stride, source + int64_t{begin} * stride, stride,
                 width_, end - begin);
    });
    spare_ = std::move(reference_);
    reference_ = std::move(out);
    referenceChroma_ = false;
    return kDrawDone;
}

}  // namespace video
}  // namespace kelvo
