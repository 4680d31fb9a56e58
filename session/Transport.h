#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

namespace tqx {

// One way in for client software: a serial port, a virtual port or a network listener. The
// session reads what arrives and writes its replies through it, and learns from it when clients
// come and go and when it fails.
class Transport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool open(QString *errorText) = 0;
    // Closes it; returns false with a description if closing reported an error (it is closed
    // either way).
    virtual bool close(QString *errorText) = 0;
    virtual bool isOpen() const = 0;

    // Everything received since the last call.
    virtual QByteArray readAll() = 0;
    // Sends a reply whole and in order; what cannot be sent at once is sent as soon as it can.
    // Returns false with a description when the transport failed (it has been closed then).
    virtual bool write(const QByteArray &bytes, QString *errorText) = 0;
    // Whether a reply written now can go out: false when the client it was for has gone (the
    // network listener between clients), so that the reply is not logged as sent.
    virtual bool canDeliver() const { return isOpen(); }
    // Drops the client's connection as a failing line or cable would, for a client under test:
    // false where the transport has no connection of its own to drop (a serial port).
    virtual bool dropClient() { return false; }
    // How many bytes of the replies the client has not read yet, where the transport can tell
    // (a network client on this machine); nothing elsewhere.
    virtual std::optional<long long> clientUnreadBytes() const { return std::nullopt; }

    // Where clients connect, for the user: "/dev/ttyUSB0", "TCP 127.0.0.1:4030".
    virtual QString description() const = 0;

signals:
    void readyRead();
    // A client connected or left, where the transport can tell (a virtual port, the network).
    // After clientLeft nothing queued for that client reaches the next one.
    void clientConnected(const QString &client);
    void clientLeft();
    // A second client was turned away, the line being taken.
    void clientRefused(const QString &client);
    // What the user should know of a client beyond its coming and going: a silent client that
    // gave way to a new one, replies it left unread.
    void clientNotice(const QString &text);
    // The open transport failed (device gone, write refused) and has been closed.
    void failed(const QString &errorText);
};

} // namespace tqx
