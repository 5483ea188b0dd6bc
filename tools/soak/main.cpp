// kelvo-soak: hours of calls as hosts make them, through the public header.
//
// Two engines on two threads (the CPU backend, and the GL one where a context
// can be made) take random frame sizes (1x1 to 3840x2160), formats, colour
// codes, effect selections, parameter documents (valid, rejected and broken)
// and release/init cycles; with GStreamer, a pipeline with the kelvoenhance
// element renegotiates caps, changes properties while playing and goes
// through NULL, READY, PAUSED and PLAYING. Every result is checked against
// what the call must return. Resident memory is measured at the start, after
// a warm-up and at the end, each time right after the same checkpoint
// frames; growth after the warm-up beyond 10 % fails the run, as does any
// unexpected result.
//
//   kelvo-soak SECONDS
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if KELVO_SOAK_GST
#include <gst/gst.h>
#endif

#include "kelvo/video_process_engine.h"

namespace {

using namespace kelvo::video;
using Clock = std::chrono::steady_clock;

std::atomic<long> frames{0};
std::atomic<long> unexpected{0};
std::mutex reportMutex;

void complain(const std::string& what) {
    ++unexpected;
    std::lock_guard<std::mutex> lock(reportMutex);
    std::fprintf(stderr, "kelvo-soak: unexpected: %s\n", what.c_str());
}

long residentKB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

size_t bufferBytes(int format, int w, int h) {
    const size_t luma = size_t(w) * h, cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (format) {
        case kPixelFormatI422:
            return luma + 2 * cw * h;
        case kPixelFormatRGBA:
        case kPixelFormatARGB:
        case kPixelFormatBGRA:
            return 4 * luma;
        default:
            return luma + 2 * cw * ch;
    }
}

const char* const kKeys[] = {"beauty_effect_option", "color_enhance_option",
                             "video_denoiser_option", "lowlight_enhance_option", "environment"};

// One engine driven by one thread.
class Driver {
public:
    Driver(const char* config, unsigned seed) : config_(config), random_(seed) {}

    bool start() {
        engine_.reset(createVideoProcessEngine(false));
        if (!engine_ || engine_->init(config_) != 0) return false;
        select({kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty});
        for (int k = 0; k < 4; ++k) document(k, R"({"enable":1})", 0);
        return true;
    }

    // The same state before each reading of resident memory: a fresh start,
    // then the same frames.
    void checkpoint() {
        cycle();
        // Our own buffer too: it keeps the largest frame seen so far.
        std::vector<uint8_t>().swap(buffer_);
        select({kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty});
        for (int k = 0; k < 4; ++k) document(k, R"({"enable":1})", 0);
        frame(kPixelFormatI420, 3840, 2160, -1, -1);
        frame(kPixelFormatRGBA, 1280, 720, -1, -1);
        frame(kPixelFormatNV12, 640, 480, -1, -1);
    }

    void step() {
        const int pick = int(random_() % 100);
        if (pick < 86) {
            randomFrame();
        } else if (pick < 90) {
            std::vector<int> list;
            for (int id :
                 {kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance, kEffectBeauty})
                if (random_() % 2) list.push_back(id);
            if (list.empty()) list.push_back(kEffectBeauty);
            std::shuffle(list.begin(), list.end(), random_);
            select(list);
        } else if (pick < 98) {
            randomDocument();
        } else {
            cycle();
        }
    }

    const char* name() const { return config_; }

private:
    void check(int result, int expected, const std::string& call) {
        if (result != expected)
            complain(std::string(config_) + " " + call + " returned " + std::to_string(result) +
                     ", expected " + std::to_string(expected));
    }

    void select(const std::vector<int>& list) {
        check(engine_->setVideoEffects(list), 0, "setVideoEffects");
    }

