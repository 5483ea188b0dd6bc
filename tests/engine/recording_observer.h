// An observer that keeps everything the engine reports, for assertions.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {

class RecordingObserver : public IVideoProcessObserver {
public:
    void onInitialized(int code) override { initialized.push_back(code); }
    void onLog(int level, const char* message) override { logs.emplace_back(level, message); }
    void onDetectionResult(int result, int kind,
                           const std::shared_ptr<IMetaDataInfo>& record) override {
        detections.push_back({result, kind, record});
    }
    void onEffectResult(int result, int effectId) override {
        effectResults.emplace_back(effectId, result);
    }
    void onProcessResult(int code) override { processResults.push_back(code); }

    // Number of log lines equal to `text` at `level`.
    int count(int level, const std::string& text) const {
        return static_cast<int>(std::count(logs.begin(), logs.end(), std::make_pair(level, text)));
    }
    // True when some log line starts with `prefix`.
    bool logged(const std::string& prefix) const {
        return std::any_of(logs.begin(), logs.end(),
                           [&](const auto& l) { return l.second.rfind(prefix, 0) == 0; });
    }
    // The last log line that starts with `prefix`, or "".
    std::string last(const std::string& prefix) const {
        for (auto it = logs.rbegin(); it != logs.rend(); ++it)
            if (it->second.rfind(prefix, 0) == 0) return it->second;
        return "";
    }

    struct Detection {
        int result;
        int kind;
        std::shared_ptr<IMetaDataInfo> record;
    };
    std::vector<int> initialized;
    std::vector<std::pair<int, std::string>> logs;
    std::vector<Detection> detections;
    std::vector<std::pair<int, int>> effectResults;  // (effect id, result)
    std::vector<int> processResults;
};

}  // namespace video
}  // namespace kelvo
