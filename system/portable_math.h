// log, log1p, exp and pow in double from IEEE additions, multiplications
// and divisions alone (and exponent bits set directly), so that the tables
// they feed hold the same bits on every processor and C library: each libm
// rounds its last bit its own way, and a table entry that lands the other
// side of a float's rounding changes pictures. Within a few units in the
// last place of a double, far below the float or integer the tables keep.
// Files that use them are built without fused multiply-adds. Internal
// linkage, as the lane sets: row files of other instruction sets include
// them too.
#pragma once

#include <cstdint>
#include <cstring>

namespace kelvo {
namespace video {
namespace portable_math {
namespace {

// ln 2 in two parts, the first with trailing zeros so that k * kLn2High is
// exact for the exponents of a double.
constexpr double kLn2High = 6.93147180369123816490e-01;
constexpr double kLn2Low = 1.90821492927058770002e-10;

inline uint64_t bitsOf(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}
inline double fromBits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Series coefficients, evaluated by the compiler in IEEE double.
struct Coefficients {
    double oddInverse[13];   // 1 / (2k + 1)
    double inverseFact[18];  // 1 / n!
    constexpr Coefficients() : oddInverse(), inverseFact() {
        for (int k = 0; k < 13; ++k) oddInverse[k] = 1.0 / (2 * k + 1);
        inverseFact[0] = 1.0;
        for (int n = 1; n < 18; ++n) inverseFact[n] = inverseFact[n - 1] / n;
    }
};
constexpr Coefficients kCoefficients{};

// 2 atanh(s) = ln((1 + s) / (1 - s)) for |s| <= 0.18: its odd series to
// s^25, the last term below 2^-60 of the sum.
inline double twiceAtanh(double s) {
    const double s2 = s * s;
    double sum = kCoefficients.oddInverse[12];
    for (int k = 11; k >= 1; --k) sum = kCoefficients.oddInverse[k] + s2 * sum;
    return 2.0 * (s + s * s2 * sum);
}

// Natural logarithm of a positive normal x.
inline double log(double x) {
    // x = m 2^e, 0.5 <= m < 1.
    const uint64_t b = bitsOf(x);
    int e = static_cast<int>((b >> 52) & 0x7ff) - 1022;
    double m = fromBits((b & ~(uint64_t{0x7ff} << 52)) | uint64_t{1022} << 52);
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    const double lm = twiceAtanh((m - 1.0) / (m + 1.0));
    return e * kLn2High + (lm + e * kLn2Low);
}

// ln(1 + x) for x > -1, without the rounding of 1 + x for small x.
inline double log1p(double x) {
    if (x > -0.3 && x < 0.4) return twiceAtanh(x / (2.0 + x));
    return log(1.0 + x);
}

// e^x for |x| < 700.
inline double exp(double x) {
    // k = floor(x / ln 2 + 1 / 2), r = x - k ln 2.
    const double t = x * 1.44269504088896338700 + 0.5;
    double k = static_cast<double>(static_cast<int64_t>(t));
    if (k > t) k -= 1.0;
    const double r = (x - k * kLn2High) - k * kLn2Low;  // |r| <= 0.35
    // Taylor series to r^17 / 17!, below 2^-60 for such r.
    double sum = kCoefficients.inverseFact[17];
    for (int n = 16; n >= 0; --n) sum = kCoefficients.inverseFact[n] + r * sum;
    return sum * fromBits(static_cast<uint64_t>(static_cast<int64_t>(k) + 1023) << 52);
}

// x^y for a positive normal x.
inline double pow(double x, double y) { return exp(y * log(x)); }

}  // namespace
}  // namespace portable_math
}  // namespace video
}  // namespace kelvo
