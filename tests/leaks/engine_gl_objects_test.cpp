// Every GL object an engine creates is deleted by its release: counted at
// the real entry points while the engine runs all four effects on buffers of
// two sizes and on a caller's texture, rebuilds its chain and is released.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <map>
#include <memory>
#include <vector>

#include "engine/video_process_engine_impl.h"
#include "gpu/gpu_image_context.h"
#include "support/gl_object_counter.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

const GLObjectKind kKinds[] = {GLObjectKind::Texture, GLObjectKind::Framebuffer,
                               GLObjectKind::Program, GLObjectKind::Shader,
                               GLObjectKind::Buffer,  GLObjectKind::VertexArray};

// Counts the draws of each public effect that did change the picture.
class DrawObserver : public NullObserver {
public:
    void onEffectResult(int result, int effectId) override {
        if (result == 0) ++drawn[effectId];
    }
    std::map<int, int> drawn;
};

// A dark, noisy I420 frame: dark enough for low light to draw.
std::vector<uint8_t> darkFrame(int w, int h, int seed) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> buf(static_cast<size_t>(w) * h + 2 * cw * ch, 128);
    for (int i = 0; i < w * h; ++i) buf[i] = static_cast<uint8_t>(30 + (i * 7 + seed) % 23);
    return buf;
}

int processDark(VideoProcessEngineImpl& engine, int w, int h, int seed) {
    std::vector<uint8_t> frame = darkFrame(w, h, seed);
    return engine.processFrame(kPixelFormatI420, w, h, frame.data(), static_cast<int>(frame.size()),
                               -1, -1, -1, -1);
}

void enableAll(VideoProcessEngineImpl& engine) {
    engine.setParameter("beauty_effect_option", R"({"enable":1,"smoothness":0.7,"sharpness":0.4})");
    engine.setParameter("color_enhance_option", R"({"enable":1})");
    engine.setParameter("lowlight_enhance_option", R"({"enable":1,"mode":1})");
    engine.setParameter("video_denoiser_option", R"({"enable":1,"mode":1})");
}

// The caller's RGBA texture for the texture path, made in the private
// context before counting starts: the engine wraps it and must not delete it.
GLuint makeCallerTexture(int w, int h) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4, 60);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

class EngineGLObjects : public ::testing::Test {
protected:
    void SetUp() override {
        if (GPUImageContext::initFailed()) GTEST_SKIP() << "no GL context on this machine";
        GPUImageContext::ScopedCurrent current;
        callerTexture = makeCallerTexture(kTextureW, kTextureH);
        counter.reset(new GLObjectCounter());
    }
    void TearDown() override {
        counter.reset();
        // The last engine's release ended the context, and the caller's
        // texture with it; should one still be there, clean up after us.
        if (GPUImageContext::userCount() > 0) {
            GPUImageContext::ScopedCurrent current;
            glDeleteTextures(1, &callerTexture);
        }
    }

    void expectNothingLeft(const char* when) {
        for (GLObjectKind kind : kKinds) {
            EXPECT_EQ(counter->live(kind), 0u)
                << GLObjectCounter::kindName(kind) << " left after " << when;
            EXPECT_EQ(counter->strayDeletes(kind), 0u)
                << GLObjectCounter::kindName(kind) << " deleted that the engine did not create";
        }
        EXPECT_EQ(counter->describe(), "");
    }

    static constexpr int kTextureW = 80, kTextureH = 60;
    GLuint callerTexture = 0;
    std::unique_ptr<GLObjectCounter> counter;
};

TEST_F(EngineGLObjects, CounterSeesANameLeftAliveAndACallersNameDeleted) {
    GPUImageContext::ScopedCurrent current;
    GLuint names[2] = {};
    glGenTextures(2, names);
    GLuint vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    glDeleteTextures(1, &names[0]);
    EXPECT_EQ(counter->created(GLObjectKind::Texture), 2u);
    EXPECT_EQ(counter->live(GLObjectKind::Texture), 1u);
    EXPECT_EQ(counter->live(GLObjectKind::VertexArray), 1u);
    glDeleteTextures(1, &callerTexture);
    EXPECT_EQ(counter->strayDeletes(GLObjectKind::Texture), 1u);
    glDeleteTextures(1, &names[1]);
    glDeleteVertexArrays(1, &vertexArray);
    EXPECT_EQ(counter->live(GLObjectKind::Texture), 0u);
    EXPECT_EQ(counter->live(GLObjectKind::VertexArray), 0u);
}

