#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/ini.h"

namespace dtu {

// Reads a whole file. Fails (with the system's reason in `error`) when it cannot be opened or
// read, or when it is larger than maxBytes.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::string& error,
                                                  std::size_t maxBytes);

// Reads at most maxBytes from the start of a file (a longer file is not an error).
std::optional<std::vector<std::uint8_t>> readFileHead(const std::string& path, std::size_t maxBytes,
                                                      std::string& error);

// Writes a file atomically: the old file stays as it was until the new one is complete, so a
// failed or interrupted write never leaves a torn file.
bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                     std::string& error);

// A settings text file (sections of key=value lines). A missing or unreadable file, or one of
// more than 16 MiB, reads as an empty document.
IniDocument readIniFile(const std::string& path);
bool writeIniFile(const std::string& path, const IniDocument& doc);

}  // namespace dtu
