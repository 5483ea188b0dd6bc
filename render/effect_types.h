// The numbering of effects: public identifiers (kEffect... of the public
// header) and the internal effect types of the render chain.
#pragma once

namespace kelvo {
namespace video {

// Internal effect types of the render chain; the values are part of the
// engine's log texts ("inner effects: ...").
enum {
    kEffectTypeVideoDenoiser = 10,
    kEffectTypeOESConvertor = 102,
    kEffectTypeYUVInputConvertor = 103,
    kEffectTypeBeauty = 201,
    kEffectTypeColorEnhance = 202,
    kEffectTypeLowlightEnhance = 203,
    kEffectTypeYUVOutputConvertor = 901,
};

// Public identifier → internal type: 101→201, 102→202, 103→10, 104→203;
// 201→301, 202→302, 203→303, 204→304, 901→305 (types no effect has); −1
// for anything else.
int internalEffectType(int effectId);
// Internal type → public identifier: 10→103, 201→101, 202→102, 203→104;
// −1 for the convertors and anything else.
int publicEffectId(int internalType);
// The video denoiser is the only effect that runs on the CPU planes; every
// other identifier, unknown ones included, counts as a GPU effect.
bool isCpuEffect(int effectId);

}  // namespace video
}  // namespace kelvo
