#include "gpu/framebuffer_cache.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace kelvo {
namespace video {

namespace {
thread_local FramebufferCache* currentPool = nullptr;
}  // namespace

std::shared_ptr<FramebufferCache> FramebufferCache::create() {
    return std::shared_ptr<FramebufferCache>(new FramebufferCache());
}

FramebufferCache* FramebufferCache::instance() { return currentPool ? currentPool : privatePool(); }

FramebufferCache* FramebufferCache::privatePool() {
    // Created once, thread-safe, and destroyed when the library is unloaded.
    // Its destructor makes no GL call: idle framebuffers are deleted by
    // purge() while a context is current.
    static const std::shared_ptr<FramebufferCache> pool = create();
    return pool.get();
}

FramebufferCache::Scope::Scope(FramebufferCache* pool) : previous_(currentPool) {
    if (pool) currentPool = pool;
}

FramebufferCache::Scope::~Scope() { currentPool = previous_; }

namespace {

size_t colorBytes(const FBOBase& framebuffer) {
    return static_cast<size_t>(framebuffer.width) * static_cast<size_t>(framebuffer.height) * 4;
}

}  // namespace

std::string FramebufferCache::sizeKey(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::shared_ptr<FBOBase> FramebufferCache::acquire(int width, int height) {
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = sizeKey(width, height);
    std::shared_ptr<FBOBase> result;

    auto count = counts.find(key);
    if (count != counts.end() && count->second >= 1) {
        int i = count->second - 1;
        do {
            auto entry = stored.find(key + "-" + std::to_string(i));
            if (entry != stored.end()) {
                result = entry->second;
                if (result) {
                    idle -= colorBytes(*result);
                    stored.erase(entry);
                }
            }
            --i;
        } while (!result && i >= 0);
        if (i + 1 > 0) {
            count->second = i + 1;
            lastUse[key] = ++tick;
        } else {
            // No idle one left: a stream of ever new sizes must not leave a
            // count behind for each.
            counts.erase(count);
            lastUse.erase(key);
        }
    }
    if (!result) {
        result = std::make_shared<GLFBO>();
        result->InitFBO(width, height);
    }
    result->pool = weak_from_this();
    result->pooled = true;
    result->addUse();
    // Here and not in giveBack: a framebuffer may be given back where no
    // context is current, and deleting its names needs one.
    evictOverLimit();
    return result;
}

void FramebufferCache::giveBack(std::shared_ptr<FBOBase> framebuffer) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!framebuffer) {
        return;
    }
    framebuffer->clearUses();
    const std::string key = sizeKey(framebuffer->width, framebuffer->height);
    int& count = counts[key];
    const size_t bytes = colorBytes(*framebuffer);
    if (stored.emplace(key + "-" + std::to_string(count), std::move(framebuffer)).second) {
        idle += bytes;
    }
    ++count;
    lastUse[key] = ++tick;
}

void FramebufferCache::evictSize(const std::string& sizeKey) {
    const std::string prefix = sizeKey + "-";
    auto entry = stored.lower_bound(prefix);
    while (entry != stored.end() && entry->first.compare(0, prefix.size(), prefix) == 0) {
        if (entry->second) {
            idle -= colorBytes(*entry->second);
            entry->second->UnInitFBO();
        }
        entry = stored.erase(entry);
    }
    counts.erase(sizeKey);
    lastUse.erase(sizeKey);
}

void FramebufferCache::evictOverLimit() {
    while (idle > idleLimit) {
        auto oldest = lastUse.end();
        for (auto use = lastUse.begin(); use != lastUse.end(); ++use) {
            auto count = counts.find(use->first);
            if (count == counts.end() || count->second < 1) continue;
            if (oldest == lastUse.end() || use->second < oldest->second) oldest = use;
        }
        if (oldest == lastUse.end()) return;
        evictSize(std::string(oldest->first));
    }
}

void FramebufferCache::releaseSize(int width, int height) {
    std::lock_guard<std::mutex> lock(mutex);
    evictSize(sizeKey(width, height));
    evictSize(sizeKey(0, 0));
}

void FramebufferCache::abandon() {
    std::lock_guard<std::mutex> lock(mutex);
    stored.clear();
    counts.clear();
    lastUse.clear();
    idle = 0;
}

void FramebufferCache::purge() {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& entry : stored) {
        if (entry.second) {
            entry.second->UnInitFBO();
        }
    }
    stored.clear();
    counts.clear();
    lastUse.clear();
    idle = 0;
#ifdef __GLIBC__
    // The driver allocates texture storage from the heap, where it stays
    // after the textures are deleted unless it is handed back explicitly.
    malloc_trim(0);
#endif
}

int FramebufferCache::countForSize(const std::string& sizeKey) const {
    std::lock_guard<std::mutex> lock(mutex);
    auto count = counts.find(sizeKey);
    return count == counts.end() ? -1 : count->second;
}

size_t FramebufferCache::storedCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return stored.size();
}

size_t FramebufferCache::idleBytes() const {
    std::lock_guard<std::mutex> lock(mutex);
    return idle;
}

void FramebufferCache::setIdleByteLimit(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    idleLimit = bytes;
}

}  // namespace video
}  // namespace kelvo
