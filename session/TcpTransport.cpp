#include "session/TcpTransport.h"

#include "session/PeerBacklog.h"

#include "emulation/Clocks.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tqx {

namespace {

// How many connections may wait to be accepted (or refused).
constexpr int connectionBacklog = 16;
// How much of a busy client's input is read to settle whether it has finished, before a newcomer
// is refused: its commands so far, not a flood.
constexpr int settleChunks = 16;
// After the system refused to accept (no descriptors left), how long to wait before trying again
// instead of being woken for the same connection at once.
constexpr int acceptRetryMs = 100;

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString hostText(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(address.toString())
            : address.toString();
}

QString peerText(const sockaddr_storage &peer)
{
    QHostAddress address(reinterpret_cast<const sockaddr *>(&peer));
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(ipv4); // a client of a dual-stack listener, as it knows itself
    quint16 port = 0;
    if (peer.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
    else if (peer.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
    return QStringLiteral("%1:%2").arg(hostText(address)).arg(port);
}

// The socket address to listen on; "any" listens on IPv6 and IPv4 alike where IPv6 exists.
socklen_t listenAddress(const QHostAddress &address, quint16 port, bool ipv6Available,
                        sockaddr_storage *out)
{
    *out = {};
    const bool any = address == QHostAddress(QHostAddress::Any);
    if (address.protocol() == QAbstractSocket::IPv6Protocol || (any && ipv6Available)) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(*out);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        if (!any) {
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&in6.sin6_addr, &bytes, sizeof in6.sin6_addr);
        }
        return sizeof in6;
    }
    auto &in4 = reinterpret_cast<sockaddr_in &>(*out);
    in4.sin_family = AF_INET;
    in4.sin_port = htons(port);
    in4.sin_addr.s_addr = any ? htonl(INADDR_ANY) : htonl(address.toIPv4Address());
    return sizeof in4;
}

} // namespace

struct TcpTransport::Client
{
    int fd = -1;
    std::uint64_t number = 0; // tells this client from a later one at the same address
    QString peer;
    QSocketNotifier *reader = nullptr;
    QSocketNotifier *writer = nullptr;
    QByteArray received; // read, not yet taken
    ReplyQueue replies;
    bool finishedSending = false; // the client shut down its side: it sends nothing more
    bool gone = false; // sending to it failed: nothing more reaches it
    std::int64_t lastActivityMs = 0; // when it last sent a byte or took one

    ~Client()
    {
        // A client may end in the middle of one of its notifiers' signals.
        for (QSocketNotifier *notifier : {reader, writer}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
};

TcpTransport::TcpTransport(const QHostAddress &address, quint16 port, QObject *parent)
    : Transport(parent)
    , m_address(address)
    , m_port(port)
    , m_steadyMs(Clocks::steadyMilliseconds)
{
}

TcpTransport::~TcpTransport() { close(nullptr); }

void TcpTransport::setClock(std::function<std::int64_t()> steadyMs)
{
    m_steadyMs = steadyMs ? std::move(steadyMs)
                          : std::function<std::int64_t()>(Clocks::steadyMilliseconds);
}

bool TcpTransport::open(QString *errorText)
{
    close(nullptr);
    if (m_passedListener >= 0)
        return listenOnPassedSocket(errorText);
    const bool any = m_address == QHostAddress(QHostAddress::Any);
    int family = m_address.protocol() == QAbstractSocket::IPv6Protocol || any ? AF_INET6 : AF_INET;
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && any) {
        family = AF_INET;
        fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) {
        if (errorText)
            *errorText = systemError(errno);
        return false;
    }
    // A listener restarted at once gets its port back although the last client's connection
    // is still winding down.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage address {};
    const socklen_t length = listenAddress(m_address, m_port, family == AF_INET6, &address);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0
        || ::listen(fd, connectionBacklog) != 0) {
        const int error = errno;
        ::close(fd);
        if (errorText)
            *errorText = systemError(error);
        return false;
    }
    watchListener(fd);
    if (any)
        m_boundAddress = m_address;
    return true;
}

