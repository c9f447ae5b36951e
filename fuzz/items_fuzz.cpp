// Read answers from the device: the parameter block decoder and the frame checks must take any
// bytes without reading or writing out of bounds, and the record they leave must still build a
// save frame or be refused cleanly.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/frame.h"
#include "params/item_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (dtu::isFrame(input)) (void)dtu::checkFrame(input);

    dtu::DeviceParams params;
    dtu::LiveState live;
    (void)dtu::decodeParamBlock(input, params, live);

    const dtu::SaveFrame frame = dtu::buildSaveFrame(params);
    if (frame.error == dtu::SaveFrameError::None) {
        // A frame we built must be one we recognise, and its block must decode without loss of
        // framing: every byte of it is taken by whole items.
        if (!dtu::isFrame(frame.view())) std::abort();
        dtu::DeviceParams again;
        dtu::LiveState liveAgain;
        const auto result = dtu::decodeParamBlock(frame.view().subspan(3), again, liveAgain);
        if (result.truncated) std::abort();
    }
    return 0;
}
