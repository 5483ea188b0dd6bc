// A stand-in for the communications host library kelvo_rtc_sdk, for tests
// and demos only (libkelvo_rtc_sdk.so). It provides the host's two entries,
// ordinal 9 (kelvo_rtc_sdk_ordinal_9) and ordinal 7
// (kelvo_rtc_sdk_ordinal_7), the extension registry, frame and control
// objects (extension/host_interface.h), and a StandInHost object through
// which a host program drives and inspects all of it.
//
// A program that loads the library with dlopen finds everything through one
// entry: StandInHost* host = ((StandInHostFunction)dlsym(lib,
// kStandInHostEntry))(). All its objects count references for real;
// liveObjects() tells whether any were leaked. Thread-safe.
#pragma once

#include <string>
#include <vector>

#include "extension/host_interface.h"

namespace kelvo {
namespace rtc_sdk {

using video::HostFrameData;
using video::IExtensionProvider;
using video::IHostControl;
using video::IHostVideoFrame;

// A control object that keeps the lines logged through it and counts the
// frames delivered to it.
class StandInControl : public IHostControl {
public:
    struct LogLine {
        int level;
        std::string text;  // the line as the format produced it
    };
    virtual std::vector<LogLine> logLines() const = 0;
    virtual void clearLog() = 0;
    virtual int deliveredFrames() const = 0;
    virtual int references() const = 0;
};

// A frame that describes itself with a record given at creation.
class StandInFrame : public IHostVideoFrame {
public:
    virtual int references() const = 0;
};

class StandInHost {
public:
    // Provider names announced through ordinal 9, in order, since the last
    // reset().
    virtual std::vector<std::string> loadAnnouncements() const = 0;
    // Calls every announced load callback once, as the host does when its
    // extension system is up. Returns how many ran.
    virtual int runLoadCallbacks() = 0;
    // While not ready, ordinal 7 returns null. Ready after loading and reset().
    virtual void setReady(bool ready) = 0;

    // Names of the registered providers, in order.
    virtual std::vector<std::string> providerNames() const = 0;
    // The registered provider of that name (borrowed), or null.
    virtual IExtensionProvider* provider(const std::string& name) const = 0;

    // Releases the registry's providers. Call it before unloading extension
    // libraries: providers point into their code.
    virtual void releaseProviders() = 0;
    // releaseProviders(), forgets all announcements (their callbacks point
    // into extension code too) and makes the host ready.
    virtual void reset() = 0;

    // New objects with one reference for the caller.
    virtual StandInControl* createControl() = 0;
    // getFrameData copies the description's kind, texture type and name,
    // buffer, buffer size, width and height into the record, and its
    // primaries, transfer, matrix and range codes when they are not negative
    // (negative: the frame does not know, the record keeps its preset). The
    // buffer is not owned.
    virtual StandInFrame* createFrame(const HostFrameData& description) = 0;
    // Controls and frames currently alive.
    virtual int liveObjects() const = 0;

protected:
    ~StandInHost() = default;
};

constexpr const char* kStandInHostEntry = "kelvo_rtc_sdk_stand_in_host";
using StandInHostFunction = StandInHost* (*)();

}  // namespace rtc_sdk
}  // namespace kelvo

#define KELVO_RTC_SDK_EXPORT extern "C" __attribute__((visibility("default")))

KELVO_RTC_SDK_EXPORT int kelvo_rtc_sdk_ordinal_9(const char* providerName,
                                                 kelvo::video::HostLoadCallback callback);
KELVO_RTC_SDK_EXPORT kelvo::video::IHostExtensionRegistry* kelvo_rtc_sdk_ordinal_7();
KELVO_RTC_SDK_EXPORT kelvo::rtc_sdk::StandInHost* kelvo_rtc_sdk_stand_in_host();
