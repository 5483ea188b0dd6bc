// What makes a pair of YUV convertors an identity where the effects between
// them change nothing. The input convertor (103) upsamples the frame's chroma
// into an RGB picture and the output convertor (901) downsamples the result
// again; that round trip softens chroma edges and clips colours outside the
// RGB cube, even when no effect touched a pixel. So the input convertor also
// takes its own picture through its backend's output conversion ("unchanged"),
// the output convertor converts the chain's result the same way ("changed"),
// and the frame's planes, which between the pair still hold what the input
// convertor read, get changed − unchanged added, clamped. Where the effects
// changed nothing, the two conversions agree bit for bit and the planes stay.
//
// One object per pair, owned by the input convertor; not thread-safe (the
// chain runs under the engine's lock). Its buffers grow to the largest frame
// seen, so a stable size allocates nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvo {
namespace video {

class EffectBase;
class I420VideoFrame;

// Three planes of a tightly packed I420 picture.
struct PlaneSet {
    uint8_t* data[3];
    int stride[3];
};

class YUVRoundTrip {
public:
    // Room for a width x height picture in both plane sets; forgets the frame
    // it held. False, holding nothing, for a size below 1x1; std::bad_alloc
    // when memory runs out, which fails the frame.
    bool reserve(int width, int height);
    // Valid after a successful reserve, until the next one.
    PlaneSet unchanged();
    PlaneSet changed();

    // The unchanged planes now belong to this frame, as it is now (its planes,
    // size and colour codes).
    void keep(const I420VideoFrame& frame);
    // True when keep() was given this frame and nothing forgot it since.
    bool holds(const I420VideoFrame& frame) const;
    void forget() { held_ = false; }
    // Adds changed − unchanged to the frame's planes (clamped) and forgets
    // the frame. False, with the frame untouched, unless holds(frame).
    bool applyTo(I420VideoFrame& frame);
    // The same for luma rows [begin, end) and their chroma rows, `begin`
    // even, keeping the frame; several calls on disjoint rows may run at
    // once. The caller forgets the frame once all rows are done.
    bool applyRows(I420VideoFrame& frame, int begin, int end) const;

private:
    PlaneSet planes(std::vector<uint8_t>& bytes);

    std::vector<uint8_t> unchanged_;
    std::vector<uint8_t> changed_;
    int width_ = 0;
    int height_ = 0;
    bool held_ = false;
    const I420VideoFrame* frame_ = nullptr;
    const uint8_t* luma_ = nullptr;
    int colorRange_ = 0;
    int colorMatrix_ = 0;
};

// The input convertor whose run this output convertor ends: the nearest
// effect of type 103 before it with no other YUV convertor between, or null.
EffectBase* pairedInputConvertor(const EffectBase& outputConvertor);
// True when an output convertor (901) ends the run this input convertor
// begins; without one, nobody reads its unchanged planes.
bool hasPairedOutputConvertor(const EffectBase& inputConvertor);

}  // namespace video
}  // namespace kelvo
