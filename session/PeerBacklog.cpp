#include "session/PeerBacklog.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace tqx {

#ifdef Q_OS_LINUX
namespace {

// An address as /proc/net/tcp and tcp6 write it: the address's 32-bit words each in the
// machine's byte order, as hexadecimal, then the port: "0100007F:1F90".
QByteArray procAddress(const sockaddr_storage &address)
{
    QByteArray text;
    quint16 port = 0;
    const auto words = [&text](const void *bytes, int count) {
        const auto *word = static_cast<const quint32 *>(bytes);
        for (int i = 0; i < count; ++i)
            text += QByteArray::number(word[i], 16).rightJustified(8, '0').toUpper();
    };
    if (address.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
        words(&v4.sin_addr, 1);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        words(&v6.sin6_addr, 4);
        port = ntohs(v6.sin6_port);
    } else {
        return {};
    }
    return text + ':' + QByteArray::number(port, 16).rightJustified(4, '0').toUpper();
}

} // namespace

std::optional<long long> unreadByLocalPeer(int connectedFd)
{
    sockaddr_storage ours {};
    sockaddr_storage theirs {};
    socklen_t oursLength = sizeof ours;
    socklen_t theirsLength = sizeof theirs;
    if (::getsockname(connectedFd, reinterpret_cast<sockaddr *>(&ours), &oursLength) != 0
        || ::getpeername(connectedFd, reinterpret_cast<sockaddr *>(&theirs), &theirsLength) != 0)
        return std::nullopt;
    const QByteArray local = procAddress(theirs); // the client's end is local to its own socket
    const QByteArray remote = procAddress(ours);
    if (local.isEmpty())
        return std::nullopt;
    QFile table(ours.ss_family == AF_INET6 ? QStringLiteral("/proc/net/tcp6")
                                           : QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "  sl  local_address rem_address   st tx_queue:rx_queue ..."
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 5 || fields[1] != local || fields[2] != remote)
            continue;
        const QList<QByteArray> queues = fields[4].split(':');
        bool ok = false;
        const long long unread = queues.value(1).toLongLong(&ok, 16);
        return ok ? std::optional<long long>(unread) : std::nullopt;
    }
    return std::nullopt;
}
#else
std::optional<long long> unreadByLocalPeer(int) { return std::nullopt; }
#endif

} // namespace tqx
