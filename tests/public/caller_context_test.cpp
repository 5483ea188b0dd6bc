// A caller with its own EGL context: the library must leave that context, its
// surfaces and its GL state as it found them, check the textures it is given,
// and keep GL diagnostics off standard output.
#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#define GLFW_INCLUDE_NONE
#if KELVO_WITH_GLFW
#include <GLFW/glfw3.h>
#endif

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

namespace kelvo {
namespace video {
namespace {

class LogObserver : public NullObserver {
public:
    void onLog(int level, const char* message) override { logs.emplace_back(level, message); }
    bool logged(int level, const std::string& part) const {
        for (const auto& log : logs)
            if (log.first == level && log.second.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::pair<int, std::string>> logs;
};

struct Binding {
    EGLDisplay display;
    EGLSurface draw, read;
    EGLContext context;
    bool operator==(const Binding& o) const {
        return display == o.display && draw == o.draw && read == o.read && context == o.context;
    }
};

Binding currentBinding() {
    return {eglGetCurrentDisplay(), eglGetCurrentSurface(EGL_DRAW), eglGetCurrentSurface(EGL_READ),
            eglGetCurrentContext()};
}

constexpr int kW = 64, kH = 48;

// The caller: its own display connection, a GL 3.3 context and a pbuffer,
// made current by the test as an application would.
class CallerContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The same handle the library gets for this platform: EGL shares it.
        display =
            eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
            GTEST_SKIP() << "no EGL display";
        eglBindAPI(EGL_OPENGL_API);
        const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                        EGL_PBUFFER_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        ASSERT_TRUE(eglChooseConfig(display, configAttribs, &config, 1, &count) && count == 1);
        const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                         3,
                                         EGL_CONTEXT_MINOR_VERSION,
                                         3,
                                         EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                         EGL_NONE};
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
        ASSERT_NE(context, EGL_NO_CONTEXT);
        const EGLint surfaceAttribs[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, surfaceAttribs);
        ASSERT_NE(surface, EGL_NO_SURFACE);
        ASSERT_TRUE(eglMakeCurrent(display, surface, surface, context));
        mine = currentBinding();
    }
    void TearDown() override {
        if (display == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    }

    std::unique_ptr<IVideoProcessEngine> beautyEngine(bool external) {
        std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(external));
        EXPECT_EQ(engine->init(""), 0);
        engine->setObserver(&observer);
        EXPECT_EQ(engine->setVideoEffects({kEffectBeauty, kEffectColorEnhance}), 0);
        EXPECT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1})"), 0);
        return engine;
    }
    static int processGrey(IVideoProcessEngine& engine) {
        std::vector<uint8_t> frame(kW * kH * 3 / 2, 128);
        return engine.processFrame(kPixelFormatI420, kW, kH, frame.data(),
                                   static_cast<int>(frame.size()), -1, -1, -1, -1);
    }
    static GLuint makeTexture() {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        std::vector<uint8_t> pixels(kW * kH * 4, 200);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kW, kH, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return texture;
    }

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    Binding mine{};
    LogObserver observer;
};

TEST_F(CallerContextTest, PrivateEnginesPutTheCallersContextBackAndKeepItsDisplayAlive) {
    // Two engines, so that both a release that leaves the context to another
    // engine and the last one that destroys it are seen.
    auto first = beautyEngine(false);
    EXPECT_TRUE(currentBinding() == mine) << "after init";
    auto second = beautyEngine(false);
    EXPECT_EQ(processGrey(*first), 0);
    EXPECT_TRUE(currentBinding() == mine) << "after processFrame";
    first->release();
    EXPECT_TRUE(currentBinding() == mine) << "after a release";
    EXPECT_EQ(processGrey(*second), 0);
    second->release();
    EXPECT_TRUE(currentBinding() == mine) << "after the last release";

    // Still the caller's to use: bind it again and draw into its surface.
    ASSERT_TRUE(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT));
    ASSERT_TRUE(eglMakeCurrent(display, surface, surface, context)) << eglGetError();
    glClearColor(0.f, 1.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t pixel[4] = {};
    glReadPixels(3, 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[0], 0);
}

// One row per piece of state a caller may have set.
struct StateValue {
    const char* name;
    GLenum query;
    int count;
};
const StateValue kState[] = {
    {"program", GL_CURRENT_PROGRAM, 1},
    {"active texture", GL_ACTIVE_TEXTURE, 1},
    {"draw framebuffer", GL_DRAW_FRAMEBUFFER_BINDING, 1},
    {"read framebuffer", GL_READ_FRAMEBUFFER_BINDING, 1},
    {"viewport", GL_VIEWPORT, 4},
    {"vertex array", GL_VERTEX_ARRAY_BINDING, 1},
    {"array buffer", GL_ARRAY_BUFFER_BINDING, 1},
    {"blend", GL_BLEND, 1},
    {"cull face", GL_CULL_FACE, 1},
    {"depth test", GL_DEPTH_TEST, 1},
    {"scissor test", GL_SCISSOR_TEST, 1},
    {"pack alignment", GL_PACK_ALIGNMENT, 1},
    {"unpack alignment", GL_UNPACK_ALIGNMENT, 1},
    {"unpack row length", GL_UNPACK_ROW_LENGTH, 1},
    {"clear colour", GL_COLOR_CLEAR_VALUE, 4},
};

