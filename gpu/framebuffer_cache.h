// Process-wide pool of idle framebuffers, by size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "gpu/gl_fbo.h"

namespace kelvo {
namespace video {

// Recycles framebuffers so a steady chain allocates no GL objects per frame.
// Idle framebuffers are stored under "WxH-i"; a count per size key "WxH"
// makes each size a stack (the last one given back is the first acquired).
// A size with no idle framebuffer left has no count. Every operation holds
// the pool's mutex. acquire and purge make GL calls and need the pool's
// context current.
//
// One pool per GL context: framebuffers cannot move between contexts, and
// deleting a name while another context is current deletes an unrelated
// object of that context (or nothing) and leaks the real one. The private
// context's pool is the process-wide one; an engine on a caller's context
// owns a pool of its own and makes it current (Scope) around its GL work.
// A framebuffer goes back to the pool that made it.
//
// Idle framebuffers are bounded: when their colour textures exceed the idle
// limit, acquire deletes the idle framebuffers of the least recently used
// sizes (a size is used when one of its framebuffers is acquired or given
// back) until they fit again. A stream whose size keeps changing therefore
// holds its framebuffers in use plus at most the limit.
class FramebufferCache : public std::enable_shared_from_this<FramebufferCache> {
public:
    // Enough for the idle sets of two 1080p chains, or one 1080p and one 720p.
    static constexpr size_t kDefaultIdleByteLimit = 64u << 20;

    // A pool of its own, for one caller context.
    static std::shared_ptr<FramebufferCache> create();
    // The calling thread's current pool (see Scope), else the process-wide
    // pool of the private context, created on first use. Never null.
    static FramebufferCache* instance();
    // The process-wide pool of the private context, whatever is current.
    static FramebufferCache* privatePool();

    // Makes `pool` the calling thread's current pool for its lifetime, and
    // the previous one current again afterwards. Null keeps the current one.
    class Scope {
    public:
        explicit Scope(FramebufferCache* pool);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        FramebufferCache* previous_;
    };

    // A framebuffer of that size with one more use: the most recently given
    // back idle one (no InitFBO), else a new GLFBO initialised to the size.
    // Never empty; an incomplete framebuffer is returned all the same. Then
    // evicts idle sizes over the idle limit (see above).
    std::shared_ptr<FBOBase> acquire(int width, int height);
    // Stores an idle framebuffer (uses cleared) under its size. Null is
    // ignored. Makes no GL call.
    void giveBack(std::shared_ptr<FBOBase> framebuffer);
    // UnInitFBO on every stored framebuffer, then forgets them all.
    // Framebuffers in use are not touched.
    void purge();
    // UnInitFBO on the idle framebuffers of one size, and on those that never
    // completed (stored under "0x0"); forgets them and their counts.
    void releaseSize(int width, int height);
    // Forgets every idle framebuffer without a GL call: their context is
    // gone, and its names with it.
    void abandon();

    // "WxH", e.g. "1280x720".
    static std::string sizeKey(int width, int height);
    // The count for a size key, or -1 when the pool has no count for it.
    int countForSize(const std::string& sizeKey) const;
    // Number of idle framebuffers stored, all sizes.
    size_t storedCount() const;
    // Bytes of the colour textures of the idle framebuffers (4 per pixel).
    size_t idleBytes() const;
    // Takes effect at the next acquire.
    void setIdleByteLimit(size_t bytes);

    FramebufferCache(const FramebufferCache&) = delete;
    FramebufferCache& operator=(const FramebufferCache&) = delete;

private:
    FramebufferCache() = default;
    // Deletes every idle framebuffer of one size and forgets the size.
    void evictSize(const std::string& sizeKey);
    void evictOverLimit();

    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<FBOBase>> stored;
    std::map<std::string, int> counts;
    // Per size key: the tick of its last acquire or giveBack.
    std::map<std::string, uint64_t> lastUse;
    uint64_t tick = 0;
    size_t idle = 0;
    size_t idleLimit = kDefaultIdleByteLimit;
};

}  // namespace video
}  // namespace kelvo
