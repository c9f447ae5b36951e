#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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
// failed or interrupted write never leaves a torn file. Every write is checked to the end; on
// any failure the old file is kept, nothing is left behind, and `error` says which file and why.
bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes,
                     std::string& error);

// Adds bytes at the end of a file (made when missing). A write that does not complete is taken
// back, so the file is never left with half a line.
bool appendToFile(const std::string& path, std::string_view bytes, std::string& error);

// Feeds a whole file to a scan in pieces; a missing file is an empty text.
bool scanFile(const std::string& path, IniScan& scan, std::string& error);

// Applies one edit to a file scanned at `scannedSize` bytes, keeping every other byte: an
// addition at the end is appended; any other edit writes a new file beside it and replaces
// the old one whole, or, in a folder that takes no new files, rewrites the file from the edit
// on and puts the old bytes back if that fails. A file that changed since it was scanned is
// left alone.
bool spliceFile(const std::string& path, std::uint64_t scannedSize, const IniSplice& splice,
                std::string& error);

// A settings text file (sections of key=value lines). A missing or unreadable file, or one of
// more than 16 MiB, reads as an empty document.
IniDocument readIniFile(const std::string& path);
bool writeIniFile(const std::string& path, const IniDocument& doc, std::string& error);

}  // namespace dtu
