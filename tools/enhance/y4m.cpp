#include "y4m.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace kelvo {
namespace enhance {

extern const char kFfmpegPipe[];

namespace {

constexpr int kMaxSide = 16384;
constexpr size_t kMaxHeaderLine = 4096;
constexpr size_t kReadChunk = size_t{1} << 20;

bool parseInt(const std::string& text, int* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseRatio(const std::string& text, int* num, int* den) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    return parseInt(text.substr(0, colon), num) && parseInt(text.substr(colon + 1), den);
}

}  // namespace

int chromaWidth(const Y4MHeader& h) { return (h.width + 1) / 2; }
int chromaHeight(const Y4MHeader& h) {
    return h.chroma == Chroma::k420 ? (h.height + 1) / 2 : h.height;
}

size_t frameBytes(const Y4MHeader& h) {
    return static_cast<size_t>(h.width) * h.height +
           2 * static_cast<size_t>(chromaWidth(h)) * chromaHeight(h);
}

bool parseHeader(const std::string& line, Y4MHeader* header, std::string* error) {
    std::istringstream fields(line);
    std::string magic;
    fields >> magic;
    if (magic != "YUV4MPEG2") {
        *error = "not a Y4M stream (no YUV4MPEG2 header)";
        return false;
    }
    Y4MHeader h;
    std::string field;
    while (fields >> field) {
        const char tag = field[0];
        const std::string value = field.substr(1);
        switch (tag) {
            case 'W':
                if (!parseInt(value, &h.width)) h.width = -1;
                break;
            case 'H':
                if (!parseInt(value, &h.height)) h.height = -1;
                break;
            case 'F':
                if (!parseRatio(value, &h.fpsNum, &h.fpsDen) || h.fpsNum <= 0 || h.fpsDen <= 0) {
                    *error = "bad frame rate '" + value + "'";
                    return false;
                }
                break;
            case 'I':
                h.interlace = value;
                break;
            case 'A':
                h.aspect = value;
                break;
            case 'C':
                if (value == "420jpeg" || value == "420paldv" || value == "420mpeg2" ||
                    value == "420") {
                    h.chroma = Chroma::k420;
                } else if (value == "422") {
                    h.chroma = Chroma::k422;
                } else {
                    *error = "unsupported colourspace '" + value +
                             "': this tool reads 8-bit 4:2:0 and 4:2:2 only; let the ffmpeg "
                             "that writes the Y4M convert it with -pix_fmt yuv420p: " +
                             std::string(kFfmpegPipe);
                    return false;
                }
                h.chromaTag = value;
                break;
            case 'X':
                if (value == "COLORRANGE=LIMITED")
                    h.colorRange = 0;
                else if (value == "COLORRANGE=FULL")
                    h.colorRange = 1;
                else
                    h.extra.push_back(field);
                break;
            default:
                h.extra.push_back(field);
                break;
        }
    }
    if (h.width > kMaxSide || h.height > kMaxSide) {
        *error = "frame size " + std::to_string(h.width) + "x" + std::to_string(h.height) +
                 " in the Y4M header is over the limit of " + std::to_string(kMaxSide) +
                 " pixels a side";
        return false;
    }
    if (h.width < 1 || h.height < 1) {
        *error = "missing or bad frame size in the Y4M header";
        return false;
    }
    *header = h;
    return true;
}

std::string formatHeader(const Y4MHeader& h) {
    std::ostringstream out;
    out << "YUV4MPEG2 W" << h.width << " H" << h.height << " F" << h.fpsNum << ":" << h.fpsDen
        << " I" << h.interlace << " A" << h.aspect << " C" << h.chromaTag;
    if (h.colorRange == 0) out << " XCOLORRANGE=LIMITED";
    if (h.colorRange == 1) out << " XCOLORRANGE=FULL";
    for (const std::string& field : h.extra) out << " " << field;
    return out.str();
}

bool Y4MReader::readLine(std::string* line, size_t limit) {
    line->clear();
    int c;
    while ((c = std::fgetc(in_)) != EOF) {
        if (c == '\n') return true;
        if (line->size() >= limit) return false;
        line->push_back(static_cast<char>(c));
    }
    return false;
}

const char kFfmpegPipe[] =
    "ffmpeg -i in.mp4 -pix_fmt yuv420p -f yuv4mpegpipe - | kelvo-enhance -i - -o - | "
    "ffmpeg -f yuv4mpegpipe -i - out.mp4";

std::string describeNonY4M(const std::string& head, const std::string& name) {
    auto startsWith = [&head](const char* magic, size_t at, size_t n) {
        return head.size() >= at + n && head.compare(at, n, magic, n) == 0;
    };
    const std::string pipe = "ffmpeg -i " + (name == "-" ? std::string("in.mp4") : name) +
                             " -pix_fmt yuv420p -f yuv4mpegpipe - | kelvo-enhance -i - -o - | "
                             "ffmpeg -f yuv4mpegpipe -i - out.mp4";
    const std::string what = name == "-" ? "the input" : "'" + name + "'";
    static const struct {
        const char* magic;
        size_t at, size;
        const char* kind;
    } kinds[] = {
        {"\x89PNG", 0, 4, "a PNG image"},
        {"\xff\xd8\xff", 0, 3, "a JPEG image"},
        {"GIF8", 0, 4, "a GIF image"},
        {"RIFF", 0, 4, "a RIFF file (AVI or WAV)"},
        {"ftyp", 4, 4, "an MP4 or MOV file"},
        {"\x1a\x45\xdf\xa3", 0, 4, "a Matroska or WebM file"},
        {"OggS", 0, 4, "an Ogg file"},
        {"FLV", 0, 3, "an FLV file"},
        {"\x00\x00\x01\xba", 0, 4, "an MPEG program stream"},
    };
    for (const auto& k : kinds)
        if (startsWith(k.magic, k.at, k.size))
            return what + " is " + k.kind + ", not a Y4M stream: decode it with ffmpeg into the " +
                   "tool's input: " + pipe;
    const std::string file = name == "-" ? std::string("in.yuv") : name;
    return what +
           " is not a Y4M stream (it does not start with YUV4MPEG2). Raw YUV carries no size: "
           "give it to ffmpeg with its format, ffmpeg -f rawvideo -pix_fmt yuv420p -s "
           "WIDTHxHEIGHT -i " +
           file + " -f yuv4mpegpipe - | kelvo-enhance -i - -o -; other video: " + pipe;
}

bool Y4MReader::open(std::string* error) {
    // The first bytes, up to a line end, tell a Y4M stream from the files
    // people give instead (a container, an image, raw planes).
    static const char kMagic[] = "YUV4MPEG2";
    constexpr size_t kSniff = 12;
    std::string line;
    int c = EOF;
    while (line.size() < kSniff && (c = std::fgetc(in_)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    if (line.empty() && c == EOF) {
        // An ffmpeg that refuses the pixel format writes nothing at all.
        *error = std::string(
                     "empty input: no Y4M stream arrived. When ffmpeg writes the pipe, "
                     "see its error above: it writes Y4M only from 8-bit YUV, so 10-bit "
                     "and RGB video need -pix_fmt yuv420p: ") +
                 kFfmpegPipe;
        return false;
    }
    if (line.compare(0, sizeof(kMagic) - 1, kMagic) != 0) {
        *error = describeNonY4M(line, name_);
        return false;
    }
    if (c != '\n') {
        std::string rest;
        if (!readLine(&rest, kMaxHeaderLine - line.size())) {
            *error = "Y4M header line is too long or cut short";
            return false;
        }
        line += rest;
    }
    return parseHeader(line, &header_, error);
}

bool Y4MReader::readFrame(std::vector<uint8_t>* planes, std::string* error) {
    error->clear();
    std::string line;
    const int first = std::fgetc(in_);
    if (first == EOF) return false;  // clean end
    std::ungetc(first, in_);
    if (!readLine(&line, kMaxHeaderLine) || line.compare(0, 5, "FRAME") != 0) {
        *error = "bad Y4M frame header";
        return false;
    }
    // Grown as the bytes arrive, so a cut-off stream with a huge header never
    // holds (and clears) memory for a whole frame it does not have.
    const size_t want = frameBytes(header_);
    size_t got = 0;
    planes->resize(std::min(want, std::max(planes->size(), kReadChunk)));
    while (got < want) {
        if (got == planes->size()) planes->resize(std::min(want, 2 * planes->size()));
        const size_t n = std::fread(planes->data() + got, 1, planes->size() - got, in_);
        got += n;
        if (n == 0) break;
    }
    if (got != want) {
        *error = "truncated Y4M frame (" + std::to_string(got) + " of " + std::to_string(want) +
                 " bytes)";
        return false;
    }
    return true;
}

bool Y4MWriter::writeHeader(const Y4MHeader& header) {
    const std::string line = formatHeader(header) + "\n";
    return std::fwrite(line.data(), 1, line.size(), out_) == line.size();
}

bool Y4MWriter::writeFrame(const uint8_t* planes, size_t size) {
    static const char kFrame[] = "FRAME\n";
    return std::fwrite(kFrame, 1, sizeof(kFrame) - 1, out_) == sizeof(kFrame) - 1 &&
           std::fwrite(planes, 1, size, out_) == size;
}

}  // namespace enhance
}  // namespace kelvo
