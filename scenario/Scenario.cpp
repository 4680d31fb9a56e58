#include "scenario/Scenario.h"

namespace tqx {

bool CommandMatch::matches(const QByteArray &command, const QString &commandMeaning) const
{
    if (prefix && !command.startsWith(*prefix))
        return false;
    if (bytes && command != *bytes)
        return false;
    if (meaning && !commandMeaning.contains(*meaning, Qt::CaseInsensitive))
        return false;
    return true;
}

QString CommandMatch::describe() const
{
    QStringList parts;
    const auto printable = [](const QByteArray &bytes) {
        for (const char c : bytes) {
            if (c < 0x20 || c > 0x7e)
                return QStringLiteral("the bytes %1").arg(QString::fromLatin1(bytes.toHex(' ')));
        }
        return QStringLiteral("`%1`").arg(QString::fromLatin1(bytes));
    };
    if (bytes)
        parts << printable(*bytes);
    else if (prefix)
        parts << printable(*prefix) + (prefix->size() > 1 ? QStringLiteral("...") : QString());
    if (meaning)
        parts << QStringLiteral("meaning \"%1\"").arg(*meaning);
    return parts.join(QStringLiteral(", "));
}

} // namespace tqx
