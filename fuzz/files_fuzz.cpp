// Parameter files and their JSON form, both from outside: any bytes taken as a file image must
// survive the trip through JSON unchanged, and any text taken as JSON must either be refused or
// read back to the same record after writing it out again.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "files/param_file.h"
#include "files/param_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);

    dtu::DeviceParams image;
    dtu::loadParamsImage(input, image);
    std::string error;
    dtu::DeviceParams back;
    if (!dtu::paramsFromJson(dtu::paramsToJson(image), back, error) || !(back == image))
        std::abort();

    dtu::DeviceParams fromJson;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (dtu::paramsFromJson(text, fromJson, error)) {
        dtu::DeviceParams again;
        if (!dtu::paramsFromJson(dtu::paramsToJson(fromJson), again, error) ||
            !(again == fromJson))
            std::abort();
    }
    (void)dtu::paramsToLines(image);
    return 0;
}
