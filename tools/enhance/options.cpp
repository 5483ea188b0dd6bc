#include "options.h"

#include "effect_names.h"

#include <getopt.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace enhance {

const char kUsage[] =
    "usage: kelvo-enhance [options]\n"
    "\n"
    "Enhances raw video frame by frame: reads YUV4MPEG2 (Y4M, 8-bit 4:2:0 or 4:2:2),\n"
    "runs it through the kelvo video process engine and writes Y4M, so that it sits\n"
    "in an ffmpeg pipe:\n"
    "  ffmpeg -i in.mp4 -pix_fmt yuv420p -f yuv4mpegpipe - | kelvo-enhance -i - -o - |\n"
    "      ffmpeg -f yuv4mpegpipe -i - out.mp4\n"
    "With --demo it processes a built-in generated clip (moving, noisy, with a\n"
    "skin-toned face) instead of an input.\n"
    "\n"
    "  -i, --input FILE       Y4M input; '-' reads standard input\n"
    "      --demo             the built-in clip instead of --input\n"
    "  -o, --output FILE      Y4M output; '-' writes standard output (default: none,\n"
    "                         the frames are processed and dropped)\n"
    "  -e, --effects LIST     comma-separated: beauty, color (colour), denoise,\n"
    "                         lowlight, or the ids 101-104, run in the order given\n"
    "                         (lowlight without denoise gets a denoiser in front);\n"
    "                         each is enabled with its defaults, denoise and\n"
    "                         lowlight in automatic mode (default: denoise,color,beauty)\n"
    "  -p, --param KEY=JSON   a parameter document, e.g.\n"
    "                         --param beauty_effect_option='{\"enable\":1,\"smoothness\":0.8}'\n"
    "                         keys: beauty_effect_option, color_enhance_option,\n"
    "                         video_denoiser_option, lowlight_enhance_option, environment;\n"
    "                         repeatable, applied in order after the defaults;\n"
    "                         every document is checked before any output\n"
    "  -P, --params FILE      JSON file: {\"beauty_effect_option\": {...}, ...}\n"
    "      --range R          limited | full (default: the input's XCOLORRANGE, else limited)\n"
    "      --matrix M         bt601 (smpte170m) | bt709 | bt2020 (bt2020nc) | bt2020c |\n"
    "                         fcc | bt470bg | smpte240m | ycgco | rgb, or a code 0-9\n"
    "                         (default: bt601, also for HD: give bt709 for most HD video)\n"
    "  -s, --snapshot FILE    write frame N before (left) and after (right) as PNG\n"
    "      --snapshot-frame N frame for --snapshot (default 0)\n"
    "  -n, --frames N         process at most N frames (--demo: default 60)\n"
    "      --size WxH         size of the built-in clip (default 640x360)\n"
    "      --noise SIGMA      luma noise of the built-in clip (default 6)\n"
    "      --progress         report frames and fps on standard error\n"
    "      --no-progress      never report progress (default: only on a terminal)\n"
    "      --stats FILE       one JSON object per frame and line: frame, the brightness\n"
    "                         record (mean, log_mean, dark_share, median, low_percentile,\n"
    "                         deviation), the verdicts dark_scene and noisy, result, ms;\n"
    "                         '-' writes standard error\n"
    "      --backend B        auto | gpu | cpu (default auto: the GPU unless its OpenGL\n"
    "                         renders in software, else the CPU)\n"
    "      --threads N        CPU backend threads; 0 picks the core count (default 0)\n"
    "  -v, --verbose          print every engine log line on standard error\n"
    "  -h, --help             this text\n"
    "\n"
    "Exit status: 0 success, 1 bad input or processing failure, 2 bad usage.\n";

namespace {

bool parseInt(const char* text, int minimum, int* out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < minimum || v > INT_MAX) return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseEffects(const std::string& list, std::vector<int>* effects, std::string* error) {
    if (!kelvo::video::parseEffectNames(list, effects, error)) return false;
    if (effects->empty()) {
        *error = "--effects needs at least one effect";
        return false;
    }
    return true;
}

bool parseMatrix(const std::string& text, int* code) {
    static const std::pair<const char*, int> names[] = {
        {"rgb", 0},    {"bt709", 1},     {"fcc", 2},       {"bt470bg", 3},
        {"bt601", 4},  {"smpte170m", 4}, {"smpte240m", 5}, {"ycgco", 6},
        {"bt2020", 7}, {"bt2020nc", 7},  {"bt2020c", 8},
    };
    for (const auto& n : names)
        if (text == n.first) {
            *code = n.second;
            return true;
        }
    return parseInt(text.c_str(), 0, code) && *code <= 9;
}

}  // namespace

bool loadParamFile(const std::string& path,
                   std::vector<std::pair<std::string, std::string>>* params, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        *error = "cannot read parameter file '" + path + "'";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    rapidjson::Document doc;
    doc.Parse(text.str().c_str());
    if (doc.HasParseError()) {
        *error = "bad JSON in '" + path + "' at offset " + std::to_string(doc.GetErrorOffset()) +
                 ": " + rapidjson::GetParseError_En(doc.GetParseError());
        return false;
    }
    if (!doc.IsObject()) {
        *error = "'" + path + "' must hold a JSON object of option keys";
        return false;
    }
    for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it) {
        rapidjson::StringBuffer out;
        rapidjson::Writer<rapidjson::StringBuffer> writer(out);
        it->value.Accept(writer);
        params->emplace_back(it->name.GetString(), out.GetString());
    }
    return true;
}

