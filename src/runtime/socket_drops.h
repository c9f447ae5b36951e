#pragma once

#include <QtGlobal>
#include <cstdint>
#include <optional>

namespace dtu {

// How many datagrams the system has dropped for this socket since it was opened, because its
// receive buffer was full (the count the kernel keeps per socket); nullopt where the system
// does not tell. The count wraps at 2^32: compare two readings by their difference.
std::optional<std::uint32_t> socketDropCount(qintptr socketDescriptor);

}  // namespace dtu
