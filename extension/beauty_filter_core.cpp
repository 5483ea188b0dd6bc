#include "extension/beauty_filter_core.h"

#include <new>

#include "engine/video_process_engine_impl.h"
#include "extension/color_codes.h"
#include "system/clock.h"

namespace kelvo {
namespace video {

namespace {
constexpr int64_t kAverageWindowMs = 3000;
}

BeautyFilterCore::BeautyFilterCore(IHostControl* hostControl) : hostControl_(hostControl) {
    if (hostControl_) hostControl_->addRef();
}

BeautyFilterCore::~BeautyFilterCore() {
    releaseEngine();
    if (hostControl_) hostControl_->release();
}

void BeautyFilterCore::addRef() { refCount_.fetch_add(1, std::memory_order_relaxed); }

int BeautyFilterCore::release() {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
        return 0;
    }
    return 1;
}

bool BeautyFilterCore::hasOneRef() const { return refCount_.load(std::memory_order_acquire) == 1; }

int BeautyFilterCore::initEngine() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (engine_) return kResultFailed;
    // What createVideoProcessEngine(false) returns; the factory itself is
    // part of the shared library only.
    engine_.reset(new (std::nothrow) VideoProcessEngineImpl(false));
    if (!engine_) return kResultFailed;
    engine_->setObserver(this);
    int result = engine_->init("");
    if (result == kResultOk)
        result = engine_->setVideoEffects(
            {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty});
    return result;
}

int BeautyFilterCore::process(HostFrameData* record) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!engine_) return kResultNotInitialized;
    if (!record) return kResultInvalidArgument;
    const int64_t t0 = wallClockMs();
    const int range = engineRangeCode(record->rangeCode);
    const int matrix = engineMatrixCode(record->matrixCode);
    int result = kResultFailed;
    if (record->kind == kHostFramePixelBuffer) {
        result = engine_->processFrame(kPixelFormatI420, record->width, record->height,
                                       record->buffer, record->bufferSize, -1, -1, matrix, range);
    } else if (record->kind == kHostFrameTexture) {
        int out = 0;
        result = engine_->processTexture(record->textureType, record->width, record->height,
                                         record->textureName, &out);
        if (result == kResultOk && out > 0) record->textureName = out;
    }
    const int64_t t1 = wallClockMs();
    totalMs_ += static_cast<int>(t1 - t0);
    ++frameCount_;
    if (t1 - lastLogMs_ > kAverageWindowMs) {
        // The first frame of a core only opens the first window.
        if (lastLogMs_ != 0) {
            const std::string text =
                "BeautyEngine process avg time:" + std::to_string(totalMs_ / frameCount_);
            hostLog(kHostLogInfo, text.c_str());
        }
        lastLogMs_ = t1;
        frameCount_ = 0;
        totalMs_ = 0;
    }
    return result;
}

int BeautyFilterCore::releaseEngine() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (engine_) {
        engine_->release();
        engine_.reset();
    }
    return 0;
}

void BeautyFilterCore::setParameter(std::string key, std::string value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (engine_) engine_->setParameter(key.c_str(), value.c_str());
}

void BeautyFilterCore::onInitialized(int) {
    hostLog(kHostLogInfo, "kelvo beauty extension inited");
}

void BeautyFilterCore::onLog(int level, const char* message) {
    if (level == kLogInfo)
        hostLog(kHostLogInfo, message);
    else if (level == kLogError)
        hostLog(kHostLogError, message);
}

void BeautyFilterCore::hostLog(int level, const char* text) const {
    // Messages can carry caller text (a resource path, a property value):
    // never let the host's printf read it as a format.
    if (hostControl_ && text) hostControl_->log(level, "%s", text);
}

}  // namespace video
}  // namespace kelvo
