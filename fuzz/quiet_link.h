#pragma once

// Link effects that do nothing but count the bytes written: for driving the answer handling
// without a port.
#include <cstddef>

#include "link/command_flow.h"

struct QuietLink : dtu::LinkEffects {
    std::size_t written = 0;
    void writeBytes(std::span<const std::uint8_t> b, bool) override { written += b.size(); }
    void startTimer(dtu::LinkTimer, int) override {}
    void stopTimer(dtu::LinkTimer) override {}
    void appendLog(const std::string&) override {}
    void messageBox(const std::string&) override {}
    void configureLine(int) override {}
    void setCommandsEnabled(bool) override {}
    void setPortButtonEnabled(bool) override {}
    void paramsDecoded(const dtu::DecodeResult&) override {}
    void commandFinished(dtu::PendingCommand, bool) override {}
    void probeFound(int) override {}
};
