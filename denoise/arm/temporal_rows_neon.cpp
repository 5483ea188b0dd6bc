// NEON rows of the strong denoiser, from the lane-set kernels.
#include "denoise/arm/denoise_rows_arm.h"
#include "cpu/vec16_neon.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsNEON = {temporalColumnSumsRow<NEONOps16>,
                                        temporalWeightsRow<NEONOps16>, temporalBlendRow<NEONOps16>,
                                        temporalMaxHalveRow<NEONOps16>};

}  // namespace video
}  // namespace kelvo
