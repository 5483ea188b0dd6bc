// Public interface of the kelvo video-processing library.
//
// A caller creates an engine with createVideoProcessEngine(), initialises it,
// selects effects with setVideoEffects(), tunes them with JSON parameter
// documents through setParameter(), and hands it frames, either as pixel
// buffers (processed in place) or as OpenGL textures.
//
// Threading: setVideoEffects, setParameter, processFrame and processTexture
// take the engine's lock and may be called from any thread. init,
// setObserver, getInfo, setResourceBundle and release take no lock and must
// not overlap any other call of the same engine.
//
// Results are integer codes; no exception leaves the interface.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Only the library's own build (KELVO_VIDEO_BUILDING) exports the factory;
// a consumer on Windows imports it from the DLL.
#if defined(_WIN32) && defined(KELVO_VIDEO_BUILDING)
#define KELVO_VIDEO_API __declspec(dllexport)
#elif defined(_WIN32)
#define KELVO_VIDEO_API __declspec(dllimport)
#else
#define KELVO_VIDEO_API __attribute__((visibility("default")))
#endif

namespace kelvo {
namespace video {

// Effect identifiers accepted by IVideoProcessEngine::setVideoEffects.
enum {
    kEffectBeauty = 101,
    kEffectColorEnhance = 102,
    kEffectVideoDenoiser = 103,
    kEffectLowLightEnhance = 104,
};

// Pixel-format ids of IVideoProcessEngine::processFrame. The packed formats
// are named as libyuv names them, after the order of the channels in a
// little-endian 32-bit word, so the bytes in memory run the other way.
enum {
    kPixelFormatI420 = 1,
    kPixelFormatI422 = 2,
    kPixelFormatNV21 = 3,
    kPixelFormatNV12 = 4,
    kPixelFormatYV12 = 5,
    kPixelFormatRGBA = 6,  // bytes A, B, G, R
    kPixelFormatARGB = 7,  // bytes B, G, R, A
    kPixelFormatBGRA = 8,  // bytes A, R, G, B
};

// Texture types of IVideoProcessEngine::processTexture.
enum {
    kTexture2D = 1,
    kTextureExternalOES = 2,
};

// Colour matrix codes (−1: not given, the engine then uses SMPTE 170M).
enum {
    kColorMatrixUnspecified = -1,
    kColorMatrixRGB = 0,
    kColorMatrixBT709 = 1,
    kColorMatrixFCC = 2,
    kColorMatrixBT470BG = 3,
    kColorMatrixSMPTE170M = 4,
    kColorMatrixSMPTE240M = 5,
    kColorMatrixYCgCo = 6,
    kColorMatrixBT2020NCL = 7,
    kColorMatrixBT2020CL = 8,
    kColorMatrixSMPTE2085 = 9,
};

// Colour range codes (−1: not given, the engine then uses full range).
enum {
    kColorRangeUnspecified = -1,
    kColorRangeLimited = 0,
    kColorRangeFull = 1,
};

// Result codes of the engine operations.
enum {
    kResultOk = 0,
    kResultFailed = -1,
    kResultNotInitialized = -3,
    kResultNoEffectEnabled = -4,
    kResultInvalidArgument = -6,
    kResultInvalidJson = -7,
};

// Log levels of IVideoProcessObserver::onLog.
enum {
    kLogInfo = 0,
    kLogError = 1,
    kLogDetail = 2,
};

// Base of the per-frame analysis records handed to
// IVideoProcessObserver::onDetectionResult. metadataKind 1 is the brightness
// statistics record.
class IMetaDataInfo {
public:
    explicit IMetaDataInfo(int kind = 0) : metadataKind(kind) {}
    virtual ~IMetaDataInfo() = default;
    int metadataKind;
};

// Receiver of the engine's logs and results, implemented by the caller. The
// engine never owns or deletes it; calls arrive synchronously on the thread
// that called the engine.
class IVideoProcessObserver {
public:
    virtual ~IVideoProcessObserver() = default;
    // 0 at the end of a successful init.
    virtual void onInitialized(int code) = 0;
    // level: kLogInfo, kLogError or kLogDetail.
    virtual void onLog(int level, const char* message) = 0;
    // After each detector ran; the record may be empty.
    virtual void onDetectionResult(int result, int detectionKind,
                                   const std::shared_ptr<IMetaDataInfo>& record) = 0;
    // After each enabled stage of the chain drew: effects with their public
    // identifier, the conversions between planes and RGB with −1. result is
    // the stage's status (0 done, 1 left untouched, negative: dropped from
    // this frame, which the processing call does not report as a failure).
    virtual void onEffectResult(int result, int effectId) = 0;
    // The result code of a processing call.
    virtual void onProcessResult(int code) = 0;
};

class IVideoProcessEngine {
public:
    virtual ~IVideoProcessEngine() = default;