std::vector<std::vector<float>> snapshot() {
    std::vector<std::vector<float>> values;
    for (const StateValue& row : kState) {
        std::vector<float> v(4, -1.f);
        glGetFloatv(row.query, v.data());
        v.resize(row.count);
        values.push_back(v);
    }
    // Texture bindings of the units the library's programs sample from.
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    for (int unit = 0; unit < 4; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        values.push_back({static_cast<float>(bound)});
    }
    glActiveTexture(static_cast<GLenum>(active));
    return values;
}

GLuint linkedProgram() {
    const char* vs = "#version 330\nvoid main() { gl_Position = vec4(0.0); }\n";
    const char* fs = "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
    GLuint program = glCreateProgram();
    for (auto [type, text] : {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, vs},
                              std::pair<GLenum, const char*>{GL_FRAGMENT_SHADER, fs}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    return program;
}

TEST_F(CallerContextTest, ExternalEngineLeavesTheCallersGLStateAsItWas) {
    // Deliberately unlike GL defaults and unlike anything the library sets.
    const GLuint program = linkedProgram();
    glUseProgram(program);
    GLuint textures[4];
    glGenTextures(4, textures);
    for (int unit = 0; unit < 4; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, textures[unit]);
    }
    glActiveTexture(GL_TEXTURE2);
    GLuint framebuffers[2];
    glGenFramebuffers(2, framebuffers);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[0]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
    glViewport(1, 2, 3, 4);
    GLuint vertexArray = 0, buffer = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_SCISSOR_TEST);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 5);
    glClearColor(0.25f, 0.5f, 0.75f, 1.f);
    const GLuint input = makeTexture();
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const auto before = snapshot();

    auto engine = beautyEngine(true);
    EXPECT_EQ(processGrey(*engine), 0);
    const auto afterFrame = snapshot();
    int out = 0;
    EXPECT_EQ(engine->processTexture(kTexture2D, kW, kH, static_cast<int>(input), &out), 0);
    const auto afterTexture = snapshot();
    engine->release();
    const auto afterRelease = snapshot();

    for (size_t i = 0; i < before.size(); ++i) {
        const std::string name = i < std::size(kState)
                                     ? kState[i].name
                                     : "texture unit " + std::to_string(i - std::size(kState));
        EXPECT_EQ(afterFrame[i], before[i]) << name << " after processFrame";
        EXPECT_EQ(afterTexture[i], before[i]) << name << " after processTexture";
        EXPECT_EQ(afterRelease[i], before[i]) << name << " after release";
    }
}

TEST_F(CallerContextTest, ProcessTextureRejectsWhatCannotBeATextureToProcess) {
    const GLuint texture = makeTexture();
    const GLuint deleted = makeTexture();
    glDeleteTextures(1, &deleted);
    const int name = static_cast<int>(texture);
    struct Row {
        const char* what;
        int type, width, height, texture;
        bool withOut;
        int expected;
    } rows[] = {
        {"a texture of the context", kTexture2D, kW, kH, name, true, 0},
        {"a name never generated", kTexture2D, kW, kH, 99999, true, -6},
        {"a deleted texture", kTexture2D, kW, kH, static_cast<int>(deleted), true, -6},
        {"name 0", kTexture2D, kW, kH, 0, true, -6},
        {"unknown type 7", 7, kW, kH, name, true, -6},
        {"type 0", 0, kW, kH, name, true, -6},
        {"size 0x0", kTexture2D, 0, 0, name, true, -6},
        {"negative width", kTexture2D, -64, kH, name, true, -6},
        {"absurd height", kTexture2D, kW, 16385, name, true, -6},
        {"no place for the result", kTexture2D, kW, kH, name, false, -6},
    };
    auto engine = beautyEngine(true);
    for (const Row& row : rows) {
        observer.logs.clear();
        int out = -1;
        EXPECT_EQ(engine->processTexture(row.type, row.width, row.height, row.texture,
                                         row.withOut ? &out : nullptr),
                  row.expected)
            << row.what;
        EXPECT_EQ(observer.logged(kLogError, "processTexture fail"), row.expected != 0) << row.what;
        if (row.expected != 0) {
            EXPECT_EQ(out, -1) << row.what;
        }
    }
    engine->release();
}

