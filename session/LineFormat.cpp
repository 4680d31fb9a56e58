#include "session/LineFormat.h"

#include "session/LineTiming.h"

#include <algorithm>

namespace tqx {

LineFormat LineFormat::handControl() { return {SerialLine::baudRate, 8, Parity::None, 1}; }

QString LineFormat::text() const
{
    const char parityLetter = parity == Parity::Even ? 'E' : parity == Parity::Odd ? 'O' : 'N';
    const QString rate = baudRate > 0 ? QString::number(baudRate) : QStringLiteral("(unknown)");
    return QStringLiteral("%1 %2%3%4").arg(rate).arg(dataBits).arg(parityLetter).arg(stopBits);
}

namespace {

// The line's level during bit `index` of the sender's frame: a start bit, the data bits from
// the lowest, the parity bit if any, then stop bits and a quiet line, which are high.
bool levelAt(int index, unsigned data, const LineFormat &sender)
{
    if (index == 0)
        return false;
    if (index <= sender.dataBits)
        return (data >> (index - 1)) & 1U;
    if (index == sender.dataBits + 1 && sender.parity != LineFormat::Parity::None) {
        int ones = 0;
        for (int bit = 0; bit < sender.dataBits; ++bit)
            ones += (data >> bit) & 1U;
        return sender.parity == LineFormat::Parity::Even ? ones % 2 == 1 : ones % 2 == 0;
    }
    return true;
}

} // namespace

char carriedByte(char byte, const LineFormat &sender, const LineFormat &receiver)
{
    if (sender.baudRate <= 0 || receiver.baudRate <= 0)
        return byte;
    const unsigned data = static_cast<unsigned char>(byte) & ((1U << sender.dataBits) - 1U);
    unsigned read = 0;
    for (int bit = 0; bit < receiver.dataBits; ++bit) {
        // The middle of the receiver's data bit `bit` is (1.5 + bit) of its bit times after the
        // start edge; in the sender's bit times, kept whole.
        const long long index = (3LL + 2 * bit) * sender.baudRate / (2LL * receiver.baudRate);
        if (levelAt(int(std::min(index, 64LL)), data, sender))
            read |= 1U << bit;
    }
    return static_cast<char>(read);
}

QByteArray carriedBytes(const QByteArray &bytes, const LineFormat &sender,
                        const LineFormat &receiver)
{
    QByteArray carried(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        carried[i] = carriedByte(bytes[i], sender, receiver);
    return carried;
}

bool garbles(const LineFormat &one, const LineFormat &other)
{
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        if (carriedByte(byte, one, other) != byte || carriedByte(byte, other, one) != byte)
            return true;
    }
    return false;
}

} // namespace tqx