    void document(int key, const std::string& text, int expected) {
        check(engine_->setParameter(kKeys[key], text.c_str()), expected,
              std::string("setParameter ") + kKeys[key] + " " + text);
        if (expected == 0 && key < 4 && text.find("\"enable\":") != std::string::npos)
            enabled_[key] = text.find("\"enable\":1") != std::string::npos;
    }

    void randomDocument() {
        const int key = int(random_() % 5);
        const int kind = int(random_() % 10);
        char text[160];
        if (kind < 6) {
            const double a = (random_() % 101) / 100.0;
            const int on = random_() % 4 != 0;
            switch (key) {
                case 0:
                    std::snprintf(
                        text, sizeof text,
                        R"({"enable":%d,"smoothness":%.2f,"lightness":%.2f,"redness":%.2f,"sharpness":%.2f})",
                        on, a, 1 - a, a / 2, a / 3);
                    break;
                case 1:
                    std::snprintf(text, sizeof text,
                                  R"({"enable":%d,"strength":%.2f,"skinProtect":%.2f})", on, a,
                                  1 - a);
                    break;
                case 2:
                    std::snprintf(text, sizeof text, R"({"enable":%d,"mode":%d,"level":%d})", on,
                                  int(random_() % 2), int(random_() % 3));
                    break;
                case 3:
                    std::snprintf(text, sizeof text, R"({"enable":%d,"mode":%d,"level":%d})", on,
                                  int(random_() % 2), int(random_() % 2));
                    break;
                default:
                    std::snprintf(text, sizeof text, R"({"light_strength":%.2f,"noise_level":%d})",
                                  a, int(random_() % 3));
                    break;
            }
            document(key, text, 0);
        } else if (kind < 9) {
            // Rejected members are logged and change nothing: still 0.
            std::snprintf(text, sizeof text, R"({"enable":7,"smoothness":"high","unknown":%d})",
                          int(random_() % 9));
            document(key, text, 0);
        } else {
            document(key, R"({"enable":1,)", -7);
        }
    }

    void cycle() {
        check(engine_->release(), 0, "release");
        check(engine_->init(config_), 0, "init");
    }

    void randomFrame() {
        static const int formats[] = {kPixelFormatI420, kPixelFormatI422, kPixelFormatNV21,
                                      kPixelFormatNV12, kPixelFormatYV12, kPixelFormatRGBA,
                                      kPixelFormatARGB, kPixelFormatBGRA};
        const int sizeClass = int(random_() % 100);
        const int maxW = sizeClass < 70 ? 640 : sizeClass < 95 ? 1920 : 3840;
        const int maxH = sizeClass < 70 ? 480 : sizeClass < 95 ? 1080 : 2160;
        const int w = 1 + int(random_() % maxW), h = 1 + int(random_() % maxH);
        frame(formats[random_() % 8], w, h, int(random_() % 11) - 1, int(random_() % 3) - 1);
    }

    void frame(int format, int w, int h, int matrix, int range) {
        const size_t bytes = bufferBytes(format, w, h);
        if (buffer_.size() < bytes) buffer_.resize(bytes);
        const uint8_t seed = uint8_t(random_());
        for (size_t i = 0; i < bytes; i += 61) buffer_[i] = uint8_t(seed + i / 61);
        const int r =
            engine_->processFrame(format, w, h, buffer_.data(), int(bytes), 0, 0, matrix, range);
        ++frames;
        const bool any = enabled_[0] || enabled_[1] || enabled_[2] || enabled_[3];
        // With nothing enabled by us, the automatic modes may still switch an
        // effect on.
        if (r != 0 && (any || r != -4))
            complain(std::string(config_) + " processFrame " + std::to_string(format) + " " +
                     std::to_string(w) + "x" + std::to_string(h) + " returned " +
                     std::to_string(r));
    }

