// Several engines on several threads share the one private GL context: each
// stream must come out exactly as it does when processed alone, and one
// engine's release must not pull the context away from the others.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "engine/video_process_engine_impl.h"
#include "gpu/gpu_image_context.h"

namespace kelvo {
namespace video {
namespace {

constexpr int kW = 96, kH = 64, kFrames = 6;

// Stream `s`, frame `f`: a noisy, slowly changing I420 picture with a
// skin-toned patch, different for every stream.
std::vector<uint8_t> streamFrame(int s, int f) {
    std::vector<uint8_t> buf(kW * kH * 3 / 2);
    std::mt19937 rng(static_cast<uint32_t>(s * 1000 + f));
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            buf[y * kW + x] =
                static_cast<uint8_t>(std::clamp(40 + 30 * s + (x + f) % 40 + noise(rng), 0, 255));
    uint8_t* u = buf.data() + kW * kH;
    uint8_t* v = u + kW * kH / 4;
    for (int i = 0; i < kW * kH / 4; ++i) {
        const bool skin = (i % (kW / 2)) < kW / 4;
        u[i] = skin ? 110 : 128;
        v[i] = skin ? 150 : 128;
    }
    return buf;
}

void configure(VideoProcessEngineImpl& engine, const char* config = R"({"backend":"gpu"})") {
    ASSERT_EQ(engine.init(config), 0);
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    engine.setParameter("beauty_effect_option", R"({"enable":1,"smoothness":0.8})");
    engine.setParameter("color_enhance_option", R"({"enable":1})");
    engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})");
    engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":1})");
}

// Processes one stream; frames[f] holds the output of frame f.
void runStream(VideoProcessEngineImpl& engine, int s, std::vector<std::vector<uint8_t>>* frames,
               std::atomic<int>* failures) {
    for (int f = 0; f < kFrames; ++f) {
        std::vector<uint8_t> frame = streamFrame(s, f);
        if (engine.processFrame(kPixelFormatI420, kW, kH, frame.data(), int(frame.size()), -1, -1,
                                -1, -1) != 0)
            ++*failures;
        (*frames)[f] = std::move(frame);
    }
}

// On the GPU backend engines take turns on the shared context; on the CPU
// backend they run side by side, each with its own worker threads.
TEST(Concurrency, EnginesOnSeveralThreadsMatchTheSameStreamsProcessedOneAtATime) {
    for (const char* config : {R"({"backend":"gpu"})", R"({"backend":"cpu","threads":2})"}) {
        SCOPED_TRACE(config);
        constexpr int kStreams = 3;
        std::vector<std::vector<std::vector<uint8_t>>> alone(
            kStreams, std::vector<std::vector<uint8_t>>(kFrames));
        std::atomic<int> failures{0};
        for (int s = 0; s < kStreams; ++s) {
            VideoProcessEngineImpl engine(false);
            configure(engine, config);
            runStream(engine, s, &alone[s], &failures);
            engine.release();
        }
        ASSERT_EQ(failures.load(), 0);

        std::vector<std::vector<std::vector<uint8_t>>> together(
            kStreams, std::vector<std::vector<uint8_t>>(kFrames));
        {
            std::vector<std::unique_ptr<VideoProcessEngineImpl>> engines;
            for (int s = 0; s < kStreams; ++s) {
                engines.emplace_back(new VideoProcessEngineImpl(false));
                configure(*engines.back(), config);
            }
            std::vector<std::thread> threads;
            for (int s = 0; s < kStreams; ++s)
                threads.emplace_back(runStream, std::ref(*engines[s]), s, &together[s], &failures);
            for (auto& t : threads) t.join();
            for (auto& engine : engines) engine->release();
        }
        ASSERT_EQ(failures.load(), 0);
        int differing = 0;
        for (int s = 0; s < kStreams; ++s)
            for (int f = 0; f < kFrames; ++f) differing += together[s][f] != alone[s][f];
        EXPECT_EQ(differing, 0);
    }
}

TEST(Concurrency, ReleasingOneEngineKeepsTheContextForTheOthers) {
    VideoProcessEngineImpl first(false), second(false);
    configure(first);
    configure(second);
    EXPECT_EQ(GPUImageContext::userCount(), 2);

    std::atomic<int> failures{0};
    std::vector<std::vector<uint8_t>> frames(kFrames);
    std::thread worker([&] { runStream(second, 1, &frames, &failures); });
    first.release();
    worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_NE(std::string(GPUImageContext::backendName()), "none");

    // The second engine still renders after the first one left.
    std::vector<uint8_t> frame = streamFrame(1, 0);
    EXPECT_EQ(second.processFrame(kPixelFormatI420, kW, kH, frame.data(), int(frame.size()), -1, -1,
                                  -1, -1),
              0);
    second.release();
    EXPECT_EQ(GPUImageContext::userCount(), 0);
    EXPECT_STREQ(GPUImageContext::backendName(), "none");
}

TEST(Concurrency, ParametersChangeWhileFramesFlow) {
    VideoProcessEngineImpl engine(false);
    configure(engine);
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread tuner([&] {
        for (int i = 0; !stop; ++i) {
            const std::string doc =
                R"({"enable":1,"smoothness":)" + std::to_string((i % 10) / 10.0) + "}";
            engine.setParameter("beauty_effect_option", doc.c_str());
            engine.setVideoEffects(i % 2 ? std::vector<int>{103, 104, 102, 101}
                                         : std::vector<int>{102, 101});
        }
    });
    for (int f = 0; f < 12; ++f) {
        std::vector<uint8_t> frame = streamFrame(0, f);
        if (engine.processFrame(kPixelFormatI420, kW, kH, frame.data(), int(frame.size()), -1, -1,
                                -1, -1) != 0)
            ++failures;
    }
    stop = true;
    tuner.join();
    EXPECT_EQ(failures.load(), 0);
    engine.release();
}

// An engine's init works on the context before it counts as a user of it
// (it becomes one only when init succeeds). An engine that never started,
// released meanwhile on another thread, must not pull the context away.
TEST(Concurrency, ReleaseOfAnEngineThatNeverStartedWaitsForGLWorkOnTheContext) {
    std::atomic<bool> released{false};
    std::thread other;
    {
        GPUImageContext::ScopedCurrent current;
        ASSERT_EQ(GPUImageContext::userCount(), 0);
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);  // only a bound name is a texture
        glBindTexture(GL_TEXTURE_2D, 0);
        other = std::thread([&] {
            VideoProcessEngineImpl idle(false);
            idle.release();
            released = true;
        });
        for (int i = 0; i < 40 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_STRNE(GPUImageContext::backendName(), "none") << "context destroyed while current";
        EXPECT_EQ(glIsTexture(texture), GL_TRUE);
        glDeleteTextures(1, &texture);
    }
    other.join();
    EXPECT_TRUE(released.load());
}

}  // namespace
}  // namespace video
}  // namespace kelvo
