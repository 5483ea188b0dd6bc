// kelvo-enhance: Y4M in, enhanced Y4M out, through the library's C
// interface.
#include <libyuv/convert_argb.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine_client.h"
#include "enhance_settings.h"
#include "kelvo/kelvo.h"
#include "frame_pipeline.h"
#include "options.h"
#include "png_writer.h"
#include "synthetic_clip.h"
#include "y4m.h"

using namespace kelvo;
using namespace kelvo::enhance;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "kelvo-enhance: error: %s\n", message.c_str());
    return 1;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "kelvo-enhance: %s\n(see kelvo-enhance --help)\n", message.c_str());
    return 2;
}

// One JSON line of --stats. Fields the frame did not produce are null.
void writeStatsLine(std::FILE* out, int frame, integration::Engine& engine, int result, double ms) {
    std::fprintf(out, "{\"frame\":%d", frame);
    const kelvo_frame_stats s = engine.frameStats();
    if (s.valid) {
        std::fprintf(out,
                     ",\"mean\":%u,\"log_mean\":%.6g,\"dark_share\":%.6g,\"median\":%d,"
                     "\"low_percentile\":%d,\"deviation\":%.6g",
                     s.mean, s.log_mean, s.dark_share, s.median, s.low_percentile, s.deviation);
    } else {
        std::fputs(
            ",\"mean\":null,\"log_mean\":null,\"dark_share\":null,\"median\":null,"
            "\"low_percentile\":null,\"deviation\":null",
            out);
    }
    for (const char* key : {"dark_scene", "noisy"}) {
        const std::string v = engine.info(key);
        std::fprintf(out, ",\"%s\":%s", key, v.empty() ? "null" : v == "1" ? "true" : "false");
    }
    std::fprintf(out, ",\"result\":%d,\"ms\":%.3f}\n", result, ms);
    std::fflush(out);
}

// Planar 4:2:0 / 4:2:2 frame to packed R, G, B bytes for the snapshot.
// libyuv's RGB24 is B, G, R in memory; with U and V swapped and the "Yvu"
// constants it writes R, G, B (which is how libyuv's own RAW converters work).
void toRgb(const Y4MHeader& h, const uint8_t* planes, std::vector<uint8_t>* rgb, int matrix,
           int range) {
    const int cw = chromaWidth(h), ch = chromaHeight(h);
    const uint8_t* y = planes;
    const uint8_t* u = y + static_cast<size_t>(h.width) * h.height;
    const uint8_t* v = u + static_cast<size_t>(cw) * ch;
    rgb->resize(static_cast<size_t>(h.width) * h.height * 3);
    const libyuv::YuvConstants* k =
        range == 1 ? &libyuv::kYvuJPEGConstants : &libyuv::kYvuI601Constants;
    if (matrix == 1) k = range == 1 ? &libyuv::kYvuF709Constants : &libyuv::kYvuH709Constants;
    if (matrix == 7 || matrix == 8)
        k = range == 1 ? &libyuv::kYvuV2020Constants : &libyuv::kYvu2020Constants;
    if (h.chroma == Chroma::k420)
        libyuv::I420ToRGB24Matrix(y, h.width, v, cw, u, cw, rgb->data(), h.width * 3, k, h.width,
                                  h.height);
    else
        libyuv::I422ToRGB24Matrix(y, h.width, v, cw, u, cw, rgb->data(), h.width * 3, k, h.width,
                                  h.height);
}

bool writeSnapshot(const std::string& path, const Y4MHeader& h, const std::vector<uint8_t>& before,
                   const std::vector<uint8_t>& after, int matrix, int range, std::string* error) {
    std::vector<uint8_t> left, right;
    toRgb(h, before.data(), &left, matrix, range);
    toRgb(h, after.data(), &right, matrix, range);
    const size_t row = static_cast<size_t>(h.width) * 3;
    std::vector<uint8_t> both(row * 2 * h.height);
    for (int r = 0; r < h.height; ++r) {
        std::memcpy(&both[r * row * 2], &left[r * row], row);
        std::memcpy(&both[r * row * 2 + row], &right[r * row], row);
    }
    return writePngRgb(path, both.data(), h.width * 2, h.height, error);
}

