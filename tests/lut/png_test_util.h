#pragma once

#include <png.h>

#include <cstdint>
#include <vector>

namespace kelvo::video::test {

// Encodes an image with libpng into memory. `pixels` holds the rows packed
// for the given colour type and bit depth (16-bit samples big-endian).
// `trns` adds a transparency chunk: for palette images entry 0 gets alpha 0,
// for grey and RGB images the colour 0 becomes transparent.
inline std::vector<uint8_t> encodePng(int width, int height, int colorType, int bitDepth,
                                      const std::vector<uint8_t>& pixels, bool trns = false,
                                      bool interlaced = false) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, bitDepth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_byte paletteAlpha[1] = {0};
    png_color_16 transparent{};
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, 4);
        if (trns) png_set_tRNS(png, info, paletteAlpha, 1, nullptr);
    } else if (trns) {
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; ++y) {
        rows[y] = const_cast<png_bytep>(pixels.data() + y * rowBytes);
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace kelvo::video::test
