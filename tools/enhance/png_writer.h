// Writes 8-bit RGB images as PNG (before/after snapshots).
#pragma once

#include <cstdint>
#include <string>

namespace kelvo {
namespace enhance {

// rgb: width × height pixels, 3 bytes each (R, G, B), rows tightly packed.
// Returns false and sets `error` when the file cannot be written.
bool writePngRgb(const std::string& path, const uint8_t* rgb, int width, int height,
                 std::string* error);

}  // namespace enhance
}  // namespace kelvo
