#include "app/TerminationSignals.h"

#include "session/EmergencyExit.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tqx {

#ifdef Q_OS_UNIX
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void forwardSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    EmergencyExit::signalReceived();
    errno = savedErrno;
}

constexpr int terminationSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int signalCount = std::size(terminationSignals);

// What was in place before, put back when the program no longer handles the signals itself.
struct sigaction previousActions[signalCount]
{
};
struct sigaction previousBrokenPipe
{
};

} // namespace
#endif

TerminationSignals::TerminationSignals(QObject *parent, std::chrono::milliseconds grace)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    struct sigaction ignore
    {
    };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previousBrokenPipe);
    EmergencyExit::arm(grace);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onSignal);

    struct sigaction action
    {
    };
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < signalCount; ++i)
        ::sigaction(terminationSignals[i], &action, &previousActions[i]);
#endif
}

TerminationSignals::~TerminationSignals()
{
#ifdef Q_OS_UNIX
    EmergencyExit::disarm();
    for (int i = 0; i < signalCount; ++i)
        ::sigaction(terminationSignals[i], &previousActions[i], nullptr);
    ::sigaction(SIGPIPE, &previousBrokenPipe, nullptr);
    delete m_notifier;
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#endif
}

void TerminationSignals::onSignal()
{
#ifdef Q_OS_UNIX
    unsigned char byte = 0;
    if (::read(signalPipe[0], &byte, 1) == 1)
        emit terminationRequested(byte);
#endif
}

} // namespace tqx
