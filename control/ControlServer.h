#pragma once

#include "control/ControlAddress.h"
#include "control/ControlHandler.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class QIODevice;
class QLocalServer;
class QTcpServer;

namespace tqx {

class ControlEvents;
class EmulatorSession;

// The control channel's listener: JSON lines on a Unix domain socket or a loopback TCP port, any
// number of clients at once, each line a request answered by one line (see ControlHandler), and
// events to those who subscribed (see ControlEvents).
//
// It runs on the thread that answers the serial line and never waits there: every write is
// queued, and each client's queue is bounded. A client that reads too slowly loses events, which
// are counted and told in one {"event": "lost", "count": N} line once its queue has drained; one
// that sends requests without reading the responses is not read from until it does. A line
// longer than maxLineBytes is refused and the rest of it discarded.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype maxLineBytes = 64 * 1024;
    // What a client's queue may hold before events are dropped and requests wait.
    static constexpr qsizetype maxPendingBytes = 1024 * 1024;
    // Clients beyond this are told so and closed, so that memory stays bounded however many
    // connect.
    static constexpr qsizetype maxClients = 64;

    explicit ControlServer(EmulatorSession &session, QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens at `address`. A socket file that a copy which has ended left behind is taken over;
    // one a running copy listens on is an error that names the path.
    bool listen(const ControlAddress &address, QString *errorText);
    void close();
    bool isListening() const;
    // Where clients connect, as ControlAddress reads it ("tcp:127.0.0.1:PORT" with the port
    // chosen), or empty while not listening.
    QString address() const;

    qsizetype clientCount() const { return qsizetype(m_clients.size()); }
    ControlHandler &handler() { return *m_handler; }

private:
    struct Client;

    bool listenLocal(const QString &path, QString *errorText);
    void adopt(QIODevice *socket);
    void readFrom(Client &client);
    void answer(Client &client, QByteArrayView line);
    void send(Client &client, const QByteArray &line);
    void onEvent(const QString &kind, const QByteArray &line);
    void onWritten(Client &client);
    void flushEvents();
    void drop(QIODevice *socket);
    void updateActive();
    Client *clientOf(QIODevice *socket);

    EmulatorSession &m_session;
    ControlHandler *m_handler; // children
    ControlEvents *m_events;
    QLocalServer *m_localServer = nullptr;
    QTcpServer *m_tcpServer = nullptr;
    ControlAddress m_address;
    std::vector<std::unique_ptr<Client>> m_clients;
    QTimer m_flushTimer;
};

} // namespace tqx
