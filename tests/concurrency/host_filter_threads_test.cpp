// The host's "beauty" filter driven from several threads at once, as a host
// may: properties set while frames flow, stop and start while frames flow,
// and one stream's filter started and stopped while another stream runs.
// Every call must return one of its documented results, no reference may be
// lost or kept, and frames that come after the filter settles are processed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extension/beauty_extension_provider.h"
#include "extension/host_interface.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 64, kH = 48;

// Host objects of the test: real reference counts, thread-safe.
class Control : public IHostControl {
public:
    void addRef() override { refs_.fetch_add(1); }
    int release() override {
        if (refs_.fetch_sub(1) == 1) {
            delete this;
            return 0;
        }
        return 1;
    }
    bool hasOneRef() const override { return refs_.load() == 1; }
    void deliverFrame(IHostVideoFrame* frame) override { frame->release(); }
    int reserved5() override { return 0; }
    int reserved6() override { return 0; }
    void log(int level, const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::to_string(level) + " " + text);
    }
    int references() const { return refs_.load(); }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    ~Control() override = default;
    std::atomic<int> refs_{1};
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class Frame : public IHostVideoFrame {
public:
    explicit Frame(std::vector<uint8_t>* pixels) : pixels_(pixels) {}
    void addRef() override { refs_.fetch_add(1); }
    int release() override {
        if (refs_.fetch_sub(1) == 1) {
            delete this;
            return 0;
        }
        return 1;
    }
    bool hasOneRef() const override { return refs_.load() == 1; }
    void getFrameData(HostFrameData* data) override {
        data->kind = kHostFramePixelBuffer;
        data->buffer = pixels_->data();
        data->bufferSize = static_cast<int32_t>(pixels_->size());
        data->width = kW;
        data->height = kH;
    }
    int references() const { return refs_.load(); }

private:
    ~Frame() override = default;
    std::vector<uint8_t>* pixels_;
    std::atomic<int> refs_{1};
};

// A noisy skin-toned frame: beauty visibly smooths it.
std::vector<uint8_t> skinPixels(int seed) {
    std::vector<uint8_t> pixels(kW * kH * 3 / 2);
    for (int i = 0; i < kW * kH; ++i)
        pixels[i] = static_cast<uint8_t>(150 + ((i * 37 + seed * 11) % 41) - 20);
    for (int i = kW * kH; i < kW * kH * 3 / 2; ++i)
        pixels[i] = static_cast<uint8_t>(i < kW * kH * 5 / 4 ? 110 : 155);
    return pixels;
}

const char kBeautyOn[] = R"({"enable":1,"smoothness":0.9,"lightness":0.3})";

int setBeauty(IExtensionVideoFilter* filter, const char* document) {
    return filter->setProperty("beauty_effect_option", document,
                               static_cast<int>(std::string(document).size()));
}

// One frame through adaptFrame as the host does it. Returns the filter's
// result, or -100 when a reference was lost or kept; *changed tells whether
// the pixels changed.
int passFrame(IExtensionVideoFilter* filter, int seed, bool* changed = nullptr) {
    std::vector<uint8_t> pixels = skinPixels(seed);
    const std::vector<uint8_t> before = pixels;
    auto* frame = new Frame(&pixels);
    IHostVideoFrame* out = nullptr;
    frame->addRef();  // adaptFrame takes this one
    const int result = filter->adaptFrame(frame, &out);
    int references = frame->references();
    if (out) {
        if (out != frame) return -100;
        out->release();
        --references;
    }
    const bool balanced = references == 1 && (result == 0) == (out != nullptr);
    frame->release();
    if (changed) *changed = pixels != before;
    return balanced ? result : -100;
}

class HostFilterThreads : public ::testing::Test {
protected:
    void SetUp() override {
        provider = new BeautyExtensionProvider();
        provider->addRef();
        control = new Control();
    }
    void TearDown() override {
        EXPECT_EQ(control->references(), 1) << "the filters let go of the control";
        control->release();
        provider->release();
    }
    IExtensionVideoFilter* startedFilter() {
        IExtensionVideoFilter* filter = nullptr;
        provider->createVideoFilter(&filter, kBeautyExtensionName);
        control->addRef();  // start takes it
        EXPECT_EQ(filter->start(control), 0);
        return filter;
    }

    BeautyExtensionProvider* provider = nullptr;
    Control* control = nullptr;
};

