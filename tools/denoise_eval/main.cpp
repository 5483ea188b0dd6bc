// kelvo-denoise-eval: a thin driver of the video denoiser over raw I420 clips.
//
//   kelvo-denoise-eval generate static|pan|people WIDTHxHEIGHT FRAMES SIGMA SEED CLEAN NOISY
//   kelvo-denoise-eval denoise WIDTHxHEIGHT IN OUT [LEVEL]
//   kelvo-denoise-eval psnr WIDTHxHEIGHT REFERENCE TEST [SKIP]
//
// generate writes a clean clip and the same clip with Gaussian luma noise of
// SIGMA (0: none, for noise added by another tool). "people" is a
// camera-like scene: figures with skin-toned faces and textured clothes
// walking at different speeds over a still, coloured background. denoise
// runs the effect at LEVEL (default 0) and prints "ms/frame <value>", the
// process CPU time spent in Draw, and at level 2 "noise-sigma <value>", the
// mean of level 2's per-frame noise estimate. psnr prints, leaving out the
// first SKIP frames: the mean of the per-frame PSNRs of Y, U and V, then the luma PSNR
// over the moving pixels (clean value changed by more than 12 since the
// previous frame) and over the others, each from the pooled squared error.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "denoise/effect_video_denoiser.h"
#include "frame/i420_video_frame.h"

using kelvo::video::EffectVideoDenoiser;
using kelvo::video::I420VideoFrame;

namespace {

struct Size {
    int width = 0;
    int height = 0;
    size_t luma() const { return static_cast<size_t>(width) * height; }
    size_t chroma() const { return static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2); }
    size_t frame() const { return luma() + 2 * chroma(); }
};

bool parseSize(const char* text, Size& size) {
    return std::sscanf(text, "%dx%d", &size.width, &size.height) == 2 && size.width > 0 &&
           size.height > 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: kelvo-denoise-eval generate static|pan|people WxH FRAMES SIGMA SEED CLEAN "
                 "NOISY\n"
                 "       kelvo-denoise-eval denoise WxH IN OUT [LEVEL]\n"
                 "       kelvo-denoise-eval psnr WxH REFERENCE TEST [SKIP]\n");
    return 2;
}

// A camera-like scene: smooth shading, a few hard-edged shapes and a fine
// texture; `x` may run past the frame for the panning clip.
double scene(double x, double y) {
    double v = 120 + 45 * std::sin(x / 57.0) * std::cos(y / 41.0) + 20 * std::sin((x + y) / 13.0);
    if (std::fmod(x, 240.0) > 60 && std::fmod(x, 240.0) < 150 && y > 96 && y < 288) v += 35;
    if (static_cast<int>(x / 32) % 7 == 3) v -= 25;
    v += 6 * std::sin(x * 1.3) * std::sin(y * 1.7);
    return v;
}

uint8_t clamp8(double v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
}

struct Yuv {
    double y, u, v;
};

// Chroma of the background: slow colour washes and a few coloured panels.
Yuv backdrop(double x, double y) {
    Yuv c{scene(x, y), 128 + 18 * std::sin(x / 90.0 + 1), 128 + 14 * std::cos(y / 70.0)};
    if (std::fmod(x, 240.0) > 60 && std::fmod(x, 240.0) < 150 && y > 96 && y < 288) {
        c.u -= 25;
        c.v += 20;
    }
    return c;
}

// One walking figure: an elliptic skin-toned head and a striped torso.
struct Figure {
    double x0, speed, top, scale, shirtU, shirtV;
};

