// From the caller's selection of public effects to what the engine runs: the
// effect list (with the effects the selection brings along), the internal
// types of the render chain and the detection kinds. Pure functions.
#pragma once

#include <string>
#include <vector>

namespace kelvo {
namespace video {

struct EffectSelection {
    std::vector<int> effects;
    // Low-light enhancement was given without a denoiser, so one went in
    // front of it (logged by the engine).
    bool addedDenoiser = false;
};

// The selection rules of setVideoEffects: low-light enhancement runs behind
// a denoiser, and a denoiser given without low light and without beauty is
// followed by beauty. Duplicates stay.
EffectSelection selectEffects(const std::vector<int>& given);

// The internal chain for `effects`, with the convertors between CPU and GPU
// effects and at both ends for the kind of input. False for no effects.
bool planChain(const std::vector<int>& effects, bool textureInput, std::vector<int>* types);
// "inner effects: " and each type followed by a blank.
std::string chainText(const std::vector<int>& types);

// Appends to `kinds` the detection kinds `effects` need that it lacks (kinds
// are never removed) and returns "inner detections: " with each added kind
// followed by a blank. Empty (and nothing appended) for no effects.
std::string planDetections(const std::vector<int>& effects, std::vector<int>* kinds);

}  // namespace video
}  // namespace kelvo
