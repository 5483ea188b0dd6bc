// The 16-bit lane sets against the portable one, operation by operation.
#include <gtest/gtest.h>

#include <cstddef>

#include "system/cpu_features.h"

#if KELVO_CPU_X86
#include "cpu/lanes16_check.h"
#include "cpu/vec16_sse2.h"

namespace kelvo {
namespace video {

int lanes16FailuresAVX2(char* first, size_t size);

namespace {

TEST(Lanes16, EveryOperationMatchesThePortableSet) {
    Lanes16Check sse2;
    checkLanes16<SSE2Ops16>(sse2);
    EXPECT_EQ(sse2.failures, 0) << "SSE2 " << sse2.first;
    if (!(cpuFlags() & kCpuFlagAVX2)) GTEST_SKIP() << "no AVX2 here";
    char first[160];
    EXPECT_EQ(lanes16FailuresAVX2(first, sizeof first), 0) << "AVX2 " << first;
}

}  // namespace
}  // namespace video
}  // namespace kelvo
#elif defined(__aarch64__)
#include "cpu/lanes16_check.h"
#include "cpu/vec16_neon.h"

namespace kelvo {
namespace video {
namespace {

TEST(Lanes16, EveryOperationMatchesThePortableSet) {
    Lanes16Check neon;
    checkLanes16<NEONOps16>(neon);
    EXPECT_EQ(neon.failures, 0) << "NEON " << neon.first;
}

}  // namespace
}  // namespace video
}  // namespace kelvo
#endif
