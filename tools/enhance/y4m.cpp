#include "y4m.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace kelvo {
namespace enhance {

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
                             "' (8-bit 4:2:0 and 4:2:2 only: convert with ffmpeg's "
                             "-pix_fmt yuv420p)";
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

bool Y4MReader::open(std::string* error) {
    std::string line;
    if (!readLine(&line, kMaxHeaderLine)) {
        *error = line.empty() ? "empty input: no Y4M header"
                              : "Y4M header line is too long or cut short";
        return false;
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