    const char* config_;
    std::mt19937 random_;
    std::unique_ptr<IVideoProcessEngine> engine_;
    std::vector<uint8_t> buffer_;
    bool enabled_[4] = {true, true, true, true};
};

#if KELVO_SOAK_GST
// The element in a pipeline that keeps changing while it plays.
class Pipeline {
public:
    bool start() {
        GError* error = nullptr;
        pipeline_ = gst_parse_launch(
            "videotestsrc is-live=true pattern=ball ! capsfilter name=caps "
            "caps=video/x-raw,format=I420,width=160,height=120,framerate=60/1 ! "
            "kelvoenhance name=k ! fakesink name=sink sync=false signal-handoffs=true",
            &error);
        if (!pipeline_) {
            std::fprintf(stderr, "kelvo-soak: no pipeline: %s\n", error ? error->message : "");
            if (error) g_error_free(error);
            return false;
        }
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
        g_signal_connect(sink, "handoff",
                         G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer) { ++frames; }),
                         nullptr);
        gst_object_unref(sink);
        caps_ = gst_bin_get_by_name(GST_BIN(pipeline_), "caps");
        element_ = gst_bin_get_by_name(GST_BIN(pipeline_), "k");
        bus_ = gst_element_get_bus(pipeline_);
        return setState(GST_STATE_PLAYING);
    }

    void step(std::mt19937& random) {
        const int pick = int(random() % 10);
        if (pick < 4) {
            static const char* const formats[] = {"I420", "NV12", "NV21", "YV12",
                                                  "Y42B", "ABGR", "BGRA", "ARGB"};
            const std::string caps = std::string("video/x-raw,format=") + formats[random() % 8] +
                                     ",width=" + std::to_string(16 + random() % 300) +
                                     ",height=" + std::to_string(16 + random() % 200) +
                                     ",framerate=60/1";
            GstCaps* c = gst_caps_from_string(caps.c_str());
            g_object_set(caps_, "caps", c, nullptr);
            gst_caps_unref(c);
        } else if (pick < 8) {
            static const char* const effects[] = {"beauty", "color,beauty", "denoise,lowlight",
                                                  "denoise,lowlight,color,beauty", ""};
            g_object_set(element_, "effects", effects[random() % 5], "beauty-smoothness",
                         (random() % 101) / 100.0, "color-strength", (random() % 101) / 100.0,
                         nullptr);
        } else {
            static const GstState states[] = {GST_STATE_NULL, GST_STATE_READY, GST_STATE_PAUSED,
                                              GST_STATE_PLAYING};
            setState(states[random() % 4]);
            setState(GST_STATE_PLAYING);
        }
        while (GstMessage* m = gst_bus_pop_filtered(
                   bus_, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING))) {
            GError* error = nullptr;
            gchar* debug = nullptr;
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR)
                gst_message_parse_error(m, &error, &debug);
            else
                gst_message_parse_warning(m, &error, &debug);
            complain(std::string("pipeline: ") + (error ? error->message : "") + " " +
                     (debug ? debug : ""));
            if (error) g_error_free(error);
            g_free(debug);
            gst_message_unref(m);
        }
    }

    // Its engine released while memory is read, and back.
    void pause() { setState(GST_STATE_NULL); }
    void resume() { setState(GST_STATE_PLAYING); }

    void stop() {
        if (!pipeline_) return;
        setState(GST_STATE_NULL);
        gst_object_unref(bus_);
        gst_object_unref(element_);
        gst_object_unref(caps_);
        gst_object_unref(pipeline_);
    }

private:
    bool setState(GstState state) {
        if (gst_element_set_state(pipeline_, state) == GST_STATE_CHANGE_FAILURE ||
            gst_element_get_state(pipeline_, nullptr, nullptr, 20 * GST_SECOND) ==
                GST_STATE_CHANGE_FAILURE) {
            complain(std::string("pipeline: cannot reach ") + gst_element_state_get_name(state));
            return false;
        }
        return true;
    }

    GstElement* pipeline_ = nullptr;
    GstElement* caps_ = nullptr;
    GstElement* element_ = nullptr;
    GstBus* bus_ = nullptr;
};
#endif

}  // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::atol(argv[1]) : 60;
    if (seconds <= 0) {
        std::fputs("usage: kelvo-soak SECONDS\n", stderr);
        return 2;
    }
    std::vector<std::unique_ptr<Driver>> drivers;
    drivers.emplace_back(new Driver(R"({"backend":"cpu","threads":2})", 1));
    drivers.emplace_back(new Driver(R"({"backend":"gpu"})", 2));
    if (!drivers[0]->start()) {
        std::fputs("kelvo-soak: the CPU engine does not start\n", stderr);
        return 1;
    }
    if (!drivers[1]->start()) {
        std::fputs("kelvo-soak: no GL context: the CPU engine alone\n", stderr);
        drivers.pop_back();
    }
