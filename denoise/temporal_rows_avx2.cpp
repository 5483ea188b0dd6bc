#include "denoise/temporal_rows.h"

#if KELVO_TEMPORAL_ROWS_X86

namespace kelvo {
namespace video {

const TemporalRows kTemporalRowsAVX2 = {columnSumsC, temporalWeightsC, temporalBlendC, maxHalveC};

}  // namespace video
}  // namespace kelvo

#endif
