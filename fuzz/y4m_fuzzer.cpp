// The command-line tool's Y4M reader: the header parser on its own (with a
// format/parse round trip), then the stream reader over the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "y4m.h"

namespace {

using namespace kelvo::enhance;

constexpr int kMaxFrames = 4;

void checkHeaderRoundTrip(const std::string& line) {
    Y4MHeader header;
    std::string error;
    if (!parseHeader(line, &header, &error)) {
        if (error.empty()) std::abort();
        return;
    }
    // What the tool writes back must read back as the same stream.
    Y4MHeader again;
    if (!parseHeader(formatHeader(header), &again, &error)) std::abort();
    if (again.width != header.width || again.height != header.height ||
        again.fpsNum != header.fpsNum || again.fpsDen != header.fpsDen ||
        again.chroma != header.chroma || again.colorRange != header.colorRange ||
        again.interlace != header.interlace || again.aspect != header.aspect ||
        again.extra != header.extra || frameBytes(again) != frameBytes(header))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkHeaderRoundTrip(text.substr(0, text.find('\n')));

    if (size == 0) return 0;
    // fmemopen needs a writable buffer even for reading.
    std::vector<char> bytes(text.begin(), text.end());
    std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!in) return 0;
    Y4MReader reader(in);
    std::string error;
    if (reader.open(&error)) {
        std::vector<uint8_t> planes;
        for (int i = 0; i < kMaxFrames; ++i) {
            if (!reader.readFrame(&planes, &error)) break;
            if (planes.size() != frameBytes(reader.header())) std::abort();
        }
    } else if (error.empty()) {
        std::abort();
    }
    std::fclose(in);
    return 0;
}
