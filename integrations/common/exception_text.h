// What a caught exception says, for the one error line a failed callback of an
// integration logs. Call only inside a catch handler: it rethrows the
// exception being handled. (The library keeps its own: integrations see only
// the public header.)
#pragma once

#include <exception>
#include <new>

namespace kelvo {
namespace integration {

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

}  // namespace integration
}  // namespace kelvo
