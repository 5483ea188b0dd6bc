// Effect names as the command-line tool, the GStreamer element and the OBS
// filters take them.
#pragma once

#include <string>
#include <vector>

namespace kelvo {
namespace video {

// The effects an integration runs unless told otherwise, in chain order.
extern const char kDefaultEffectNames[];

// "denoise,lowlight,color,beauty" ("colour" too) or the public ids 101-104, in
// any mix and order; blanks around names and empty items are skipped, so an
// empty or blank text is an empty list. False with `error` naming the first
// unknown item (and `effects` cleared).
bool parseEffectNames(const std::string& text, std::vector<int>* effects, std::string* error);

}  // namespace video
}  // namespace kelvo
