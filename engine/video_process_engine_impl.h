// The engine behind IVideoProcessEngine: effect selection and the chain it
// implies, parameter documents, both processing entry points and the per-frame
// automatic adjustments.
//
// Locking: setVideoEffects, setParameter, processFrame and processTexture hold
// `mutex` for their whole duration; everything below them (render engine,
// effects, detection engine) runs under it and takes no lock of its own.
// init, setObserver, getInfo, setResourceBundle and release take no lock and
// must not overlap the locked operations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/frame_conversion.h"
#include "engine/automatic_adjustments.h"
#include "engine/parameter_store.h"
#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class FramebufferCache;
class I420VideoFrame;
class RenderEngine;
class NativeDetectEngine;

class VideoProcessEngineImpl : public IVideoProcessEngine {
public:
    explicit VideoProcessEngineImpl(bool useExternalContext);
    ~VideoProcessEngineImpl() override;

    VideoProcessEngineImpl(const VideoProcessEngineImpl&) = delete;
    VideoProcessEngineImpl& operator=(const VideoProcessEngineImpl&) = delete;

    int init(const char* config) override;
    int setObserver(IVideoProcessObserver* observer) override;
    const char* getInfo(const char* key) override;
    int setResourceBundle(const char* path) override;
    int setVideoEffects(const std::vector<int>& effects) override;
    int setParameter(const char* key, const char* value) override;
    int processFrame(int format, int width, int height, uint8_t* buffer, int size, int reserved1,
                     int reserved2, int colorMatrix, int colorRange) override;
    int processTexture(int textureType, int width, int height, int textureId,
                       int* outTextureId) override;
    int release() override;

    // setParameter that also hands back what it refused, as data (the C
    // interface reports it to its caller); the same result and log lines.
    int setParameterReporting(const char* key, const char* value,
                              std::vector<ParameterRejection>* rejections);

    // processFrame for a picture given by planes and strides, read and
    // written where it lies. streamTimeMs: the frame's stream time for the
    // automatic modes; without it they take the wall clock. Results and
    // observer reports as processFrame's.
    int processPlanes(const PlaneBuffer& picture, int colorMatrix, int colorRange,
                      std::optional<int64_t> streamTimeMs);

    // Engine-internal setters shared by the parameter document and the
    // automatic adjustments; they log a change once. The render engine must
    // exist. Return 0.
    int setVideoDenoiserMode(int mode);
    int setVideoDenoiserLevel(int level);

    // Read-only views for diagnostics and tests.
    const std::vector<int>& effects() const { return effects_; }
    const std::vector<int>& chainTypes() const { return chainTypes_; }
    const std::vector<int>& detectionKinds() const { return detectionKinds_; }
    bool chainDirty() const { return chainDirty_; }
    bool inited() const { return inited_; }
    bool cpuBackend() const { return cpuBackend_; }
    bool darkScene() const { return automatic_.darkScene(); }
    RenderEngine* renderEngine() const { return renderEngine_.get(); }
    NativeDetectEngine* detectEngine() const { return detectEngine_.get(); }
    // The caller-set effect state (effectState_), as the engine decides on it.
    bool beautyEnabled() const;
    bool colorEnhanceEnabled() const;
    bool videoDenoiserEnabled() const;
    bool lowlightEnhanceEnabled() const;
    int videoDenoiserMode() const;
    int videoDenoiserLevel() const;
    int lowlightEnhanceMode() const;
    int lowlightEnhanceLevel() const;

private:
    // The operations themselves. The public ones run them through guard(),
    // so that nothing they throw reaches the caller.
    int initUnguarded(const char* config);
    const char* getInfoUnguarded(const char* key);
    int setResourceBundleUnguarded(const char* path);
    int setVideoEffectsUnguarded(const std::vector<int>& effects);
    int setParameterUnguarded(const char* key, const char* value,
                              std::vector<ParameterRejection>* rejections = nullptr);
    int processFrameUnguarded(int format, int width, int height, uint8_t* buffer, int size,
                              int colorMatrix, int colorRange);
    int processTextureUnguarded(int textureType, int width, int height, int textureId,
                                int* outTextureId);
    int releaseUnguarded();
    int processPlanesUnguarded(const PlaneBuffer& picture, int colorMatrix, int colorRange,
                               std::optional<int64_t> streamTimeMs);
    // The steps both take. describe(PlaneBuffer&) runs once the chain is
    // ready: it fills in the caller's picture, or logs why there is none and
    // returns the result to report.
    template <class Describe>
    int processPictureUnguarded(int colorMatrix, int colorRange,
                                std::optional<int64_t> streamTimeMs, Describe&& describe);
    // Logs "<operation> fail, <cause>" at kLogError without allocating; an
    // observer that throws is ignored.
    void logFailure(const char* operation, const char* cause) const noexcept;
    // After a processing call threw: the chain is built afresh on the next
    // frame, and the observer hears −1.
    void markChainDirty(const char* operation) noexcept;
    // body(), or `failed` with logFailure when it throws.
    template <class Result, class Body>
    Result guard(const char* operation, Result failed, Body&& body) const noexcept;

