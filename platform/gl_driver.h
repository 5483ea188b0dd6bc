// Keeping the GL driver mapped for the life of the process.
#pragma once

namespace kelvo {
namespace video {

// Marks the GL driver libraries loaded so far (Mesa's DRI/gallium driver and
// its LLVM) as never to be unloaded. Destroying the last context would
// otherwise unload the driver, leak what its globals still hold, and pay for
// loading LLVM again with the next context (every stream restart of a host).
// Cheap; safe to call more than once.
void keepGLDriverLoaded();

}  // namespace video
}  // namespace kelvo
