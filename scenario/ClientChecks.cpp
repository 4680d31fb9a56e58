#include "scenario/ClientChecks.h"

#include "emulation/CommandTable.h"
#include "emulation/DateTimeStore.h"
#include "emulation/FullCommandTable.h"

#include <algorithm>
#include <string_view>

namespace tqx {

namespace {

const QString pipelining = QStringLiteral("pipelining");
const QString notACommand = QStringLiteral("not-a-command");
const QString halfSent = QStringLiteral("half-sent");
const QString malformed = QStringLiteral("malformed");
const QString pollingRate = QStringLiteral("polling-rate");
const QString impossibleTime = QStringLiteral("impossible-time");
const QString gotoDuringGoto = QStringLiteral("goto-during-goto");
const QString shortRead = QStringLiteral("short-read");

// What the hand control expects, as its documentation and the clients that work with it say.
QString expectation(const QString &check)
{
    static const QHash<QString, QString> texts {
            {pipelining,
             QStringLiteral("each command waits for the reply to the one before; "
                            "commands sent without waiting may be dropped, or replies "
                            "matched to the wrong command")},
            {notACommand,
             QStringLiteral("a command the hand control does not know gets no reply "
                            "at all, and a client waiting for one times out")},
            {halfSent,
             QStringLiteral("every command has a fixed length; one left incomplete "
                            "holds up the commands behind it until it is given up")},
            {malformed,
             QStringLiteral("positions are hexadecimal digits, and a pass-through's "
                            "length byte is the one its device command takes")},
            {pollingRate,
             QStringLiteral("clients poll a query about once a second; answers that "
                            "need the motor boards may take up to 3.5 s")},
            {impossibleTime,
             QStringLiteral("H and I take hour, minute, second, month, day, year "
                            "since 2000, the offset from UTC (negative as 256 + "
                            "offset; I in quarter hours) and 1 or 0 for daylight "
                            "saving")},
            {gotoDuringGoto,
             QStringLiteral("L answers 1 until a goto ends and M aborts it; a new "
                            "goto waits for one or the other")},
            {shortRead,
             QStringLiteral("every reply ends with '#'; a client that reads less "
                            "reads the rest as the start of the next reply, one behind "
                            "ever after")},
    };
    return texts.value(check);
}

struct CommandForm
{
    bool known = false;
    std::size_t length = 0;
    std::optional<FullAction> action; // the full profile's
};

CommandForm formOf(const QByteArray &bytes, const DecodeContext &context)
{
    if (bytes.isEmpty())
        return {};
    if (context.profile == Profile::Full) {
        const FullCommand *command = findFullCommand(bytes.front());
        if (!command || (command->needsFirmware528 && !context.firmware528))
            return {};
        return {true, command->length, command->action};
    }
    std::size_t longest = 0;
    bool known = false;
    for (const CommandRow &row : commandTable()) {
        if (row.letter == bytes.front()) {
            known = true;
            longest = std::max(longest, row.minLength);
        }
    }
    return {known, longest, std::nullopt};
}

bool isGoto(FullAction action)
{
    return action == FullAction::GotoRaDec16 || action == FullAction::GotoRaDec32
            || action == FullAction::GotoAzmAlt16 || action == FullAction::GotoAzmAlt32;
}

// Queries: commands that read and change nothing, which clients poll.
bool isQuery(FullAction action)
{
    switch (action) {
    case FullAction::GetRaDec16:
    case FullAction::GetRaDec32:
    case FullAction::GetAzmAlt16:
    case FullAction::GetAzmAlt32:
    case FullAction::IsGotoInProgress:
    case FullAction::IsAligned:
    case FullAction::GetTracking:
    case FullAction::PointingSide:
    case FullAction::PassThrough:
        return true;
    default:
        return false;
    }
}

std::string_view view(const QByteArray &bytes) { return {bytes.constData(), size_t(bytes.size())}; }

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 3) + QStringLiteral(" s");
}

} // namespace

