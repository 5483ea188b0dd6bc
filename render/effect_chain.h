// The effect chain both render engines run: built from internal effect
// types, linked, looked up by type and run once per frame. What differs
// between backends, how an image effect is handed its input and output, is
// the ChainHandOver a render engine gives to run().
//
// Not thread-safe: the owning engine calls everything under its lock.
#pragma once

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

namespace kelvo {
namespace video {

class EffectBase;
class I420VideoFrame;
class IVideoProcessObserver;

// Creates the effect of one internal type for a backend, or null for a type
// that backend has no effect for.
using EffectFactory = std::function<std::shared_ptr<EffectBase>(int type)>;

// A backend's side of running the chain. Effects that work on the frame's
// planes (the denoiser) need nothing from it; image effects (convertors and
// filters) read the current image and write one of two working surfaces used
// by turns.
class ChainHandOver {
public:
    // Gives the effect the current image as input and working surface
    // `output` (0 or 1) as output. False for an effect that works on the
    // frame's planes.
    virtual bool handOver(EffectBase& effect, int output) = 0;
    // After an image effect drew: its output becomes the current image.
    // `readBack` says it was the output convertor, which wrote the frame's
    // planes as well.
    virtual void adoptOutput(EffectBase& effect, bool readBack) = 0;
    // True when the frame has failed and the rest of the chain must not run.
    virtual bool failed() const { return false; }

protected:
    ~ChainHandOver() = default;
};

class EffectChain {
public:
    explicit EffectChain(EffectFactory factory) : factory_(std::move(factory)) {}
    ~EffectChain() { clear(); }
    EffectChain(const EffectChain&) = delete;
    EffectChain& operator=(const EffectChain&) = delete;

    // Drops the current chain (releasing its effects) and creates one effect
    // per known internal type, in order, linked to its neighbours. Types that
    // name no effect are skipped. An empty list keeps the current chain.
    void build(const std::vector<int>& types);
    // Creates one effect and appends it, unlinked: 0, or −5 for an unknown type.
    int append(int type);
    // Releases and unlinks every effect. Idempotent.
    void clear();

    // Runs the enabled effects in order, reporting each one's Draw status to
    // the observer (may be null), until the hand-over says the frame failed. The output convertor
    // draws into the other working surface, so that the image it read stays current for a backend
    // that reads it again.
    void run(const std::shared_ptr<I420VideoFrame>& frame, ChainHandOver& handOver,
             IVideoProcessObserver* observer);

    bool empty() const { return effects_.empty(); }
    const std::list<std::shared_ptr<EffectBase>>& effects() const { return effects_; }
    // The first effect of that internal type, or empty.
    std::shared_ptr<EffectBase> effect(int type) const;

private:
    EffectFactory factory_;
    std::list<std::shared_ptr<EffectBase>> effects_;
    std::map<int, std::weak_ptr<EffectBase>> byType_;
};

}  // namespace video
}  // namespace kelvo
