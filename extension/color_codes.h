// Host colour codes (ITU-T H.273) to the engine's colour codes. The tables
// are constant data, in place as soon as the library is loaded; reading them
// is thread-safe.
#pragma once

namespace kelvo {
namespace video {

// Host matrix code → engine matrix code (kColorMatrix...; −1 not given).
// 2 (unspecified) and 12..14 give −1; codes the engine has no match for
// (3, 15 and beyond, negative ones) give 0.
int engineMatrixCode(int hostMatrixCode);

// Host range code → engine range code: 1 limited → 0, 2 full → 1,
// 0 (invalid) and 3 (derived) → −1, any other code → 0.
int engineRangeCode(int hostRangeCode);

}  // namespace video
}  // namespace kelvo
