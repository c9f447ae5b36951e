// Bytes from the line as they come, in pieces of any size, with the quiet timer firing at any
// moment: the receive path and the answer handling must take all of it, keep their buffers
// bounded, and leave the flows in a state that still works.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/burst.h"
#include "link/command_flow.h"
#include "quiet_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuietLink world;
    dtu::DeviceParams params;
    dtu::LiveState live;
    dtu::CommandFlow flow(world, params, live);
    flow.setPortOpen(true, 9600);
    flow.read();

    dtu::BurstGatherer gatherer;
    auto handle = [&](const dtu::BurstGatherer::Step& step) {
        for (const auto& burst : step.bursts) {
            if (burst.bytes.size() > dtu::kBurstCapacity) std::abort();
            flow.onBurst(burst.bytes);
        }
    };
    // Each piece: one control byte (length, and whether the quiet timer fires after it), then
    // that many bytes of line data.
    std::span<const std::uint8_t> input(data, size);
    while (!input.empty()) {
        const std::uint8_t control = input[0];
        input = input.subspan(1);
        const std::size_t n = std::min<std::size_t>(control & 0x7F, input.size());
        handle(gatherer.onBytes(input.first(n)));
        input = input.subspan(n);
        if (control & 0x80) handle(gatherer.onTimer());
        if (gatherer.pending() > dtu::kBurstCapacity) std::abort();
    }
    handle(gatherer.onTimer());

    // Whatever arrived, the session can still save a record it has read.
    flow.setParamsRead();
    flow.save();
    return 0;
}
