// The communications host's extension interface, as far as this library uses
// it: the objects the host hands to an extension (frames, the control object,
// the extension registry), the objects an extension hands back (provider and
// video filter), the frame-data record and the host library's two entries.
// Shared by the adapter (extension/) and the stand-in host (tools/host/).
//
// Virtual functions are declared in the host's slot order, which both sides
// must share; slots this library has no use for are still declared
// ("reserved...") so that later slots keep their place.
//
// References: every object counts its references atomically and deletes
// itself when release() drops the last one. A reference passed "by value"
// (an argument documented as taking the reference) belongs to the callee,
// which releases it when done.
#pragma once

#include <cstdint>

namespace kelvo {
namespace video {

// Slots 0 to 3 of every host-facing object.
class IHostRefCounted {
public:
    virtual void addRef() = 0;
    // 1 while references remain, 0 when the object deleted itself.
    virtual int release() = 0;
    virtual bool hasOneRef() const = 0;

protected:
    // Only release() deletes.
    virtual ~IHostRefCounted() = default;
};

// Kinds of HostFrameData::kind.
enum {
    kHostFramePixelBuffer = 0,
    kHostFrameTexture = 1,
};

// Levels of IHostControl::log that the adapter uses.
enum {
    kHostLogInfo = 1,
    kHostLogError = 4,
};

// What a host frame says about itself (IHostVideoFrame::getFrameData).
// The fields and their order are the host's; with 32-bit pointers the record
// is 116 bytes, here the pointer takes its natural size.
struct HostFrameData {
    int32_t kind = 0;           // kHostFrame...; other values are not processed
    int32_t textureType = 0;    // 1 2D texture, 2 external OES texture
    uint8_t* buffer = nullptr;  // I420 pixels, processed in place
    int32_t bufferSize = 0;     // bytes in buffer
    int32_t textureName = 0;    // replaced by the output texture after processing
    uint8_t reserved20[64] = {};
    int32_t width = 0;
    int32_t height = 0;
    int32_t reserved92 = 0;
    // ITU-T H.273 codes. The adapter presets primaries, transfer and matrix to
    // 2 (unspecified) and range to 0 (invalid) before the frame fills the
    // record, so a frame that knows nothing of its colour leaves them so.
    int32_t primariesCode = 0;  // not read
    int32_t transferCode = 0;   // not read
    int32_t matrixCode = 0;
    int32_t rangeCode = 0;  // 0 invalid, 1 limited, 2 full, 3 derived
    int32_t reserved112 = 0;
};

// A captured video frame owned by the host.
class IHostVideoFrame : public IHostRefCounted {
public:
    // Slot 4: fills the record; fields the frame does not know stay as given.
    virtual void getFrameData(HostFrameData* data) = 0;
};

// The host's side of one started filter.
class IHostControl : public IHostRefCounted {
public:
    // Slot 4: hands a processed frame on; takes the reference.
    virtual void deliverFrame(IHostVideoFrame* frame) = 0;
    virtual int reserved5() = 0;
    virtual int reserved6() = 0;
    // Slot 7: one printf-style log line. Callers pass text only through "%s".
    virtual void log(int level, const char* format, ...) __attribute__((format(printf, 3, 4))) = 0;
};

class IExtensionProvider;

// The host's registry of extension providers.
class IHostExtensionRegistry : public IHostRefCounted {
public:
    virtual int reserved4() = 0;
    // Slot 5: takes the provider reference. The result is not used.
    virtual int registerProvider(const char* name, IExtensionProvider* provider) = 0;
};

// Type codes of ExtensionRecord.
enum {
    kExtensionTypeVideoFilter = 1,
};

// One entry of IExtensionProvider::listExtensions.
struct ExtensionRecord {
    int typeCode = 0;
    const char* name = nullptr;  // static text of the provider
};

// A video filter as the host drives it.
class IExtensionVideoFilter : public IHostRefCounted {
public:
    virtual bool reserved4(void* a, void* b) = 0;
    virtual void reserved5(void* a) = 0;
    virtual bool reserved6() = 0;
    // Slot 7: one property (key and value are C texts, size the value's
    // byte count). 0, or −1 for a null text or a size of 0.
    virtual int setProperty(const char* key, const char* value, int size) = 0;
    virtual int reserved8(void* a, void* b, void* c) = 0;
    virtual bool reserved9() = 0;
    virtual void reserved10() = 0;
    virtual bool reserved11() = 0;
    virtual bool reserved12() = 0;
    // Slot 13: *mode 0 means the host calls adaptFrame, 1 processAndDeliver.
    virtual void queryProcessMode(int* mode, bool* flag) = 0;
    // Slot 14: starts with a control object (takes the reference). 0.
    virtual int start(IHostControl* control) = 0;
    // Slot 15. 0.
    virtual int stop() = 0;
    virtual void reserved16(int* a, int* b) = 0;
    // Slot 17: processes a frame (takes the reference) and, when it was
    // processed, delivers it through the control object. 0 processed, 1 not.
    virtual int processAndDeliver(IHostVideoFrame* frame) = 0;
    // Slot 18: processes a frame in place (takes the reference); when it was
    // processed, *out holds a reference to it. 0 processed, 1 not.
    virtual int adaptFrame(IHostVideoFrame* frame, IHostVideoFrame** out) = 0;
};

// What an extension library offers the host.
class IExtensionProvider : public IHostRefCounted {
public:
    virtual void reserved4(void* a) = 0;
    // Slot 5: writes the offered extensions into records and their number
    // into *count.
    virtual void listExtensions(ExtensionRecord* records, int* count) = 0;
    virtual void createReserved6(IHostRefCounted** out, const char* name) = 0;
    // Slot 7: a new filter with one reference for the caller, in *out.
    virtual void createVideoFilter(IExtensionVideoFilter** out, const char* name) = 0;
    virtual void createReserved8(IHostRefCounted** out, const char* name) = 0;
    virtual void reserved9(void* a, void* b) = 0;
};

// The host library and its entries. Ordinals are exported as C functions
// whose names carry the ordinal.
constexpr const char* kHostLibraryName = "libkelvo_rtc_sdk.so";
// Ordinal 9: announces an extension library's load callback under a provider
// name. The result is not used.
constexpr const char* kHostRegisterLoadCallbackEntry = "kelvo_rtc_sdk_ordinal_9";
// Ordinal 7: the extension registry (borrowed), or null while the host is
// not ready.
constexpr const char* kHostExtensionRegistryEntry = "kelvo_rtc_sdk_ordinal_7";

using HostLoadCallback = void (*)();
using HostRegisterLoadCallbackFunction = int (*)(const char* providerName,
                                                 HostLoadCallback callback);
using HostExtensionRegistryFunction = IHostExtensionRegistry* (*)();

}  // namespace video
}  // namespace kelvo
