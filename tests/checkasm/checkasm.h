// A harness in the manner of dav1d's checkasm: every row of every family's
// table, at every instruction-set level this run may use (cpuFlags(), so
// KELVO_CPU_MASK caps it), against the portable row of the same table, on
// random contents and widths, from starts off every alignment, with guard
// bytes around each output that must stay untouched. Rows a level shares
// with the level below are checked there only. The program ends by listing
// the rows it covered.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "system/cpu_features.h"

namespace kelvo {
namespace video {
namespace checkasm {

constexpr int kTrials = 60;     // random cases per row and level
constexpr int kMaxWidth = 300;  // random widths run 1..kMaxWidth
constexpr int kGuard = 32;      // guard bytes either side of an output

// The levels above the portable one that this run may use.
std::vector<CpuLevel> fastLevels();

// Records that `row` of `family` ran at `level`; listed at the end.
void cover(const char* family, const char* row, const char* level);

// Whether `fast` is a row of its own (not the portable row or the one of a
// lower level, which are checked already); records it if so. `below` is
// the same row at the level below.
template <class Fn>
bool check(Fn fast, Fn below, const char* family, const char* row, const CpuLevel& level) {
    if (fast == below) return false;
    cover(family, row, level.name);
    return true;
}

// Random widths, start offsets (off every alignment) and bytes.
class Random {
public:
    explicit Random(unsigned seed) : engine_(seed) {}
    int width(int max = kMaxWidth) { return between(1, max); }
    int offset() { return between(0, 31); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
    uint32_t bits() { return static_cast<uint32_t>(engine_()); }
    void fill(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(engine_());
    }

private:
    std::mt19937 engine_;
};

// size bytes starting `offset` bytes past a 64-byte boundary, with kGuard
// bytes of a known pattern on both sides.
class Guarded {
public:
    Guarded(size_t size, int offset)
        : size_(size), start_(kGuard + static_cast<size_t>(offset)),
          storage_(start_ + size + kGuard + 64) {
        const auto base = reinterpret_cast<uintptr_t>(storage_.data());
        align_ = static_cast<size_t>((64 - base % 64) % 64);
        std::memset(storage_.data(), kPattern, storage_.size());
    }
    // Moves keep the storage, and with it the alignment; copies would not.
    Guarded(Guarded&&) = default;
    Guarded(const Guarded&) = delete;
    uint8_t* data() { return storage_.data() + align_ + start_; }
    const uint8_t* data() const { return storage_.data() + align_ + start_; }
    size_t size() const { return size_; }
    std::vector<uint8_t> bytes() const { return {data(), data() + size_}; }
    // The kGuard bytes before and after the data.
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (data()[-1 - static_cast<ptrdiff_t>(i)] != kPattern || data()[size_ + i] != kPattern)
                return false;
        }
        return true;
    }
    template <class T>
    T* as() {
        return reinterpret_cast<T*>(data());
    }
    template <class T>
    const T* as() const {
        return reinterpret_cast<const T*>(data());
    }

private:
    static constexpr uint8_t kPattern = 0xA5;
    size_t size_, start_, align_ = 0;
    std::vector<uint8_t> storage_;
};

// size random bytes at a random offset (a multiple of `align`), the storage
// ending with them, so that AddressSanitizer sees a read past the end.
class Input {
public:
    Input(Random& r, size_t size, int align = 1)
        : offset_(static_cast<size_t>(r.offset() / align * align)), storage_(offset_ + size) {
        r.fill(data(), size);
    }
    uint8_t* data() { return storage_.data() + offset_; }
    const uint8_t* data() const { return storage_.data() + offset_; }
    template <class T>
    T* as() {
        return reinterpret_cast<T*>(data());
    }
    template <class T>
    const T* as() const {
        return reinterpret_cast<const T*>(data());
    }

private:
    size_t offset_;
    std::vector<uint8_t> storage_;
};

inline Input randomInput(Random& r, size_t size) { return Input(r, size); }

// The portable and the fast output of one case: same offset, same
// starting bytes; expect() compares them and both guards.
struct OutputPair {
    OutputPair(size_t size, int offset) : ref(size, offset), fast(size, offset) {}
    Guarded ref, fast;
    void expectSame(const std::string& where) const {
        EXPECT_TRUE(ref.guardsIntact()) << where << ": portable row wrote outside its output";
        EXPECT_TRUE(fast.guardsIntact()) << where << ": fast row wrote outside its output";
        EXPECT_EQ(ref.bytes(), fast.bytes()) << where;
    }
};

inline std::string where(const CpuLevel& level, const char* row, int width, int trial) {
    return std::string(level.name) + " " + row + " width " + std::to_string(width) + " trial " +
           std::to_string(trial);
}

}  // namespace checkasm
}  // namespace video
}  // namespace kelvo