#if KELVO_SOAK_GST
    gst_init(&argc, &argv);
    Pipeline pipeline;
    const bool piping = pipeline.start();
    if (!piping) complain("the kelvoenhance pipeline does not start");
#endif
    const long startKB = residentKB();

    // Warm-up: 30 % of the run, at least 15 s, so that pools, caches, the
    // driver and the heap have seen every size class and every kind of call.
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::seconds(seconds);
    const auto warm = begin + std::chrono::seconds(std::max(15L, seconds * 3 / 10));
    std::atomic<int> phase{0};  // 0 warm-up, 1 measured, 2 stop
    std::vector<std::thread> threads;
    std::atomic<int> checkpointsDone{0};
    std::atomic<int> wantCheckpoint{0};
    std::atomic<int> measured{0};
    for (auto& d : drivers) {
        Driver* driver = d.get();
        threads.emplace_back([driver, &phase, &wantCheckpoint, &checkpointsDone, &measured] {
            int seen = 0;
            while (phase.load() < 2) {
                const int want = wantCheckpoint.load();
                if (want != seen) {
                    driver->checkpoint();
                    seen = want;
                    ++checkpointsDone;
                    // Hold still until memory is read: a random frame in
                    // flight on the other thread would make readings differ
                    // by hundreds of megabytes.
                    while (measured.load() < seen && phase.load() < 2)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                driver->step();
            }
        });
    }
    auto measure = [&](int round) {
        // Every engine passes the same checkpoint frames and waits there, the
        // element is stopped and the heap trimmed: readings taken this way
        // compare.
        wantCheckpoint.store(round);
        while (checkpointsDone.load() < round * int(drivers.size()))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
#if KELVO_SOAK_GST
        if (piping) pipeline.pause();
#endif
        malloc_trim(0);
        const long kb = residentKB();
#if KELVO_SOAK_GST
        if (piping) pipeline.resume();
#endif
        measured.store(round);
        return kb;
    };
#if KELVO_SOAK_GST
    std::mt19937 random(3);
#endif
    long warmKB = -1;
    while (Clock::now() < end) {
#if KELVO_SOAK_GST
        if (piping) pipeline.step(random);
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        if (warmKB < 0 && Clock::now() >= warm) warmKB = measure(1);
    }
    if (warmKB < 0) warmKB = measure(1);
    const long endKB = measure(2);
    phase.store(2);
    for (auto& t : threads) t.join();
#if KELVO_SOAK_GST
    pipeline.stop();
#endif
    const double growth = warmKB > 0 ? 100.0 * (endKB - warmKB) / warmKB : 0.0;
    std::printf("kelvo-soak: %ld s, %zu engine thread(s)%s, %ld frames, %ld unexpected results\n",
                seconds, drivers.size(),
#if KELVO_SOAK_GST
                piping ? " and a kelvoenhance pipeline" : "",
#else
                "",
#endif
                frames.load(), unexpected.load());
    std::printf(
        "kelvo-soak: RSS %ld kB at start, %ld kB after warm-up, %ld kB at the end (%+.1f %%)\n",
        startKB, warmKB, endKB, growth);
    if (unexpected.load() > 0 || growth > 10.0) {
        std::puts("kelvo-soak: FAILED");
        return 1;
    }
    return 0;
}
