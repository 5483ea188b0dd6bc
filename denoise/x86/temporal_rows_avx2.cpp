// AVX2 rows of the strong denoiser, from the lane-set kernels.
#include "denoise/x86/denoise_rows_x86.h"

#include "cpu/vec16_avx2.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsAVX2 = {temporalColumnSumsRow<AVX2Ops16>,
                                        temporalWeightsRow<AVX2Ops16>, temporalBlendRow<AVX2Ops16>,
                                        temporalMaxHalveRow<AVX2Ops16>};

}  // namespace video
}  // namespace kelvo

