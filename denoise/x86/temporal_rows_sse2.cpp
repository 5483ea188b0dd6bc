// SSE2 rows of the strong denoiser, from the lane-set kernels.
#include "denoise/x86/denoise_rows_x86.h"

#include "cpu/vec16_sse2.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsSSE2 = {temporalColumnSumsRow<SSE2Ops16>,
                                        temporalWeightsRow<SSE2Ops16>, temporalBlendRow<SSE2Ops16>,
                                        temporalMaxHalveRow<SSE2Ops16>};

}  // namespace video
}  // namespace kelvo

