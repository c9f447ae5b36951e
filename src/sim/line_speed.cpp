#include "line_speed.h"

// This file talks to the kernel's extended terminal interface directly: the classic termios
// header cannot be included together with it, and the classic calls cannot express rates
// such as 14400.
#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace dtu::sim {

#if defined(__linux__)

int lineRate(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return -1;
    return static_cast<int>(t.c_ospeed);
}

bool setRawLine(int fd, int baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &t) == 0;
}

#else

namespace {
struct Rate {
    speed_t code;
    int baud;
};
constexpr Rate kRates[] = {{B1200, 1200},   {B2400, 2400},     {B4800, 4800},
                           {B9600, 9600},   {B19200, 19200},   {B38400, 38400},
                           {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
}  // namespace

int lineRate(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return -1;
    const speed_t code = cfgetospeed(&t);
    for (const auto& r : kRates)
        if (r.code == code) return r.baud;
    return static_cast<int>(code);  // platforms whose codes are the rates themselves
}

bool setRawLine(int fd, int baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    speed_t code = static_cast<speed_t>(baud);
    for (const auto& r : kRates)
        if (r.baud == baud) code = r.code;
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

#endif

}  // namespace dtu::sim
