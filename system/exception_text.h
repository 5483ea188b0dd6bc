// What a caught exception says, for the one error line a failed call logs.
// Call only inside a catch handler: it rethrows the exception being handled.
#pragma once

#include <exception>
#include <new>

namespace kelvo {
namespace video {

inline const char* currentExceptionText() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace video
}  // namespace kelvo
