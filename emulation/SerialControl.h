#pragma once

#include "emulation/Bytes.h"

namespace tqx {

// What the interpreter needs of the serial port. The port raises one event per arrival of
// characters (or per line error, modem-line change, ...) and the interpreter is called for each.
class SerialControl
{
public:
    // Event code of a receive event; every other code is ignored by the interpreter.
    static constexpr int comEvReceive = 2;

    virtual ~SerialControl() = default;

    // The code of the event being handled.
    virtual int CommEvent() const = 0;
    // Every byte waiting, in order of arrival; they are removed from the receive buffer.
    virtual Bytes Input() = 0;
    // Writes the bytes to the line as they stand, nothing added.
    virtual void Output(const Bytes &bytes) = 0;
};

} // namespace tqx
