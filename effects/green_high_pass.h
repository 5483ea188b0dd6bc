// The nine-tap sums and the green-channel high-pass that beauty and low
// light sharpen with, as both backends compute them.
#pragma once

namespace kelvo::video {

// Weight of each of nine taps in a box sum: the literal 0.1111, not 1/9, so
// a flat area comes out 0.01 % darker; tuned that way and kept.
constexpr float kNineTapWeight = 0.1111f;

// The high-pass d = green - (3 x 3 mean of green) picks its sharpening
// weight by band: d < low, low <= d <= mid, and above (10/255 and 20/255,
// rounded to six places as first written).
constexpr float kHighPassThresholdLow = 0.039216f;
constexpr float kHighPassThresholdMid = 0.078431f;

}  // namespace kelvo::video
