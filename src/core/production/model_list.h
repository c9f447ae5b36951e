#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dtu {

// The model list file is read only this far; anything beyond is never scanned.
inline constexpr std::size_t kModelFileLimit = 1024;

// Model names, one per line. A line ends at its CR and the byte after the CR (its LF) is
// skipped; text after the last CR is not a line. Names are kept as the file's bytes.
std::vector<std::string> parseModelList(std::span<const std::uint8_t> bytes);

}  // namespace dtu
