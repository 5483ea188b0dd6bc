#include "effects/shader_constants.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvo::video {

std::string shaderFloat(float value) {
    // The shortest text that reads back exactly, whatever the locale's
    // decimal point.
    char text[32];
#if defined(__cpp_lib_to_chars)
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    std::string out(text, end.ptr);
#else
    // libc++ before 14 has no float to_chars (Emscripten 3.1): the fewest
    // significant digits that read back exactly, with a point for the
    // locale's decimal separator.
    std::string out;
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        out = text;
        for (char& c : out)
            if (c == ',') c = '.';
        if (std::strtof(text, nullptr) == value) break;
    }
#endif
    if (out.find_first_of(".en") == std::string::npos) out += ".0";
    return out;
}

namespace {

// Length of the line starting at `at`, with its newline.
size_t lineLength(const std::string& s, size_t at) {
    const size_t end = s.find('\n', at);
    return end == std::string::npos ? s.size() - at : end + 1 - at;
}

bool startsWith(const std::string& s, size_t at, const char* prefix) {
    return s.compare(at, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::string withShaderConstants(const char* source, const char* comment,
                                std::initializer_list<ShaderConstant> constants) {
    std::string text = source;
    size_t at = 0;
    if (startsWith(text, 0, "#version")) {
        at = lineLength(text, 0);
        while (at < text.size() && startsWith(text, at, "precision ")) at += lineLength(text, at);
    }
    std::string block = "// ";
    block += comment;
    block += '\n';
    for (const ShaderConstant& c : constants) {
        block += "const float ";
        block += c.name;
        block += " = ";
        block += shaderFloat(c.value);
        block += ";\n";
    }
    if (at > 0 && text[at - 1] != '\n') block.insert(0, 1, '\n');
    text.insert(at, block);
    return text;
}

}  // namespace kelvo::video
