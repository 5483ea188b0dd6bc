#include "engine/engine_config.h"
#include "engine/json.h"

#include <rapidjson/error/en.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kelvo {
namespace video {

std::string parseEngineConfig(const char* text, EngineConfig& out) {
    out = EngineConfig();
    if (text == nullptr || *text == '\0') return "";
    JsonDocument document;
    document.Parse(text);
    if (document.HasParseError())
        return std::string("config is not JSON: ") +
               rapidjson::GetParseError_En(document.GetParseError()) + " at offset " +
               std::to_string(document.GetErrorOffset());
    if (!document.IsObject()) return "config is not a JSON object";
    auto backend = document.FindMember("backend");
    if (backend != document.MemberEnd()) {
        const JsonValue& v = backend->value;
        if (!v.IsString()) return "backend is not a string";
        const std::string name(v.GetString(), v.GetStringLength());
        if (name == "auto")
            out.backend = Backend::kAuto;
        else if (name == "gpu")
            out.backend = Backend::kGpu;
        else if (name == "cpu")
            out.backend = Backend::kCpu;
        else
            return "unknown backend '" + name + "' (auto, gpu or cpu)";
    }
    auto threads = document.FindMember("threads");
    if (threads != document.MemberEnd()) {
        const JsonValue& v = threads->value;
        if (!v.IsInt() || v.GetInt() < 0) return "threads is not an integer >= 0";
        out.threads = v.GetInt();
    }
    return "";
}

bool isSoftwareRenderer(const char* renderer) {
    if (renderer == nullptr) return false;
    std::string lower(renderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "swiftshader"}) {
        if (lower.find(name) != std::string::npos) return true;
    }
    return false;
}

}  // namespace video
}  // namespace kelvo
