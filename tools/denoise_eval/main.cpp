// kelvo-denoise-eval: a thin driver of the video denoiser over raw I420 clips.
//
//   kelvo-denoise-eval generate static|pan WIDTHxHEIGHT FRAMES SIGMA SEED CLEAN NOISY
//   kelvo-denoise-eval denoise WIDTHxHEIGHT IN OUT
//   kelvo-denoise-eval psnr WIDTHxHEIGHT REFERENCE TEST [SKIP]
//
// generate writes a clean clip and the same clip with Gaussian luma noise;
// chroma is a flat grey. denoise prints "ms/frame <value>", the process CPU
// time spent in Draw. psnr prints the mean of the per-frame luma PSNRs, leaving out the
// first SKIP frames.
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
                 "usage: kelvo-denoise-eval generate static|pan WxH FRAMES SIGMA SEED CLEAN NOISY\n"
                 "       kelvo-denoise-eval denoise WxH IN OUT\n"
                 "       kelvo-denoise-eval psnr WxH REFERENCE TEST [SKIP]\n");
    return 2;
}

// A camera-like scene: smooth shading, a few hard-edged shapes and a fine
// texture; `x` may run past the frame for the panning clip.
double scene(double x, double y) {
    double v = 120 + 45 * std::sin(x / 57.0) * std::cos(y / 41.0) + 20 * std::sin((x + y) / 13.0);
    if (std::fmod(x, 240.0) > 60 && std::fmod(x, 240.0) < 150 && y > 96 && y < 288)
        v += 35;
    if (static_cast<int>(x / 32) % 7 == 3) v -= 25;
    v += 6 * std::sin(x * 1.3) * std::sin(y * 1.7);
    return v;
}

uint8_t clamp8(double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

int generate(int argc, char** argv) {
    Size size;
    if (argc != 9 || !parseSize(argv[3], size)) return usage();
    const bool pan = std::strcmp(argv[2], "pan") == 0;
    if (!pan && std::strcmp(argv[2], "static") != 0) return usage();
    const int frames = std::atoi(argv[4]);
    const double sigma = std::atof(argv[5]);
    std::mt19937 rng(static_cast<uint32_t>(std::atoi(argv[6])));
    std::normal_distribution<double> noise(0.0, sigma);
    FILE* clean = std::fopen(argv[7], "wb");
    FILE* noisy = std::fopen(argv[8], "wb");
    if (!clean || !noisy) {
        std::perror("open");
        return 1;
    }
    std::vector<uint8_t> cleanFrame(size.frame(), 128), noisyFrame(size.frame(), 128);
    for (int n = 0; n < frames; ++n) {
        const double offset = pan ? n * 0.75 : 0.0;  // slow pan, sub-pixel steps
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const double v = scene(x + offset, y);
                const size_t i = static_cast<size_t>(y) * size.width + x;
                cleanFrame[i] = clamp8(v);
                noisyFrame[i] = clamp8(cleanFrame[i] + noise(rng));
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
    if (argc != 5 || !parseSize(argv[2], size)) return usage();
    FILE* in = std::fopen(argv[3], "rb");
    FILE* out = std::fopen(argv[4], "wb");
    if (!in || !out) {
        std::perror("open");
        return 1;
    }
    EffectVideoDenoiser denoiser;
    denoiser.setEnable(true);
    denoiser.setMode(1);  // every frame, no automatic trigger
    std::vector<uint8_t> buffer(size.frame());
    const int chromaWidth = (size.width + 1) / 2;
    double seconds = 0;
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
        if (status != 0) {
            std::fprintf(stderr, "frame %d: Draw returned %d\n", frames, status);
            return 1;
        }
        for (int y = 0; y < size.height; ++y)
            std::fwrite(frame->buffer(0) + static_cast<size_t>(y) * frame->stride(0), 1,
                        static_cast<size_t>(size.width), out);
        std::fwrite(u, 1, 2 * size.chroma(), out);  // chroma passes unchanged
        ++frames;
    }
    std::fclose(in);
    std::fclose(out);
    std::printf("frames %d\nms/frame %.3f\n", frames, frames ? 1000.0 * seconds / frames : 0.0);
    return 0;
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
    std::vector<uint8_t> fa(size.frame()), fb(size.frame());
    double total = 0;
    int counted = 0;
    for (int n = 0; std::fread(fa.data(), 1, fa.size(), a) == fa.size() &&
                    std::fread(fb.data(), 1, fb.size(), b) == fb.size();
         ++n) {
        if (n < skip) continue;
        double sse = 0;
        for (size_t i = 0; i < size.luma(); ++i) {
            const double d = double(fa[i]) - fb[i];
            sse += d * d;
        }
        const double mse = std::max(sse / size.luma(), 1e-10);
        total += 10 * std::log10(255.0 * 255.0 / mse);
        ++counted;
    }
    std::fclose(a);
    std::fclose(b);
    if (!counted) {
        std::fprintf(stderr, "no frames compared\n");
        return 1;
    }
    std::printf("%.2f\n", total / counted);
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
