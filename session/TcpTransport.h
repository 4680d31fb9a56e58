#pragma once

#include "session/Transport.h"

#include <QHostAddress>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

namespace tqx {

// A network listener for Wi-Fi adapters, serial-to-network bridges and the client software that
// talks to them: the same bytes as on the serial line, over TCP. Like the serial line it serves
// one client at a time: a second connection is accepted and closed at once, and the listener
// keeps listening when the client leaves. Nothing queued for a client that left reaches the next.
class TcpTransport : public Transport
{
    Q_OBJECT

public:
    static constexpr quint16 defaultPort = 4030;

    // Port 0 picks a free port when it opens.
    TcpTransport(const QHostAddress &address, quint16 port, QObject *parent = nullptr);
    ~TcpTransport() override;

    bool open(QString *errorText) override;
    bool close(QString *errorText) override;
    bool isOpen() const override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes, QString *errorText) override;
    // "TCP 127.0.0.1:4030", with the port actually listened on.
    QString description() const override;

    quint16 listeningPort() const;
    bool hasClient() const { return !m_client.isNull(); }

private:
    void onNewConnection();
    void onClientDisconnected();

    QHostAddress m_address;
    quint16 m_port;
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
};

} // namespace tqx
