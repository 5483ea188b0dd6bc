// Low-light enhancement as both backends draw it.
#pragma once

#include <memory>

namespace kelvo {
namespace video {

class I420VideoFrame;

// What low light does with a frame before drawing, the same on both backends:
// kDrawUnchanged in automatic mode on a scene not judged dark, or for an
// almost black frame; kDrawNoOutput before any frame brought statistics;
// kDrawDone to draw with *logMean, which keeps the last statistics seen.
int lowlightDrawDecision(int mode, bool darkScene, const std::shared_ptr<I420VideoFrame>& frame,
                         float* logMean);

}  // namespace video
}  // namespace kelvo
