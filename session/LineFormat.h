#pragma once

#include <QByteArray>
#include <QString>

namespace tqx {

// How one end of a serial line frames its bytes: the bit rate, the data bits, the parity and the
// stop bits ("9600 8N1").
struct LineFormat
{
    enum class Parity { None, Even, Odd };

    int baudRate = 0; // 0: a rate the port cannot tell
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;

    // The hand control's line: 9600 8N1.
    static LineFormat handControl();

    bool operator==(const LineFormat &) const = default;
    // "9600 8N1", "19200 7E1".
    QString text() const;
};

// The byte a receiver framing with `receiver` reads when a sender framing with `sender` sends
// `byte` over an otherwise quiet line: the receiver takes the sender's start bit for its own and
// samples each of its data bits in the middle of where it expects it, which falls on other bits
// of the sender's frame when the rates or the framings differ. Parity and framing errors are not
// reported, as a port without parity checking does not.
char carriedByte(char byte, const LineFormat &sender, const LineFormat &receiver);
QByteArray carriedBytes(const QByteArray &bytes, const LineFormat &sender,
                        const LineFormat &receiver);
// Whether some byte arrives other than it was sent, one way or the other.
bool garbles(const LineFormat &one, const LineFormat &other);

} // namespace tqx
