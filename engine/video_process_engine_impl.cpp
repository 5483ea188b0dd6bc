#include "engine/video_process_engine_impl.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <optional>

#include "convert/buffer_layout.h"
#include "convert/frame_conversion.h"
#include "cpu/cpu_render_engine.h"
#include "detect/native_detect_engine.h"
#include "engine/chain_plan.h"
#include "engine/effect_factories.h"
#include "engine/engine_config.h"
#include "engine/gl_backend.h"
#include "frame/i420_video_frame.h"
#include "kelvo/version.h"
#include "render/effect_types.h"
#include "render/render_engine.h"
#include "system/clock.h"
#include "system/exception_text.h"

namespace kelvo {
namespace video {

namespace {

const char kEmptyInfo[] = "";
// What guard() gives back when an operation threw; no operation returns it.
constexpr int kThrew = -2;

using ContextScope = gl_backend::CallScope;

}  // namespace

VideoProcessEngineImpl::VideoProcessEngineImpl(bool useExternalContext)
    : callerPool_(useExternalContext ? gl_backend::createCallerPool() : nullptr),
      useExternalContext_(useExternalContext) {}

VideoProcessEngineImpl::~VideoProcessEngineImpl() {
    // An engine that was never initialised (or was released) holds no GL
    // resources; tearing down the shared context here would only hurt others.
    try {
        if (inited_ || renderEngine_) releaseResources();
    } catch (...) {
        logFailure("release", "teardown failed");
    }
    detectEngine_.reset();
}

// Every operation of the interface is an edge: what the library throws (out
// of memory, above all) ends here as a result code and one error line, and
// the engine is left as the next call can use it.
template <class Result, class Body>
Result VideoProcessEngineImpl::guard(const char* operation, Result failed,
                                     Body&& body) const noexcept {
    try {
        return body();
    } catch (...) {
        logFailure(operation, currentExceptionText());
    }
    return failed;
}

void VideoProcessEngineImpl::logFailure(const char* operation, const char* cause) const noexcept {
    if (!observer_) return;
    char line[256];
    std::snprintf(line, sizeof line, "%s fail, %s", operation, cause ? cause : "");
    try {
        observer_->onLog(kLogError, line);
    } catch (...) {
    }
}

int VideoProcessEngineImpl::init(const char* config) {
    const int result = guard("init", kThrew, [&] { return initUnguarded(config); });
    if (result != kThrew) return result;
    // Half-made sub-engines would run frames on a chain nobody set up.
    if (inited_ || renderEngine_) guard("init", 0, [&] { return releaseResources(), 0; });
    inited_ = false;
    return kResultFailed;
}

const char* VideoProcessEngineImpl::getInfo(const char* key) {
    return guard("getInfo", kEmptyInfo, [&] { return getInfoUnguarded(key); });
}

int VideoProcessEngineImpl::setResourceBundle(const char* path) {
    return guard<int>("setResourceBundle", kResultFailed,
                      [&] { return setResourceBundleUnguarded(path); });
}

int VideoProcessEngineImpl::setVideoEffects(const std::vector<int>& effects) {
    return guard<int>("setVideoEffects", kResultFailed,
                      [&] { return setVideoEffectsUnguarded(effects); });
}

int VideoProcessEngineImpl::setParameter(const char* key, const char* value) {
    return guard<int>("setParameter", kResultFailed,
                      [&] { return setParameterUnguarded(key, value); });
}

int VideoProcessEngineImpl::processFrame(int format, int width, int height, uint8_t* buffer,
                                         int size, int /*reserved1*/, int /*reserved2*/,
                                         int colorMatrix, int colorRange) {
    const int result = guard("processFrame", kThrew, [&] {
        return processFrameUnguarded(format, width, height, buffer, size, colorMatrix, colorRange);
    });
    if (result != kThrew) return result;
    // The chain may be half way through a frame: build it afresh, which also
    // lets go of what it held for that frame's size.
    markChainDirty("processFrame");
    return kResultFailed;
}

int VideoProcessEngineImpl::processTexture(int textureType, int width, int height, int textureId,
                                           int* outTextureId) {
    const int result = guard("processTexture", kThrew, [&] {
        return processTextureUnguarded(textureType, width, height, textureId, outTextureId);
    });
    if (result != kThrew) return result;
    markChainDirty("processTexture");
    return kResultFailed;
}

int VideoProcessEngineImpl::processPlanes(const PlaneBuffer& picture, int colorMatrix,
                                          int colorRange, std::optional<int64_t> streamTimeMs) {
    const int result = guard("processFrame", kThrew, [&] {
        return processPlanesUnguarded(picture, colorMatrix, colorRange, streamTimeMs);
    });
    if (result != kThrew) return result;
    markChainDirty("processFrame");
    return kResultFailed;
}

void VideoProcessEngineImpl::markChainDirty(const char* operation) noexcept {
    guard(operation, 0, [&] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            chainDirty_ = true;
        }
        reportProcessResult(kResultFailed);
        return 0;
    });
}

