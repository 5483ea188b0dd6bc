// Programs whose vertex stage takes the full-screen quad as "attPosition"
// and "attUV" rather than the default attribute names.
#pragma once

#include "gpu/gl_program.h"

namespace kelvo {
namespace video {

class UVQuadProgram : public GLProgram {
public:
    using GLProgram::GLProgram;
    // "attPosition" <- quad positions, "attUV" <- texture coordinates.
    void bindAttributes() override;
};

}  // namespace video
}  // namespace kelvo
