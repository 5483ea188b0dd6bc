// Process-wide pool of idle framebuffers, by size.
#pragma once

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
// Every operation holds one process-wide mutex. acquire (when it creates a
// framebuffer) and purge make GL calls and need the context current.
class FramebufferCache {
public:
    // The pool, created on first use. Never null; lives until process exit.
    static FramebufferCache* instance();

    // A framebuffer of that size with one more use: the most recently given
    // back idle one (no InitFBO), else a new GLFBO initialised to the size.
    // Never empty; an incomplete framebuffer is returned all the same.
    std::shared_ptr<FBOBase> acquire(int width, int height);
    // Stores an idle framebuffer (uses cleared) under its size. Null is
    // ignored. Makes no GL call.
    void giveBack(std::shared_ptr<FBOBase> framebuffer);
    // UnInitFBO on every stored framebuffer, then forgets them all.
    // Framebuffers in use are not touched.
    void purge();

    // "WxH", e.g. "1280x720".
    static std::string sizeKey(int width, int height);
    // The count for a size key, or -1 when the pool has no count for it.
    int countForSize(const std::string& sizeKey) const;
    // Number of idle framebuffers stored, all sizes.
    size_t storedCount() const;

    FramebufferCache(const FramebufferCache&) = delete;
    FramebufferCache& operator=(const FramebufferCache&) = delete;

private:
    FramebufferCache() = default;

    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<FBOBase>> stored;
    std::map<std::string, int> counts;
};

}  // namespace video
}  // namespace kelvo
