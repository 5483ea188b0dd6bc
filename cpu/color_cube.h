// A 3D colour table: a colour function sampled on an n x n x n grid over
// [0, 1]^3 and read back with tetrahedral interpolation (four grid points
// per colour; exact for linear functions, the identity among them). Costly
// per-colour functions (colour enhancement, beauty's gradings) are built
// into one once per parameter change, then each pixel costs four reads.
//
// An entry is 64 bits: the three outputs as 16-bit values over [-1, 3) in
// steps of 1/16384 (a function that clips is better stored unclipped, so its
// kink is not smeared over a cell), then a mark: set on a cell's first
// corner where the grid does not follow the function closely inside that
// cell, for rows that have the exact function at hand, and above it a number
// the owner may keep with a marked cell (where it remembers the cell's exact
// results). At 52^3 the table is 1.1 MB; a picture's colours keep to a small
// part of it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kelvo {
namespace video {

class WorkerPool;

// A 16-bit value e stands for e * kCubeStep - kCubeOffset.
constexpr float kCubeStep = 1.0f / 16384.0f;
constexpr float kCubeOffset = 1.0f;

// What the rows read: grid point (r, g, b) at (b * size + g) * size + r,
// red in bits 0..15, green 16..31, blue 32..47, the mark in bit 48, the
// owner's number for the cell in 49..63 (0: none).
struct ColorCubeView {
    const uint64_t* entries;
    int size;
};

class ColorCube {
public:
    // Writes the outputs of grid points r = 0..size-1 at green g, blue b
    // (grid indices) as 3 * size floats, interleaved (values outside
    // [-1, 3) are clamped).
    using LineFn = std::function<void(int g, int b, float* rgb)>;

    // Resamples the function on a grid of `size` (2..256) points per axis.
    // Where `bend` > 0, cells are marked around grid points where a second
    // difference along an axis exceeds it in any channel: where the function
    // has a kink or a sharp turn that interpolation would round off. Lines
    // are split over the pool when there is one.
    void build(int size, const LineFn& line, float bend, WorkerPool* pool);
    bool empty() const { return entries_.empty(); }

    // The mark of the cell whose first corner is grid point i, for owners
    // that test a marked cell and find the grid alone serves it.
    bool marked(size_t i) const { return entries_[i] >> kMarkBit & 1; }
    void setMarked(size_t i, bool marked) {
        entries_[i] = (entries_[i] & ~(uint64_t{1} << kMarkBit)) | uint64_t{marked} << kMarkBit;
    }
    // The owner's number for the cell whose first corner is grid point i
    // (up to kMaxCellNumber; 0 for none). A rebuild clears them all.
    uint32_t cellNumber(size_t i) const { return static_cast<uint32_t>(entries_[i] >> kNumberBit); }
    void setCellNumber(size_t i, uint32_t number) {
        entries_[i] = (entries_[i] & ~(~uint64_t{0} << kNumberBit)) | uint64_t{number}
                                                                          << kNumberBit;
    }
    static constexpr uint32_t kMaxCellNumber = (1u << 15) - 1;
    ColorCubeView view() const { return {entries_.data(), size_}; }

private:
    static constexpr int kMarkBit = 48;
    static constexpr int kNumberBit = 49;
    std::vector<uint64_t> entries_;
    int size_ = 0;
};

// A point operation (what each pixel's colour becomes, from its colour and
// the owner's settings alone) offered for composing into another effect's
// cube, so that a pixel takes one read for both. Thread-safe to evaluate.
class ColourFunction {
public:
    // The function at `count` 8-bit colours (4 bytes each, the fourth
    // ignored) as 3 floats each over [0, 1], values past the ends unclipped.
    virtual void evaluate(const uint8_t* colours, float* rgb, int count) const = 0;
    // Tells one function from another: differs whenever the function does,
    // across objects too. Never 0.
    virtual uint64_t version() const = 0;

protected:
    ~ColourFunction() = default;
};
// Numbers for ColourFunction::version, unique in the process. Thread-safe.
uint64_t newColourFunctionVersion();

// The 16-bit value that stands for v.
uint16_t cubeValue(float v);

// The 8-bit colours of grid line (g, b) of a cube whose grid points lie
// `step` levels apart, `size` of them, as RGBA pixels for a row to evaluate.
inline void cubeGridLine(int g, int b, int size, int step, uint8_t* pixels) {
    for (int r = 0; r < size; ++r) {
        pixels[4 * r] = static_cast<uint8_t>(r * step);
        pixels[4 * r + 1] = static_cast<uint8_t>(g * step);
        pixels[4 * r + 2] = static_cast<uint8_t>(b * step);
        pixels[4 * r + 3] = 255;
    }
}

// Where 8-bit colours read a cube whose grid points lie a whole number of
// levels apart (size - 1 divides 255): every fraction within a cell is a
// whole number of levels, so the tetrahedral weights are small integers and
// the read is exact in integer arithmetic.
struct CubeLevelTables {
    // A corner code: fraction r + side * (g + side * b), side = step + 1.
    static constexpr int kCodeShift = 20;
    static constexpr uint32_t kCellMask = (1u << kCodeShift) - 1;
    // Per channel and level: the cell's first corner's share of the grid
    // index, plus the fraction's share of the corner code << kCodeShift.
    uint32_t axis[3][256];
    // By corner code: the steps from the first corner to the second and
    // from the second to the third (the fourth is the first's diagonal
    // neighbour), and the four corners' weights times 255 / step, so that
    // they sum to 255.
    struct Corners {
        int32_t d1, d2;
        int16_t w[4];
    };
    std::vector<Corners> corners;
    uint32_t diagonal;
    int step;
};

// The tables for a cube of `size` grid points, built on the first call for
// that size; null unless size - 1 divides 255 with a step of 2..15 levels
// and size <= 101. Thread-safe.
const CubeLevelTables* cubeLevelTables(int size);

}  // namespace video
}  // namespace kelvo