bool TcpTransport::listenOnPassedSocket(QString *errorText)
{
    int type = 0;
    socklen_t typeLength = sizeof type;
    int listening = 0;
    socklen_t listeningLength = sizeof listening;
    if (::getsockopt(m_passedListener, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0
        || ::getsockopt(m_passedListener, SOL_SOCKET, SO_ACCEPTCONN, &listening, &listeningLength)
                != 0
        || type != SOCK_STREAM || !listening) {
        if (errorText)
            *errorText = QStringLiteral("the socket passed by the service manager is not a "
                                        "listening stream socket");
        return false;
    }
    const int fd = ::fcntl(m_passedListener, F_DUPFD_CLOEXEC, 0);
    if (fd < 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (errorText)
            *errorText = systemError(error);
        return false;
    }
    watchListener(fd);
    return true;
}

// Takes `fd`, listening, as the listener, and reads back where it listens.
void TcpTransport::watchListener(int fd)
{
    sockaddr_storage bound {};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &boundLength);
    QHostAddress address(reinterpret_cast<const sockaddr *>(&bound));
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        address = QHostAddress(ipv4);
    m_boundAddress = address;
    m_boundPort = bound.ss_family == AF_INET6
            ? ntohs(reinterpret_cast<const sockaddr_in6 &>(bound).sin6_port)
            : ntohs(reinterpret_cast<const sockaddr_in &>(bound).sin_port);
    m_listener = fd;
    m_connections = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_connections, &QSocketNotifier::activated, this, &TcpTransport::onConnectionWaiting);
}

bool TcpTransport::close(QString *)
{
    m_client.reset();
    delete m_connections;
    m_connections = nullptr;
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
    return true;
}

QByteArray TcpTransport::readAll()
{
    return m_client ? std::exchange(m_client->received, {}) : QByteArray();
}

bool TcpTransport::write(const QByteArray &bytes, QString *)
{
    // A reply for a client that has gone is not sent; canDeliver() told the caller so.
    if (!canDeliver())
        return true;
    m_client->replies.append(bytes);
    sendPending();
    updateNotifiers();
    return true;
}

std::optional<long long> TcpTransport::clientUnreadBytes() const
{
    return m_client && !m_client->gone ? unreadByLocalPeer(m_client->fd) : std::nullopt;
}

bool TcpTransport::canDeliver() const { return m_client && !m_client->gone; }

QString TcpTransport::description() const
{
    return QStringLiteral("TCP %1:%2")
            .arg(hostText(isOpen() ? m_boundAddress : m_address))
            .arg(listeningPort());
}

quint16 TcpTransport::listeningPort() const { return isOpen() ? m_boundPort : m_port; }

qsizetype TcpTransport::pendingReplyBytes() const
{
    return m_client ? m_client->replies.size() : 0;
}

bool TcpTransport::isReadingPaused() const { return m_client && m_client->replies.readingPaused(); }

void TcpTransport::onConnectionWaiting()
{
    while (m_listener >= 0) {
        sockaddr_storage peer {};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_listener, reinterpret_cast<sockaddr *>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK && m_connections) {
                // Out of descriptors or memory: the connection waits, and so do we, a little.
                m_connections->setEnabled(false);
                QTimer::singleShot(acceptRetryMs, m_connections,
                                   [notifier = m_connections] { notifier->setEnabled(true); });
            }
            return;
        }
        const QString newcomer = peerText(peer);
        if (m_client)
            settleClientFor(newcomer);
        if (!isOpen()) {
            // Closed while the current client's last commands were answered.
            ::close(fd);
            return;
        }
        if (m_client) {
            // The line is taken: like a second cable on one serial port, this one gets nothing.
            ::close(fd);
            emit clientRefused(newcomer);
            continue;
        }
        adoptClient(fd, newcomer);
    }
}

void TcpTransport::adoptClient(int fd, const QString &peer)
{
    m_client = std::make_unique<Client>();
    Client &client = *m_client;
    client.fd = fd;
    client.number = ++m_clientsSeen;
    client.peer = peer;
    client.lastActivityMs = m_steadyMs();
    // Replies are a few bytes each and a client waits for every one: send them at once.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client.reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(client.reader, &QSocketNotifier::activated, this, &TcpTransport::onClientReadable);
    client.writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    client.writer->setEnabled(false);
    connect(client.writer, &QSocketNotifier::activated, this, &TcpTransport::onClientWritable);
    emit clientConnected(peer);
}

