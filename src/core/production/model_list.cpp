#include "production/model_list.h"

#include <algorithm>

namespace dtu {

std::vector<std::string> parseModelList(std::span<const std::uint8_t> bytes) {
    const std::size_t end = std::min(bytes.size(), kModelFileLimit);
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] != '\r') continue;
        names.emplace_back(bytes.begin() + std::ptrdiff_t(start),
                           bytes.begin() + std::ptrdiff_t(i));
        start = i + 2;
        i = start - 1;  // the loop's step lands on the byte after the skipped one
    }
    return names;
}

}  // namespace dtu
