// Architectures without packed-conversion rows: the portable ones stay.
#include "convert/color_space_rows.h"

namespace kelvo {
namespace video {

void packedRowsInitArch(PackedRows&, CpuFlags) {}

}  // namespace video
}  // namespace kelvo
