// The video library inside a host: the stand-in host library is loaded
// first, then libkelvo_video_process.so with dlopen, and everything is
// reached through the host-facing interface only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "kelvo/video_process_engine.h"
#include "gl_driver_pin.h"

namespace kelvo {
namespace video {
namespace {

using rtc_sdk::StandInControl;
using rtc_sdk::StandInFrame;
using rtc_sdk::StandInHost;

constexpr int kW = 96, kH = 64;
constexpr const char* kEnableBeauty = R"({"enable": 1, "smoothness": 1.0, "lightness": 0.8})";

int propertySize(const char* value) { return static_cast<int>(std::strlen(value)); }

bool logged(StandInControl* control, int level, const std::string& text) {
    for (const auto& line : control->logLines())
        if (line.level == level && line.text == text) return true;
    return false;
}

// The video library is loaded once, by the first test, and stays: unloading
// it is the host demo's part (below), in a process of its own.
void* videoLibrary() {
    static void* library = dlopen(KELVO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    return library;
}

class HostedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        host = standInHost();
        ASSERT_NE(host, nullptr) << "stand-in host library not loadable";
        host->releaseProviders();
        host->setReady(true);
        objectsAtStart = host->liveObjects();
        ASSERT_NE(videoLibrary(), nullptr) << dlerror();
    }
    void TearDown() override {
        if (filter) filter->release();
        if (control) control->release();
        host->releaseProviders();
    }

    IExtensionProvider* registeredProvider() {
        host->runLoadCallbacks();
        return host->provider("kelvo");
    }
    // A filter from the provider and a control object, both held by the test.
    void createFilter() {
        IExtensionProvider* provider = registeredProvider();
        ASSERT_NE(provider, nullptr);
        provider->createVideoFilter(&filter, "beauty");
        ASSERT_NE(filter, nullptr);
        control = host->createControl();
    }
    int start() {
        control->addRef();  // start takes a reference
        const int r = filter->start(control);
        keepGLDriverLoaded();
        return r;
    }
    // One frame through adaptFrame, as the host passes it (with a reference
    // for the filter). Returns the result; *out is released here.
    int adapt(std::vector<uint8_t>& pixels, const HostFrameData* description = nullptr) {
        HostFrameData d = description ? *description : pixelFrameDescription(pixels, kW, kH);
        StandInFrame* frame = host->createFrame(d);
        IHostVideoFrame* out = nullptr;
        frame->addRef();
        const int r = filter->adaptFrame(frame, &out);
        EXPECT_EQ(r == 0, out == frame);
        EXPECT_EQ(frame->references(), r == 0 ? 2 : 1) << "the filter keeps no reference";
        if (out) out->release();
        frame->release();
        return r;
    }