int VideoProcessEngineImpl::release() {
    const int result = guard<int>("release", kResultFailed, [&] { return releaseUnguarded(); });
    // Released or not, the engine no longer counts as initialised.
    inited_ = false;
    observer_ = nullptr;
    return result;
}

int VideoProcessEngineImpl::initUnguarded(const char* config) {
    EngineConfig settings;
    const std::string refused = parseEngineConfig(config, settings);
    if (!refused.empty()) {
        log(kLogError, "init fail, " + refused);
        return kResultInvalidArgument;
    }
    if (!gl_backend::built() && settings.backend == Backend::kGpu) {
        log(kLogError, "init fail, the library was built without OpenGL");
        return kResultInvalidArgument;
    }
    bool cpu = !gl_backend::built() || (!useExternalContext_ && settings.backend == Backend::kCpu);
    if (!useExternalContext_ && !cpu) {
        if (!gl_backend::privateContextUsable()) {
            // Drop the failed holder so that a later init tries again.
            gl_backend::dropUnusedPrivateContext();
            if (settings.backend == Backend::kGpu) return kResultFailed;
            log(kLogInfo, "no OpenGL 3.3 context, using the CPU backend");
            cpu = true;
        } else if (settings.backend == Backend::kAuto) {
            const std::string renderer = gl_backend::renderer(true);
            if (isSoftwareRenderer(renderer.c_str())) {
                log(kLogInfo,
                    "GL renderer " + renderer + " rasterises in software, using the CPU backend");
                cpu = true;
                gl_backend::dropUnusedPrivateContext();
            }
        }
    }
    // A switch of backend starts from nothing: the GL side lets go of the
    // shared context.
    if ((inited_ || renderEngine_) && cpu != cpuBackend_) releaseResources();
    cpuBackend_ = cpu;
    if (cpu) {
        renderEngine_.reset();
        auto* cpuEngine = new CpuRenderEngine(createCpuEffect, settings.threads);
        renderEngine_.reset(cpuEngine);
        detectEngine_.reset(new NativeDetectEngine());
        inited_ = true;
        replayParameters();
        renderer_ = "cpu";
        log(kLogInfo, "CPU backend, " + std::to_string(cpuEngine->threads()) + " threads");
    } else {
        ContextScope context(useExternalContext_, observer_, false, callerPool_.get());
        renderEngine_.reset();
        renderEngine_ = gl_backend::createRenderEngine();
        detectEngine_.reset(new NativeDetectEngine());
        inited_ = true;
        // Documents given before init take effect now: enable states, modes
        // and levels decide whether the next frame is processed at all.
        replayParameters();
        renderer_ = gl_backend::renderer(false);
        const std::string version = gl_backend::version();
        if (!renderer_.empty() && !version.empty())
            log(kLogInfo, "GL renderer: " + renderer_ + ", OpenGL " + version);
    }
    // The new sub-engines get the observer only from setObserver: hosts that
    // set it before init rely on hearing no per-effect or detection reports.
    if (!cpu && !useExternalContext_ && !contextUser_) {
        gl_backend::addPrivateContextUser();
        contextUser_ = true;
    }
    // A re-initialised engine has a new, empty render engine: build its chain
    // again on the next frame.
    chainDirty_ = true;
    if (observer_) observer_->onInitialized(kResultOk);
    return kResultOk;
}

int VideoProcessEngineImpl::setObserver(IVideoProcessObserver* observer) {
    observer_ = observer;
    if (renderEngine_) renderEngine_->setEffectObserver(observer);
    if (detectEngine_) detectEngine_->setObserver(observer);
    return kResultOk;
}

const char* VideoProcessEngineImpl::getInfoUnguarded(const char* key) {
    if (key == nullptr) return kEmptyInfo;
    const std::string k = key;
    auto verdict = [](int v) { return v < 0 ? kEmptyInfo : v ? "1" : "0"; };
    if (k == "version") return KELVO_VIDEO_VERSION_STRING;
    if (k == "backend") return !inited_ ? kEmptyInfo : cpuBackend_ ? "cpu" : "gpu";
    if (k == "renderer") return inited_ ? renderer_.c_str() : kEmptyInfo;
    if (k == "dark_scene") return verdict(automatic_.lastDarkScene());
    if (k == "noisy") return verdict(automatic_.lastNoisy());
    return kEmptyInfo;
}

