// The AVX2 instance of lanes16_check.h, compiled for AVX2 by the pragma and
// run only where the processor has it.
#if defined(__x86_64__) || defined(__i386__)
#pragma GCC target("avx2")

#include <cstddef>
#include <cstring>

#include "cpu/vec16_avx2.h"
#include "cpu/lanes16_check.h"

namespace kelvo {
namespace video {

int lanes16FailuresAVX2(char* first, size_t size) {
    Lanes16Check check;
    checkLanes16<AVX2Ops16>(check);
    std::strncpy(first, check.first, size - 1);
    first[size - 1] = 0;
    return check.failures;
}

}  // namespace video
}  // namespace kelvo
#endif