bool figureAt(const Figure& f, int n, double x, double y, Yuv* c) {
    const double cx = f.x0 + f.speed * n;
    const double cy = f.top + 3 * std::sin(n * 0.4 + f.x0);  // a walking bob
    const double s = f.scale;
    const double hx = (x - cx) / (18 * s), hy = (y - cy) / (24 * s);
    if (hx * hx + hy * hy <= 1) {
        const double shade =
            1 - 0.25 * (hx * hx + hy * hy) + 0.05 * std::sin(x * 0.9) * std::sin(y * 0.7);
        *c = {165 * shade, 110, 155};  // skin
        return true;
    }
    const double bx = (x - cx) / (40 * s), by = (y - cy - 30 * s) / (90 * s);
    if (by >= 0 && by <= 1 && std::fabs(bx) <= 1 - 0.2 * (1 - by) * (1 - by)) {
        const double stripe = std::fmod(std::fabs(y - cy) + 1000, 14 * s) < 7 * s ? 35 : -20;
        *c = {95 + stripe + 10 * std::sin((x - cx) * 0.5), f.shirtU, f.shirtV};
        return true;
    }
    return false;
}

int generate(int argc, char** argv) {
    Size size;
    if (argc != 9 || !parseSize(argv[3], size)) return usage();
    const std::string kind = argv[2];
    if (kind != "pan" && kind != "static" && kind != "people") return usage();
    const int frames = std::atoi(argv[4]);
    const double sigma = std::atof(argv[5]);
    std::mt19937 rng(static_cast<uint32_t>(std::atoi(argv[6])));
    std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
    FILE* clean = std::fopen(argv[7], "wb");
    FILE* noisy = std::fopen(argv[8], "wb");
    if (!clean || !noisy) {
        std::perror("open");
        return 1;
    }
    const double w = size.width, h = size.height;
    const Figure figures[] = {{0.15 * w, 2.5, 0.35 * h, h / 720.0 * 1.6, 150, 110},
                              {0.85 * w, -4.0, 0.45 * h, h / 720.0 * 2.0, 100, 170},
                              {0.40 * w, 1.2, 0.25 * h, h / 720.0 * 1.2, 120, 120},
                              {0.60 * w, -1.8, 0.55 * h, h / 720.0 * 1.8, 170, 100}};
    const size_t chromaWidth = static_cast<size_t>((size.width + 1) / 2);
    std::vector<uint8_t> cleanFrame(size.frame(), 128), noisyFrame(size.frame(), 128);
    auto colorAt = [&](int n, double x, double y) {
        const double offset = kind == "pan" ? n * 0.75 : 0.0;  // slow pan, sub-pixel steps
        Yuv c = backdrop(x + offset, y);
        if (kind == "people")
            for (const Figure& f : figures)
                if (figureAt(f, n, x, y, &c)) break;
        return c;
    };
    for (int n = 0; n < frames; ++n) {
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const size_t i = static_cast<size_t>(y) * size.width + x;
                cleanFrame[i] = clamp8(colorAt(n, x, y).y);
                noisyFrame[i] = clamp8(cleanFrame[i] + (sigma > 0 ? noise(rng) : 0.0));
            }
        for (int y = 0; y < (size.height + 1) / 2; ++y)
            for (int x = 0; x < static_cast<int>(chromaWidth); ++x) {
                const Yuv c = colorAt(n, 2 * x + 0.5, 2 * y + 0.5);
                const size_t i = size.luma() + static_cast<size_t>(y) * chromaWidth + x;
                noisyFrame[i] = cleanFrame[i] = clamp8(c.u);
                noisyFrame[i + size.chroma()] = cleanFrame[i + size.chroma()] = clamp8(c.v);
            }
        std::fwrite(cleanFrame.data(), 1, cleanFrame.size(), clean);
        std::fwrite(noisyFrame.data(), 1, noisyFrame.size(), noisy);
    }
    std::fclose(clean);
    std::fclose(noisy);
    return 0;
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int denoise(int argc, char** argv) {
    Size size;
    if ((argc != 5 && argc != 6) || !parseSize(argv[2], size)) return usage();
    const int level = argc == 6 ? std::atoi(argv[5]) : 0;
    FILE* in = std::fopen(argv[3], "rb");
    FILE* out = std::fopen(argv[4], "wb");
    if (!in || !out) {
        std::perror("open");
        return 1;
    }
    EffectVideoDenoiser denoiser;
    denoiser.setEnable(true);
    denoiser.setMode(1);  // every frame, no automatic trigger
    denoiser.setLevel(level);
    std::vector<uint8_t> buffer(size.frame());
    const int chromaWidth = (size.width + 1) / 2;
    double seconds = 0, sigmaSum = 0;
    int frames = 0;
    while (std::fread(buffer.data(), 1, buffer.size(), in) == buffer.size()) {
        std::shared_ptr<I420VideoFrame> frame(new I420VideoFrame(), I420VideoFrame::deleter());
        const uint8_t* u = buffer.data() + size.luma();
        const uint8_t* v = u + size.chroma();
        if (frame->copyPlanesI420(static_cast<int>(size.luma()), buffer.data(),
                                  static_cast<int>(size.chroma()), u,
                                  static_cast<int>(size.chroma()), v, size.width, size.height,
                                  size.width, chromaWidth, chromaWidth) != 0) {
            std::fprintf(stderr, "frame %d: cannot build the frame\n", frames);
            return 1;
        }
        const double start = cpuSeconds();
        const int status = denoiser.Draw(frame);
        seconds += cpuSeconds() - start;
        sigmaSum += denoiser.noiseSigma();
        if (status != 0) {
            std::fprintf(stderr, "frame %d: Draw returned %d\n", frames, status);
            return 1;
        }
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? chromaWidth : size.width;
            const int h = plane ? (size.height + 1) / 2 : size.height;
            for (int y = 0; y < h; ++y)
                std::fwrite(frame->buffer(plane) + static_cast<size_t>(y) * frame->stride(plane), 1,
                            static_cast<size_t>(w), out);
        }
        ++frames;
    }
    std::fclose(in);
    std::fclose(out);
    std::printf("frames %d\nms/frame %.3f\n", frames, frames ? 1000.0 * seconds / frames : 0.0);
    if (level >= 2) std::printf("noise-sigma %.2f\n", frames ? sigmaSum / frames : 0.0);
    return 0;
}

