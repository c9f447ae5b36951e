#include "socket_drops.h"

#ifdef Q_OS_LINUX
#include <linux/sock_diag.h>
#include <sys/socket.h>
#endif

namespace dtu {

std::optional<std::uint32_t> socketDropCount(qintptr socketDescriptor) {
#if defined(Q_OS_LINUX) && defined(SO_MEMINFO)
    // The socket's memory figures, the drop count among them: one call, no parsing of
    // /proc/net/udp for the socket's inode.
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t size = sizeof info;
    if (socketDescriptor < 0 ||
        ::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_MEMINFO, info, &size) != 0 ||
        size <= socklen_t(SK_MEMINFO_DROPS * sizeof info[0]))
        return std::nullopt;
    return info[SK_MEMINFO_DROPS];
#else
    Q_UNUSED(socketDescriptor);
    return std::nullopt;
#endif
}

}  // namespace dtu
