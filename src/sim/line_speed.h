#pragma once

namespace dtu::sim {

// The output line rate set on a terminal (either side of a pseudo-terminal pair reports the
// slave's settings), in bits per second, including rates outside the classic table; -1 when it
// cannot be read.
int lineRate(int fd);

// Raw 8N1 at any rate the driver accepts (no echo, no line editing, no translation).
bool setRawLine(int fd, int baud);

}  // namespace dtu::sim
