#include "control/ControlAddress.h"

#include "session/ProgramInstance.h"

namespace tqx {

ControlAddress ControlAddress::defaultLocal()
{
    ControlAddress address;
    address.path = ProgramInstance::runtimePath(QStringLiteral(".control"));
    return address;
}

std::optional<ControlAddress> ControlAddress::parse(const QString &text, QString *errorText)
{
    const auto refuse = [errorText](const QString &why) -> std::optional<ControlAddress> {
        if (errorText)
            *errorText = why;
        return std::nullopt;
    };
    const QString given = text.trimmed();
    ControlAddress address;
    if (given.isEmpty())
        return refuse(QStringLiteral("the control address is empty: give a socket path, "
                                     "tcp:PORT or off"));
    if (given.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        address.kind = Kind::Off;
        return address;
    }
    if (!given.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive)) {
        address.path = given;
        return address;
    }
    address.kind = Kind::Tcp;
    QString rest = given.mid(4);
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString host = rest.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        if (!address.host.setAddress(host))
            return refuse(QStringLiteral("\"%1\" is not an IP address").arg(host));
        // Anyone who can reach the port can move the mount: the channel stays on this machine.
        if (!address.host.isLoopback())
            return refuse(QStringLiteral("the control channel listens on a loopback address "
                                         "only, not %1")
                                  .arg(host));
        rest = rest.mid(colon + 1);
    }
    bool ok = false;
    const uint port = rest.toUInt(&ok);
    if (!ok || port > 65535)
        return refuse(QStringLiteral("\"%1\" is not a port number from 0 to 65535").arg(rest));
    address.port = quint16(port);
    return address;
}

QString ControlAddress::toString() const
{
    switch (kind) {
    case Kind::Off:
        return QStringLiteral("off");
    case Kind::Local:
        return path;
    case Kind::Tcp:
        break;
    }
    const QString hostText = host.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(host.toString())
            : host.toString();
    return QStringLiteral("tcp:%1:%2").arg(hostText).arg(port);
}

} // namespace tqx