    StandInHost* host = nullptr;
    int objectsAtStart = 0;
    IExtensionVideoFilter* filter = nullptr;
    StandInControl* control = nullptr;
};

TEST_F(HostedLibrary, LoadingAnnouncesTheCallbackOnceAndTheCallbackRegistersTheProvider) {
    EXPECT_EQ(host->loadAnnouncements(), std::vector<std::string>{"kelvo"});
    EXPECT_TRUE(host->providerNames().empty()) << "nothing registers before the callback";

    EXPECT_EQ(host->runLoadCallbacks(), 1);
    EXPECT_EQ(host->providerNames(), std::vector<std::string>{"kelvo"});
    IExtensionProvider* provider = host->provider("kelvo");
    ASSERT_NE(provider, nullptr);
    EXPECT_TRUE(provider->hasOneRef()) << "the registry holds the only reference";
}

TEST_F(HostedLibrary, HostWithoutRegistryLeavesTheLibraryUnregistered) {
    host->setReady(false);
    EXPECT_EQ(host->runLoadCallbacks(), 1);
    EXPECT_TRUE(host->providerNames().empty());
}

TEST_F(HostedLibrary, ProviderOffersOneBeautyFilterUnderAnyName) {
    IExtensionProvider* provider = registeredProvider();
    ASSERT_NE(provider, nullptr);
    ExtensionRecord records[3];
    int count = 0;
    provider->listExtensions(records, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(records[0].typeCode, kExtensionTypeVideoFilter);
    EXPECT_STREQ(records[0].name, "beauty");
    EXPECT_EQ(records[1].name, nullptr);

    IExtensionVideoFilter* created = nullptr;
    provider->createVideoFilter(&created, "no such filter");
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->hasOneRef());
    EXPECT_EQ(created->release(), 0);

    auto* sentinel = reinterpret_cast<IHostRefCounted*>(provider);
    IHostRefCounted* other = sentinel;
    provider->createReserved6(&other, "beauty");
    EXPECT_EQ(other, nullptr);
    other = sentinel;
    provider->createReserved8(&other, "beauty");
    EXPECT_EQ(other, nullptr);
}

TEST_F(HostedLibrary, FilterAnswersTheHostsQueriesWithFixedValues) {
    createFilter();
    int mode = -1;
    bool flag = false;
    filter->queryProcessMode(&mode, &flag);
    EXPECT_EQ(mode, 0);
    EXPECT_TRUE(flag);
    int a = -1, b = -1;
    filter->reserved16(&a, &b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_TRUE(filter->reserved4(nullptr, nullptr));
    EXPECT_TRUE(filter->reserved6());
    EXPECT_EQ(filter->reserved8(nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(filter->reserved9() && filter->reserved11() && filter->reserved12());
}

TEST_F(HostedLibrary, FilterBeforeStartAcceptsPropertiesAndLeavesFramesAlone) {
    createFilter();
    EXPECT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    EXPECT_EQ(filter->setProperty("beauty_effect_option", kEnableBeauty, 0), -1);
    EXPECT_EQ(filter->setProperty(nullptr, kEnableBeauty, 5), -1);
    EXPECT_EQ(filter->setProperty("beauty_effect_option", nullptr, 5), -1);

    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    const std::vector<uint8_t> original = pixels;
    EXPECT_EQ(adapt(pixels), 1);
    EXPECT_EQ(pixels, original);
    EXPECT_EQ(filter->adaptFrame(nullptr, nullptr), 1);
    EXPECT_EQ(filter->processAndDeliver(nullptr), 1);
}

TEST_F(HostedLibrary, StartedFilterProcessesFramesOnlyOnceAPropertyEnablesAnEffect) {
    createFilter();
    ASSERT_EQ(start(), 0);
    EXPECT_TRUE(logged(control, kHostLogInfo, "kelvo beauty extension inited"));

    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    const std::vector<uint8_t> original = pixels;
    EXPECT_EQ(adapt(pixels), 1) << "effects are selected but none is enabled";
    EXPECT_EQ(pixels, original);

    // A property of size 0 never reaches the engine.
    EXPECT_EQ(filter->setProperty("beauty_effect_option", kEnableBeauty, 0), -1);
    EXPECT_EQ(adapt(pixels), 1);

    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    EXPECT_TRUE(logged(control, kHostLogInfo, "setBeautyEnable :1"));
    EXPECT_EQ(adapt(pixels), 0);
    EXPECT_GT(meanAbsDifference(pixels, original), 2.0) << "smoothed and lightened";
    EXPECT_TRUE(logged(control, kHostLogInfo, "inner effects: 10 103 203 202 201 901 "));

    // Processed frames are not delivered: the host asked for adaptFrame.
    EXPECT_EQ(control->deliveredFrames(), 0);
}

TEST_F(HostedLibrary, AdaptFrameKeepsAnOutReferenceThatAlreadyHoldsTheFrame) {
    createFilter();
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    StandInFrame* frame = host->createFrame(pixelFrameDescription(pixels, kW, kH));
    StandInFrame* previous = host->createFrame(pixelFrameDescription(pixels, kW, kH));

    IHostVideoFrame* out = previous;  // the host's reference moves into out
    frame->addRef();
    ASSERT_EQ(filter->adaptFrame(frame, &out), 0);
    EXPECT_EQ(out, frame);
    EXPECT_EQ(frame->references(), 2);
    frame->addRef();
    ASSERT_EQ(filter->adaptFrame(frame, &out), 0);
    EXPECT_EQ(frame->references(), 2) << "out already held it: no second reference";
    out->release();
    EXPECT_TRUE(frame->hasOneRef());
    EXPECT_EQ(frame->release(), 0);
    EXPECT_EQ(host->liveObjects(), objectsAtStart + 1) << "only the control is left";
}

TEST_F(HostedLibrary, InvalidOrHostileDocumentsAreAcceptedAndLoggedAsText) {
    createFilter();
    ASSERT_EQ(start(), 0);
    // Not JSON: accepted by the filter, refused by the engine with an error.
    const char* hostile = "%n%s%x";
    EXPECT_EQ(filter->setProperty("beauty_effect_option", hostile, propertySize(hostile)), 0);
    EXPECT_TRUE(logged(control, kHostLogError, "setParameter failed, invalid json string"));
    const char* inString = R"({"enable": 1, "note": "%n%s%x%p"})";
    EXPECT_EQ(filter->setProperty("beauty_effect_option", inString, propertySize(inString)), 0);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    EXPECT_EQ(adapt(pixels), 0) << "the second document enabled beauty";
}

// The frame knows nothing of its colour, so the presets (matrix 2, range 0)
// reach the engine as "not given": SMPTE 170M, full range. The same frame
// described as exactly that must come out identical, and as BT.709 limited
// range different.
TEST_F(HostedLibrary, PresetColorCodesReachTheEngineAsNotGiven) {
    createFilter();
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    auto processWith = [&](int matrixCode, int rangeCode) {
        std::vector<uint8_t> pixels = skinFrame(kW, kH);
        HostFrameData d = pixelFrameDescription(pixels, kW, kH);
        d.matrixCode = matrixCode;
        d.rangeCode = rangeCode;
        EXPECT_EQ(adapt(pixels, &d), 0);
        return pixels;
    };
    const std::vector<uint8_t> presets = processWith(-1, -1);
    EXPECT_EQ(processWith(6, 2), presets) << "H.273 SMPTE 170M, full range";
    EXPECT_EQ(processWith(2, 3), presets) << "unspecified matrix, derived range";
    EXPECT_NE(processWith(1, 1), presets) << "BT.709, limited range";
}

TEST_F(HostedLibrary, RecordsOfOtherKindsAreNotProcessed) {
    createFilter();
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    const std::vector<uint8_t> original = pixels;
    HostFrameData d = pixelFrameDescription(pixels, kW, kH);
    d.kind = 2;
    EXPECT_EQ(adapt(pixels, &d), 1);
    // The host's size is what the engine checks the buffer against.
    d.kind = kHostFramePixelBuffer;
    d.bufferSize = kW * kH;
    EXPECT_EQ(adapt(pixels, &d), 1);
    EXPECT_EQ(pixels, original);
}

TEST_F(HostedLibrary, RestartReplacesEngineAndKeepsOneControlReference) {
    createFilter();
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(control->references(), 3) << "the test's, the filter's and the core's";
    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    ASSERT_EQ(adapt(pixels), 0);

    ASSERT_EQ(start(), 0);  // same control again
    EXPECT_EQ(control->references(), 3);
    pixels = skinFrame(kW, kH);
    EXPECT_EQ(adapt(pixels), 1) << "a fresh engine has no effect enabled";

    StandInControl* second = host->createControl();
    second->addRef();
    ASSERT_EQ(filter->start(second), 0);
    EXPECT_EQ(control->references(), 1) << "the old control is let go";
    EXPECT_EQ(second->references(), 3);
    EXPECT_TRUE(logged(second, kHostLogInfo, "kelvo beauty extension inited"));
    second->release();
}

TEST_F(HostedLibrary, StopAndReleaseReturnEveryReference) {
    createFilter();
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(
        filter->setProperty("beauty_effect_option", kEnableBeauty, propertySize(kEnableBeauty)), 0);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(adapt(pixels), 0);

    EXPECT_EQ(filter->stop(), 0);
    EXPECT_EQ(adapt(pixels), 1);
    EXPECT_EQ(filter->stop(), 0) << "a second stop does nothing";
    EXPECT_EQ(control->references(), 2) << "the filter keeps its control until it goes";
    EXPECT_EQ(filter->release(), 0);
    filter = nullptr;
    EXPECT_TRUE(control->hasOneRef());
    EXPECT_EQ(control->release(), 0);
    control = nullptr;
    EXPECT_EQ(host->liveObjects(), objectsAtStart);
}

// A process with no host library at all: loading announces nothing, and the
// engine works through its factory. Runs in a fresh process of its own.
int runWithoutHost() {
    if (dlopen(KELVO_HOST_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD)) return 2;
    void* library = dlopen(KELVO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library) return 3;
    auto create = reinterpret_cast<IVideoProcessEngine* (*)(bool)>(
        dlsym(library, "createVideoProcessEngine"));
    if (!create) return 4;
    std::unique_ptr<IVideoProcessEngine> engine(create(false));
    if (!engine || engine->init("") != 0) return 5;
    keepGLDriverLoaded();
    engine->setVideoEffects({kEffectBeauty});
    engine->setParameter("beauty_effect_option", kEnableBeauty);
    std::vector<uint8_t> pixels = skinFrame(kW, kH);
    const std::vector<uint8_t> original = pixels;
    const int r = engine->processFrame(kPixelFormatI420, kW, kH, pixels.data(),
                                       static_cast<int>(pixels.size()), -1, -1, -1, -1);
    engine->release();
    if (r != 0 || pixels == original) return 6;
    return 0;
}

TEST(HostlessProcess, LibraryLoadsAndWorksThroughItsFactory) {
    // An emulated build cannot start its own program again: it forks.
    GTEST_FLAG_SET(death_test_style, *KELVO_TEST_EMULATOR ? "fast" : "threadsafe");
    EXPECT_EXIT(std::exit(runWithoutHost()), ::testing::ExitedWithCode(0), "");
}

// The host program runs the whole sequence, unloading included, in a process
// of its own, with the host library loaded privately (RTLD_LOCAL).
TEST(HostDemo, DrivesTheFilterThroughAStreamOfFramesAndUnloads) {
    // Under LeakSanitizer: unloading the video library orphans what its
    // process-wide framebuffer cache and the GL driver still hold. The demo
    // counts the host's objects itself.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
    const std::string command = std::string(KELVO_TEST_EMULATOR KELVO_HOST_DEMO_PATH) + " --frames 12 " +
                                KELVO_HOST_LIBRARY_PATH + " " + KELVO_LIBRARY_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << output;
    for (const char* expected :
         {"load callback announced by provider \"kelvo\"", "extension: type 1, name \"beauty\"",
          "frame 0: not processed (1)", "frame 5: processed (0)",
          "[1] kelvo beauty extension inited", "new announcements: 0",
          "video library left the process", "frames processed: 7 of 12; host objects left: 0"})
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
}

}  // namespace
}  // namespace video
}  // namespace kelvo
