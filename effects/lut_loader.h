#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "effects/argb_frame.h"

namespace kelvo::video {

// Resource ids of the embedded lookup tables.
constexpr int kWhiteningLutId = 101;  // beauty, `whitenImageTex`
constexpr int kRuddyLutId = 102;      // beauty, `ruddyImageTex`
constexpr int kSkinLutId = 103;       // colour enhancement, `skinLutTex`

// A table is a 64-level colour cube in a 512x512 image of 8x8 tiles of 64x64:
// blue level k owns the tile at column k % 8, row k / 8 (from the top); in a
// tile red runs along x and green down y. Level l stands for l / 63.
constexpr int kLutImageSize = 512;
constexpr int kLutLevels = 64;
constexpr int kLutTilesPerRow = kLutImageSize / kLutLevels;  // 8

// How a read addresses the table (texture units): blue times kLutTopLevel
// gives the tile; a tile is kLutTileSize wide, and red (green) runs from the
// centre of its first texel, kLutTexelCentre in, across kLutTileSpan to the
// centre of its last. All exact in float.
constexpr float kLutTopLevel = static_cast<float>(kLutLevels - 1);   // 63
constexpr float kLutTileSize = 1.0f / kLutTilesPerRow;               // 0.125
constexpr float kLutTexelCentre = 0.5f / kLutImageSize;              // 0.0009765625
constexpr float kLutTileSpan = kLutTileSize - 1.0f / kLutImageSize;  // 0.123046875

// Decodes a PNG held in memory into 8-bit RGBA rows. Palette, low-depth grey,
// grey-with-alpha, 16-bit and tRNS images are normalised; an image that still
// has fewer than four channels (RGB, or grey without transparency) is
// rejected, since a frame always holds four bytes a pixel. With
// keepOrientation the first PNG row is the first frame row, otherwise the rows
// are flipped vertically.
//
// Never reads outside [data, data + size). Returns null on any failure:
// null or empty input, a malformed or truncated stream (a read past the end
// raises the libpng error "pngReaderCallback failed", which libpng's default
// handler prints to stderr), or an image too large for a 32-bit byte count.
// The whole stream up to IEND is read, so a cut-off tail is a failure too.
// Thread-safe: no shared state.
std::shared_ptr<ARGBFrame> decodePngToARGBFrame(const uint8_t* data, size_t size,
                                                bool keepOrientation);

// Decodes PNG bytes as a lookup table: null unless the image is a 512x512
// four-channel image.
std::shared_ptr<ARGBFrame> decodeLutTable(const uint8_t* data, size_t size);

// Finds the embedded table `resourceId` (101, 102 or 103) and decodes it.
// Null when the id is unknown or the bytes are not a valid table; nothing is
// logged. The caller uploads the frame (512x512, GL_RGBA, unsigned byte) and
// keeps only the texture; each call decodes anew, so effects call it only
// while their table texture is still missing.
std::shared_ptr<ARGBFrame> loadLutTable(int resourceId);

}  // namespace kelvo::video
