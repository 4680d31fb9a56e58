#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

// A client on a plain socket to 127.0.0.1, which can do what Qt's socket cannot: shut down only
// its sending side, send without reading, reset the connection. Every wait has a deadline, and
// while it waits it calls `whileWaiting` (a test whose listener runs in its own thread lets the
// event loop run there).
class RawTcpClient
{
public:
    explicit RawTcpClient(std::function<void()> whileWaiting = {});
    ~RawTcpClient();
    RawTcpClient(const RawTcpClient &) = delete;
    RawTcpClient &operator=(const RawTcpClient &) = delete;

    bool connectTo(quint16 port);
    bool send(const QByteArray &bytes);
    // Sends up to `total` bytes of `e` without reading, until the line has taken nothing for
    // `stallMs`; returns how many it took.
    qint64 sendWithoutReading(qint64 total, int stallMs);
    // One non-blocking send of `bytes`: how many the line took (0 when it took none).
    qint64 trySend(const QByteArray &bytes);
    void shutdownSending();
    // What arrives until `count` bytes, the end of the connection or the deadline.
    QByteArray receive(qsizetype count, int timeoutMs = 10000);
    // Whether the last receive() stopped at the end of the connection.
    bool ended() const { return m_ended; }
    // Closes with a reset instead of an orderly end.
    void reset();
    void close();

private:
    // Waits up to `timeoutMs` for `events` on the socket; true when they came.
    bool waitFor(short events, int timeoutMs);

    std::function<void()> m_whileWaiting;
    int m_fd = -1;
    bool m_ended = false;
};

// A blocking TCP connection to the port on 127.0.0.1, as a file descriptor the caller closes;
// -1 if nobody listens there.
int connectToLoopback(quint16 port);
