// Effect names as the command-line tool and the GStreamer element take them.
#pragma once

#include <string>
#include <vector>

namespace kelvo {
namespace video {

// "denoise,lowlight,color,beauty" ("colour" too) or the public ids 101-104, in
// any mix and order; blanks around names and empty items are skipped, so an
// empty or blank text is an empty list. False with `error` naming the first
// unknown item (and `effects` cleared).
bool parseEffectNames(const std::string& text, std::vector<int>* effects, std::string* error);

// What kelvo-enhance, the GStreamer element and the OBS filter run when not
// told otherwise: "denoise,color,beauty". Low light is left out because its
// automatic mode calls ordinary, normally exposed footage (mean luma 120 or
// less, or 35 % of it below 100) a dark scene and lifts it; it is there to
// be asked for.
extern const char kDefaultEffectNames[];

}  // namespace video
}  // namespace kelvo
