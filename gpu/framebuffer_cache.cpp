#include "gpu/framebuffer_cache.h"

namespace kelvo {
namespace video {

FramebufferCache* FramebufferCache::instance() {
    // Function-local static: created once, thread-safe, and destroyed when the
    // library is unloaded. Its destructor makes no GL call: idle framebuffers
    // are deleted by purge() while a context is current.
    static FramebufferCache pool;
    return &pool;
}

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
                    stored.erase(entry);
                }
            }
            --i;
        } while (!result && i >= 0);
        count->second = i + 1;
    }
    if (!result) {
        result = std::make_shared<GLFBO>();
        result->InitFBO(width, height);
    }
    result->addUse();
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
    stored.emplace(key + "-" + std::to_string(count), std::move(framebuffer));
    ++count;
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

}  // namespace video
}  // namespace kelvo
