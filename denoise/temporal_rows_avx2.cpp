// AVX2 rows of the strong denoiser, from the lane-set kernels.
#include "denoise/temporal_rows.h"

#if KELVO_CPU_X86

#include "cpu/vec16_avx2.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsAVX2 = {temporalColumnSumsRow<AVX2Ops16>,
                                        temporalWeightsRow<AVX2Ops16>, temporalBlendRow<AVX2Ops16>,
                                        temporalMaxHalveRow<AVX2Ops16>};

}  // namespace video
}  // namespace kelvo

#endif  // KELVO_CPU_X86