bool parseOptions(int argc, char** argv, Options* o, std::string* error) {
    enum {
        kRange = 1000,
        kMatrix,
        kSnapshotFrame,
        kSize,
        kNoise,
        kProgress,
        kNoProgress,
        kDemo,
        kStats,
        kBackend,
        kThreads
    };
    static const option longOptions[] = {
        {"input", required_argument, nullptr, 'i'},
        {"output", required_argument, nullptr, 'o'},
        {"effects", required_argument, nullptr, 'e'},
        {"param", required_argument, nullptr, 'p'},
        {"params", required_argument, nullptr, 'P'},
        {"range", required_argument, nullptr, kRange},
        {"matrix", required_argument, nullptr, kMatrix},
        {"snapshot", required_argument, nullptr, 's'},
        {"snapshot-frame", required_argument, nullptr, kSnapshotFrame},
        {"frames", required_argument, nullptr, 'n'},
        {"size", required_argument, nullptr, kSize},
        {"noise", required_argument, nullptr, kNoise},
        {"progress", no_argument, nullptr, kProgress},
        {"no-progress", no_argument, nullptr, kNoProgress},
        {"demo", no_argument, nullptr, kDemo},
        {"stats", required_argument, nullptr, kStats},
        {"backend", required_argument, nullptr, kBackend},
        {"threads", required_argument, nullptr, kThreads},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    std::string ignored;
    kelvo::video::parseEffectNames(kelvo::video::kDefaultEffectNames, &o->effects, &ignored);
    optind = 0;  // restartable, for tests
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":i:o:e:p:P:s:n:vh", longOptions, nullptr)) != -1) {
        const std::string arg = optarg ? optarg : "";
        switch (c) {
            case 'i':
                o->input = arg;
                break;
            case 'o':
                o->output = arg;
                break;
            case 'e':
                if (!parseEffects(arg, &o->effects, error)) return false;
                break;
            case 'p': {
                const size_t eq = arg.find('=');
                if (eq == std::string::npos || eq == 0) {
                    *error = "--param needs KEY=JSON, got '" + arg + "'";
                    return false;
                }
                o->params.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
                break;
            }
            case 'P':
                if (!loadParamFile(arg, &o->params, error)) return false;
                break;
            case kRange:
                if (arg == "limited" || arg == "tv")
                    o->colorRange = 0;
                else if (arg == "full" || arg == "pc")
                    o->colorRange = 1;
                else {
                    *error =
                        "unknown --range '" + arg + "': accepted are limited (tv) and full (pc)";
                    return false;
                }
                break;
            case kMatrix:
                if (!parseMatrix(arg, &o->colorMatrix)) {
                    *error = "unknown --matrix '" + arg +
                             "': accepted are bt601 (smpte170m), bt709, bt2020 (bt2020nc), "
                             "bt2020c, fcc, bt470bg, smpte240m, ycgco, rgb and the codes 0-9";
                    return false;
                }
                break;
            case 's':
                o->snapshotPath = arg;
                break;
            case kSnapshotFrame:
                if (!parseInt(arg.c_str(), 0, &o->snapshotFrame)) {
                    *error = "--snapshot-frame needs a frame number";
                    return false;
                }
                break;
            case 'n':
                if (!parseInt(arg.c_str(), 1, &o->maxFrames)) {
                    *error = "--frames needs a positive number";
                    return false;
                }
                break;
            case kSize: {
                const size_t x = arg.find('x');
                if (x == std::string::npos ||
                    !parseInt(arg.substr(0, x).c_str(), 16, &o->clipWidth) ||
                    !parseInt(arg.substr(x + 1).c_str(), 16, &o->clipHeight) ||
                    o->clipWidth > 8192 || o->clipHeight > 8192) {
                    *error = "--size needs WxH between 16 and 8192";
                    return false;
                }
                break;
            }
            case kNoise: {
                char* end = nullptr;
                o->clipNoise = std::strtod(arg.c_str(), &end);
                if (end == arg.c_str() || *end != '\0' || o->clipNoise < 0 || o->clipNoise > 100) {
                    *error = "--noise needs a number between 0 and 100";
                    return false;
                }
                break;
            }
            case kProgress:
                o->progress = 1;
                break;
            case kNoProgress:
                o->progress = 0;
                break;
            case kDemo:
                o->demo = true;
                break;
            case kStats:
                o->statsPath = arg;
                break;
            case kBackend:
                if (arg != "auto" && arg != "gpu" && arg != "cpu") {
                    *error = "unknown --backend '" + arg + "': accepted are auto, gpu and cpu";
                    return false;
                }
                o->backend = arg;
                break;
            case kThreads:
                if (!parseInt(arg.c_str(), 0, &o->threads)) {
                    *error = "--threads needs a number >= 0";
                    return false;
                }
                break;
            case 'v':
                o->verbose = true;
                break;
            case 'h':
                o->help = true;
                break;
            case ':':
                *error = std::string("option ") + argv[optind - 1] + " needs a value";
                return false;
            default:
                *error = std::string("unknown option ") + argv[optind - 1];
                return false;
        }
    }
    if (optind < argc) {
        *error = std::string("unexpected argument '") + argv[optind] +
                 "': files go with options, -i IN.y4m -o OUT.y4m ('-' for a pipe)";
        return false;
    }
    // Without an input the built-in clip plays only when asked for: in a pipe
    // a forgotten -i must not feed 60 made-up frames downstream.
    if (!o->help && o->input.empty() && !o->demo) {
        *error =
            "no input: give --input FILE (or -i - for standard input), or --demo for the "
            "built-in clip";
        return false;
    }
    if (!o->input.empty() && o->demo) {
        *error = "--input and --demo exclude each other";
        return false;
    }
    return true;
}

std::string engineConfig(const Options& options) {
    return "{\"backend\":\"" + options.backend +
           "\",\"threads\":" + std::to_string(options.threads) + "}";
}

}  // namespace enhance
}  // namespace kelvo
