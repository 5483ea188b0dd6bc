// What the library's entry point does on process attach elsewhere: announce
// the load callback to the host, when there is one. Kept in a file of its
// own, so that a program linking the static adapter does not run it.
#include "extension/beauty_extension_provider.h"
#include "extension/host_interface.h"
#include "extension/host_library.h"

namespace kelvo {
namespace video {
namespace {

__attribute__((constructor)) void announceToHost() {
    auto announce = reinterpret_cast<HostRegisterLoadCallbackFunction>(
        findHostEntry(kHostRegisterLoadCallbackEntry));
    if (announce) announce(kProviderName, &loadCallback);
}

}  // namespace
}  // namespace video
}  // namespace kelvo
