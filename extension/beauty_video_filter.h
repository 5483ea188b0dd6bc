// The "beauty" video filter the host sees: forwards properties as parameter
// documents and frames to a BeautyFilterCore, which exists from start() to
// stop().
//
// Threading: the host may call from several threads. Swapping core and
// control object (start, stop) is guarded, and a frame in flight keeps its
// own references to both, so a stop() that overlaps adaptFrame() leaves the
// frame to finish on the old core.
#pragma once

#include <atomic>
#include <mutex>

#include "extension/host_interface.h"

namespace kelvo {
namespace video {

class BeautyFilterCore;

class BeautyVideoFilter : public IExtensionVideoFilter {
public:
    // No core, no control object, process mode 0, no references.
    BeautyVideoFilter() = default;

    BeautyVideoFilter(const BeautyVideoFilter&) = delete;
    BeautyVideoFilter& operator=(const BeautyVideoFilter&) = delete;

    void addRef() override;
    int release() override;
    bool hasOneRef() const override;

    bool reserved4(void*, void*) override { return true; }
    void reserved5(void*) override {}
    bool reserved6() override { return true; }
    // −1 for a null key or value or a size of 0; otherwise 0, also when the
    // filter is not started or the engine rejects the document.
    int setProperty(const char* key, const char* value, int size) override;
    int reserved8(void*, void*, void*) override { return 0; }
    bool reserved9() override { return true; }
    void reserved10() override {}
    bool reserved11() override { return true; }
    bool reserved12() override { return true; }
    // *mode = 0 (adaptFrame), *flag = true; null pointers are skipped.
    void queryProcessMode(int* mode, bool* flag) override;
    // Keeps the control object (when given and new), replaces the core by a
    // new one with its own engine. 0, even when the engine failed to
    // initialise (its frames then come back as not processed).
    int start(IHostControl* control) override;
    // Releases the engine and the core. 0.
    int stop() override;
    // *a = 0, *b = 1; null pointers are skipped.
    void reserved16(int* a, int* b) override;
    // Only in process mode 1, which this filter never reports.
    int processAndDeliver(IHostVideoFrame* frame) override;
    // A null out still processes the frame in place; nothing is stored then.
    int adaptFrame(IHostVideoFrame* frame, IHostVideoFrame** out) override;

private:
    ~BeautyVideoFilter() override;
    // The core and control object with a reference each for the caller, or
    // false (nothing taken) when either is missing.
    bool acquire(BeautyFilterCore** core, IHostControl** control);
    // Presets the record, lets the frame fill it and runs it through core.
    // What it throws is logged to control and becomes −1.
    static int processFrame(BeautyFilterCore* core, IHostControl* control,
                            IHostVideoFrame* frame) noexcept;

    // hostControl_, read under the lock; the filter keeps its reference.
    IHostControl* hostControlForLog();

    BeautyFilterCore* core_ = nullptr;
    IHostControl* hostControl_ = nullptr;
    std::atomic<int> processMode_{0};
    std::atomic<int> refCount_{0};
    std::mutex mutex_;  // guards core_ and hostControl_
};

}  // namespace video
}  // namespace kelvo
