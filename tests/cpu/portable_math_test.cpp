// The libm-free functions that feed the tables against the C library's, to
// a few units in the last place of a double (of the exponent, for exp and
// pow) over the ranges the tables use and beyond.
#include <gtest/gtest.h>

#include <cmath>

#include "system/portable_math.h"

namespace kelvo {
namespace video {
namespace {

TEST(PortableMath, AgreesWithTheCLibraryToAFewUnitsInTheLastPlace) {
    struct Row {
        const char* name;
        double (*ours)(double);
        double (*libm)(double);
        double lo, hi;
    } rows[] = {
        {"log", portable_math::log, [](double x) { return std::log(x); }, 1e-8, 1e8},
        {"log1p", portable_math::log1p, [](double x) { return std::log1p(x); }, -0.95, 50.0},
        {"exp", portable_math::exp, [](double x) { return std::exp(x); }, -60.0, 60.0},
        {"pow 2.4", [](double x) { return portable_math::pow(x, 2.4); },
         [](double x) { return std::pow(x, 2.4); }, 1e-4, 2.0},
        {"pow 0.416667", [](double x) { return portable_math::pow(x, 0.416667); },
         [](double x) { return std::pow(x, 0.416667); }, 1e-6, 2.0},
    };
    for (const Row& r : rows) {
        const bool geometric = r.lo > 0;
        for (int i = 0; i <= 4000; ++i) {
            const double t = i / 4000.0;
            const double x = geometric ? r.lo * std::pow(r.hi / r.lo, t) : r.lo + (r.hi - r.lo) * t;
            const double want = r.libm(x);
            // Relative to the result, which for exp and pow grows with the
            // size of the exponent (its last place scales the result).
            const double size = std::fabs(want);
            const double scale = size > 0 ? size * (1.0 + std::fabs(std::log(size))) : 0.0;
            ASSERT_LE(std::fabs(r.ours(x) - want), 4e-16 * scale) << r.name << "(" << x << ")";
        }
    }
    EXPECT_EQ(portable_math::log(1.0), 0.0);
    EXPECT_EQ(portable_math::exp(0.0), 1.0);
    EXPECT_EQ(portable_math::log1p(0.0), 0.0);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
