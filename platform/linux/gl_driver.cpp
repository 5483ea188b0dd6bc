#include "platform/gl_driver.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace kelvo {
namespace video {

void keepGLDriverLoaded() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libLLVM") ||
                         std::strstr(name, "_mesa.so") || std::strstr(name, "libgallium"))) {
                // NOLOAD: only an extra, permanent reference; nothing new is loaded.
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
            return 0;
        },
        nullptr);
}

}  // namespace video
}  // namespace kelvo
