#pragma once

#include "session/ReplyQueue.h"
#include "session/Transport.h"

#include <QHostAddress>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tqx {

// A network listener for Wi-Fi adapters, serial-to-network bridges and the client software that
// talks to them: the same bytes as on the serial line, over TCP. Like the serial line it serves
// one client at a time: a second connection is accepted and closed at once, and the listener
// keeps listening when the client leaves. Nothing queued for a client that left reaches the next.
//
// A client that has finished sending (it shut down its side, as `nc -q` and `socat` do) still
// gets the replies to what it sent, and gives way to the next client as soon as they are out. A
// client that has neither sent nor read anything for the takeover time gives way to a new one,
// so that one forgotten connection does not keep every later client out. What is held for a
// client that does not read its replies is bounded (see ReplyQueue).
class TcpTransport : public Transport
{
    Q_OBJECT

public:
    static constexpr std::int64_t defaultTakeoverAfterMs = 10'000;
    static constexpr std::int64_t maxTakeoverAfterMs = 86'400'000; // a day

    // Port 0 picks a free port when it opens.
    TcpTransport(const QHostAddress &address, quint16 port, QObject *parent = nullptr);
    ~TcpTransport() override;

    // How long the client must have been silent for a new one to take over; 0 never.
    void setTakeoverAfter(std::int64_t ms) { m_takeoverAfterMs = ms; }
    // Milliseconds of a monotonic clock, for the takeover; tests drive it.
    void setClock(std::function<std::int64_t()> steadyMs);
    // Listens on `fd`, a socket already bound and listening (one the service manager passed),
    // instead of binding the address and port: open() listens on a duplicate of it, so that
    // closing and opening again keep listening where the service manager said. The caller keeps
    // `fd` open.
    void setListeningSocket(int fd) { m_passedListener = fd; }

    bool open(QString *errorText) override;
    bool close(QString *errorText) override;
    bool isOpen() const override { return m_listener >= 0; }
    QByteArray readAll() override;
    bool write(const QByteArray &bytes, QString *errorText) override;
    bool canDeliver() const override;
    // Resets the client's connection: the client's next read or write fails with a reset.
    bool dropClient() override;
    std::optional<long long> clientUnreadBytes() const override;
    // "TCP 127.0.0.1:4030", with the port actually listened on.
    QString description() const override;

    quint16 listeningPort() const;
    QHostAddress listeningAddress() const { return isOpen() ? m_boundAddress : m_address; }
    bool hasClient() const { return m_client != nullptr; }
    // Replies waiting for the client to read them, and whether its commands are held back
    // meanwhile.
    qsizetype pendingReplyBytes() const;
    bool isReadingPaused() const;

private:
    struct Client;

    void onConnectionWaiting();
    void onClientReadable();
    void onClientWritable();
    void adoptClient(int fd, const QString &peer);
    // Reads one chunk; true when bytes arrived.
    bool readFromClient();
    void sendPending();
    void updateNotifiers();
    void endClientIfFinished();
    // Makes room for a new client if the current one has finished or has been silent too long;
    // what it sent before the new one came is answered first.
    void settleClientFor(const QString &newcomer);
    void endClient();
    void endClientLater();

    bool listenOnPassedSocket(QString *errorText);
    void watchListener(int fd);

    QHostAddress m_address;
    quint16 m_port;
    int m_passedListener = -1;
    int m_listener = -1;
    QHostAddress m_boundAddress;
    quint16 m_boundPort = 0;
    QSocketNotifier *m_connections = nullptr;
    std::unique_ptr<Client> m_client;
    std::uint64_t m_clientsSeen = 0;
    std::int64_t m_takeoverAfterMs = defaultTakeoverAfterMs;
    std::function<std::int64_t()> m_steadyMs;
};

} // namespace tqx
