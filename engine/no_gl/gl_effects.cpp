#include "engine/effect_factories.h"

namespace kelvo {
namespace video {

EffectMaker glEffectMaker(int) { return nullptr; }

}  // namespace video
}  // namespace kelvo
