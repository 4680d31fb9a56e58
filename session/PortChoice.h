#pragma once

#include "session/Transport.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tqx {

// One way in for client software, named: a numbered port of the port list ("Com 3"), a serial
// port by its system name ("/dev/ttyUSB0", a socat or tty0tty device), a virtual port made when
// it opens, or a network listener ("tcp:4030"). The window's port list, the saved settings, the
// command line and the session all name ports with it, so that everything that differs from one
// way in to the next (its text, its defaults, its transport, what its clients see) is said here
// once.
class PortChoice
{
public:
    enum class Kind { Numbered, System, Virtual, Tcp };

    // How client software reaches an open port: at the other end of the line, by opening a
    // device of this computer, or by connecting to a network address.
    enum class ClientAccess { OtherEndOfTheLine, DevicePath, NetworkAddress };

    // The numbered ports of the port list.
    static constexpr int firstNumbered = 1;
    static constexpr int lastNumbered = 8;
    // Where the network listener listens unless told otherwise: this computer only, since the
    // protocol has no password.
    static constexpr quint16 defaultTcpPort = 4030;
    static QHostAddress defaultTcpAddress();

    // Maps a numbered port to the system's name for it; tests map them to pseudo-terminals.
    using PortNameMapper = std::function<QString(int portNumber)>;
    // What a transport needs beyond the choice itself.
    struct TransportSettings
    {
        PortNameMapper portNameMapper;
        // How long a network client must have been silent for a new one to take over; 0 never.
        std::int64_t tcpTakeoverAfterMs = 0;
        // A listening socket the network listener takes instead of binding its address (one
        // the service manager passed); -1 for none.
        int tcpListeningSocket = -1;
    };

    // "Com 1".
    PortChoice() = default;
    static PortChoice numbered(int portNumber);
    static PortChoice system(const QString &systemName);
    static PortChoice virtualPort();
    static PortChoice tcp(const QHostAddress &address = defaultTcpAddress(),
                          quint16 port = defaultTcpPort);

    // Reads "Com N" (1 to 8, in any case, the space optional), "virtual", "tcp:PORT",
    // "tcp:ADDRESS:PORT" ("tcp:[::1]:4030" for IPv6; 0 picks a free port) or else a system port
    // name. Nothing, with `errorText` saying why, for a blank text or a network port named wrongly.
    static std::optional<PortChoice> parse(const QString &text, QString *errorText);
    // Reads an address to listen on: IPv4 in its dotted form, IPv6, or "localhost" (the loopback
    // address, looked up nowhere). Nothing, with the reason, for anything else: a bare number
    // such as "12345" is not taken for an address, and a host name is for the caller to look up.
    static std::optional<QHostAddress> readAddress(const QString &text, QString *errorText);
    // The text parse() reads back: "Com 3", "/dev/ttyUSB0", "virtual", "tcp:4030" (the default
    // address left out), "tcp:0.0.0.0:4030", "tcp:[::1]:4030".
    QString toString() const;
    // The ways in, for messages: "Com 1" to "Com 8", ... or tcp:4030.
    static QString waysInText();

    // The port list of the console window, in order: the numbered ports, the system's other
    // serial ports, a virtual port where the platform can make one, the network listener.
    static QList<PortChoice> portList();
    // This port's entry in that list: "Com 3", "/dev/ttyUSB0", "Virtual port", "Network (TCP)".
    QString listEntry() const;

    Kind kind() const { return m_kind; }
    int portNumber() const { return m_portNumber; } // of a numbered port
    QString systemName() const { return m_systemName; } // of a system port
    QHostAddress tcpAddress() const { return m_tcpAddress; }
    quint16 tcpPort() const { return m_tcpPort; }

    // The transport that opens this port.
    std::unique_ptr<Transport> makeTransport(const TransportSettings &settings) const;
    // The system's name of a serial port; empty for the others.
    QString systemPortName(const PortNameMapper &mapper) const;

    ClientAccess clientAccess() const;
    // The line that says the port is open and where clients connect: `where` is the port's name
    // or the transport's description, `link` a virtual port's stable link (may be empty).
    QString listeningText(const QString &where, const QString &link) const;
    // How a client's coming and going reads.
    QString clientConnectedText(const QString &client) const;
    QString clientLeftText() const;

    bool operator==(const PortChoice &other) const;

private:
    Kind m_kind = Kind::Numbered;
    int m_portNumber = firstNumbered;
    QString m_systemName;
    QHostAddress m_tcpAddress = defaultTcpAddress();
    quint16 m_tcpPort = defaultTcpPort;
};

} // namespace tqx

Q_DECLARE_METATYPE(tqx::PortChoice)
