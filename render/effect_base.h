// The effect contract the render engine relies on.
#pragma once

#include "render/effect_types.h"

#include <memory>

namespace kelvo {
namespace video {

class I420VideoFrame;
class RowSplitter;

// Status codes of Draw. Any non-zero status takes the effect out of the
// frame's image flow.
enum {
    kDrawDone = 0,
    kDrawUnchanged = 1,  // left the frame untouched by its own decision
    kDrawFailed = -1,
    kDrawNoInputTexture = -3,
    kDrawDisabled = -4,
    kDrawBadInputTexture = -5,  // missing or of the wrong texture type
    kDrawNoOutput = -6,         // no output framebuffer, or no frame
};

// One stage of the chain. Created by the backend's effect factory and linked
// by the render engine, disabled at construction, used only on the thread
// holding the GL context and the engine's lock (no locking of its own).
//
// Links: prevEffect/nextEffect are shared references in both directions, so
// two linked effects keep each other alive. Whoever drops a chain calls
// unlink() on each of its effects (the render engine does, on rebuild and
// destruction), otherwise the dropped effects leak.
class EffectBase {
public:
    EffectBase(int effectType, int effectKind) : effectType(effectType), effectKind(effectKind) {}
    virtual ~EffectBase() = default;
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // (Re)creates the effect's GL resources, deleting existing ones.
    virtual void init() = 0;
    // Deletes the GL resources; no Draw until init(). Safe to call twice.
    virtual void release() = 0;
    // Runs the effect once; a status code above. The engine calls it only
    // when enabled.
    virtual int Draw(std::shared_ptr<I420VideoFrame> frame) = 0;

    // Sets `enabled`, then keeps a bracketing pair of YUV convertors (103 and
    // 901, either order) enabled exactly when some effect between them is.
    // Does nothing, and touches no neighbour, when the value is already set.
    void setEnable(bool value);

    // Clears both links. Idempotent.
    void unlink();

    // One of the YUV convertors that bracket the effects (103 and 901).
    bool isYUVConvertor() const {
        return effectType == kEffectTypeYUVInputConvertor ||
               effectType == kEffectTypeYUVOutputConvertor;
    }

    bool enabled = false;
    // The public identifier reported with Draw's status (-1 for none); set
    // by the factory that knows the effect's descriptor.
    int publicId = -1;
    const int effectType;
    const int effectKind;
    std::shared_ptr<EffectBase> prevEffect;
    std::shared_ptr<EffectBase> nextEffect;
    // Set by a backend with threads before every Draw, for effects that
    // split the frame's rows themselves; null: the calling thread alone.
    RowSplitter* rowSplitter = nullptr;
};

}  // namespace video
}  // namespace kelvo
