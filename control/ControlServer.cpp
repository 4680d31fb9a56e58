#include "control/ControlServer.h"

#include "control/ControlEvents.h"
#include "control/Logging.h"
#include "session/EmulatorSession.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/stat.h>

namespace tqx {

struct ControlServer::Client
{
    QIODevice *socket = nullptr; // a child of the server
    // Bytes read and not yet answered: at most a line over the bound and one read.
    QByteArray buffer;
    // The line being read was too long and has been refused: the rest of it is skipped.
    bool discarding = false;
    ControlSubscription subscription;
    quint64 lost = 0; // events dropped since the client last drained its queue
    // Events not yet handed to the socket: written a few at a time, so that a busy line costs a
    // write a batch rather than one an exchange.
    QByteArray events;

    qsizetype pending() const { return socket->bytesToWrite() + events.size(); }
};

namespace {

// How long a running copy has to accept the connection that shows it is there.
constexpr int liveProbeMs = 1000;
// How long events wait to go out together.
constexpr int eventBatchMs = 2;

bool isSocketFile(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool pathExists(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

} // namespace

ControlServer::ControlServer(EmulatorSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_handler(new ControlHandler(session, this))
    , m_events(new ControlEvents(session, this))
{
    connect(m_handler, &ControlHandler::subscriptionChanged, this, &ControlServer::updateActive);
    connect(m_events, &ControlEvents::eventReady, this, &ControlServer::onEvent);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(eventBatchMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ControlServer::flushEvents);
}

ControlServer::~ControlServer() { close(); }

bool ControlServer::listen(const ControlAddress &address, QString *errorText)
{
    close();
    m_address = address;
    switch (address.kind) {
    case ControlAddress::Kind::Off:
        return true;
    case ControlAddress::Kind::Local:
        return listenLocal(address.path, errorText);
    case ControlAddress::Kind::Tcp:
        break;
    }
    m_tcpServer = new QTcpServer(this);
    if (!m_tcpServer->listen(address.host, address.port)) {
        if (errorText)
            *errorText = QStringLiteral("cannot listen for control on %1: %2")
                                 .arg(address.toString(), m_tcpServer->errorString());
        delete m_tcpServer;
        m_tcpServer = nullptr;
        return false;
    }
    m_address.port = m_tcpServer->serverPort();
    connect(m_tcpServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_tcpServer->nextPendingConnection())
            adopt(socket);
    });
    qCDebug(lcControl).noquote() << "control channel on" << address.toString();
    return true;
}

bool ControlServer::listenLocal(const QString &path, QString *errorText)
{
    const auto refuse = [&](const QString &why) {
        if (errorText)
            *errorText = why;
        delete m_localServer;
        m_localServer = nullptr;
        return false;
    };
    // QLocalServer would replace whatever is at the path, even a running copy's socket: look
    // first.
    if (pathExists(path)) {
        if (!isSocketFile(path))
            return refuse(QStringLiteral("cannot listen on the control socket %1: the path "
                                         "exists and is not a socket, so it is left alone")
                                  .arg(path));
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(liveProbeMs)) {
            probe.abort();
            return refuse(QStringLiteral("another running copy listens on the control socket "
                                         "%1; give this one --instance NAME or --control PATH")
                                  .arg(path));
        }
        // Nobody answers: a copy that was killed left it behind.
        qCDebug(lcControl).noquote() << "taking over the stale control socket" << path;
        QLocalServer::removeServer(path);
    }
    m_localServer = new QLocalServer(this);
    m_localServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_localServer->listen(path))
        return refuse(QStringLiteral("cannot listen on the control socket %1: %2")
                              .arg(path, m_localServer->errorString()));
    connect(m_localServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_localServer->nextPendingConnection())
            adopt(socket);
    });
    qCDebug(lcControl).noquote() << "control channel on" << path;
    return true;
}

void ControlServer::close()
{
    for (const std::unique_ptr<Client> &client : m_clients) {
        client->socket->disconnect(this);
        client->socket->deleteLater();
    }
    m_clients.clear();
    updateActive();
    if (m_localServer) {
        m_localServer->close(); // removes the socket file
        delete m_localServer;
        m_localServer = nullptr;
    }
    if (m_tcpServer) {
        m_tcpServer->close();
        delete m_tcpServer;
        m_tcpServer = nullptr;
    }
}

bool ControlServer::isListening() const
{
    return (m_localServer && m_localServer->isListening())
            || (m_tcpServer && m_tcpServer->isListening());
}

QString ControlServer::address() const { return isListening() ? m_address.toString() : QString(); }

