#include "frame/i420_video_frame.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kelvo {
namespace video {

namespace {

// Size at r - 16, block address at r - 8.
constexpr size_t kHeaderBytes = 16;

bool fitsInt(int64_t v) { return v >= 0 && v <= INT_MAX; }

int64_t roundUp16(int64_t v) { return (v + 15) & ~int64_t{15}; }

int chromaRowsFor(int format, int height) { return format == 2 ? height : (height + 1) / 2; }

// Bytes a copy of `rows` rows reads from a source `srcStride` apart when each
// row takes `rowBytes` bytes.
int64_t bytesRead(int rows, int srcStride, int rowBytes) {
    if (rows <= 0) return 0;
    return int64_t{rows - 1} * srcStride + rowBytes;
}

void padPlane(FramePlane& p, int visibleWidth, int rows) {
    if (!p.buffer || visibleWidth < 1 || p.stride <= visibleWidth) return;
    rows = std::min(rows, p.allocatedSize / p.stride);
    uint8_t* row = p.buffer;
    for (int i = 0; i < rows; ++i, row += p.stride) {
        std::memset(row + visibleWidth, row[visibleWidth - 1],
                    static_cast<size_t>(p.stride - visibleWidth));
    }
}

}  // namespace

void* alignedAlloc(size_t size, size_t alignment) {
    if (size == 0 || alignment == 0 || (alignment & (alignment - 1)) != 0) return nullptr;
    if (size > SIZE_MAX - alignment - kHeaderBytes) return nullptr;
    void* block = std::malloc(size + alignment + kHeaderBytes - 1);
    if (!block) return nullptr;
    uintptr_t r = (reinterpret_cast<uintptr_t>(block) + alignment + kHeaderBytes - 1) &
                  ~(uintptr_t{alignment} - 1);
    auto* p = reinterpret_cast<uint8_t*>(r);
    std::memcpy(p - 16, &size, sizeof(size));
    std::memcpy(p - 8, &block, sizeof(block));
    return p;
}

void alignedFree(void* ptr) {
    if (!ptr) return;
    void* block;
    std::memcpy(&block, static_cast<uint8_t*>(ptr) - 8, sizeof(block));
    std::free(block);
}

FramePlane::~FramePlane() { alignedFree(buffer); }

int FramePlane::ensureCapacity(int n) {
    if (n <= 0) return -1;
    if (allocatedSize >= n) return 0;
    auto* grown = static_cast<uint8_t*>(alignedAlloc(static_cast<size_t>(n), kAlignment));
    if (!grown) return -1;
    int keep = std::min(planeSize, allocatedSize);
    if (buffer && keep > 0) std::memcpy(grown, buffer, static_cast<size_t>(keep));
    alignedFree(buffer);
    buffer = grown;
    allocatedSize = n;
    return 0;
}

int FramePlane::createEmpty(int allocated, int newStride, int newPlaneSize) {
    if (allocated <= 0 || newStride <= 0 || newPlaneSize <= 0 || newPlaneSize > allocated)
        return -1;
    if (ensureCapacity(allocated) != 0) return -1;
    stride = newStride;
    planeSize = newPlaneSize;
    return 0;
}

int FramePlane::copyRows(int size, int dstStride, int srcStride, int rows, const uint8_t* src) {
    if (size <= 0 || !src || dstStride < 0 || srcStride < 0 || rows < 0) return -1;
    const int rowBytes = std::min(srcStride, dstStride);
    if (bytesRead(rows, dstStride, rowBytes) > size) return -1;
    if (ensureCapacity(size) != 0) return -1;
    uint8_t* dst = buffer;
    for (int i = 0; i < rows; ++i) {
        std::memcpy(dst, src, static_cast<size_t>(rowBytes));
        dst += dstStride;
        src += srcStride;
    }
    planeSize = size;
    stride = dstStride;
    return 0;
}

void FramePlane::swap(FramePlane& other) {
    std::swap(stride, other.stride);
    std::swap(allocatedSize, other.allocatedSize);
    std::swap(planeSize, other.planeSize);
    std::swap(buffer, other.buffer);
    std::swap(planeIndex, other.planeIndex);
}

I420VideoFrame::I420VideoFrame() : planes_{FramePlane(0), FramePlane(1), FramePlane(2)} {}

I420VideoFrame::~I420VideoFrame() = default;

FramePlane* I420VideoFrame::plane(int index) {
    return index >= 0 && index < 3 ? &planes_[index] : nullptr;
}

const FramePlane* I420VideoFrame::plane(int index) const {
    return index >= 0 && index < 3 ? &planes_[index] : nullptr;
}

int I420VideoFrame::allocateI420(int width, int height, int strideY, int strideU, int strideV) {
    return allocate(width, height, strideY, strideU, strideV, 1);
}

int I420VideoFrame::allocate(int width, int height, int strideY, int strideU, int strideV,
                             int newFormat) {
    if (strideY == 0 || strideU == 0 || strideV == 0) strideY = width;
    width_ = width;
    height_ = height;
    format = newFormat;
    const int64_t sy = roundUp16(strideY);
    if (sy > INT_MAX) return -1;
    const int c = static_cast<int>((sy + 1) / 2);
    if (checkDimensions(width, height, static_cast<int>(sy), c, c) != 0) return -1;
    const int rows = chromaRowsFor(newFormat, height);
    const int64_t ySize = int64_t{height} * sy;
    const int64_t cSize = int64_t{c} * rows;
    if (!fitsInt(ySize) || !fitsInt(cSize)) return -1;
    const int y = static_cast<int>(ySize);
    const int uv = static_cast<int>(cSize);
    if (planes_[0].createEmpty(y, static_cast<int>(sy), y) != 0 ||
        planes_[1].createEmpty(uv, c, uv) != 0 || planes_[2].createEmpty(uv, c, uv) != 0)
        return -1;
    storageKind = 0;
    userValue1_ = 0;
    return 0;
}

int I420VideoFrame::copyPlanesImpl(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU,
                                   int sizeV, const uint8_t* srcV, int width, int height,
                                   int strideY, int strideU, int strideV, int newFormat,
                                   int chromaFormat) {
    if (!srcY || !srcU || !srcV || height < 1 || strideY < 1 || strideU < 1 || strideV < 1)
        return -1;
    const int64_t d64 = roundUp16(strideY);
    if (d64 > INT_MAX) return -1;
    const int d = static_cast<int>(d64);
    const int c = d / 2;
    if (checkDimensions(width, height, d, c, c) != 0) return -1;
    const int rows = chromaRowsFor(chromaFormat, height);
    const int64_t ySize = int64_t{height} * d;
    const int64_t cSize = int64_t{c} * rows;
    if (!fitsInt(ySize) || !fitsInt(cSize) || cSize == 0) return -1;
    // The sizes bound what is read, so a short source is rejected, not overread.
    if (bytesRead(height, strideY, std::min(strideY, d)) > sizeY ||
        bytesRead(rows, strideU, std::min(strideU, c)) > sizeU ||
        bytesRead(rows, strideV, std::min(strideV, c)) > sizeV)
        return -1;
    // Grow first so that a failed allocation leaves the picture untouched.
    if (planes_[0].ensureCapacity(static_cast<int>(ySize)) != 0 ||
        planes_[1].ensureCapacity(static_cast<int>(cSize)) != 0 ||
        planes_[2].ensureCapacity(static_cast<int>(cSize)) != 0)
        return -1;
    if (newFormat >= 0) format = newFormat;
    width_ = width;
    height_ = height;
    planes_[0].copyRows(static_cast<int>(ySize), d, strideY, height, srcY);
    planes_[1].copyRows(static_cast<int>(cSize), c, strideU, rows, srcU);
    planes_[2].copyRows(static_cast<int>(cSize), c, strideV, rows, srcV);
    padRowEnds();
    storageKind = 0;
    return 0;
}

int I420VideoFrame::copyPlanesI420(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU,
                                   int sizeV, const uint8_t* srcV, int width, int height,
                                   int strideY, int strideU, int strideV) {
    if (sizeY < 1 || sizeU < 1 || sizeV < 1) return -1;
    return copyPlanesImpl(sizeY, srcY, sizeU, srcU, sizeV, srcV, width, height, strideY, strideU,
                          strideV, -1, 1);
}

int I420VideoFrame::copyPlanes(int sizeY, const uint8_t* srcY, int sizeU, const uint8_t* srcU,
                               int sizeV, const uint8_t* srcV, int width, int height, int strideY,
                               int strideU, int strideV, int newFormat) {
    if (sizeY < 1 || sizeU < 1 || sizeV < 1) return -1;
    storageKind = 0;
    return copyPlanesImpl(sizeY, srcY, sizeU, srcU, sizeV, srcV, width, height, strideY, strideU,
                          strideV, newFormat, newFormat);
}

int I420VideoFrame::copyFrame(const I420VideoFrame& other) {
    if (&other == this) return 0;
    const FramePlane* p = other.planes_;
    if (p[0].allocatedSize < 1 || p[1].allocatedSize < 1 || p[2].allocatedSize < 1) return -1;
    // An I422 source keeps all of its chroma rows.
    int r = copyPlanesImpl(p[0].allocatedSize, p[0].buffer, p[1].allocatedSize, p[1].buffer,
                           p[2].allocatedSize, p[2].buffer, other.width_, other.height_,
                           p[0].stride, p[1].stride, p[2].stride, -1, other.format);
    if (r < 0) return r;
    userValue1_ = other.userValue1_;
    storageKind = other.storageKind;
    userValue2_ = other.userValue2_;
    textureId = other.textureId;
    textureType = other.textureType;
    format = other.format;
    colorRange = other.colorRange;
    colorMatrix = other.colorMatrix;
    return 0;
}

void I420VideoFrame::swapFrame(I420VideoFrame* other) {
    if (!other || other == this) return;
    for (int i = 0; i < 3; ++i) planes_[i].swap(other->planes_[i]);
    std::swap(width_, other->width_);
    std::swap(height_, other->height_);
    std::swap(userValue1_, other->userValue1_);
    std::swap(storageKind, other->storageKind);
    std::swap(userValue2_, other->userValue2_);
    std::swap(textureId, other->textureId);
    std::swap(textureType, other->textureType);
    std::swap(format, other->format);
    std::swap(colorRange, other->colorRange);
    std::swap(colorMatrix, other->colorMatrix);
}

void I420VideoFrame::padRowEnds() {
    if (planes_[0].stride == width_ || width_ < 1 || height_ < 1) return;
    padPlane(planes_[0], width_, height_);
    // (width + 1) / 2 chroma samples are visible; the last one must survive.
    const int cw = (width_ + 1) / 2;
    const int rows = chromaRowsFor(format, height_);
    padPlane(planes_[1], cw, rows);
    padPlane(planes_[2], cw, rows);
}

uint8_t* I420VideoFrame::buffer(int index) {
    FramePlane* p = plane(index);
    return p ? p->buffer : nullptr;
}

const uint8_t* I420VideoFrame::buffer(int index) const {
    const FramePlane* p = plane(index);
    return p ? p->buffer : nullptr;
}

int I420VideoFrame::allocatedSize(int index) const {
    const FramePlane* p = plane(index);
    return p ? p->allocatedSize : -1;
}

int I420VideoFrame::stride(int index) const {
    const FramePlane* p = plane(index);
    return p ? p->stride : -1;
}

bool I420VideoFrame::planeHolds(int index, int columns, int rows) const {
    if (rows <= 0) return true;
    const int rowStride = stride(index);
    if (!buffer(index) || rowStride <= 0 || rowStride < columns) return false;
    const int64_t needed = static_cast<int64_t>(rowStride) * (rows - 1) + columns;
    return needed <= allocatedSize(index);
}

int I420VideoFrame::setWidth(int width) {
    if (checkDimensions(width, height_, stride(0), stride(1), stride(2)) != 0) return -1;
    width_ = width;
    return 0;
}

int I420VideoFrame::setHeight(int height) {
    if (checkDimensions(width_, height, stride(0), stride(1), stride(2)) != 0) return -1;
    height_ = height;
    return 0;
}

int I420VideoFrame::width() const { return width_; }
int I420VideoFrame::height() const { return height_; }

void I420VideoFrame::setUserValue1(int value) { userValue1_ = value; }
int I420VideoFrame::userValue1() const { return userValue1_; }
void I420VideoFrame::setUserValue2(int value) { userValue2_ = value; }
int I420VideoFrame::userValue2() const { return userValue2_; }

bool I420VideoFrame::isEmpty() const {
    return planes_[0].planeSize == 0 && planes_[1].planeSize == 0 && planes_[2].planeSize == 0;
}

void I420VideoFrame::resetSize() {
    for (FramePlane& p : planes_) p.planeSize = 0;
}

void* I420VideoFrame::handle() const { return nullptr; }

void I420VideoFrame::setUserValue3(int value) { userValue3_ = value; }
void I420VideoFrame::setUserValue4(int value) { userValue4_ = value; }
int I420VideoFrame::userValue4() const { return userValue4_; }
int I420VideoFrame::userValue3() const { return userValue3_; }

int I420VideoFrame::checkDimensions(int width, int height, int strideY, int strideU,
                                    int strideV) const {
    if (format != 1 && format != 2) return 0;
    const int half = static_cast<int>((int64_t{width} + 1) / 2);
    if (width < 1 || height < 1 || strideY < width || strideU < half || strideV < half) return -1;
    return 0;
}

int I420VideoFrame::setMetadata(int kind, std::shared_ptr<IMetaDataInfo> record) {
    if (kind == 0 || !record) return -6;
    metadata_[kind] = std::move(record);
    return 0;
}

std::shared_ptr<IMetaDataInfo> I420VideoFrame::metadata(int kind) const {
    auto it = metadata_.find(kind);
    return it == metadata_.end() ? nullptr : it->second;
}

}  // namespace video
}  // namespace kelvo
