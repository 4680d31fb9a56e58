#include "session/UtcText.h"

#include <QDateTime>
#include <QTimeZone>

namespace tqx {

std::optional<qint64> UtcText::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    QDateTime time = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime)
        time = QDateTime(time.date(), time.time(), QTimeZone::utc());
    return time.toMSecsSinceEpoch();
}

QString UtcText::format(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc()).toString(Qt::ISODateWithMs);
}

QString UtcText::expected()
{
    return QStringLiteral("an ISO 8601 date and time such as 2024-11-12T21:45:30Z (UTC unless an "
                          "offset is given)");
}

} // namespace tqx
