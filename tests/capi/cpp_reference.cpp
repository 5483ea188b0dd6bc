// What the C test compares the C interface with: the C++ interface's
// processFrame on a tight buffer, the integrations' effect names and the
// engine's rejection texts.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cpp_reference.h"
#include "effect_names.h"
#include "engine/parameter_store.h"
#include "kelvo/video_process_engine.h"

extern "C" int reference_effect_id(const char* name) {
    std::vector<int> ids;
    std::string error;
    if (!kelvo::video::parseEffectNames(name, &ids, &error) || ids.size() != 1) return 0;
    return ids[0];
}

extern "C" int reference_process(const char* config, const reference_setting* settings,
                                 int settingCount, const int* effects, int effectCount, int format,
                                 int width, int height, uint8_t* buffer, int size, int colorMatrix,
                                 int colorRange) {
    std::unique_ptr<kelvo::video::IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (!engine || engine->init(config) != 0) return -100;
    if (engine->setVideoEffects(std::vector<int>(effects, effects + effectCount)) != 0) return -101;
    for (int i = 0; i < settingCount; ++i)
        if (engine->setParameter(settings[i].key, settings[i].json) != 0) return -102;
    return engine->processFrame(format, width, height, buffer, size, -1, -1, colorMatrix,
                                colorRange);
}

extern "C" void reference_rejection_text(const char* key, const char* json, int index, char* text,
                                         size_t capacity) {
    static const char kPrefix[] = "setParameter rejected: ";
    const kelvo::video::ParsedParameterDocument parsed =
        kelvo::video::parseParameterDocument(key, json);
    std::string line;
    if (index >= 0 && static_cast<size_t>(index) < parsed.rejections.size())
        line = kelvo::video::rejectionText(parsed.rejections[index]);
    if (line.compare(0, sizeof kPrefix - 1, kPrefix) == 0) line.erase(0, sizeof kPrefix - 1);
    std::snprintf(text, capacity, "%s", line.c_str());
}
