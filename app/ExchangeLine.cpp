#include "app/ExchangeLine.h"

#include "session/DisplayText.h"

#include <QDateTime>

namespace tqx {

std::string ExchangeLine::format(std::int64_t msecsSinceEpoch, const Bytes &command,
                                 const Bytes &reply, std::string_view meaning)
{
    std::int64_t second = msecsSinceEpoch / 1000;
    std::int64_t millisecond = msecsSinceEpoch % 1000;
    if (millisecond < 0) {
        second -= 1;
        millisecond += 1000;
    }
    if (second != m_second) {
        m_second = second;
        m_secondText = QDateTime::fromSecsSinceEpoch(second)
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               .toStdString();
    }
    std::string line;
    line.reserve(m_secondText.size() + 9 + command.size() + reply.size() + meaning.size());
    line += m_secondText;
    line += '.';
    line += static_cast<char>('0' + millisecond / 100);
    line += static_cast<char>('0' + millisecond / 10 % 10);
    line += static_cast<char>('0' + millisecond % 10);
    line += '\t';
    appendDisplayText(line, command);
    line += '\t';
    appendDisplayText(line, reply);
    if (!meaning.empty()) {
        line += '\t';
        line += meaning;
    }
    line += '\n';
    return line;
}

} // namespace tqx