QString shownBytes(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

ClientChecks::ClientChecks(ClientCheckSettings settings)
    : m_settings(std::move(settings))
{
}

const QStringList &ClientChecks::checkNames()
{
    static const QStringList names {pipelining,  notACommand,    halfSent,       malformed,
                                    pollingRate, impossibleTime, gotoDuringGoto, shortRead};
    return names;
}

int ClientChecks::total() const
{
    int sum = 0;
    for (const int count : m_counts)
        sum += count;
    return sum;
}

void ClientChecks::find(const QString &check, qint64 atMs, const QString &what)
{
    if (++m_counts[check] <= keptPerCheck)
        m_findings.push_back({check, atMs, what, expectation(check)});
}

void ClientChecks::clientConnected()
{
    m_gotoOwed = false;
    m_queryTimes.clear();
}

void ClientChecks::exchanged(qint64 atMs, const Exchange &exchange, bool gotoUnderWay)
{
    const QByteArray command(exchange.command.data(), qsizetype(exchange.command.size()));
    const QString shown = QStringLiteral("`%1`").arg(shownBytes(command));
    if (exchange.pipelined)
        find(pipelining, atMs,
             QStringLiteral("sent %1 before it had the reply to the command before").arg(shown));
    if (exchange.clientUnreadBytes && *exchange.clientUnreadBytes > 0)
        find(shortRead, atMs,
             QStringLiteral("sent %1 with %2 bytes of earlier replies still unread")
                     .arg(shown)
                     .arg(*exchange.clientUnreadBytes));
    const ExchangeDecoder decoder(exchange.context);
    if (const std::string problem = decoder.commandProblem(view(command)); !problem.empty())
        find(malformed, atMs,
             QStringLiteral("sent %1: %2").arg(shown, QString::fromStdString(problem)));
    checkPolling(atMs, command);
    checkDateTime(atMs, command);
    checkGoto(atMs, command, exchange.context, gotoUnderWay);
    if (exchange.reply == "0#" && !command.isEmpty() && command.front() == 'L')
        m_gotoOwed = false;
}

void ClientChecks::repliesLeftUnread(qint64 atMs, long long unread, const QByteArray &lastCommand,
                                     qint64 idleMs)
{
    find(shortRead, atMs,
         QStringLiteral("left %1 bytes of the replies unread for %2 after the reply to `%3`")
                 .arg(unread)
                 .arg(seconds(idleMs), shownBytes(lastCommand)));
}

void ClientChecks::unanswered(qint64 atMs, const QByteArray &bytes, const DecodeContext &context,
                              const QString &reason)
{
    if (bytes.isEmpty())
        return;
    const QString shown = QStringLiteral("`%1`").arg(shownBytes(bytes));
    const CommandForm form = formOf(bytes, context);
    if (!form.known) {
        find(notACommand, atMs,
             QStringLiteral("sent %1, which is no command (%2)").arg(shown, reason));
        return;
    }
    if (std::size_t(bytes.size()) < form.length) {
        find(halfSent, atMs,
             QStringLiteral("left %1 half-sent: %2 of %3 bytes (%4)")
                     .arg(shown)
                     .arg(bytes.size())
                     .arg(form.length)
                     .arg(reason));
        return;
    }
    // A whole command of good form that got no reply was the line's doing (a silence, a client
    // that left before the answer), not the client's.
    const std::string problem = ExchangeDecoder(context).commandProblem(view(bytes));
    if (!problem.empty())
        find(malformed, atMs,
             QStringLiteral("sent %1, which got no reply: %2")
                     .arg(shown, QString::fromStdString(problem)));
}

void ClientChecks::checkPolling(qint64 atMs, const QByteArray &command)
{
    const FullCommand *full = command.isEmpty() ? nullptr : findFullCommand(command.front());
    if (!full || !isQuery(full->action))
        return;
    // A client that sends endless different frames must not grow the table without bound.
    if (m_queryTimes.size() >= maxQueriesWatched && !m_queryTimes.count(command))
        m_queryTimes.clear();
    std::deque<qint64> &times = m_queryTimes[command];
    times.push_back(atMs);
    while (!times.empty() && times.front() <= atMs - 1000)
        times.pop_front();
    if (double(times.size()) > m_settings.maxPollsPerSecond && !m_pollingReported.value(command)) {
        m_pollingReported.insert(command, true);
        find(pollingRate, atMs,
             QStringLiteral("sent `%1` %2 times within a second (the scenario allows %3)")
                     .arg(shownBytes(command))
                     .arg(times.size())
                     .arg(m_settings.maxPollsPerSecond));
    }
}

void ClientChecks::checkDateTime(qint64 atMs, const QByteArray &command)
{
    const FullCommand *full = command.isEmpty() ? nullptr : findFullCommand(command.front());
    if (!full || command.size() < 9
        || (full->action != FullAction::SetDateTime
            && full->action != FullAction::SetDateTimeQuarterHourZone))
        return;
    const auto byte
            = [&command](int index) { return int(static_cast<unsigned char>(command[index])); };
    const CivilDateTime local {2000 + byte(6), byte(4), byte(5), byte(1), byte(2), byte(3)};
    const int offset = byte(7) > 127 ? byte(7) - 256 : byte(7);
    const bool quarterHours = full->action == FullAction::SetDateTimeQuarterHourZone;
    const int lowest = quarterHours ? -48 : -12;
    const int highest = quarterHours ? 56 : 14;
    QStringList wrong;
    if (!local.isValid())
        wrong << QStringLiteral("%1-%2-%3 %4:%5:%6 is no date and time")
                         .arg(local.year)
                         .arg(local.month, 2, 10, QLatin1Char('0'))
                         .arg(local.day, 2, 10, QLatin1Char('0'))
                         .arg(local.hour, 2, 10, QLatin1Char('0'))
                         .arg(local.minute, 2, 10, QLatin1Char('0'))
                         .arg(local.second, 2, 10, QLatin1Char('0'));
    if (offset < lowest || offset > highest)
        wrong << QStringLiteral("an offset of %1 %2 is beyond any zone's")
                         .arg(offset)
                         .arg(quarterHours ? QStringLiteral("quarter hours")
                                           : QStringLiteral("hours"));
    if (byte(8) > 1)
        wrong << QStringLiteral("daylight saving %1 is neither 0 nor 1").arg(byte(8));
    if (!wrong.isEmpty())
        find(impossibleTime, atMs,
             QStringLiteral("set the time with `%1`: %2")
                     .arg(shownBytes(command), wrong.join(QStringLiteral("; "))));
}

void ClientChecks::checkGoto(qint64 atMs, const QByteArray &command, const DecodeContext &context,
                             bool gotoUnderWay)
{
    const CommandForm form = formOf(command, context);
    if (!form.action)
        return;
    if (*form.action == FullAction::CancelGoto) {
        m_gotoOwed = false;
        return;
    }
    if (!isGoto(*form.action))
        return;
    if (gotoUnderWay && m_gotoOwed)
        find(gotoDuringGoto, atMs,
             QStringLiteral("sent the goto `%1` while its goto `%2` of %3 was still under way, "
                            "without M")
                     .arg(shownBytes(command), shownBytes(m_lastGoto), seconds(m_lastGotoMs)));
    m_gotoOwed = true;
    m_lastGoto = command;
    m_lastGotoMs = atMs;
}

} // namespace tqx
