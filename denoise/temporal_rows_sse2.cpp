// SSE2 rows of the strong denoiser, from the lane-set kernels.
#include "denoise/temporal_rows.h"

#if KELVO_CPU_X86

#include "cpu/vec16_sse2.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsSSE2 = {temporalColumnSumsRow<SSE2Ops16>,
                                        temporalWeightsRow<SSE2Ops16>, temporalBlendRow<SSE2Ops16>,
                                        temporalMaxHalveRow<SSE2Ops16>};

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
