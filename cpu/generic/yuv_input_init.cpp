// Architectures without YUV input rows: the portable ones stay.
#include "cpu/yuv_input_rows.h"

namespace kelvo {
namespace video {

void yuvInputRowsInitArch(YUVInputRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
