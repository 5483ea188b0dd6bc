#include "resources/resources.h"

namespace kelvo::video {
namespace embedded {
// Generated from resources/*.png at build time (cmake/EmbedResources.cmake).
extern const unsigned char resource101[];
extern const size_t resource101Size;
extern const unsigned char resource102[];
extern const size_t resource102Size;
extern const unsigned char resource103[];
extern const size_t resource103Size;
}  // namespace embedded

bool findEmbeddedResource(int id, const uint8_t** data, size_t* size) {
    if (!data || !size) {
        return false;
    }
    const unsigned char* bytes = nullptr;
    size_t length = 0;
    switch (id) {
        case 101:
            bytes = embedded::resource101;
            length = embedded::resource101Size;
            break;
        case 102:
            bytes = embedded::resource102;
            length = embedded::resource102Size;
            break;
        case 103:
            bytes = embedded::resource103;
            length = embedded::resource103Size;
            break;
        default:
            return false;
    }
    *data = bytes;
    *size = length;
    return true;
}

}  // namespace kelvo::video
