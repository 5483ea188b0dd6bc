// What the C test compares the C interface with: the C++ interface's
// processFrame on a tight buffer, and the integrations' effect names.
#include <memory>
#include <string>
#include <vector>

#include "cpp_reference.h"
#include "effect_names.h"
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