double psnrOf(double sse, double count) {
    return 10 * std::log10(255.0 * 255.0 / std::max(sse / std::max(count, 1.0), 1e-10));
}

int psnr(int argc, char** argv) {
    Size size;
    if ((argc != 5 && argc != 6) || !parseSize(argv[2], size)) return usage();
    const int skip = argc == 6 ? std::atoi(argv[5]) : 0;
    FILE* a = std::fopen(argv[3], "rb");
    FILE* b = std::fopen(argv[4], "rb");
    if (!a || !b) {
        std::perror("open");
        return 1;
    }
    std::vector<uint8_t> fa(size.frame()), fb(size.frame()), previous;
    double planeTotals[3] = {0, 0, 0};
    double moving[2] = {0, 0}, still[2] = {0, 0};  // squared error, samples
    int counted = 0;
    for (int n = 0; std::fread(fa.data(), 1, fa.size(), a) == fa.size() &&
                    std::fread(fb.data(), 1, fb.size(), b) == fb.size();
         ++n) {
        if (n >= skip) {
            size_t begin = 0;
            for (int plane = 0; plane < 3; ++plane) {
                const size_t end = begin + (plane ? size.chroma() : size.luma());
                double sse = 0;
                for (size_t i = begin; i < end; ++i) {
                    const double d = double(fa[i]) - fb[i];
                    sse += d * d;
                    if (plane == 0 && !previous.empty()) {
                        double* bucket = std::abs(fa[i] - previous[i]) > 12 ? moving : still;
                        bucket[0] += d * d;
                        bucket[1] += 1;
                    }
                }
                planeTotals[plane] += psnrOf(sse, double(end - begin));
                begin = end;
            }
            ++counted;
        }
        previous = fa;
    }
    std::fclose(a);
    std::fclose(b);
    if (!counted) {
        std::fprintf(stderr, "no frames compared\n");
        return 1;
    }
    std::printf("%.2f %.2f %.2f %.2f %.2f\n", planeTotals[0] / counted, planeTotals[1] / counted,
                planeTotals[2] / counted, moving[1] ? psnrOf(moving[0], moving[1]) : 0.0,
                psnrOf(still[0], still[1]));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "generate") return generate(argc, argv);
    if (command == "denoise") return denoise(argc, argv);
    if (command == "psnr") return psnr(argc, argv);
    return usage();
}
