#include "stop_signals.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#else
#include <QTimer>
#include <atomic>
#endif

namespace dtu {

namespace {
constexpr int kSignals[] = {SIGINT, SIGTERM};
}

#ifdef Q_OS_UNIX

namespace {
int g_writeEnd = -1;

void onSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const auto n = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}
}  // namespace

struct StopSignals::Impl {
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction before[2] = {};
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_impl->fds) != 0) return;
    for (const int fd : m_impl->fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    g_writeEnd = m_impl->fds[0];
    m_impl->notifier = std::make_unique<QSocketNotifier>(m_impl->fds[1], QSocketNotifier::Read);
    connect(m_impl->notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(m_impl->fds[1], &byte, 1) == 1) emit received(byte);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &sa, &m_impl->before[i]);
}

StopSignals::~StopSignals() {
    if (!m_impl->notifier) return;
    for (int i = 0; i < 2; ++i) ::sigaction(kSignals[i], &m_impl->before[i], nullptr);
    g_writeEnd = -1;
    m_impl->notifier.reset();
    for (const int fd : m_impl->fds) ::close(fd);
}

#else

// Elsewhere the C library's handler sets a flag that a timer looks at.
namespace {
std::atomic<int> g_caught{0};
void onSignal(int signo) {
    g_caught = signo;
    std::signal(signo, onSignal);
}
}  // namespace

struct StopSignals::Impl {
    QTimer poll;
    void (*before[2])(int) = {};
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
    for (int i = 0; i < 2; ++i) m_impl->before[i] = std::signal(kSignals[i], onSignal);
    connect(&m_impl->poll, &QTimer::timeout, this, [this] {
        if (const int signo = g_caught.exchange(0)) emit received(signo);
    });
    m_impl->poll.start(100);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 2; ++i) std::signal(kSignals[i], m_impl->before[i]);
}

#endif

const char* StopSignals::name(int signo) {
    return signo == SIGTERM ? "SIGTERM" : signo == SIGINT ? "SIGINT" : "a signal";
}

}  // namespace dtu