int VideoProcessEngineImpl::setResourceBundleUnguarded(const char* path) {
    if (!inited_) return kResultNotInitialized;
    log(kLogInfo, std::string("setResourceBundle: ") + (path ? path : ""));
    return kResultOk;
}

int VideoProcessEngineImpl::setVideoEffectsUnguarded(const std::vector<int>& list) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inited_) {
        log(kLogError, "setVideoEffects fail, engine not inited");
        return kResultNotInitialized;
    }
    if (list.empty()) return kResultInvalidArgument;
    chainDirty_ = true;
    EffectSelection selection = selectEffects(list);
    effects_ = std::move(selection.effects);
    if (selection.addedDenoiser)
        log(kLogInfo, "add kEffectVideoDenoiser for kEffectLowLightEnhance");
    return kResultOk;
}

bool VideoProcessEngineImpl::rebuildChain(bool textureInput) {
    if (!planChain(effects_, textureInput, &chainTypes_)) return false;
    log(kLogInfo, chainText(chainTypes_));
    return true;
}

bool VideoProcessEngineImpl::rebuildDetections() {
    const std::string added = planDetections(effects_, &detectionKinds_);
    if (added.empty()) return false;
    log(kLogInfo, added);
    return true;
}

int VideoProcessEngineImpl::rebuildIfDirty(bool textureInput, const char* operation) {
    if (!chainDirty_) return kResultOk;
    if (!rebuildChain(textureInput)) return kResultInvalidArgument;
    if (!cpuBackend_) gl_backend::reportPendingErrors("rebuild begin");  // a caller's are not ours
    const unsigned glFailures = cpuBackend_ ? 0 : gl_backend::failureCount();
    renderEngine_->setEffects(chainTypes_);
    // An effect whose lookup table got no storage would draw without it.
    if (!cpuBackend_ && gl_backend::failureCount() != glFailures) {
        logFailure(operation, "GL could not make the effects' textures");
        return kResultFailed;
    }
    replayParameters();
    if (rebuildDetections()) detectEngine_->setDetections(detectionKinds_);
    // Last: a rebuild that throws half way is done again on the next frame.
    chainDirty_ = false;
    return kResultOk;
}

int VideoProcessEngineImpl::processFrameUnguarded(int format, int width, int height,
                                                  uint8_t* buffer, int size, int colorMatrix,
                                                  int colorRange) {
    return processPictureUnguarded(
        colorMatrix, colorRange, std::nullopt, [&](PlaneBuffer& picture) {
            if (!validFrameSize(width, height)) {
                log(kLogError, "processFrame fail, invalid frame size " + std::to_string(width) +
                                   "x" + std::to_string(height));
                return kResultInvalidArgument;
            }
            const int type = videoTypeFromFormat(format);
            if (type == kVideoTypeUnknown) return kResultInvalidArgument;
            // The buffer is read and written in place: it must hold a whole
            // frame of its format.
            const int64_t needed = requiredBufferSize(type, width, height);
            if (buffer == nullptr || size <= 0 || static_cast<int64_t>(size) < needed) {
                log(kLogError, "processFrame fail, buffer of " + std::to_string(size) + " bytes, " +
                                   std::to_string(needed) + " needed");
                return kResultInvalidArgument;
            }
            picture = contiguousPlaneBuffer(type, width, height, buffer);
            return kResultOk;
        });
}

int VideoProcessEngineImpl::processPlanesUnguarded(const PlaneBuffer& picture, int colorMatrix,
                                                   int colorRange,
                                                   std::optional<int64_t> streamTimeMs) {
    return processPictureUnguarded(colorMatrix, colorRange, streamTimeMs, [&](PlaneBuffer& to) {
        if (const char* fault = planeBufferFault(picture)) {
            log(kLogError, std::string("processFrame fail, ") + fault);
            return kResultInvalidArgument;
        }
        to = picture;
        return kResultOk;
    });
}

