#include "denoise/denoiser_filter.h"

#include "denoise/denoiser_filter_c.h"

namespace kelvo {
namespace video {

std::unique_ptr<DenoiserFilter> DenoiserFilter::create(bool detectCpu) {
    (void)detectCpu;  // no processor-specific variants yet
    return std::make_unique<DenoiserFilterC>();
}

}  // namespace video
}  // namespace kelvo