    // Creates the sub-engines on the rendering backend `config` chooses: a
    // JSON object (null, "" and "{}" mean the defaults) with "backend"
    // ("auto" default, "gpu", "cpu") and "threads" (an integer >= 0 for the
    // CPU backend's workers; 0 automatic, 1 none). "auto" takes the GPU
    // unless no GL 3.3 context can be made or its renderer rasterises in
    // software, then the CPU; an engine on the caller's context always uses
    // GL. The GPU backend obtains the process-wide GL context (unless it
    // uses the caller's); the CPU backend makes no GL call and takes no
    // process-wide lock. 0; −6 (with an error log) for invalid JSON, a
    // non-object, an unknown backend or a bad thread count; −1 when "gpu"
    // was asked for and no usable GL context exists. On failure the engine
    // stays uninitialised and init may be retried.
    virtual int init(const char* config) = 0;

    // Stores the observer (not owned; null removes it). Returns 0.
    virtual int setObserver(IVideoProcessObserver* observer) = 0;

    // Facts about the engine, as text owned by the engine (valid until the
    // next call on it): "version" (as KELVO_VIDEO_VERSION_STRING), "backend"
    // ("gpu" or "cpu"; "" before init), "renderer" (the GL renderer, or "cpu"),
    // "dark_scene" and "noisy" ("0" or "1": the automatic modes' verdicts on
    // the last processed frame; "" before a frame had brightness
    // statistics). Every other key, and null, gives "".
    virtual const char* getInfo(const char* key) = 0;

    // Logs the path; the lookup tables are embedded in the library. 0 or −3.
    virtual int setResourceBundle(const char* path) = 0;

    // Selects effects by identifier (kEffect...). 0, −3 before init, −6 for
    // an empty list (the previous selection stays).
    virtual int setVideoEffects(const std::vector<int>& effects) = 0;

    // Applies a JSON parameter document to one option group:
    // "beauty_effect_option", "color_enhance_option", "video_denoiser_option",
    // "lowlight_enhance_option" or "environment". Accepted members are
    // remembered per key, a later value replacing the same member of an
    // earlier document, and applied again whenever the effect chain is
    // rebuilt. Each rejected member, unknown member, unknown key or root that
    // is not an object is logged at kLogError as one line
    // "setParameter rejected: ..." and changes nothing. An invalid JSON text
    // is logged and remembers nothing.
    // 0, −3 before init (valid documents are remembered all the same and
    // applied by init; invalid JSON is −3 too), −6 null key or value, −7
    // invalid JSON.
    virtual int setParameter(const char* key, const char* value) = 0;

    // Processes a pixel buffer in place. format: kPixelFormat...; size: bytes
    // in buffer; colorMatrix / colorRange: codes above, −1 when not given.
    // reserved1 and reserved2 are not read.
    // 0, −1 failure, −3 not initialised, −4 no effect enabled, −6 invalid
    // arguments or no setVideoEffects yet. On any result but 0 the buffer
    // holds the bytes it came with. Memory or GL storage that runs out fails
    // the frame with −1 and one kLogError line; the engine stays usable, and
    // the next frame that fits processes normally.
    virtual int processFrame(int format, int width, int height, uint8_t* buffer, int size,
                             int reserved1, int reserved2, int colorMatrix, int colorRange) = 0;

    // Processes a texture of the current GL context (GPU backend only: −6
    // with an error log on the CPU backend). On success
    // *outTextureId names the output texture, valid until the next
    // processing call of this engine. −6 (with an error log) when textureId
    // is not a texture of the current context, textureType is not a
    // kTexture... value, a size is not 1..16384 or outTextureId is null.
    virtual int processTexture(int textureType, int width, int height, int textureId,
                               int* outTextureId) = 0;

    // Deletes the render engine and the GL resources. Returns 0. init may be
    // called again afterwards.
    virtual int release() = 0;
};

}  // namespace video
}  // namespace kelvo

// Creates a new, uninitialised engine; null only when allocation fails.
// useExternalContext: the caller owns the GL context and has it current for
// init, every processing call and release; the engine puts back the GL
// state it changes there. Otherwise the engine uses a private context and
// afterwards makes current again whatever context and surfaces the thread had
// current. GL diagnostics go to standard error and, at level 1, to the
// observer. Destroy the engine with delete.
extern "C" KELVO_VIDEO_API kelvo::video::IVideoProcessEngine* createVideoProcessEngine(
    bool useExternalContext);
