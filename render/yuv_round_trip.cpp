#include "render/yuv_round_trip.h"

#include <cstddef>
#include <new>

#include "frame/i420_video_frame.h"
#include "frame/plane_change.h"
#include "render/effect_base.h"

namespace kelvo {
namespace video {

bool YUVRoundTrip::reserve(int width, int height) {
    held_ = false;
    if (width < 1 || height < 1) return false;
    const size_t cw = static_cast<size_t>(width + 1) / 2, ch = static_cast<size_t>(height + 1) / 2;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) + 2 * cw * ch;
    // Out of memory throws: converting without the round trip would give a
    // different picture and call it a success.
    width_ = height_ = 0;
    if (unchanged_.size() < bytes) unchanged_.resize(bytes);
    if (changed_.size() < bytes) changed_.resize(bytes);
    width_ = width;
    height_ = height;
    return true;
}

PlaneSet YUVRoundTrip::planes(std::vector<uint8_t>& bytes) {
    const int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
    uint8_t* y = bytes.data();
    uint8_t* u = y + static_cast<size_t>(width_) * static_cast<size_t>(height_);
    uint8_t* v = u + static_cast<size_t>(cw) * static_cast<size_t>(ch);
    return {{y, u, v}, {width_, cw, cw}};
}

PlaneSet YUVRoundTrip::unchanged() { return planes(unchanged_); }

PlaneSet YUVRoundTrip::changed() { return planes(changed_); }

void YUVRoundTrip::keep(const I420VideoFrame& frame) {
    held_ = width_ > 0 && frame.width() == width_ && frame.height() == height_;
    frame_ = &frame;
    luma_ = frame.buffer(0);
    colorRange_ = frame.colorRange;
    colorMatrix_ = frame.colorMatrix;
}

bool YUVRoundTrip::holds(const I420VideoFrame& frame) const {
    return held_ && &frame == frame_ && frame.buffer(0) == luma_ && frame.width() == width_ &&
           frame.height() == height_ && frame.colorRange == colorRange_ &&
           frame.colorMatrix == colorMatrix_;
}

bool YUVRoundTrip::applyTo(I420VideoFrame& frame) {
    if (!applyRows(frame, 0, height_)) return false;
    held_ = false;
    return true;
}

bool YUVRoundTrip::applyRows(I420VideoFrame& frame, int begin, int end) const {
    if (!holds(frame) || begin < 0 || begin % 2 || end > height_ || begin >= end) return false;
    const int cw = (width_ + 1) / 2;
    const size_t lumaBytes = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    const size_t chromaBytes = static_cast<size_t>(cw) * static_cast<size_t>((height_ + 1) / 2);
    for (int p = 0; p < 3; ++p) {
        const int first = p == 0 ? begin : begin / 2;
        const int rows = p == 0 ? end - begin : (end + 1) / 2 - first;
        const int stride = p == 0 ? width_ : cw;
        const size_t offset = (p == 0 ? 0 : lumaBytes + (p - 1) * chromaBytes) +
                              static_cast<size_t>(first) * static_cast<size_t>(stride);
        addPlaneChange(frame.buffer(p) + static_cast<ptrdiff_t>(first) * frame.stride(p),
                       frame.stride(p), changed_.data() + offset, stride, unchanged_.data() + offset,
                       stride, stride, rows);
    }
    return true;
}

EffectBase* pairedInputConvertor(const EffectBase& outputConvertor) {
    EffectBase* before = outputConvertor.prevEffect.get();
    while (before && !before->isYUVConvertor()) before = before->prevEffect.get();
    return before && before->effectType == kEffectTypeYUVInputConvertor ? before : nullptr;
}

bool hasPairedOutputConvertor(const EffectBase& inputConvertor) {
    const EffectBase* after = inputConvertor.nextEffect.get();
    while (after && !after->isYUVConvertor()) after = after->nextEffect.get();
    return after && after->effectType == kEffectTypeYUVOutputConvertor;
}

}  // namespace video
}  // namespace kelvo
