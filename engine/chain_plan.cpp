#include "engine/chain_plan.h"

#include <algorithm>

#include "kelvo/video_process_engine.h"
#include "render/effect_types.h"

namespace kelvo {
namespace video {

namespace {

bool has(const std::vector<int>& list, int id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

}  // namespace

EffectSelection selectEffects(const std::vector<int>& given) {
    EffectSelection selection;
    selection.effects = given;
    if (has(given, kEffectLowLightEnhance)) {
        if (has(given, kEffectVideoDenoiser)) return selection;
        selection.effects.insert(selection.effects.begin(), kEffectVideoDenoiser);
        selection.addedDenoiser = true;
    }
    if (has(given, kEffectVideoDenoiser) && !has(given, kEffectBeauty))
        selection.effects.push_back(kEffectBeauty);
    return selection;
}

bool planChain(const std::vector<int>& effects, bool textureInput, std::vector<int>* types) {
    types->clear();
    if (effects.empty()) return false;
    auto append = [types](int effectId) {
        const int type = internalEffectType(effectId);
        if (type >= 1 && type <= 998) types->push_back(type);
    };
    // Texture input starts on the GPU, buffer input on the CPU planes; each
    // change of side between neighbours needs a convertor, and the result
    // ends where the input came from.
    const bool firstCpu = isCpuEffect(effects.front());
    if (textureInput && firstCpu) types->push_back(kEffectTypeYUVOutputConvertor);
    if (!textureInput && !firstCpu) types->push_back(kEffectTypeYUVInputConvertor);
    for (size_t i = 0; i + 1 < effects.size(); ++i) {
        append(effects[i]);
        const bool cpu = isCpuEffect(effects[i]);
        const bool nextCpu = isCpuEffect(effects[i + 1]);
        if (cpu && !nextCpu) types->push_back(kEffectTypeYUVInputConvertor);
        if (!cpu && nextCpu) types->push_back(kEffectTypeYUVOutputConvertor);
    }
    append(effects.back());
    const bool lastCpu = isCpuEffect(effects.back());
    if (textureInput && lastCpu) types->push_back(kEffectTypeYUVInputConvertor);
    if (!textureInput && !lastCpu) types->push_back(kEffectTypeYUVOutputConvertor);
    return true;
}

std::string chainText(const std::vector<int>& types) {
    std::string text = "inner effects: ";
    for (int type : types) text += std::to_string(type) + " ";
    return text;
}

std::string planDetections(const std::vector<int>& effects, std::vector<int>* kinds) {
    if (effects.empty()) return std::string();
    std::string text = "inner detections: ";
    for (int id : effects) {
        // The denoiser's automatic mode reads the brightness statistics too,
        // so it needs the detector as much as low-light enhancement does.
        const int kind = (id == kEffectLowLightEnhance || id == kEffectVideoDenoiser)
                             ? kDetectionFrameBrightness
                             : kDetectionNone;
        if (kind == kDetectionNone || has(*kinds, kind)) continue;
        kinds->push_back(kind);
        text += std::to_string(kind) + " ";
    }
    return text;
}

}  // namespace video
}  // namespace kelvo