template <class Describe>
int VideoProcessEngineImpl::processPictureUnguarded(int colorMatrix, int colorRange,
                                                    std::optional<int64_t> streamTimeMs,
                                                    Describe&& describe) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const int refused = refuseProcessing()) return refused;
    const int matrix = colorMatrix == kColorMatrixUnspecified ? kColorMatrixSMPTE170M : colorMatrix;
    const int range = colorRange == kColorRangeUnspecified ? kColorRangeFull : colorRange;

    ContextScope context(useExternalContext_, observer_, cpuBackend_, callerPool_.get());
    if (const int rebuilt = rebuildIfDirty(false, "processFrame")) {
        reportProcessResult(rebuilt);
        return rebuilt;
    }
    PlaneBuffer picture;
    if (const int refused = describe(picture)) {
        reportProcessResult(refused);
        return refused;
    }
    const int width = picture.width, height = picture.height;
    // Only now the frame: a bad call must not cost planes of up to 16384².
    std::shared_ptr<I420VideoFrame> frame(new (std::nothrow) I420VideoFrame(),
                                          I420VideoFrame::deleter());
    if (!frame) return kResultFailed;
    if (frame->allocate(width, height, width, (width + 1) / 2, (width + 1) / 2, 1) != 0)
        return kResultFailed;
    if (bufferRoundTrip_.toFrame(picture, *frame, range, matrix, renderEngine_->rowSplitter()) != 0) return kResultFailed;

    detectEngine_->setBrightnessDetectionEnabled(
        lowlightEnhanceEnabled() || (videoDenoiserEnabled() && videoDenoiserMode() == 0));
    // The detectors read the frame's planes; the buffer and size only vouch
    // that the caller's picture is whole, which describe() checked.
    const int64_t whole = requiredBufferSize(picture.videoType, width, height);
    detectEngine_->detect(frame, picture.data[0], static_cast<int>(whole), picture.videoType,
                          false);

    const int adjusted =
        applyAutomaticAdjustmentsAt(frame, streamTimeMs ? *streamTimeMs : wallClockMs());
    if (adjusted != 0) return adjusted;

    const unsigned glFailures = cpuBackend_ ? 0 : gl_backend::failureCount();
    int result = kResultFailed;
    // The caller's picture is written only here, once the frame is done, so
    // a failure leaves it holding its input.
    if (renderEngine_->process(frame, false))
        result = bufferRoundTrip_.toBuffer(*frame, picture, renderEngine_->rowSplitter()) == 0 ? kResultOk : kResultFailed;
    else
        failedInGL("processFrame", glFailures, width, height);
    reportProcessResult(result);
    return result;
}

int VideoProcessEngineImpl::processTextureUnguarded(int textureType, int width, int height,
                                                    int textureId, int* outTextureId) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const int refused = refuseProcessing()) return refused;
    if (cpuBackend_) {
        log(kLogError, "processTexture fail, texture input needs the GPU backend");
        reportProcessResult(kResultInvalidArgument);
        return kResultInvalidArgument;
    }
    ContextScope context(useExternalContext_, observer_, false, callerPool_.get());
    if (const int rebuilt = rebuildIfDirty(true, "processTexture")) {
        reportProcessResult(rebuilt);
        return rebuilt;
    }
    if (const char* fault =
            textureArgumentFault(textureType, width, height, textureId, outTextureId)) {
        log(kLogError, std::string("processTexture fail, ") + fault + " (type " +
                           std::to_string(textureType) + ", " + std::to_string(width) + "x" +
                           std::to_string(height) + ", texture " + std::to_string(textureId) + ")");
        reportProcessResult(kResultInvalidArgument);
        return kResultInvalidArgument;
    }
    std::shared_ptr<I420VideoFrame> frame(new (std::nothrow) I420VideoFrame(),
                                          I420VideoFrame::deleter());
    if (!frame) return kResultFailed;
    frame->storageKind = 1;
    frame->textureType = textureType;
    frame->textureId = textureId;
    frame->setWidth(width);
    frame->setHeight(height);

    const unsigned glFailures = gl_backend::failureCount();
    int result = kResultFailed;
    if (renderEngine_->process(frame, true)) {
        *outTextureId = frame->textureId;
        result = kResultOk;
    } else {
        failedInGL("processTexture", glFailures, width, height);
    }
    reportProcessResult(result);
    return result;
}

