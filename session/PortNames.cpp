#include "session/PortNames.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <utility>

namespace tqx {

namespace {

QStringList systemPorts()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        names << info.portName();
#else
        names << info.systemLocation();
#endif
    }
    return names;
}

SystemPortLister &currentLister()
{
    static SystemPortLister lister;
    return lister;
}

} // namespace

QString platformPortName(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QStringList extraSystemPorts()
{
    const SystemPortLister &lister = currentLister();
    QStringList names = lister ? lister() : systemPorts();
    for (int number = 1; number <= 8; ++number)
        names.removeAll(platformPortName(number));
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    return names;
}

SystemPortLister setSystemPortLister(SystemPortLister lister)
{
    return std::exchange(currentLister(), std::move(lister));
}

} // namespace tqx
