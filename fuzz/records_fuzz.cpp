// Production record files from outside: whatever a file holds, setting one key by one edit must
// leave the key readable with its new value and every other key as it was, and the edit may
// only replace a value, never a line end. The first byte picks the size of the pieces the scan
// is fed in.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 7 + 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    dtu::IniScan scan("s", [](std::string_view) { return true; });
    for (std::size_t at = 0; at < text.size(); at += piece)
        scan.feed(std::string_view(text).substr(at, piece));
    scan.finish();
    if (scan.size() != text.size()) std::abort();

    const dtu::IniSplice edit = scan.set("k", "v\r\n1");
    if (edit.offset + edit.length > text.size()) std::abort();
    if (text.substr(edit.offset, edit.length).find('\n') != std::string::npos) std::abort();
    std::string after = text;
    after.replace(edit.offset, edit.length, edit.text);

    const dtu::IniDocument before = dtu::IniDocument::parse(text);
    const dtu::IniDocument updated = dtu::IniDocument::parse(after);
    if (updated.value("s", "k") != "v  1") std::abort();
    for (const auto& section : before.sections())
        for (const auto& entry : section.entries) {
            if ((section.name == "s" || section.name == "S") &&
                (entry.key == "k" || entry.key == "K"))
                continue;
            if (updated.value(section.name, entry.key) != before.value(section.name, entry.key))
                std::abort();
        }
    return 0;
}
