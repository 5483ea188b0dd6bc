#include "extension/beauty_extension_provider.h"

#include <new>

#include "extension/beauty_video_filter.h"
#include "extension/host_library.h"

namespace kelvo {
namespace video {

void BeautyExtensionProvider::addRef() { refCount_.fetch_add(1, std::memory_order_relaxed); }

int BeautyExtensionProvider::release() {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
        return 0;
    }
    return 1;
}

bool BeautyExtensionProvider::hasOneRef() const {
    return refCount_.load(std::memory_order_acquire) == 1;
}

void BeautyExtensionProvider::listExtensions(ExtensionRecord* records, int* count) {
    if (records) {
        records[0].typeCode = kExtensionTypeVideoFilter;
        records[0].name = kBeautyExtensionName;
    }
    if (count) *count = 1;
}

void BeautyExtensionProvider::createReserved6(IHostRefCounted** out, const char*) {
    if (out) *out = nullptr;
}

void BeautyExtensionProvider::createVideoFilter(IExtensionVideoFilter** out, const char*) {
    if (!out) return;
    auto* filter = new (std::nothrow) BeautyVideoFilter();
    if (filter) filter->addRef();
    *out = filter;
}

void BeautyExtensionProvider::createReserved8(IHostRefCounted** out, const char*) {
    if (out) *out = nullptr;
}

namespace {

void registerWithHost() {
    auto registryOf =
        reinterpret_cast<HostExtensionRegistryFunction>(findHostEntry(kHostExtensionRegistryEntry));
    if (!registryOf) return;
    IHostExtensionRegistry* registry = registryOf();
    if (!registry) return;
    auto* provider = new (std::nothrow) BeautyExtensionProvider();
    if (!provider) return;
    provider->addRef();
    registry->registerProvider(kProviderName, provider);
}

}  // namespace

void loadCallback() noexcept {
    // Runs while the library is being loaded: nothing may escape.
    try {
        registerWithHost();
    } catch (...) {
    }
}

}  // namespace video
}  // namespace kelvo