TEST_F(HostFilterThreads, PropertiesSetOnOneThreadWhileFramesFlowOnAnother) {
    IExtensionVideoFilter* filter = startedFilter();
    std::atomic<bool> done{false};
    std::atomic<int> badProperty{0};
    std::thread tuner([&] {
        const char* documents[] = {kBeautyOn, R"({"enable":0})", R"({"enable":1,"smoothness":0.2})",
                                   "not json", R"({"enable":1,"redness":0.5,"sharpness":0.6})"};
        for (int i = 0; !done; ++i) {
            if (setBeauty(filter, documents[i % 5]) != 0) ++badProperty;
            const std::string color = R"({"enable":)" + std::to_string(i % 2) + "}";
            if (filter->setProperty("color_enhance_option", color.c_str(),
                                    static_cast<int>(color.size())) != 0)
                ++badProperty;
            std::this_thread::yield();
        }
    });
    std::vector<int> results;
    for (int f = 0; f < 16; ++f) results.push_back(passFrame(filter, f));
    done = true;
    tuner.join();
    EXPECT_EQ(badProperty.load(), 0);
    for (int r : results) EXPECT_TRUE(r == 0 || r == 1) << "adaptFrame gave " << r;

    // Settled: beauty on, the next frame is processed and smoothed.
    ASSERT_EQ(setBeauty(filter, kBeautyOn), 0);
    bool changed = false;
    EXPECT_EQ(passFrame(filter, 99, &changed), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(filter->release(), 0);
}

TEST_F(HostFilterThreads, StopAndStartWhileFramesFlow) {
    IExtensionVideoFilter* filter = startedFilter();
    ASSERT_EQ(setBeauty(filter, kBeautyOn), 0);

    // 0 running, 1 stop() has returned, 2 started again and beauty enabled.
    std::atomic<int> phase{0};
    std::atomic<int> processed{0};
    std::atomic<bool> done{false};
    std::vector<int> unexpected;
    std::thread frames([&] {
        for (int f = 0; !done; ++f) {
            const int seen = phase.load();
            const int r = passFrame(filter, f);
            if (r == 0) ++processed;
            // Once stop() has returned, no frame may be processed until the
            // filter is started again.
            const bool ok = (r == 0 || r == 1) && !(seen == 1 && phase.load() == 1 && r == 0);
            if (!ok) unexpected.push_back(r);
        }
    });
    auto waitForFrames = [&](int count) {
        const int target = processed.load() + count;
        while (processed.load() < target) std::this_thread::yield();
    };
    waitForFrames(2);
    EXPECT_EQ(filter->stop(), 0);
    phase = 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int duringStop = processed.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(processed.load(), duringStop) << "frames processed by a stopped filter";

    control->addRef();
    EXPECT_EQ(filter->start(control), 0);
    ASSERT_EQ(setBeauty(filter, kBeautyOn), 0);
    phase = 2;
    waitForFrames(2);
    // Stopped with frames in flight a second time, then left stopped.
    EXPECT_EQ(filter->stop(), 0);
    done = true;
    frames.join();
    EXPECT_TRUE(unexpected.empty()) << "first unexpected result " << unexpected.front();
    EXPECT_EQ(passFrame(filter, 0), 1);
    EXPECT_EQ(filter->release(), 0);
}

TEST_F(HostFilterThreads, OneStreamKeepsRunningWhileAnotherIsStartedAndStopped) {
    IExtensionVideoFilter* steady = startedFilter();
    ASSERT_EQ(setBeauty(steady, kBeautyOn), 0);
    IExtensionVideoFilter* restarted = startedFilter();

    std::atomic<bool> done{false};
    std::atomic<int> cycles{0};
    std::thread churn([&] {
        while (!done) {
            restarted->stop();
            control->addRef();
            restarted->start(control);
            setBeauty(restarted, kBeautyOn);
            passFrame(restarted, cycles);
            ++cycles;
        }
    });
    std::vector<int> results;
    bool allChanged = true;
    for (int f = 0; f < 12 || cycles.load() < 2; ++f) {
        bool changed = false;
        results.push_back(passFrame(steady, f, &changed));
        allChanged = allChanged && changed;
    }
    done = true;
    churn.join();
    // The steady stream's engine never lost its context or its chain.
    EXPECT_EQ(std::count(results.begin(), results.end(), 0), static_cast<long>(results.size()));
    EXPECT_TRUE(allChanged);
    EXPECT_EQ(restarted->release(), 0);
    EXPECT_EQ(steady->release(), 0);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