namespace {

// The adjustments' writes: the denoiser's mode and level through the engine,
// which logs their changes, the rest straight to the render engine.
class EngineTarget final : public AutomaticTarget {
public:
    EngineTarget(VideoProcessEngineImpl& engine, RenderEngine& render)
        : engine_(engine), render_(render) {}
    void setVideoDenoiserMode(int mode) override { engine_.setVideoDenoiserMode(mode); }
    void setVideoDenoiserLevel(int level) override { engine_.setVideoDenoiserLevel(level); }
    void setVideoDenoiserEnable(bool enable) override { render_.setVideoDenoiserEnable(enable); }
    void setVideoDenoiserAutoNoisy(bool noisy) override {
        render_.setVideoDenoiserAutoNoisy(noisy);
    }
    void setLowlightDarkScene(bool dark) override { render_.setLowlightDarkScene(dark); }
    void setBeautyEnable(bool enable) override { render_.setBeautyEnable(enable); }
    void setBeautySmoothness(float value) override { render_.setBeautySmoothness(value); }
    void setBeautyLightness(float value) override { render_.setBeautyLightness(value); }
    void setBeautyRedness(float value) override { render_.setBeautyRedness(value); }
    void setBeautyContrast(int value) override { render_.setBeautyContrast(value); }
    void setBeautySharpness(float value) override { render_.setBeautySharpness(value); }

private:
    VideoProcessEngineImpl& engine_;
    RenderEngine& render_;
};

}  // namespace

int VideoProcessEngineImpl::applyAutomaticAdjustmentsAt(
    const std::shared_ptr<I420VideoFrame>& frame, int64_t nowMs) {
    if (!frame || frame->isEmpty()) return kResultInvalidArgument;
    if (!renderEngine_) return kResultFailed;
    AutomaticSettings settings;
    settings.lowlightSelected = contains(kEffectLowLightEnhance);
    settings.denoiserSelected = contains(kEffectVideoDenoiser);
    settings.beautyEnabled = beautyEnabled();
    settings.videoDenoiserEnabled = videoDenoiserEnabled();
    settings.lowlightEnhanceEnabled = lowlightEnhanceEnabled();
    settings.videoDenoiserMode = videoDenoiserMode();
    settings.videoDenoiserLevel = videoDenoiserLevel();
    settings.lowlightEnhanceMode = lowlightEnhanceMode();
    settings.lowlightEnhanceLevel = lowlightEnhanceLevel();
    EngineTarget target(*this, *renderEngine_);
    return automatic_.apply(frame.get(), nowMs, settings, target);
}

void VideoProcessEngineImpl::failedInGL(const char* operation, unsigned failuresBefore, int width,
                                        int height) {
    if (cpuBackend_ || gl_backend::failureCount() == failuresBefore) return;
    logFailure(operation, ("GL could not make or fill textures of " + std::to_string(width) + "x" +
                           std::to_string(height))
                              .c_str());
    // Effects keep textures and buffers of the frame's size: a fresh chain
    // lets go of them.
    chainDirty_ = true;
}

const char* VideoProcessEngineImpl::textureArgumentFault(int textureType, int width, int height,
                                                         int textureId, const int* outTextureId) {
    if (outTextureId == nullptr) return "no place for the output texture";
    if (textureType != kTexture2D && textureType != kTextureExternalOES)
        return "unknown texture type";
    if (!validFrameSize(width, height)) return "invalid texture size";
    // Drawing from a name that is no texture of this context would read
    // nothing, or another object, while reporting success.
    if (!gl_backend::isTexture(textureId)) return "not a texture of the current context";
    return nullptr;
}

int VideoProcessEngineImpl::refuseProcessing() const {
    int code = 0;
    if (!inited_)
        code = kResultNotInitialized;
    else if (!beautyEnabled() && !colorEnhanceEnabled() && !videoDenoiserEnabled() &&
             !lowlightEnhanceEnabled())
        code = kResultNoEffectEnabled;
    if (code != 0) reportProcessResult(code);
    return code;
}

void VideoProcessEngineImpl::releaseResources() {
    if (cpuBackend_) {
        renderEngine_.reset();
        return;
    }
    if (renderEngine_) {
        ContextScope context(useExternalContext_, observer_, false, callerPool_.get());
        renderEngine_.reset();
    }
    // The private context is shared by every engine of the process: it goes
    // with the last engine that used it, not with the first to leave.
    if (contextUser_) {
        gl_backend::removePrivateContextUser();
        contextUser_ = false;
    } else {
        gl_backend::dropUnusedPrivateContext();
    }
}

int VideoProcessEngineImpl::releaseUnguarded() {
    releaseResources();
    log(kLogInfo, "video process engine released");
    inited_ = false;
    observer_ = nullptr;
    return kResultOk;
}

void VideoProcessEngineImpl::log(int level, const std::string& message) const {
    if (observer_) observer_->onLog(level, message.c_str());
}

void VideoProcessEngineImpl::reportProcessResult(int code) const {
    if (observer_) observer_->onProcessResult(code);
}

bool VideoProcessEngineImpl::contains(int effectId) const {
    return std::find(effects_.begin(), effects_.end(), effectId) != effects_.end();
}

}  // namespace video
}  // namespace kelvo
