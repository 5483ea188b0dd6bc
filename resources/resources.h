#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvo::video {

// Looks up a resource embedded in the library by its id (101 whitening,
// 102 ruddy, 103 skin-likelihood table). On success sets *data and *size to
// bytes that live as long as the library is loaded (read-only, never freed)
// and returns true; an unknown id or a null out-pointer returns false and
// leaves both untouched. Thread-safe.
//
// On Linux the bytes are compiled in (cmake/EmbedResources.cmake); on Windows
// the same lookup is FindResource/LoadResource/LockResource on the library's
// own module with resources/kelvo_resources.rc.
bool findEmbeddedResource(int id, const uint8_t** data, size_t* size);

}  // namespace kelvo::video
