// SIMD128 rows of the strong denoiser, from the lane-set kernels.
#include "denoise/wasm/denoise_rows_wasm.h"

#include "cpu/vec16_wasm.h"
#include "denoise/temporal_rows_kernel.h"

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsSIMD128 = {temporalColumnSumsRow<WASMOps16>,
                                        temporalWeightsRow<WASMOps16>, temporalBlendRow<WASMOps16>,
                                        temporalMaxHalveRow<WASMOps16>};

}  // namespace video
}  // namespace kelvo

