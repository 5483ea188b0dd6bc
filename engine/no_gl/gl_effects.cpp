#include "engine/effect_factories.h"

namespace kelvo {
namespace video {

const GLEffectMakers& glEffectMakers() {
    static const GLEffectMakers none{};
    return none;
}

}  // namespace video
}  // namespace kelvo
