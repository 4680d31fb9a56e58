#include "session/DisplayText.h"

namespace tqx {

QString displayText(const Bytes &bytes)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            text += QLatin1String("\\\\");
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += QLatin1Char(c);
        } else {
            text += QLatin1String("\\x");
            text += QLatin1Char(hexDigits[byte >> 4]);
            text += QLatin1Char(hexDigits[byte & 0x0F]);
        }
    }
    return text;
}

QString bufferText(const Bytes &buffer, std::uint64_t droppedBytes)
{
    QString text = displayText(buffer);
    if (droppedBytes > 0)
        text += QStringLiteral("  [+%1 more bytes not kept]").arg(droppedBytes);
    return text;
}

QString exchangeTimeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

} // namespace tqx
