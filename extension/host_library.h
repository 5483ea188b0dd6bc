// Run-time access to the host library kelvo_rtc_sdk. This library has no
// link-time dependency on it, so that it also loads, and works through
// createVideoProcessEngine, in a process without the host.
#pragma once

namespace kelvo {
namespace video {

// The address of one of the host's exported entries (host_interface.h), or
// null when no host library is in the process. Never loads the host library.
// Thread-safe.
void* findHostEntry(const char* name);

}  // namespace video
}  // namespace kelvo
