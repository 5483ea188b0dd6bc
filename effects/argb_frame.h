#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace kelvo::video {

// One decoded image: width x height pixels of 4 bytes each, rows packed with a
// stride of width * 4. The bytes are in R, G, B, A order despite the name (the
// texture upload treats them as GL_RGBA).
//
// The constructor allocates the buffer uninitialised. Non-positive sizes, a
// byte count beyond 32 bits or a failed allocation give an empty frame
// (0 x 0, data() null) rather than throwing; callers check empty(). Held by
// shared ownership; the buffer goes with the last owner. Not thread-safe for
// concurrent writes.
class ARGBFrame {
public:
    ARGBFrame(int32_t width, int32_t height) {
        if (width <= 0 || height <= 0) return;
        const int64_t bytes = int64_t{width} * int64_t{height} * 4;
        if (bytes > INT32_MAX) return;
        data_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
        if (!data_) return;
        width_ = width;
        height_ = height;
        size_ = static_cast<int32_t>(bytes);
    }

    ARGBFrame(const ARGBFrame&) = delete;
    ARGBFrame& operator=(const ARGBFrame&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // Bytes in the buffer: width * height * 4.
    int32_t size() const { return size_; }
    int32_t stride() const { return width_ * 4; }
    bool empty() const { return !data_; }
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t size_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

}  // namespace kelvo::video