    bool rebuildChain(bool textureInput);
    bool rebuildDetections();
    // The automatic modes for one frame at its time `nowMs`, after detection
    // and before rendering. 0, −1 without render engine, −6 without a frame.
    int applyAutomaticAdjustmentsAt(const std::shared_ptr<I420VideoFrame>& frame, int64_t nowMs);
    // Rebuilds chain and detections when the selection changed and replays
    // the stored parameter documents. 0; −6 when the chain cannot be built;
    // −1 (logged for `operation`) when GL could not make the effects'
    // textures. The chain stays marked for rebuilding on failure.
    int rebuildIfDirty(bool textureInput, const char* operation);
    // Forwards accepted members to the render engine and the effect state;
    // nothing without a render engine.
    void applyParameterSettings(const std::vector<ParameterSetting>& settings);
    // One member: to the render engine, and to effectState_ (logged on a
    // change) when the engine keeps it.
    void applySetting(const EffectDescriptor& effect, size_t index, const SettingValue& value);
    // Applies every remembered member, keys in byte order.
    void replayParameters();
    // −3 before init, −4 while no effect is enabled (reported to the
    // observer); 0 when a frame may be processed.
    int refuseProcessing() const;
    // Why processTexture's arguments cannot name a texture to process (needs
    // the GL context current), or null when they can.
    static const char* textureArgumentFault(int textureType, int width, int height, int textureId,
                                            const int* outTextureId);
    // After a render failure: when GL failed to make or fill storage since
    // `failuresBefore` (glFailureCount), logs it and marks the chain for
    // rebuilding.
    void failedInGL(const char* operation, unsigned failuresBefore, int width, int height);
    void releaseResources();
    void log(int level, const std::string& message) const;
    void reportProcessResult(int code) const;
    bool contains(int effectId) const;

    std::mutex mutex_;
    // Framebuffers of the caller's context (external only): never mixed with
    // the private context's pool.
    std::shared_ptr<FramebufferCache> callerPool_;
    std::unique_ptr<RenderEngine> renderEngine_;
    std::unique_ptr<NativeDetectEngine> detectEngine_;
    std::vector<int> effects_;
    std::vector<int> chainTypes_;
    std::vector<int> detectionKinds_;
    bool chainDirty_ = true;
    ParameterStore pendingParameters_;
    // Enable states, modes and levels; kept across release and init.
    EffectState effectState_;
    bool useExternalContext_;
    bool inited_ = false;
    bool contextUser_ = false;  // registered with the private GL context
    bool cpuBackend_ = false;   // the render engine is the CPU one; no GL at all
    std::string renderer_;
    // Survives release and init, as the enable states do.
    AutomaticAdjustments automatic_;
    IVideoProcessObserver* observer_ = nullptr;
    // The caller's buffer to the frame and back (processFrame only).
    BufferRoundTrip bufferRoundTrip_;
};

}  // namespace video
}  // namespace kelvo
