// A headless libobs for the tests: started on the X display (xvfb-run -a),
// video reset on libobs-opengl, the plug-in loaded from the build tree with
// obs_open_module + obs_init_module, and a minimal async source to feed it.
// Every test checks that libobs freed all it allocated.
#pragma once

#include <gtest/gtest.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>
#include <util/bmem.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// From Xlib, whose macros (None, Status, ...) would break GoogleTest.
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
}

namespace kelvo_obs_test {

class ObsRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        // One connection for the process: libobs keeps using it to the end.
        static _XDisplay* display = XOpenDisplay(nullptr);
        display_ = display;
        ASSERT_NE(display_, nullptr) << "libobs needs an X display: run under xvfb-run -a";
        base_set_log_handler(&ObsRuntime::log, this);
        obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
        obs_set_nix_platform_display(display_);
        ASSERT_TRUE(obs_startup("en-US", nullptr, nullptr));
        started_ = true;
        obs_video_info ovi = {};
        ovi.graphics_module = "libobs-opengl";
        // Slow ticks leave the test thread time to take each filtered frame
        // before the next tick drops it.
        ovi.fps_num = 10;
        ovi.fps_den = 1;
        ovi.base_width = ovi.output_width = 128;
        ovi.base_height = ovi.output_height = 96;
        ovi.output_format = VIDEO_FORMAT_NV12;
        ovi.colorspace = VIDEO_CS_709;
        ovi.range = VIDEO_RANGE_PARTIAL;
        ovi.scale_type = OBS_SCALE_BILINEAR;
        ovi.gpu_conversion = true;
        ASSERT_EQ(obs_reset_video(&ovi), OBS_VIDEO_SUCCESS);
        ASSERT_EQ(obs_open_module(&module_, KELVO_OBS_MODULE, KELVO_OBS_DATA), MODULE_SUCCESS);
        ASSERT_TRUE(obs_init_module(module_));
        obs_source_info camera = {};
        camera.id = "kelvo_test_async_source";
        camera.type = OBS_SOURCE_TYPE_INPUT;
        camera.output_flags = OBS_SOURCE_ASYNC_VIDEO;
        camera.get_name = [](void*) { return "Test camera"; };
        camera.create = [](obs_data_t*, obs_source_t* s) -> void* { return s; };
        camera.destroy = [](void*) {};
        obs_register_source(&camera);
        obs_add_tick_callback(&ObsRuntime::tick, this);
    }

    void TearDown() override {
        if (started_) {
            obs_remove_tick_callback(&ObsRuntime::tick, this);
            obs_shutdown();
            EXPECT_EQ(bnum_allocs(), 0) << "libobs allocations left after obs_shutdown";
        }
        base_set_log_handler(nullptr, nullptr);
    }

    // Returns once the graphics thread ticked every source at least once
    // after the call.
    void waitTicks() {
        const long start = ticks_.load();
        while (ticks_.load() < start + 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    long ticks() const { return ticks_.load(); }

    std::vector<std::string> warnings() {
        std::lock_guard<std::mutex> lock(logMutex_);
        return warnings_;
    }

private:
    static void log(int level, const char* format, va_list args, void* param) {
        char line[4096];
        std::vsnprintf(line, sizeof line, format, args);
        if (level > LOG_WARNING) return;
        auto* self = static_cast<ObsRuntime*>(param);
        std::fprintf(stderr, "obs %s: %s\n", level == LOG_WARNING ? "warning" : "error", line);
        std::lock_guard<std::mutex> lock(self->logMutex_);
        self->warnings_.emplace_back(line);
    }
    static void tick(void* param, float) { ++static_cast<ObsRuntime*>(param)->ticks_; }

    _XDisplay* display_ = nullptr;
    bool started_ = false;
    obs_module_t* module_ = nullptr;
    std::atomic<long> ticks_{0};
    std::mutex logMutex_;
    std::vector<std::string> warnings_;
};

}  // namespace kelvo_obs_test
