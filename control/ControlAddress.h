#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace tqx {

// Where the control channel listens, or where the command-line client connects: a Unix domain
// socket (a path; by default the instance's in the runtime folder), a TCP port on the loopback
// interface, or nowhere at all.
struct ControlAddress
{
    enum class Kind { Off, Local, Tcp };

    Kind kind = Kind::Local;
    QString path; // Local
    QHostAddress host = QHostAddress(QHostAddress::LocalHost); // Tcp: a loopback address
    quint16 port = 0; // Tcp; 0 picks a free one

    // The instance's socket in the runtime folder (ProgramInstance::runtimePath(".control")).
    static ControlAddress defaultLocal();
    // "off", "tcp:PORT", "tcp:ADDRESS:PORT" (a loopback address) or a socket's path; on a
    // mistake nothing, and why.
    static std::optional<ControlAddress> parse(const QString &text, QString *errorText);
    // The same forms, as parse reads them back ("tcp:127.0.0.1:5000", the path, "off").
    QString toString() const;
};

} // namespace tqx
