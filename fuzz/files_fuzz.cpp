// Parameter files and their JSON form, both from outside: any bytes taken as a file image must
// survive the trip through JSON unchanged, and any text taken as JSON must either be refused or
// read back to the same record after writing it out again. The image trip is the slow half, so
// inputs that look like JSON documents skip it and the fuzzer spends its time on the parser.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "files/param_file.h"
#include "files/param_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);

    std::string error;
    if (size == 0 || data[0] != '{') {
        dtu::DeviceParams image;
        dtu::loadParamsImage(input, image);
        dtu::DeviceParams back;
        if (!dtu::paramsFromJson(dtu::paramsToJson(image), back, error) || !(back == image))
            std::abort();
        (void)dtu::paramsToLines(image);
    }

    dtu::DeviceParams fromJson;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (dtu::paramsFromJson(text, fromJson, error)) {
        dtu::DeviceParams again;
        if (!dtu::paramsFromJson(dtu::paramsToJson(fromJson), again, error) || !(again == fromJson))
            std::abort();
    }
    return 0;
}
