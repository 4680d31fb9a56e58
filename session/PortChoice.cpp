#include "session/PortChoice.h"

#include "session/PortNames.h"
#include "session/SerialTransport.h"
#include "session/TcpTransport.h"
#include "session/VirtualPort.h"

#include <QRegularExpression>

namespace tqx {

namespace {

constexpr QLatin1StringView tcpPrefix("tcp:");
constexpr QLatin1StringView virtualWord("virtual");

QString portNumberError(const QString &text)
{
    return QStringLiteral("\"%1\" is not a TCP port number (0 to 65535)").arg(text);
}

// The part after "tcp:": "PORT", "ADDRESS:PORT" or "[IPV6]:PORT".
std::optional<PortChoice> parseTcp(const QString &rest, QString *errorText)
{
    QString host;
    QString portText = rest;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        host = rest.mid(1, close < 0 ? -1 : close - 1);
        if (close < 0) {
            *errorText = QStringLiteral("\"%1\" is not an IP address").arg(rest);
            return std::nullopt;
        }
        portText = rest.mid(close + 1);
        if (portText.startsWith(QLatin1Char(':')))
            portText.remove(0, 1);
    } else if (const qsizetype colon = rest.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number > 65535) {
        *errorText = portNumberError(portText);
        return std::nullopt;
    }
    if (host.isEmpty())
        return PortChoice::tcp(PortChoice::defaultTcpAddress(), static_cast<quint16>(number));
    const std::optional<QHostAddress> address = PortChoice::readAddress(host, errorText);
    if (!address)
        return std::nullopt;
    return PortChoice::tcp(*address, static_cast<quint16>(number));
}

// What the user reads of a kind of port, one row each.
struct KindTraits
{
    PortChoice::ClientAccess access;
    const char *listEntry; // in the port list; none: the port's own name
    const char *listening; // %1: the port's name or where clients connect
    const char *connected; // %1, if there: the client
    const char *left;
};

// A serial line cannot tell when a client comes or goes; its wording is there for completeness.
constexpr KindTraits serialLine {PortChoice::ClientAccess::OtherEndOfTheLine, nullptr,
                                 "Listening on %1 (9600 bit/s, 8 data bits, no parity, 1 stop bit)",
                                 "a client connected from %1", "the client disconnected"};
constexpr KindTraits virtualPortTraits {PortChoice::ClientAccess::DevicePath, "Virtual port",
                                        "Listening on a virtual port: clients open %1",
                                        "a client opened the virtual port",
                                        "the client closed the virtual port"};
constexpr KindTraits networkListener {PortChoice::ClientAccess::NetworkAddress, "Network (TCP)",
                                      "Listening on %1", "a client connected from %1",
                                      "the client disconnected"};

const KindTraits &traits(PortChoice::Kind kind)
{
    switch (kind) {
    case PortChoice::Kind::Numbered:
    case PortChoice::Kind::System:
        break;
    case PortChoice::Kind::Virtual:
        return virtualPortTraits;
    case PortChoice::Kind::Tcp:
        return networkListener;
    }
    return serialLine;
}

} // namespace

QHostAddress PortChoice::defaultTcpAddress() { return QHostAddress(QHostAddress::LocalHost); }

PortChoice PortChoice::numbered(int portNumber)
{
    PortChoice port;
    port.m_portNumber = portNumber;
    return port;
}

PortChoice PortChoice::system(const QString &systemName)
{
    PortChoice port;
    port.m_kind = Kind::System;
    port.m_systemName = systemName;
    return port;
}

PortChoice PortChoice::virtualPort()
{
    PortChoice port;
    port.m_kind = Kind::Virtual;
    return port;
}

PortChoice PortChoice::tcp(const QHostAddress &address, quint16 port)
{
    PortChoice listener;
    listener.m_kind = Kind::Tcp;
    listener.m_tcpAddress = address;
    listener.m_tcpPort = port;
    return listener;
}