void TcpTransport::onClientReadable()
{
    if (!m_client)
        return;
    readFromClient();
    endClientIfFinished();
}

void TcpTransport::onClientWritable()
{
    if (!m_client)
        return;
    sendPending();
    updateNotifiers();
    endClientIfFinished();
}

bool TcpTransport::readFromClient()
{
    Client &client = *m_client;
    if (client.finishedSending || client.gone || client.replies.readingPaused())
        return false;
    char chunk[ReplyQueue::readChunk];
    ssize_t n;
    do {
        n = ::recv(client.fd, chunk, sizeof chunk, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return false;
    if (n <= 0) {
        // The client shut down its side (or reset the connection): it sends nothing more, and
        // is answered what it sent.
        client.finishedSending = true;
        if (n < 0)
            client.gone = true;
        updateNotifiers();
        return false;
    }
    client.received.append(chunk, n);
    client.lastActivityMs = m_steadyMs();
    const std::uint64_t number = client.number;
    emit readyRead(); // answered here, in order
    if (m_client && m_client->number == number)
        updateNotifiers();
    return true;
}

void TcpTransport::sendPending()
{
    Client &client = *m_client;
    if (client.gone)
        return;
    const qsizetype before = client.replies.size();
    const ReplyQueue::Flushed flushed
            = client.replies.flush([&client](const char *data, std::size_t size) {
                  return ::send(client.fd, data, size, MSG_NOSIGNAL);
              });
    if (client.replies.size() < before)
        client.lastActivityMs = m_steadyMs();
    if (flushed == ReplyQueue::Flushed::Failed) {
        // The client has gone for good; it leaves once the session is done with this reply.
        client.gone = true;
        client.finishedSending = true;
        endClientLater();
    }
}

void TcpTransport::updateNotifiers()
{
    Client &client = *m_client;
    client.writer->setEnabled(!client.gone && !client.replies.isEmpty());
    client.reader->setEnabled(!client.gone && !client.finishedSending
                              && !client.replies.readingPaused());
}

void TcpTransport::endClientIfFinished()
{
    if (m_client && m_client->finishedSending && (m_client->gone || m_client->replies.isEmpty()))
        endClient();
}

void TcpTransport::settleClientFor(const QString &newcomer)
{
    const std::uint64_t number = m_client->number;
    for (int i = 0; i < settleChunks && m_client && m_client->number == number; ++i) {
        if (!readFromClient())
            break;
    }
    if (!m_client || m_client->number != number)
        return;
    if (m_client->finishedSending) {
        sendPending();
        endClient();
        return;
    }
    const std::int64_t silentMs = m_steadyMs() - m_client->lastActivityMs;
    if (m_takeoverAfterMs > 0 && silentMs >= m_takeoverAfterMs) {
        emit clientNotice(QStringLiteral("the client from %1 had been silent for %2 s and gives "
                                         "way to a new client from %3")
                                  .arg(m_client->peer)
                                  .arg(double(silentMs) / 1000.0, 0, 'f', 1)
                                  .arg(newcomer));
        endClient();
    }
}

void TcpTransport::endClient()
{
    if (!m_client)
        return;
    std::unique_ptr<Client> client = std::move(m_client);
    const qsizetype unread = client->replies.clear();
    const QString peer = client->peer;
    client.reset();
    if (unread > 0)
        emit clientNotice(QStringLiteral("%1 bytes of replies to the client from %2 were not sent: "
                                         "it did not read them")
                                  .arg(unread)
                                  .arg(peer));
    emit clientLeft();
}

bool TcpTransport::dropClient()
{
    if (!m_client)
        return false;
    // Lingering for no time makes the close a reset rather than an orderly end.
    const linger reset {1, 0};
    ::setsockopt(m_client->fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    endClient();
    return true;
}

void TcpTransport::endClientLater()
{
    const std::uint64_t number = m_client->number;
    QTimer::singleShot(0, this, [this, number] {
        if (m_client && m_client->number == number)
            endClient();
    });
}

} // namespace tqx
