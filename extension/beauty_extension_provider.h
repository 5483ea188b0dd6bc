// The extension provider "kelvo" that this library registers with the host:
// it offers one video filter, "beauty" (BeautyVideoFilter).
#pragma once

#include <atomic>

#include "extension/host_interface.h"

namespace kelvo {
namespace video {

// Name of the provider, given to the host at load time and at registration.
constexpr const char* kProviderName = "kelvo";
// Name of the one extension the provider offers.
constexpr const char* kBeautyExtensionName = "beauty";

class BeautyExtensionProvider : public IExtensionProvider {
public:
    // No references.
    BeautyExtensionProvider() = default;

    BeautyExtensionProvider(const BeautyExtensionProvider&) = delete;
    BeautyExtensionProvider& operator=(const BeautyExtensionProvider&) = delete;

    void addRef() override;
    int release() override;
    bool hasOneRef() const override;

    void reserved4(void*) override {}
    // {kExtensionTypeVideoFilter, "beauty"} into records[0] and 1 into
    // *count; null pointers are skipped.
    void listExtensions(ExtensionRecord* records, int* count) override;
    // Sets *out to null.
    void createReserved6(IHostRefCounted** out, const char* name) override;
    // A new BeautyVideoFilter, whatever the name, with one reference for the
    // caller; null when it cannot be allocated.
    void createVideoFilter(IExtensionVideoFilter** out, const char* name) override;
    // Sets *out to null.
    void createReserved8(IHostRefCounted** out, const char* name) override;
    void reserved9(void*, void*) override {}

private:
    ~BeautyExtensionProvider() override = default;

    std::atomic<int> refCount_{0};
};

// The callback this library announces to the host when it is loaded: asks
// the host for its extension registry (ordinal 7) and registers a new
// provider "kelvo" with it, handing the registry the provider's one
// reference. Does nothing when no host library is in the process or the host
// has no registry yet.
void loadCallback() noexcept;

}  // namespace video
}  // namespace kelvo