void ControlServer::adopt(QIODevice *socket)
{
    if (qsizetype(m_clients.size()) >= maxClients) {
        socket->write(
                ControlHandler::toLine(ControlHandler::error(
                        QStringLiteral("too many control clients: %1 at most").arg(maxClients)))
                + '\n');
        if (auto *local = qobject_cast<QLocalSocket *>(socket))
            local->disconnectFromServer();
        else if (auto *tcp = qobject_cast<QTcpSocket *>(socket))
            tcp->disconnectFromHost();
        connect(socket, &QIODevice::aboutToClose, socket, &QObject::deleteLater);
        socket->setParent(this);
        return;
    }
    auto client = std::make_unique<Client>();
    client->socket = socket;
    socket->setParent(this);
    // Qt reads no further ahead than this, so that a client that sends faster than it reads the
    // answers waits in its own socket instead of in our memory.
    if (auto *local = qobject_cast<QLocalSocket *>(socket)) {
        local->setReadBufferSize(maxLineBytes);
        connect(local, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
    } else if (auto *tcp = qobject_cast<QTcpSocket *>(socket)) {
        tcp->setReadBufferSize(maxLineBytes);
        // A response is one small write: Nagle's algorithm would hold it for the peer's ACK.
        tcp->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(tcp, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (Client *client = clientOf(socket))
            readFrom(*client);
    });
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
        if (Client *client = clientOf(socket))
            onWritten(*client);
    });
    m_clients.push_back(std::move(client));
    qCDebug(lcControl) << "control client connected;" << m_clients.size() << "now";
    readFrom(*m_clients.back());
}

ControlServer::Client *ControlServer::clientOf(QIODevice *socket)
{
    for (const std::unique_ptr<Client> &client : m_clients) {
        if (client->socket == socket)
            return client.get();
    }
    return nullptr;
}

void ControlServer::drop(QIODevice *socket)
{
    const auto found
            = std::find_if(m_clients.begin(), m_clients.end(),
                           [socket](const auto &client) { return client->socket == socket; });
    if (found == m_clients.end())
        return;
    const bool subscribed = (*found)->subscription.active;
    m_clients.erase(found);
    socket->disconnect(this);
    socket->deleteLater();
    qCDebug(lcControl) << "control client left;" << m_clients.size() << "now";
    if (subscribed)
        updateActive();
}

void ControlServer::readFrom(Client &client)
{
    QIODevice *socket = client.socket;
    for (;;) {
        // Requests wait while the answers to earlier ones have not been read.
        while (client.pending() <= maxPendingBytes) {
            const qsizetype end = client.buffer.indexOf('\n');
            if (end < 0)
                break;
            QByteArray line = client.buffer.left(end);
            client.buffer.remove(0, end + 1);
            if (client.discarding) {
                client.discarding = false;
                continue;
            }
            if (line.size() > maxLineBytes) {
                send(client,
                     ControlHandler::toLine(ControlHandler::error(
                             QStringLiteral("the line is longer than %1 bytes: refused")
                                     .arg(maxLineBytes))));
                continue;
            }
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.trimmed().isEmpty())
                answer(client, line);
            if (!clientOf(socket))
                return;
        }
        if (client.pending() > maxPendingBytes)
            return; // onWritten reads on
        if (client.buffer.size() > maxLineBytes) {
            if (!client.discarding)
                send(client,
                     ControlHandler::toLine(ControlHandler::error(
                             QStringLiteral("the line is longer than %1 bytes: refused, "
                                            "and the rest of it discarded")
                                     .arg(maxLineBytes))));
            client.discarding = true;
            client.buffer.clear();
        }
        if (socket->bytesAvailable() <= 0)
            return;
        client.buffer += socket->read(maxLineBytes);
    }
}

void ControlServer::answer(Client &client, QByteArrayView line)
{
    send(client, m_handler->handleLine(line, client.subscription));
}

// Events queued before a response go out before it.
void ControlServer::send(Client &client, const QByteArray &line)
{
    if (!client.events.isEmpty()) {
        client.socket->write(client.events);
        client.events.clear();
    }
    client.socket->write(line + '\n');
}

void ControlServer::flushEvents()
{
    for (const std::unique_ptr<Client> &client : m_clients) {
        if (client->events.isEmpty())
            continue;
        client->socket->write(client->events);
        client->events.clear();
    }
}

void ControlServer::onEvent(const QString &kind, const QByteArray &line)
{
    for (const std::unique_ptr<Client> &client : m_clients) {
        if (!client->subscription.wants(kind))
            continue;
        if (client->lost > 0 || client->pending() + line.size() + 1 > maxPendingBytes) {
            ++client->lost;
            continue;
        }
        client->events += line;
        client->events += '\n';
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
    }
}

void ControlServer::onWritten(Client &client)
{
    if (client.pending() > maxPendingBytes / 2)
        return;
    if (client.lost > 0) {
        send(client, ControlHandler::toLine(ControlEvents::lostEvent(client.lost)));
        client.lost = 0;
    }
    if (client.socket->bytesAvailable() > 0 || client.buffer.contains('\n'))
        readFrom(client);
}

void ControlServer::updateActive()
{
    bool any = false;
    for (const std::unique_ptr<Client> &client : m_clients)
        any = any || client->subscription.active;
    m_events->setActive(any);
}

} // namespace tqx
