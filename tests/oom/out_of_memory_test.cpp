// Frames too large for the memory left, through the public header as a host
// would send them: the call fails with −1, the caller's bytes stay as they
// were, and the same engine then processes an ordinary frame. Each case runs
// in a child process of its own, since it caps the address space for good.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kelvo/video_process_engine.h"
#include "support/null_observer.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELVO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KELVO_SANITIZED 1
#endif
#endif

namespace kelvo {
namespace video {
namespace {

class Observer : public NullObserver {
public:
    void onLog(int level, const char* message) override {
        if (level == kLogError) lastError = message;
    }
    std::string lastError;
};

// Bytes a checksum can tell apart without a second copy of a huge buffer.
uint8_t pattern(size_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); }

size_t addressSpaceBytes() {
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

bool capAddressSpace(size_t bytes) {
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

struct OomCase {
    const char* name;
    const char* config;
    int width, height;
    // 0: cap at what the process uses after a warm-up frame plus this many
    // MB; otherwise an absolute cap in KB set before anything else, as
    // `ulimit -v` would.
    size_t headroomMB;
    size_t ulimitKB;
};

// Child exit codes: 0 passed; others name the step that went wrong.
enum : int {
    kPassed = 0,
    kNoLimit = 10,
    kInitFailed,
    kSetupFailed,
    kWarmUpFailed,
    kNoBuffer,
    kNotFailed,
    kBufferChanged,
    kNoLog,
    kAfterwardsFailed,
};

int runCase(const OomCase& c) {
    if (c.ulimitKB && !capAddressSpace(c.ulimitKB * 1024)) return kNoLimit;
    Observer observer;
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (!engine || engine->init(c.config) != 0) return kInitFailed;
    engine->setObserver(&observer);
    if (engine->setVideoEffects({kEffectVideoDenoiser, kEffectLowLightEnhance, kEffectColorEnhance,
                                 kEffectBeauty}) != 0)
        return kSetupFailed;
    for (const char* key : {"beauty_effect_option", "color_enhance_option", "video_denoiser_option",
                            "lowlight_enhance_option"})
        if (engine->setParameter(key, R"({"enable":1,"mode":1})") != 0) return kSetupFailed;

    auto processSmall = [&] {
        std::unique_ptr<uint8_t[]> small(new uint8_t[640 * 480 * 3 / 2]);
        std::memset(small.get(), 90, 640 * 480 * 3 / 2);
        return engine->processFrame(kPixelFormatI420, 640, 480, small.get(), 640 * 480 * 3 / 2, 0,
                                    0, -1, -1);
    };
    if (processSmall() != 0) return kWarmUpFailed;

    const size_t size = static_cast<size_t>(c.width) * c.height * 3 / 2;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) return kNoBuffer;
    for (size_t i = 0; i < size; ++i) buffer[i] = pattern(i);
    if (!c.ulimitKB && !capAddressSpace(addressSpaceBytes() + (c.headroomMB << 20)))
        return kNoLimit;

    const int result = engine->processFrame(kPixelFormatI420, c.width, c.height, buffer.get(),
                                            static_cast<int>(size), 0, 0, -1, -1);
    if (result != -1) return kNotFailed;
    for (size_t i = 0; i < size; ++i)
        if (buffer[i] != pattern(i)) return kBufferChanged;
    if (observer.lastError.find("processFrame fail") == std::string::npos) return kNoLog;
    buffer.reset();
    return processSmall() == 0 ? kPassed : kAfterwardsFailed;
}

class OutOfMemory : public ::testing::TestWithParam<OomCase> {};

TEST_P(OutOfMemory, FailsTheFrameKeepsTheBufferAndTheEngineGoesOn) {
#ifdef KELVO_SANITIZED
    GTEST_SKIP() << "sanitizers reserve terabytes of address space: no cap can be set";
#endif
#if !KELVO_WITH_GL
    if (std::string(GetParam().config).find("gpu") != std::string::npos)
        GTEST_SKIP() << "built without GL";
#endif
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(runCase(GetParam()));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kPassed) << "the child failed at step " << WEXITSTATUS(status);
}

// Two ways to run short: little headroom after a warm-up, or a process
// started under a small cap (8192² is enough there for the GL chain).
INSTANTIATE_TEST_SUITE_P(
    BothBackends, OutOfMemory,
    ::testing::Values(
        OomCase{"cpu_16384x12288_headroom", R"({"backend":"cpu"})", 16384, 12288, 512, 0},
        OomCase{"gpu_16384x12288_headroom", R"({"backend":"gpu"})", 16384, 12288, 512, 0},
        OomCase{"cpu_16384x16384_ulimit", R"({"backend":"cpu"})", 16384, 16384, 0, 1500000},
        OomCase{"gpu_8192x8192_ulimit", R"({"backend":"gpu"})", 8192, 8192, 0, 1500000}),
    [](const ::testing::TestParamInfo<OomCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace video
}  // namespace kelvo
