#include "session/TcpTransport.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace tqx {

namespace {
QString peerText(const QTcpSocket &socket)
{
    const QHostAddress address = socket.peerAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(address.toString())
            : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(socket.peerPort());
}
} // namespace

TcpTransport::TcpTransport(const QHostAddress &address, quint16 port, QObject *parent)
    : Transport(parent)
    , m_address(address)
    , m_port(port)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpTransport::onNewConnection);
}

TcpTransport::~TcpTransport() { close(nullptr); }

bool TcpTransport::open(QString *errorText)
{
    if (m_server->listen(m_address, m_port))
        return true;
    if (errorText)
        *errorText = m_server->errorString();
    return false;
}

bool TcpTransport::close(QString *)
{
    if (m_client) {
        m_client->disconnect(this);
        m_client->abort();
        m_client->deleteLater();
        m_client.clear();
    }
    m_server->close();
    return true;
}

bool TcpTransport::isOpen() const { return m_server->isListening(); }

QByteArray TcpTransport::readAll() { return m_client ? m_client->readAll() : QByteArray(); }

bool TcpTransport::write(const QByteArray &bytes, QString *)
{
    // The socket keeps what the network cannot take yet and sends it in order; a client that
    // left takes its unsent replies with it.
    if (m_client)
        m_client->write(bytes);
    return true;
}

QString TcpTransport::description() const
{
    const QHostAddress address = m_server->isListening() ? m_server->serverAddress() : m_address;
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(address.toString())
            : address.toString();
    return QStringLiteral("TCP %1:%2").arg(host).arg(listeningPort());
}

quint16 TcpTransport::listeningPort() const
{
    return m_server->isListening() ? m_server->serverPort() : m_port;
}

void TcpTransport::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client) {
            // The line is taken: like a second cable on one serial port, this one gets nothing.
            const QString client = peerText(*socket);
            socket->abort();
            socket->deleteLater();
            emit clientRefused(client);
            continue;
        }
        m_client = socket;
        // Replies are a few bytes each and a client waits for every one: send them at once.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &Transport::readyRead);
        connect(socket, &QTcpSocket::disconnected, this, &TcpTransport::onClientDisconnected);
        emit clientConnected(peerText(*socket));
        if (socket->bytesAvailable() > 0)
            emit readyRead();
    }
}

void TcpTransport::onClientDisconnected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_client)
        return;
    // What the client sent just before it left is still answered (the session reads it on
    // readyRead); what is left unsent goes with the socket.
    if (socket->bytesAvailable() > 0)
        emit readyRead();
    socket->disconnect(this);
    socket->deleteLater();
    m_client.clear();
    emit clientLeft();
}

} // namespace tqx
