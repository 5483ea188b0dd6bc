// Which row set the CPU kernels use, decided once per process.
#pragma once

namespace kelvo {
namespace video {

enum class RowPath { kPortable, kSSE2, kAVX2 };

// Whether this build and processor can run the path; kPortable always.
bool rowPathSupported(RowPath path);
// The fastest supported path, checked once (thread-safe).
RowPath bestRowPath();

}  // namespace video
}  // namespace kelvo
