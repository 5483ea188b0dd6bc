// kelvo-lut-generator: writes the three colour lookup tables that the library
// embeds (resources/whitening.png, ruddy.png, skin.png).
//
// Every table is a 64-level colour cube stored as a 512x512 RGBA image: blue
// level k owns the 64x64 tile at column k % 8, row k / 8; inside a tile the
// pixel column is the red level and the pixel row (downwards) the green level.
// Level l stands for the value l / 63. The shaders sample the cube with
// trilinear interpolation, so every table is a smooth function of the input
// colour; no entry carries noise.
//
// Notation: r, g, b in [0, 1]; all outputs are clamped to [0, 1] and stored as
// round(255 * value).
//   smoothstep(e0, e1, x) = t * t * (3 - 2 * t), t = clamp((x - e0) / (e1 - e0), 0, 1)
//   bump(x; p, q)         = x^p * (1 - x)^q          (a lift that vanishes at 0 and 1)
//
// Whitening (101): a brightening curve that pulls each channel towards white
// by an amount that grows with the colour's lightness, slightly more for green
// and blue (a cool tint), plus a faint green lift in the deepest shadows.
//   Y  = 0.2126 r + 0.7152 g + 0.0722 b                 (BT.709 luma)
//   m  = max(0, (Y - 0.0722) / (1 - 0.0722))            (0 up to pure blue's luma)
//   out_c = x_c + (1 - x_c) * k_c * m^e_c,  c in {r, g, b}
//     k = (0.563, 0.411, 0.393), e = (2.21, 1.50, 1.30)
//   out_g += (4 / 255) * ((1 - r)(1 - g)(1 - b))^2
// White and pure blue are fixed points; black becomes (0, 4, 0).
//
// Ruddy (102): a mid-tone lift per channel, then a warmth term that pushes red
// and blue towards full scale on colours whose red exceeds their green (a
// shift towards red and magenta).
//   u = r + 4.72 * bump(r; 2.62, 2.30)
//   G = g + 3.71 * bump(g; 2.67, 2.19)
//   v = b + 3.84 * bump(b; 2.78, 2.05)
//   w = max(0, r - g),  f = 1 - (1 - w)^4.6
//   R = u + 0.92 * (1 - u) * f
//   B = v + (48 / 255) * (1 - v) * f
// Each output grows with its own input; pure red becomes (255, 0, 48).
//
// Skin likelihood (103): a grey image whose value depends on hue and chroma.
//   C = max(r, g, b) - min(r, g, b)                     (chroma)
//   h = HSV hue in degrees, d = angular distance of h from 20 degrees
//   a = 66 / 255                                        (neutral colours)
//   s = 1 - smoothstep(15, 50, d)                       (skin hue weight)
//   P = a + (1 - a) * smoothstep(0.03, 0.12, C) - (1 - p1) * smoothstep(0.5, 1, C)
//       p1 = (31 / 255) / s(d = 20)                     (so that pure red reads 31)
//   N = a * (1 - smoothstep(0.03, 0.5, C))              (other hues fade to 0)
//   value = s * P + (1 - s) * N
// Neutral greys read 66, skin tones 255, saturated colours of other hues 0;
// about 40 % of the entries are 0. Both P and N are flat up to chroma 0.03,
// so the hue, undefined on the grey axis, has no effect near it.

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kLevels = 64;
constexpr int kImageSize = 512;
constexpr int kTilesPerRow = 8;

struct Rgb {
    double r, g, b;
};

double clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

double bump(double x, double p, double q) { return std::pow(x, p) * std::pow(1.0 - x, q); }

Rgb whitening(Rgb c) {
    const double luma = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
    const double m = std::max(0.0, (luma - 0.0722) / (1.0 - 0.0722));
    auto lift = [m](double x, double k, double e) { return x + (1.0 - x) * k * std::pow(m, e); };
    const double shadow = (1.0 - c.r) * (1.0 - c.g) * (1.0 - c.b);
    return {lift(c.r, 0.563, 2.21), lift(c.g, 0.411, 1.50) + 4.0 / 255.0 * shadow * shadow,
            lift(c.b, 0.393, 1.30)};
}

Rgb ruddy(Rgb c) {
    const double u = c.r + 4.72 * bump(c.r, 2.62, 2.30);
    const double g = c.g + 3.71 * bump(c.g, 2.67, 2.19);
    const double v = c.b + 3.84 * bump(c.b, 2.78, 2.05);
    const double warmth = std::max(0.0, c.r - c.g);
    const double f = 1.0 - std::pow(1.0 - warmth, 4.6);
    return {u + 0.92 * (1.0 - u) * f, g, v + 48.0 / 255.0 * (1.0 - v) * f};
}

double hueDegrees(Rgb c, double maxc, double chroma) {
    if (chroma <= 0.0) return 0.0;
    if (maxc == c.r) return 60.0 * std::fmod((c.g - c.b) / chroma + 6.0, 6.0);
    if (maxc == c.g) return 60.0 * ((c.b - c.r) / chroma + 2.0);
    return 60.0 * ((c.r - c.g) / chroma + 4.0);
}

double skinLikelihood(Rgb c) {
    const double maxc = std::max({c.r, c.g, c.b});
    const double chroma = maxc - std::min({c.r, c.g, c.b});
    double d = std::fabs(hueDegrees(c, maxc, chroma) - 20.0);
    d = std::min(d, 360.0 - d);
    const double neutral = 66.0 / 255.0;
    auto hueWeight = [](double dist) { return 1.0 - smoothstep(15.0, 50.0, dist); };
    const double saturatedSkin = (31.0 / 255.0) / hueWeight(20.0);
    const double s = hueWeight(d);
    const double p = neutral + (1.0 - neutral) * smoothstep(0.03, 0.12, chroma) -
                     (1.0 - saturatedSkin) * smoothstep(0.5, 1.0, chroma);
    const double n = neutral * (1.0 - smoothstep(0.03, 0.5, chroma));
    return s * p + (1.0 - s) * n;
}

uint8_t toByte(double x) { return static_cast<uint8_t>(std::lround(255.0 * clamp01(x))); }

template <typename Table>
std::vector<uint8_t> buildImage(Table table) {
    std::vector<uint8_t> rgba(kImageSize * kImageSize * 4);
    for (int k = 0; k < kLevels; ++k) {
        for (int gy = 0; gy < kLevels; ++gy) {
            for (int rx = 0; rx < kLevels; ++rx) {
                const Rgb in{rx / 63.0, gy / 63.0, k / 63.0};
                const Rgb out = table(in);
                const int x = (k % kTilesPerRow) * kLevels + rx;
                const int y = (k / kTilesPerRow) * kLevels + gy;
                uint8_t* px = &rgba[(static_cast<size_t>(y) * kImageSize + x) * 4];
                px[0] = toByte(out.r);
                px[1] = toByte(out.g);
                px[2] = toByte(out.b);
                px[3] = 255;
            }
        }
    }
    return rgba;
}

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot open %s for writing\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        std::fprintf(stderr, "cannot encode %s\n", path.c_str());
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, kImageSize, kImageSize, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kImageSize; ++y) {
        png_write_row(png, &rgba[static_cast<size_t>(y) * kImageSize * 4]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = writePng(dir + "/whitening.png", buildImage(whitening)) &&
                    writePng(dir + "/ruddy.png", buildImage(ruddy)) &&
                    writePng(dir + "/skin.png", buildImage([](Rgb c) {
                                 const double v = skinLikelihood(c);
                                 return Rgb{v, v, v};
                             }));
    return ok ? 0 : 1;
}
