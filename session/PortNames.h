#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tqx {

// The platform's name for serial port number 1 to 8 of the port list: "COM1".. on Windows,
// "/dev/ttyS0".. elsewhere.
QString platformPortName(int portNumber);

// The serial ports the system reports beyond the eight numbered ones, by their system names
// ("/dev/ttyUSB0", "COM12"), sorted.
QStringList extraSystemPorts();

// Replaces the system's list of ports, for tests; an empty lister restores it.
using SystemPortLister = std::function<QStringList()>;
SystemPortLister setSystemPortLister(SystemPortLister lister);

} // namespace tqx
