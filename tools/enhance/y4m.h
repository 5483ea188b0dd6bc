// Reading and writing YUV4MPEG2 ("Y4M") streams: the raw-video container that
// ffmpeg pipes use. 8-bit 4:2:0 and 4:2:2 only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kelvo {
namespace enhance {

enum class Chroma { k420, k422 };

struct Y4MHeader {
    int width = 0;
    int height = 0;
    int fpsNum = 30;
    int fpsDen = 1;
    Chroma chroma = Chroma::k420;
    std::string chromaTag = "420jpeg";  // as written back
    std::string interlace = "p";
    std::string aspect = "1:1";
    // The XCOLORRANGE extension ffmpeg writes: -1 not given, 0 limited, 1 full.
    int colorRange = -1;
    // Other header fields, kept verbatim for the output header.
    std::vector<std::string> extra;
};

// Bytes of one planar frame (Y, then U, then V, each tightly packed).
size_t frameBytes(const Y4MHeader& header);
int chromaWidth(const Y4MHeader& header);
int chromaHeight(const Y4MHeader& header);

// Parses a stream header line (without the trailing newline). Returns false
// and sets `error` to a one-line reason for anything this tool cannot read.
bool parseHeader(const std::string& line, Y4MHeader* header, std::string* error);
std::string formatHeader(const Y4MHeader& header);

// What an input that is not Y4M looks like from its first bytes, and the
// ffmpeg command that makes Y4M of it. `name` is the input's file name, "-"
// for standard input.
std::string describeNonY4M(const std::string& head, const std::string& name);

// The pipe that feeds the tool 8-bit 4:2:0 from any video ffmpeg reads.
extern const char kFfmpegPipe[];

// Reads Y4M from a C stream. Not thread-safe.
class Y4MReader {
public:
    // `name` is the file name given, "-" for standard input; messages use it.
    explicit Y4MReader(std::FILE* in, std::string name = "-") : in_(in), name_(std::move(name)) {}
    // Reads and checks the stream header. Input that is not Y4M gets a
    // message naming what it looks like and the ffmpeg command that fixes it.
    bool open(std::string* error);
    // Reads the next frame into `planes` (frameBytes() bytes). Returns false
    // at a clean end of stream (error empty) or on a bad or truncated frame
    // (error set).
    bool readFrame(std::vector<uint8_t>* planes, std::string* error);
    const Y4MHeader& header() const { return header_; }

private:
    bool readLine(std::string* line, size_t limit);
    std::FILE* in_;
    std::string name_;
    Y4MHeader header_;
};

class Y4MWriter {
public:
    explicit Y4MWriter(std::FILE* out) : out_(out) {}
    bool writeHeader(const Y4MHeader& header);
    bool writeFrame(const uint8_t* planes, size_t size);

private:
    std::FILE* out_;
};

}  // namespace enhance
}  // namespace kelvo
