#include "support/RawTcpClient.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawTcpClient::RawTcpClient(std::function<void()> whileWaiting)
    : m_whileWaiting(std::move(whileWaiting))
{
}

RawTcpClient::~RawTcpClient() { close(); }

bool RawTcpClient::connectTo(quint16 port)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The system completes the connection without the listener's help.
    return m_fd >= 0
            && ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

bool RawTcpClient::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(10000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const qint64 n = trySend(bytes.mid(done));
        if (n < 0)
            return false;
        done += n;
        if (done < bytes.size())
            waitFor(POLLOUT, 20);
    }
    return done == bytes.size();
}

qint64 RawTcpClient::trySend(const QByteArray &bytes)
{
    const ssize_t n
            = ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    return n;
}

qint64 RawTcpClient::sendWithoutReading(qint64 total, int stallMs)
{
    const QByteArray chunk(64 * 1024, 'e');
    qint64 sent = 0;
    while (sent < total) {
        if (!waitFor(POLLOUT, stallMs))
            break;
        const qint64 n = trySend(chunk.left(std::min<qint64>(chunk.size(), total - sent)));
        if (n < 0)
            break;
        sent += n;
    }
    return sent;
}

void RawTcpClient::shutdownSending() { ::shutdown(m_fd, SHUT_WR); }

QByteArray RawTcpClient::receive(qsizetype count, int timeoutMs)
{
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    m_ended = false;
    while (received.size() < count && !deadline.hasExpired()) {
        if (!waitFor(POLLIN, int(std::max<qint64>(1, deadline.remainingTime()))))
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(
                m_fd, buffer, size_t(std::min<qsizetype>(sizeof buffer, count - received.size())),
                MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0) {
            m_ended = true;
            break;
        }
        received.append(buffer, n);
    }
    return received;
}

void RawTcpClient::reset()
{
    const linger abortive {1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close();
}

void RawTcpClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool RawTcpClient::waitFor(short events, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (m_whileWaiting)
            m_whileWaiting();
        pollfd ready {m_fd, events, 0};
        const int slice = m_whileWaiting ? 5 : int(std::max<qint64>(0, deadline.remainingTime()));
        if (::poll(&ready, 1, slice) > 0)
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

int connectToLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
