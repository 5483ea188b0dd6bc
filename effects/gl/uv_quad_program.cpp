#include "effects/gl/uv_quad_program.h"

namespace kelvo {
namespace video {

void UVQuadProgram::bindAttributes() {
    setVetextAttribPointer("attPosition", quadPositions);
    setVetextAttribPointer("attUV", quadTexCoords);
}

}  // namespace video
}  // namespace kelvo