std::optional<PortChoice> PortChoice::parse(const QString &text, QString *errorText)
{
    static const QRegularExpression numberedName(QStringLiteral("^com\\s*([1-8])$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    QString ignored;
    if (!errorText)
        errorText = &ignored;
    const QString name = text.trimmed();
    if (name.isEmpty()) {
        *errorText = QStringLiteral("a port name is needed: %1").arg(waysInText());
        return std::nullopt;
    }
    if (name.startsWith(tcpPrefix, Qt::CaseInsensitive))
        return parseTcp(name.mid(tcpPrefix.size()), errorText);
    if (name.compare(virtualWord, Qt::CaseInsensitive) == 0)
        return virtualPort();
    if (const QRegularExpressionMatch match = numberedName.match(name); match.hasMatch())
        return numbered(match.captured(1).toInt());
    return system(name);
}

std::optional<QHostAddress> PortChoice::readAddress(const QString &text, QString *errorText)
{
    // The system's reading takes "12345" and "10.1" for addresses as well; an address to listen
    // on is written out in full.
    static const QRegularExpression dottedNumbers(QStringLiteral("^[0-9.]+$"));
    static const QRegularExpression dottedQuad(
            QStringLiteral("^[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}$"));
    QString ignored;
    if (!errorText)
        errorText = &ignored;
    const QString address = text.trimmed();
    if (address.isEmpty()) {
        *errorText = QStringLiteral("an address is needed, such as %1")
                             .arg(defaultTcpAddress().toString());
        return std::nullopt;
    }
    if (address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    const QHostAddress read(address);
    if (dottedNumbers.match(address).hasMatch() && !dottedQuad.match(address).hasMatch()) {
        *errorText = QStringLiteral("\"%1\" is not an IP address: an IPv4 address is four "
                                    "numbers from 0 to 255, such as %2")
                             .arg(address, defaultTcpAddress().toString());
        return std::nullopt;
    }
    if (read.isNull()) {
        *errorText = QStringLiteral("\"%1\" is not an IP address").arg(address);
        return std::nullopt;
    }
    return read;
}

QString PortChoice::toString() const
{
    switch (m_kind) {
    case Kind::Numbered:
        return QStringLiteral("Com %1").arg(m_portNumber);
    case Kind::System:
        return m_systemName;
    case Kind::Virtual:
        return virtualWord;
    case Kind::Tcp:
        if (m_tcpAddress == defaultTcpAddress())
            return tcpPrefix + QString::number(m_tcpPort);
        // An IPv6 address holds colons of its own.
        if (m_tcpAddress.protocol() != QAbstractSocket::IPv4Protocol)
            return QStringLiteral("%1[%2]:%3")
                    .arg(tcpPrefix, m_tcpAddress.toString())
                    .arg(m_tcpPort);
        return QStringLiteral("%1%2:%3").arg(tcpPrefix, m_tcpAddress.toString()).arg(m_tcpPort);
    }
    return QString();
}

QString PortChoice::waysInText()
{
    return QStringLiteral("\"%1\" to \"%2\", a system port such as /dev/ttyUSB0, \"%3\" or %4")
            .arg(numbered(firstNumbered).toString(), numbered(lastNumbered).toString(),
                 virtualPort().toString(), tcp().toString());
}

QList<PortChoice> PortChoice::portList()
{
    QList<PortChoice> ports;
    for (int number = firstNumbered; number <= lastNumbered; ++number)
        ports << numbered(number);
    for (const QString &name : extraSystemPorts())
        ports << system(name);
    if (VirtualPort::isSupported())
        ports << virtualPort();
    ports << tcp();
    return ports;
}

QString PortChoice::listEntry() const
{
    const char *entry = traits(m_kind).listEntry;
    return entry ? QLatin1String(entry) : toString();
}

std::unique_ptr<Transport> PortChoice::makeTransport(const TransportSettings &settings) const
{
    switch (m_kind) {
    case Kind::Numbered:
    case Kind::System:
        return std::make_unique<SerialTransport>(systemPortName(settings.portNameMapper));
    case Kind::Virtual:
        return std::make_unique<VirtualPort>();
    case Kind::Tcp: {
        auto transport = std::make_unique<TcpTransport>(m_tcpAddress, m_tcpPort);
        transport->setTakeoverAfter(settings.tcpTakeoverAfterMs);
        if (settings.tcpListeningSocket >= 0)
            transport->setListeningSocket(settings.tcpListeningSocket);
        return transport;
    }
    }
    return nullptr;
}

QString PortChoice::systemPortName(const PortNameMapper &mapper) const
{
    switch (m_kind) {
    case Kind::Numbered:
        return mapper ? mapper(m_portNumber) : platformPortName(m_portNumber);
    case Kind::System:
        return m_systemName;
    case Kind::Virtual:
    case Kind::Tcp:
        break;
    }
    return QString();
}

PortChoice::ClientAccess PortChoice::clientAccess() const { return traits(m_kind).access; }

QString PortChoice::listeningText(const QString &where, const QString &link) const
{
    QString text = QLatin1String(traits(m_kind).listening).arg(where);
    if (!link.isEmpty())
        text += QStringLiteral(" or %1").arg(link);
    return text;
}

QString PortChoice::clientConnectedText(const QString &client) const
{
    const QString text = QLatin1String(traits(m_kind).connected);
    return text.contains(QLatin1String("%1")) ? text.arg(client) : text;
}

QString PortChoice::clientLeftText() const { return QLatin1String(traits(m_kind).left); }

bool PortChoice::operator==(const PortChoice &other) const
{
    if (m_kind != other.m_kind)
        return false;
    switch (m_kind) {
    case Kind::Numbered:
        return m_portNumber == other.m_portNumber;
    case Kind::System:
        return m_systemName == other.m_systemName;
    case Kind::Virtual:
        return true;
    case Kind::Tcp:
        return m_tcpAddress == other.m_tcpAddress && m_tcpPort == other.m_tcpPort;
    }
    return false;
}

} // namespace tqx
