// Architectures without denoiser rows: the portable ones stay.
#include "denoise/denoiser_rows.h"
#include "denoise/temporal_rows.h"

namespace kelvo {
namespace video {

void denoiserRowsInitArch(DenoiserRows&, CpuFlags) {}
void temporalRowsInitArch(TemporalRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
