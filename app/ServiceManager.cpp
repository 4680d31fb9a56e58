#include "app/ServiceManager.h"

#include "app/Logging.h"

#include <systemd/sd-daemon.h>

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>

namespace tqx {

int ServiceManager::takeListeningSocket(QString *errorText)
{
    const int count = ::sd_listen_fds(1);
    if (count < 0) {
        if (errorText)
            *errorText = QStringLiteral("the sockets the service manager passed cannot be "
                                        "taken: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(-count)));
        return -1;
    }
    for (int fd = SD_LISTEN_FDS_START; fd < SD_LISTEN_FDS_START + count; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (count == 0)
        return -1;
    if (count > 1) {
        if (errorText)
            *errorText = QStringLiteral("the service manager passed %1 sockets; the network "
                                        "listener takes one (a single ListenStream=)")
                                 .arg(count);
        return -1;
    }
    const int fd = SD_LISTEN_FDS_START;
    if (::sd_is_socket_inet(fd, AF_UNSPEC, SOCK_STREAM, 1, 0) <= 0) {
        if (errorText)
            *errorText = QStringLiteral("the socket the service manager passed is not a "
                                        "listening TCP socket");
        return -1;
    }
    qCDebug(lcApp) << "took the listening socket the service manager passed";
    return fd;
}

// A datagram to the manager's socket, once at start and once at the end: never on the way of an
// answer.
void ServiceManager::notifyReady(const QString &status)
{
    const QByteArray message = QByteArrayLiteral("READY=1\nSTATUS=") + status.toUtf8();
    ::sd_notify(0, message.constData());
}

void ServiceManager::notifyStopping() { ::sd_notify(0, "STOPPING=1"); }

} // namespace tqx
