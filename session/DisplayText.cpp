#include "session/DisplayText.h"

namespace tqx {

void appendDisplayText(std::string &text, const Bytes &bytes)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            text += "\\x";
            text += hexDigits[byte >> 4];
            text += hexDigits[byte & 0x0F];
        }
    }
}

QString displayText(const Bytes &bytes)
{
    std::string text;
    text.reserve(bytes.size());
    appendDisplayText(text, bytes);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
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
