#include "effects/lut_loader.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "resources/resources.h"

namespace kelvo::video {
namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void pngReaderCallback(png_structp png, png_bytep out, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    // Written so that offset + length cannot wrap.
    if (length > reader->size - reader->offset) {
        png_error(png, "pngReaderCallback failed");
    }
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
}

// Owned by the caller of readImage: a libpng error longjmps back into
// readImage, and nothing with a destructor may live in the frames it skips.
struct DecodeTarget {
    std::shared_ptr<ARGBFrame> frame;
    std::vector<png_bytep> rows;
};

bool readImage(png_structp png, png_infop info, bool keepOrientation, DecodeTarget* target) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    // Deflate expands at most 1032 times, so an image whose raw rows need far
    // more bytes than the whole file cannot be complete; refuse it before
    // allocating gigabytes for a few bytes of input.
    const auto* reader = static_cast<const MemoryReader*>(png_get_io_ptr(png));
    const double rawBytes =
        static_cast<double>(height) * (static_cast<double>(png_get_rowbytes(png, info)) + 1.0);
    if (rawBytes > 1032.0 * static_cast<double>(reader->size) + 65536.0) {
        return false;
    }

    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if (bitDepth == 16) {
        png_set_strip_16(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    // Rows of three or two channels would leave part of every frame row unset.
    if (png_get_channels(png, info) != 4 || png_get_bit_depth(png, info) != 8) {
        return false;
    }
    if (width > INT32_MAX || height > INT32_MAX) {
        return false;
    }
    target->frame =
        std::make_shared<ARGBFrame>(static_cast<int32_t>(width), static_cast<int32_t>(height));
    ARGBFrame& frame = *target->frame;
    // A size the frame can hold that still left it empty: out of memory.
    if (frame.empty() && uint64_t{width} * height * 4 <= uint64_t{INT32_MAX}) {
        throw std::bad_alloc();
    }
    if (frame.empty() || png_get_rowbytes(png, info) != static_cast<size_t>(frame.stride())) {
        return false;
    }
    // Decoding straight into the frame's rows; the order of the pointers does
    // the flip.
    target->rows.resize(height);
    for (png_uint_32 i = 0; i < height; ++i) {
        const png_uint_32 row = keepOrientation ? i : height - 1 - i;
        target->rows[i] = frame.data() + static_cast<size_t>(row) * frame.stride();
    }
    png_read_image(png, target->rows.data());
    // Reading to IEND checks the rest of the stream, so a cut-off tail fails.
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

std::shared_ptr<ARGBFrame> decodePngToARGBFrame(const uint8_t* data, size_t size,
                                                bool keepOrientation) {
    if (!data || size == 0) {
        return nullptr;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    MemoryReader reader{data, size, 0};
    png_set_read_fn(png, &reader, pngReaderCallback);

    DecodeTarget target;
    bool ok = false;
    bool outOfMemory = false;
    try {
        ok = readImage(png, info, keepOrientation, &target);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    // Out of memory is no bad table: the caller fails now and tries again.
    if (outOfMemory) throw std::bad_alloc();
    return ok ? target.frame : nullptr;
}

std::shared_ptr<ARGBFrame> decodeLutTable(const uint8_t* data, size_t size) {
    auto frame = decodePngToARGBFrame(data, size, true);
    if (!frame || frame->width() != kLutImageSize || frame->height() != kLutImageSize) {
        return nullptr;
    }
    return frame;
}

std::shared_ptr<ARGBFrame> loadLutTable(int resourceId) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!findEmbeddedResource(resourceId, &data, &size)) {
        return nullptr;
    }
    return decodeLutTable(data, size);
}

}  // namespace kelvo::video
