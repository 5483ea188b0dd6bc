#include "extension/host_library.h"

#include <dlfcn.h>

#include "extension/host_interface.h"

namespace kelvo {
namespace video {

void* findHostEntry(const char* name) {
    // A host that links or globally loads the library: the global scope.
    if (void* entry = dlsym(RTLD_DEFAULT, name)) return entry;
    // A host that loaded it privately (RTLD_LOCAL): find it by name among the
    // loaded objects, without loading it.
    void* host = dlopen(kHostLibraryName, RTLD_NOW | RTLD_NOLOAD);
    if (!host) return nullptr;
    void* entry = dlsym(host, name);
    // Drops only the reference NOLOAD took; the host keeps the library.
    dlclose(host);
    return entry;
}

}  // namespace video
}  // namespace kelvo
