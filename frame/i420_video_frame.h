// The frame type that travels through the library: three separately
// allocated planes (Y, U, V) with their own strides, the picture size, an
// optional GL texture that carries the picture instead of the planes, colour
// codes and metadata records by kind.
//
// Ownership: a frame owns its plane storage and frees it in its destructor;
// it shares ownership of its metadata records; a texture named by textureId
// is never owned. Frames are created on the heap and held by
// std::shared_ptr<I420VideoFrame> with I420VideoFrame::deleter.
//
// Thread-safety: none. A frame belongs to one processing call at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

// Returns storage of `size` bytes whose address is a multiple of `alignment`,
// or null when size is 0, alignment is 0 or not a power of two, the size
// overflows, or the heap is exhausted. The block address and the size are
// kept in a header just below the returned address (size at r - 16, block at
// r - 8). Release with alignedFree only.
void* alignedAlloc(size_t size, size_t alignment);

// Frees storage from alignedAlloc; does nothing for null.
void alignedFree(void* ptr);

// One plane's storage: 64-byte aligned, grown on demand, never shrunk.
// Owns `buffer` (released in the destructor); not copyable.
struct FramePlane {
    static constexpr size_t kAlignment = 64;

    explicit FramePlane(int index = 0) : planeIndex(index) {}
    ~FramePlane();
    FramePlane(const FramePlane&) = delete;
    FramePlane& operator=(const FramePlane&) = delete;

    // Makes `buffer` hold at least n bytes, keeping the first planeSize bytes.
    // 0, or −1 when n <= 0 or storage cannot be obtained (the old storage is
    // then kept as it was).
    int ensureCapacity(int n);

    // Sets the stride, grows the storage to `allocated` and marks planeSize
    // bytes in use; existing bytes are kept, not cleared. −1 when any argument
    // is <= 0, when planeSize exceeds `allocated`, or when growing fails.
    int createEmpty(int allocated, int stride, int planeSize);

    // Copies `rows` rows from src (srcStride apart) into the storage
    // (dstStride apart), growing it to `size`; then planeSize = size and
    // stride = dstStride. Each row takes min(srcStride, dstStride) bytes, so a
    // wider source never writes past its destination row. −1 when size <= 0,
    // src is null, a stride or row count is negative, the rows do not fit in
    // `size`, or growing fails.
    int copyRows(int size, int dstStride, int srcStride, int rows, const uint8_t* src);

    // Exchanges every field, including the storage, with `other`.
    void swap(FramePlane& other);

    int planeIndex;             // 0 Y, 1 U, 2 V
    uint8_t* buffer = nullptr;  // null until the first allocation
    int allocatedSize = 0;      // bytes available in buffer
    int planeSize = 0;          // bytes in use; 0 means empty
    int stride = 0;             // bytes from one row to the next
};

// Planar picture. Plane arguments are 0 Y, 1 U, 2 V. Results are 0 on
// success and −1 on bad dimensions, bad plane numbers, size overflow or
// allocation failure, unless noted.
class I420VideoFrame {
public:
    // Deletes the frame when its last shared owner goes.
    struct deleter {
        void operator()(I420VideoFrame* frame) const { delete frame; }
    };

    I420VideoFrame();
    virtual ~I420VideoFrame();
    I420VideoFrame(const I420VideoFrame&) = delete;
    I420VideoFrame& operator=(const I420VideoFrame&) = delete;

    // allocate(..., 1).
    virtual int allocateI420(int width, int height, int strideY, int strideU, int strideV);

    // Gives the planes storage for a width x height picture. A zero stride
    // among the three makes the luma stride the width; the luma stride is
    // rounded up to a multiple of 16 and the chroma stride is half of it,
    // rounded up (strideU and strideV are otherwise not used). Chroma rows
    // are height for format 2, else (height + 1) / 2. width, height and
    // format are stored before the dimension check, so they stay on −1.
    // Existing bytes are kept. Sets storageKind and userValue1 to 0.
    virtual int allocate(int width, int height, int strideY, int strideU, int strideV, int format);

