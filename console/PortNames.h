#pragma once

#include <QString>

namespace tqx {

// The platform's name for serial port number 1 to 8 of the port list: "COM1".. on Windows,
// "/dev/ttyS0".. elsewhere.
QString platformPortName(int portNumber);

} // namespace tqx
