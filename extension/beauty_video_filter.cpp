#include "extension/beauty_video_filter.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "extension/beauty_filter_core.h"
#include "system/exception_text.h"

namespace kelvo {
namespace video {

// The host calls in on its own threads: nothing thrown here may reach it.
// A failed call logs one error line and returns the call's failure.
namespace {

void logFailure(IHostControl* control, const char* operation, const char* cause) noexcept {
    if (!control) return;
    char line[256];
    std::snprintf(line, sizeof line, "kelvo beauty %s fail, %s", operation, cause);
    try {
        control->log(kHostLogError, "%s", line);
    } catch (...) {
    }
}

}  // namespace

BeautyVideoFilter::~BeautyVideoFilter() {
    stop();
    if (hostControl_) hostControl_->release();
}

void BeautyVideoFilter::addRef() { refCount_.fetch_add(1, std::memory_order_relaxed); }

int BeautyVideoFilter::release() {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
        return 0;
    }
    return 1;
}

bool BeautyVideoFilter::hasOneRef() const { return refCount_.load(std::memory_order_acquire) == 1; }

int BeautyVideoFilter::setProperty(const char* key, const char* value, int size) {
    if (!key || !value || size == 0) return -1;
    BeautyFilterCore* core = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        core = core_;
        if (core) core->addRef();
    }
    int result = 0;
    if (core) {
        try {
            core->setParameter(key, value);
        } catch (...) {
            logFailure(hostControlForLog(), "setProperty", currentExceptionText());
            result = -1;
        }
        core->release();
    }
    return result;
}

void BeautyVideoFilter::queryProcessMode(int* mode, bool* flag) {
    if (mode) *mode = 0;
    if (flag) *flag = true;
    processMode_ = 0;
}

int BeautyVideoFilter::start(IHostControl* control) {
    BeautyFilterCore* previous = nullptr;
    BeautyFilterCore* core = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (control && control != hostControl_) {
            control->addRef();
            if (hostControl_) hostControl_->release();
            hostControl_ = control;
        }
        core = new (std::nothrow) BeautyFilterCore(hostControl_);
        if (core) core->addRef();
        previous = core_;
        core_ = core;
        // The reference for initEngine below, which runs unlocked.
        if (core) core->addRef();
    }
    // The old engine goes first: releasing an engine ends the process-wide
    // GL context, which the new engine's init then creates afresh.
    if (previous) previous->release();
    int result = 0;
    if (core) {
        try {
            core->initEngine();
        } catch (...) {
            logFailure(hostControlForLog(), "start", currentExceptionText());
            result = -1;
        }
        core->release();
    }
    if (control) control->release();
    return result;
}

int BeautyVideoFilter::stop() {
    BeautyFilterCore* core = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        core = core_;
        core_ = nullptr;
    }
    if (core) {
        core->releaseEngine();
        core->release();
    }
    return 0;
}

void BeautyVideoFilter::reserved16(int* a, int* b) {
    if (a) *a = 0;
    if (b) *b = 1;
}

bool BeautyVideoFilter::acquire(BeautyFilterCore** core, IHostControl** control) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!core_ || !hostControl_) return false;
    core_->addRef();
    hostControl_->addRef();
    *core = core_;
    *control = hostControl_;
    return true;
}

int BeautyVideoFilter::processFrame(BeautyFilterCore* core, IHostControl* control,
                                    IHostVideoFrame* frame) noexcept {
    try {
        HostFrameData data;
        data.primariesCode = 2;
        data.transferCode = 2;
        data.matrixCode = 2;
        data.rangeCode = 0;
        frame->getFrameData(&data);
        return core->process(&data);
    } catch (...) {
        logFailure(control, "processFrame", currentExceptionText());
        return -1;
    }
}

IHostControl* BeautyVideoFilter::hostControlForLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    return hostControl_;
}

int BeautyVideoFilter::adaptFrame(IHostVideoFrame* frame, IHostVideoFrame** out) {
    int result = 1;
    BeautyFilterCore* core = nullptr;
    IHostControl* control = nullptr;
    if (frame && processMode_ == 0 && acquire(&core, &control)) {
        if (processFrame(core, control, frame) == 0) {
            if (out && *out != frame) {
                frame->addRef();
                if (*out) (*out)->release();
                *out = frame;
            }
            result = 0;
        }
        core->release();
        control->release();
    }
    if (frame) frame->release();
    return result;
}

int BeautyVideoFilter::processAndDeliver(IHostVideoFrame* frame) {
    int result = 1;
    BeautyFilterCore* core = nullptr;
    IHostControl* control = nullptr;
    if (frame && processMode_ == 1 && acquire(&core, &control)) {
        if (processFrame(core, control, frame) == 0) {
            frame->addRef();
            control->deliverFrame(frame);
            result = 0;
        }
        core->release();
        control->release();
    }
    if (frame) frame->release();
    return result;
}

}  // namespace video
}  // namespace kelvo