TEST_F(EngineGLObjects, AllFourEffectsOnBuffersOfTwoSizesAndATextureLeaveNoObjectAfterRelease) {
    DrawObserver observer;
    VideoProcessEngineImpl engine(false);
    ASSERT_EQ(engine.init(R"({"backend":"gpu"})"), 0);
    // After init: only then do the sub-engines receive it.
    engine.setObserver(&observer);
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    enableAll(engine);

    for (int f = 0; f < 3; ++f) ASSERT_EQ(processDark(engine, 96, 64, f), 0);
    // A new size: new working framebuffers, the old ones must go.
    for (int f = 0; f < 3; ++f) ASSERT_EQ(processDark(engine, 150, 90, f), 0);
    int out = 0;
    ASSERT_EQ(engine.processTexture(kTexture2D, kTextureW, kTextureH,
                                    static_cast<int>(callerTexture), &out),
              0);
    EXPECT_GT(out, 0);
    EXPECT_NE(static_cast<GLuint>(out), callerTexture);
    // Back to buffers, and a chain rebuilt with fewer effects, then more.
    ASSERT_EQ(processDark(engine, 96, 64, 9), 0);
    ASSERT_EQ(engine.setVideoEffects({102, 101}), 0);
    ASSERT_EQ(processDark(engine, 96, 64, 10), 0);
    ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
    ASSERT_EQ(processDark(engine, 96, 64, 11), 0);

    // Each GPU effect drew, so each made its programs and quad buffers.
    EXPECT_GT(observer.drawn[kEffectBeauty], 0);
    EXPECT_GT(observer.drawn[kEffectColorEnhance], 0);
    EXPECT_GT(observer.drawn[kEffectLowLightEnhance], 0);
    EXPECT_GT(observer.drawn[kEffectVideoDenoiser], 0);
    for (GLObjectKind kind : kKinds)
        EXPECT_GT(counter->created(kind), 0u)
            << GLObjectCounter::kindName(kind) << " never created";

    engine.release();
    expectNothingLeft("release");
}

TEST_F(EngineGLObjects, ReleasingOneOfTwoEnginesDeletesItsObjectsAndTheSecondDeletesTheRest) {
    VideoProcessEngineImpl first(false), second(false);
    for (VideoProcessEngineImpl* engine : {&first, &second}) {
        ASSERT_EQ(engine->init(R"({"backend":"gpu"})"), 0);
        ASSERT_EQ(engine->setVideoEffects({103, 104, 102, 101}), 0);
        enableAll(*engine);
    }
    // The two engines share the framebuffer cache: the first at two sizes,
    // the second at one of them.
    ASSERT_EQ(processDark(first, 96, 64, 0), 0);
    ASSERT_EQ(processDark(second, 96, 64, 0), 0);
    ASSERT_EQ(processDark(first, 64, 48, 1), 0);
    size_t liveBefore[kGLObjectKinds];
    for (GLObjectKind kind : kKinds) liveBefore[static_cast<int>(kind)] = counter->live(kind);

    first.release();
    // The second engine's objects are still there and still work.
    for (GLObjectKind kind : kKinds) {
        if (liveBefore[static_cast<int>(kind)] == 0) continue;  // shaders go at link time
        EXPECT_LT(counter->live(kind), liveBefore[static_cast<int>(kind)])
            << GLObjectCounter::kindName(kind) << " of the first engine kept";
    }
    EXPECT_GT(counter->live(GLObjectKind::Program), 0u);
    ASSERT_EQ(processDark(second, 96, 64, 2), 0);

    second.release();
    expectNothingLeft("both releases");
}

TEST_F(EngineGLObjects, ReinitialisedEngineLeavesNoObjectAfterItsSecondRelease) {
    VideoProcessEngineImpl engine(false);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(engine.init(R"({"backend":"gpu"})"), 0);
        ASSERT_EQ(engine.setVideoEffects({103, 104, 102, 101}), 0);
        enableAll(engine);
        ASSERT_EQ(processDark(engine, 96, 64, round), 0);
        engine.release();
        expectNothingLeft(round == 0 ? "the first release" : "the second release");
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