// A GL error line goes to the observer when there is one, else to standard
// error; once, and never to standard output (it may carry video).
TEST_F(CallerContextTest, GLErrorsGoToTheObserverOrElseStandardErrorOnceNeverStandardOutput) {
    for (bool withObserver : {true, false}) {
        SCOPED_TRACE(withObserver ? "with observer" : "without observer");
        observer.logs.clear();
        auto engine = beautyEngine(true);
        if (!withObserver) engine->setObserver(nullptr);
        // An error left pending in the context is reported by the library's
        // first check, exactly as one of its own would be.
        glBindTexture(0xDEAD, 0);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(processGrey(*engine), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        engine->release();

        EXPECT_EQ(out, "");
        EXPECT_EQ(err.find(": glError:GL_INVALID_ENUM\n") != std::string::npos, !withObserver)
            << err;
        EXPECT_EQ(observer.logged(kLogError, ": glError:GL_INVALID_ENUM"), withObserver) << err;
    }
}

// Framebuffers cannot move between contexts: a name of the caller's context
// means another object, or nothing, in the private one. Engines on both take
// turns at shared and changing sizes, a second private engine leaves in the
// middle, and every picture must be what a lone engine of its kind makes;
// the caller's own texture must outlive both engines' releases.
TEST_F(CallerContextTest, FramebuffersStayWithTheContextThatMadeThem) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{64, 48}, {96, 64}, {64, 48}, {32, 32}, {96, 64}, {64, 48}};
    auto makeEngine = [](bool external) {
        std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(external));
        EXPECT_EQ(engine->init(R"({"backend":"gpu"})"), 0);
        EXPECT_EQ(engine->setVideoEffects({kEffectBeauty, kEffectColorEnhance}), 0);
        EXPECT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1})"), 0);
        EXPECT_EQ(engine->setParameter("color_enhance_option", R"({"enable":1})"), 0);
        return engine;
    };
    auto picture = [](IVideoProcessEngine& engine, Size s) {
        std::vector<uint8_t> frame(s.w * s.h + 2 * ((s.w + 1) / 2) * ((s.h + 1) / 2));
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<uint8_t>(40 + (i * 7) % 170);
        EXPECT_EQ(engine.processFrame(kPixelFormatI420, s.w, s.h, frame.data(),
                                      static_cast<int>(frame.size()), -1, -1, -1, -1),
                  0);
        return frame;
    };
    // The caller's own object, named as the engines' first objects are.
    GLuint mineTexture = makeTexture();
    std::vector<uint8_t> mineBefore(kW * kH * 4);
    glBindTexture(GL_TEXTURE_2D, mineTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, mineBefore.data());

    std::map<std::pair<bool, int>, std::vector<uint8_t>> lone;
    for (bool external : {false, true}) {
        auto engine = makeEngine(external);
        for (Size s : sizes) lone[{external, s.w}] = picture(*engine, s);
        engine->release();
    }

    auto privateEngine = makeEngine(false);
    auto leaving = makeEngine(false);
    auto callerEngine = makeEngine(true);
    int turn = 0;
    for (Size s : sizes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        EXPECT_TRUE(picture(*privateEngine, s) == (lone[{false, s.w}]));
        EXPECT_TRUE(picture(*callerEngine, s) == (lone[{true, s.w}]));
        if (leaving && ++turn == 3) {
            picture(*leaving, {32, 32});
            leaving->release();
            leaving.reset();
        }
        EXPECT_EQ(eglGetCurrentContext(), context);
    }
    callerEngine->release();
    EXPECT_TRUE(picture(*privateEngine, sizes[1]) == (lone[{false, sizes[1].w}]));
    privateEngine->release();

    ASSERT_TRUE(glIsTexture(mineTexture));
    std::vector<uint8_t> mineAfter(mineBefore.size());
    glBindTexture(GL_TEXTURE_2D, mineTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, mineAfter.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_TRUE(mineAfter == mineBefore);
    glDeleteTextures(1, &mineTexture);
}

#if KELVO_WITH_GLFW
TEST(CallerGlfwWindow, PrivateEngineLeavesTheCallersWindowCurrentAndAlive) {
    // The library's own context comes from GLFW too where there is a display.
    if (!glfwInit()) GTEST_SKIP() << "GLFW cannot start here (no display)";
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(16, 16, "caller", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    glClearColor(0.f, 0.f, 1.f, 1.f);

    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    ASSERT_EQ(engine->init(""), 0);
    ASSERT_EQ(engine->setVideoEffects({kEffectBeauty}), 0);
    ASSERT_EQ(engine->setParameter("beauty_effect_option", R"({"enable":1})"), 0);
    std::vector<uint8_t> frame(kW * kH * 3 / 2, 128);
    EXPECT_EQ(engine->processFrame(kPixelFormatI420, kW, kH, frame.data(),
                                   static_cast<int>(frame.size()), -1, -1, -1, -1),
              0);
    EXPECT_EQ(glfwGetCurrentContext(), window);
    engine->release();
    EXPECT_EQ(glfwGetCurrentContext(), window);

    // GLFW still runs and the window's context is the caller's own, state
    // and all.
    glfwMakeContextCurrent(nullptr);
    glfwMakeContextCurrent(window);
    EXPECT_EQ(glfwGetError(nullptr), GLFW_NO_ERROR);
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[2], 1.f);
    glfwDestroyWindow(window);
}
#endif

}  // namespace
}  // namespace video
}  // namespace kelvo