int run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) return usage(error);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Input: a Y4M stream, or the built-in clip.
    std::FILE* in = nullptr;
    std::unique_ptr<Y4MReader> reader;
    Y4MHeader header;
    if (!options.demo) {
        in = options.input == "-" ? stdin : std::fopen(options.input.c_str(), "rb");
        if (!in) return fail("cannot open '" + options.input + "'");
        reader.reset(new Y4MReader(in, options.input));
        if (!reader->open(&error)) return fail(error);
        header = reader->header();
        if (header.interlace == "t" || header.interlace == "b" || header.interlace == "m")
            std::fprintf(stderr,
                         "kelvo-enhance: warning: interlaced input (I%s) is processed as "
                         "progressive frames\n",
                         header.interlace.c_str());
    } else {
        header.width = options.clipWidth;
        header.height = options.clipHeight;
        header.colorRange = 0;
        if (options.maxFrames < 0) options.maxFrames = 60;
    }
    const int range =
        options.colorRange >= 0 ? options.colorRange : (header.colorRange == 1 ? 1 : 0);
    const int matrix = options.colorMatrix >= 0 ? options.colorMatrix : 4;

    // Engine and every parameter document, before the first byte of output,
    // so that a rejected setting never leaves half a stream behind.
    integration::Engine engine;
    const bool verbose = options.verbose;
    engine.setLog([verbose](int level, const char* message) {
        if (verbose || level == KELVO_LOG_ERROR)
            std::fprintf(stderr, "kelvo-enhance: engine: %s\n", message);
    });
    if (engine.create(engineConfig(options), nullptr) != KELVO_OK)
        return fail(options.backend == "gpu" ? "no usable OpenGL 3.3 context"
                                             : "the engine refused its configuration");
    const std::string backend = engine.info("backend");
    if (engine.setEffects(options.effects) != KELVO_OK) return fail("cannot select the effects");
    std::vector<std::string> rejections;
    for (int effect : options.effects) {
        std::string key;
        const std::string doc = integration::defaultDocument(effect, &key);
        if (!doc.empty()) engine.setParameter(key, doc, nullptr);
    }
    for (const auto& param : options.params) {
        const int r = engine.setParameter(param.first, param.second, &rejections);
        if (r == KELVO_ERR_INVALID_JSON)
            return usage("--param " + param.first + ": invalid JSON '" + param.second + "'");
        if (!rejections.empty()) return usage("--param " + param.first + ": " + rejections.front());
        if (r != KELVO_OK)
            return usage("--param " + param.first + " rejected (" + std::to_string(r) + ")");
    }

    // A run without output is a dry run (the backend, --stats, --snapshot),
    // not a mistake to stop on; but a forgotten -o must not pass unnoticed.
    if (options.output.empty())
        std::fputs(
            "kelvo-enhance: note: no --output: the frames are processed and dropped (give -o "
            "FILE, or -o - for standard output)\n",
            stderr);
    std::FILE* out = nullptr;
    if (options.output == "-")
        out = stdout;
    else if (!options.output.empty() && !(out = std::fopen(options.output.c_str(), "wb")))
        return fail("cannot write '" + options.output + "'");
    Y4MWriter writer(out);
    if (out) {
        Y4MHeader outHeader = header;
        outHeader.colorRange = range;
        if (!writer.writeHeader(outHeader)) return fail("cannot write the output");
    }
    std::FILE* stats = nullptr;
    if (options.statsPath == "-")
        stats = stderr;
    else if (!options.statsPath.empty() && !(stats = std::fopen(options.statsPath.c_str(), "w")))
        return fail("cannot write '" + options.statsPath + "'");

    const bool terminal = isatty(2);
    const bool progress = options.progress == 1 || (options.progress == -1 && terminal);
    // On a terminal the progress line is rewritten in place; in a log file
    // each report gets a line of its own.
    const char* const lineStart = terminal ? "\r" : "";
    const char* const lineEnd = terminal ? "" : "\n";
    const int format = header.chroma == Chroma::k420 ? KELVO_FORMAT_I420 : KELVO_FORMAT_I422;
    const int chromaRows = chromaHeight(header), chromaStride = chromaWidth(header);
    const size_t lumaSize = static_cast<size_t>(header.width) * header.height;
    const size_t chromaSize = static_cast<size_t>(chromaStride) * chromaRows;
    // The automatic modes count the stream's time, from its frame rate, so
    // that a file gives the same output however fast it is processed.
    integration::StreamClock clock;
    const auto start = std::chrono::steady_clock::now();
    auto lastReport = start;
    std::vector<uint8_t> before;
    int frames = 0, processed = 0;
    bool snapshotDone = options.snapshotPath.empty();
    // The reading thread's own count, for the built-in clip and --frames.
    int framesRead = 0;
    FramePipeline pipeline(
        [&](std::vector<uint8_t>* planes, std::string* readError) {
            if (options.maxFrames >= 0 && framesRead >= options.maxFrames) return false;
            if (reader) {
                if (!reader->readFrame(planes, readError)) return false;
            } else {
                syntheticFrame(header.width, header.height, framesRead, options.clipNoise, planes);
            }
            ++framesRead;
            return true;
        },
        [&](const std::vector<uint8_t>& planes) {
            return !out || writer.writeFrame(planes.data(), planes.size());
        });
    // Every failure from here on first writes out the frames before it.
    auto stop = [&pipeline](const std::string& message) {
        pipeline.finish();
        return fail(message);
    };
    while (std::vector<uint8_t>* planes = pipeline.next()) {
        if (!snapshotDone && frames == options.snapshotFrame) before = *planes;
        const auto frameStart = std::chrono::steady_clock::now();
        kelvo_frame frame =
            integration::makeFrame(format, header.width, header.height, matrix, range);
        frame.planes[0] = planes->data();
        frame.planes[1] = planes->data() + lumaSize;
        frame.planes[2] = planes->data() + lumaSize + chromaSize;
        frame.strides[0] = header.width;
        frame.strides[1] = frame.strides[2] = chromaStride;
        integration::setFrameTime(
            &frame, clock.advance(integration::frameTimeUs(frames, header.fpsNum, header.fpsDen)));
        const int r = planes->size() < lumaSize + 2 * chromaSize ? KELVO_ERR_INVALID_ARGUMENT
                                                                 : engine.process(frame);
        if (stats)
            writeStatsLine(stats, frames, engine, r,
                           std::chrono::duration<double, std::milli>(
                               std::chrono::steady_clock::now() - frameStart)
                               .count());
        if (r == 0)
            ++processed;
        else if (r != KELVO_ERR_NO_EFFECT && r != 1)
            return stop("processing failed at frame " + std::to_string(frames) + " (" +
                        std::to_string(r) + ")");
        // Before the frame is handed on, as the buffer then goes back to reading.
        const bool snapshotNow = !snapshotDone && frames == options.snapshotFrame;
        const bool snapshotWritten =
            snapshotNow &&
            writeSnapshot(options.snapshotPath, header, before, *planes, matrix, range, &error);
        if (!pipeline.done()) return stop("cannot write the output");
        if (snapshotNow) {
            if (!snapshotWritten) return stop(error);
            snapshotDone = true;
        }
        ++frames;
        const auto now = std::chrono::steady_clock::now();
        if (progress && now - lastReport > std::chrono::milliseconds(500)) {
            const double s = std::chrono::duration<double>(now - start).count();
            std::fprintf(stderr, "%skelvo-enhance: %d frames, %.1f fps%s", lineStart, frames,
                         frames / s, lineEnd);
            lastReport = now;
        }
    }
    if (!pipeline.finish()) return fail("cannot write the output");
    if (!pipeline.readError().empty())
        return fail(pipeline.readError() + " at frame " + std::to_string(frames));
    engine.destroy();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress || options.output != "-")
        std::fprintf(stderr,
                     "%skelvo-enhance: %d frames (%d processed) of %dx%d in %.2f s, %.1f fps, "
                     "%s backend\n",
                     progress ? lineStart : "", frames, processed, header.width, header.height,
                     seconds, seconds > 0 ? frames / seconds : 0.0, backend.c_str());
    if (!snapshotDone)
        return fail("--snapshot-frame " + std::to_string(options.snapshotFrame) +
                    " is past the end of the input");
    if (out && out != stdout && std::fclose(out) != 0) return fail("cannot write the output");
    if (stats && stats != stderr && std::fclose(stats) != 0) return fail("cannot write the stats");
    if (in && in != stdin) std::fclose(in);
    return 0;
}

}  // namespace

// A frame too large for the memory left must end in a message and a failed
// exit, not in std::terminate.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("kelvo-enhance: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvo-enhance: %s\n", e.what());
    }
    return 1;
}
