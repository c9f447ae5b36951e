#include "files/param_file.h"

#include <algorithm>

namespace dtu {

void loadParamsImage(std::span<const std::uint8_t> file, DeviceParams& params) {
    const auto n = std::min(file.size(), kParamFileSize);
    std::copy_n(file.begin(), n, params.image().begin());
}

}  // namespace dtu