    // Copies I420 planes into the frame, whose luma stride becomes strideY
    // rounded up to 16 and chroma stride half of that; then pads the row
    // ends. Each size must be at least 1 and cover the rows read from its
    // source; −1 otherwise, with nothing changed. format is not changed;
    // storageKind becomes 0.
    virtual int copyPlanesI420(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU,
                               int sizeV, const uint8_t* srcV, int width, int height, int strideY,
                               int strideU, int strideV);

    // As copyPlanesI420, but stores `format` (after the dimension check,
    // which uses the previous format) and copies `height` chroma rows for
    // format 2.
    virtual int copyPlanes(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU,
                           int sizeV, const uint8_t* srcV, int width, int height, int strideY,
                           int strideU, int strideV, int format);

    // Copies other's planes, size, userValue1/2, storageKind, texture fields,
    // format and colour codes. Metadata and userValue3/4 are not copied.
    // Returns copyPlanesI420's negative result as is.
    virtual int copyFrame(const I420VideoFrame& other);

    // Exchanges planes and the fields copyFrame copies with *other (null is
    // ignored). Metadata and userValue3/4 stay.
    virtual void swapFrame(I420VideoFrame* other);

    // Fills the bytes between the visible width and the stride of every row
    // with the row's last visible sample (chroma: (width + 1) / 2 samples), so
    // a texture as wide as the stride samples cleanly at the right edge. Does
    // nothing when the luma stride equals the width. Never touches bytes
    // outside the planes' storage.
    virtual void padRowEnds();

    // Plane storage, or null for a plane number other than 0, 1, 2.
    virtual uint8_t* buffer(int plane);
    virtual const uint8_t* buffer(int plane) const;
    // −1 for a bad plane number.
    virtual int allocatedSize(int plane) const;
    virtual int stride(int plane) const;
    // Whether the plane's storage holds `rows` rows of `columns` bytes at its
    // stride: rows - 1 whole strides plus the last row. True for no rows.
    bool planeHolds(int plane, int columns, int rows) const;

    // Checked against the current strides (see checkDimensions).
    virtual int setWidth(int width);
    virtual int setHeight(int height);
    virtual int width() const;
    virtual int height() const;

    virtual void setUserValue1(int value);
    virtual int userValue1() const;
    virtual void setUserValue2(int value);
    virtual int userValue2() const;

    // True when no plane holds data (a texture-only frame is empty).
    virtual bool isEmpty() const;
    // Marks all planes empty; storage stays.
    virtual void resetSize();
    // Always null.
    virtual void* handle() const;

    virtual void setUserValue3(int value);
    virtual void setUserValue4(int value);
    virtual int userValue4() const;
    virtual int userValue3() const;

    // For format 1 or 2: −1 when width < 1, height < 1, strideY < width or a
    // chroma stride < (width + 1) / 2. Any other format accepts everything.
    virtual int checkDimensions(int width, int height, int strideY, int strideU, int strideV) const;

    // Stores `record` under `kind`, replacing an earlier one. −6 when kind is
    // 0 or record is null.
    int setMetadata(int kind, std::shared_ptr<IMetaDataInfo> record);
    // The record under `kind`, or an empty pointer.
    std::shared_ptr<IMetaDataInfo> metadata(int kind) const;

private:
    FramePlane* plane(int index);
    const FramePlane* plane(int index) const;
    // newFormat < 0 keeps the format; chromaFormat picks the chroma rows.
    int copyPlanesImpl(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU, int sizeV,
                       const uint8_t* srcV, int width, int height, int strideY, int strideU,
                       int strideV, int newFormat, int chromaFormat);

    FramePlane planes_[3];
    int width_ = 0;
    int height_ = 0;
    int userValue1_ = 0;
    int userValue2_ = 0;
    int userValue3_ = 0;
    int userValue4_ = 0;

public:
    int storageKind = -1;  // 0 planes, 1 texture, −1 not yet known
    int textureId = 0;     // GL texture name, not owned
    int textureType = 2;   // 1 plain 2D, 2 external OES
    int format = 0;        // 0 none, 1 I420, 2 I422
    int colorRange = -1;   // 0 limited, 1 full, −1 not given
    int colorMatrix = -1;  // colour matrix code, −1 not given

private:
    std::map<int, std::shared_ptr<IMetaDataInfo>> metadata_;
};

}  // namespace video
}  // namespace kelvo
