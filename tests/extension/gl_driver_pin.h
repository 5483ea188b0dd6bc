// The host tests start engines that may load the GL driver; pinning it keeps
// LeakSanitizer able to follow what the driver holds. Without GL there is
// nothing to pin.
#pragma once

#if KELVO_WITH_GL
#include "platform/gl_driver.h"
#else
namespace kelvo {
namespace video {
inline void keepGLDriverLoaded() {}
}  // namespace video
}  // namespace kelvo
#endif
