#include "png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace kelvo {
namespace enhance {

bool writePngRgb(const std::string& path, const uint8_t* rgb, int width, int height,
                 std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        *error = "PNG encoding of '" + path + "' failed";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(row) * width * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace enhance
}  // namespace kelvo
