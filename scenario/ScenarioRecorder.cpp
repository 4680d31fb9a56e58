#include "scenario/ScenarioRecorder.h"

#include "emulation/ExchangeDecoder.h"
#include "session/PortChoice.h"
#include "session/UtcText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace tqx {

namespace {

// Thrown while reading the log, so that a line can stop the reading where it is wrong.
struct Unreadable
{
    int line;
    QString text;
};

// What the log says happened, in its order.
struct Happening
{
    enum class Kind {
        Exchange, // a command of the client, answered
        Unanswered, // bytes of the client that got no reply
        Connected,
        Left,
        Dropped, // the emulator dropped the client instead of the reply to the latest command
        Faults, // the run's fault rules and seed
        MountClock, // the mount's clock at its start and its rate
        Listening, // where the emulator listened
    };
    Kind kind = Kind::Exchange;
    qint64 ms = 0; // since the epoch
    int line = 0;
    QByteArray bytes;
    QString text; // the event's own words; the unanswered bytes' reason
};

enum class LogForm { Text, Jsonl, Saved };

QString formName(LogForm form)
{
    switch (form) {
    case LogForm::Text:
        return QStringLiteral("headless text log");
    case LogForm::Jsonl:
        return QStringLiteral("headless JSON-lines log");
    case LogForm::Saved:
        return QStringLiteral("log saved by the window");
    }
    return {};
}

// The inverse of session/DisplayText: "\\" a backslash, "\xNN" any byte, the rest as it is.
QByteArray bytesOfDisplayText(const QString &text, int line)
{
    const QByteArray latin = text.toLatin1();
    QByteArray bytes;
    for (qsizetype i = 0; i < latin.size(); ++i) {
        if (latin[i] != '\\') {
            bytes += latin[i];
            continue;
        }
        if (i + 1 < latin.size() && latin[i + 1] == '\\') {
            bytes += '\\';
            ++i;
            continue;
        }
        bool ok = false;
        const int value = i + 3 < latin.size() && latin[i + 1] == 'x'
                ? latin.mid(i + 2, 2).toInt(&ok, 16)
                : 0;
        if (!ok)
            throw Unreadable {line,
                              QStringLiteral("\"%1\" has a backslash that is neither \\\\ nor "
                                             "\\xNN.")
                                      .arg(text)};
        bytes += char(value);
        i += 3;
    }
    return bytes;
}

std::optional<qint64> localTimeMs(const QString &text)
{
    const QDateTime time
            = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (!time.isValid())
        return std::nullopt;
    return time.toMSecsSinceEpoch();
}

// The words of the events headless mode writes, as the port kinds word them.
Happening::Kind eventKindOfText(const QString &text, bool *known)
{
    *known = true;
    for (const PortChoice &port : {PortChoice::virtualPort(), PortChoice::tcp()}) {
        if (text == port.clientLeftText())
            return Happening::Kind::Left;
        const QString connected = port.clientConnectedText(QStringLiteral("\x01"));
        const QString start = connected.section(QLatin1Char('\x01'), 0, 0);
        if (connected.contains(QLatin1Char('\x01')) ? text.startsWith(start) : text == connected)
            return Happening::Kind::Connected;
    }
    if (text.startsWith(QLatin1String("unanswered: ")))
        return Happening::Kind::Unanswered;
    if (text.startsWith(QLatin1String("faults: ")))
        return Happening::Kind::Faults;
    if (text.startsWith(QLatin1String("mount clock: ")))
        return Happening::Kind::MountClock;
    if (text.startsWith(QLatin1String("the reply to "))
        && text.contains(QLatin1String("connection dropped")))
        return Happening::Kind::Dropped;
    if (text.startsWith(QLatin1String("Listening on ")))
        return Happening::Kind::Listening;
    *known = false;
    return Happening::Kind::Exchange;
}

// An event's text, as the "# " lines and the JSON lines' "text" carry it; nothing for the events
// that say nothing of the client's behaviour (notices, the control channel).
std::optional<Happening> eventOf(const QString &text, qint64 ms, int line)
{
    bool known = false;
    Happening happening;
    happening.kind = eventKindOfText(text, &known);
    if (!known)
        return std::nullopt;
    happening.ms = ms;
    happening.line = line;
    happening.text = text;
    if (happening.kind == Happening::Kind::Unanswered) {
        // "unanswered: BYTES (REASON)"
        const QString rest = text.mid(int(qstrlen("unanswered: ")));
        const qsizetype open = rest.indexOf(QLatin1String(" ("));
        happening.bytes = bytesOfDisplayText(open < 0 ? rest : rest.left(open), line);
        happening.text = open < 0 ? QString() : rest.mid(open + 2).chopped(1);
    }
    return happening;
}

void readTextLine(const QString &line, int number, std::vector<Happening> &out)
{
    if (line.startsWith(QLatin1String("# "))) {
        // "# yyyy-MM-dd HH:mm:ss.zzz TEXT"
        const QString rest = line.mid(2);
        const std::optional<qint64> ms = localTimeMs(rest.left(23));
        if (!ms)
            throw Unreadable {number,
                              QStringLiteral("an event line must begin with its time "
                                             "(yyyy-MM-dd HH:mm:ss.zzz).")};
        if (std::optional<Happening> event = eventOf(rest.mid(24), *ms, number))
            out.push_back(std::move(*event));
        return;
    }
    // The program's own messages, for a log of standard output and standard error together.
    if (line.startsWith(QLatin1String("tqx-orbivo-emulator: ")))
        return;
    if (line.startsWith(QLatin1String("Listening on "))) {
        out.push_back(
                {Happening::Kind::Listening, out.empty() ? 0 : out.back().ms, number, {}, line});
        return;
    }
    const QStringList fields = line.split(QLatin1Char('\t'));
    const std::optional<qint64> ms = localTimeMs(fields.value(0));
    if (fields.size() < 3 || !ms)
        throw Unreadable {number,
                          QStringLiteral("not an exchange (TIME, COMMAND and REPLY separated by "
                                         "tabs) nor an event (\"# \").")};
    out.push_back(
            {Happening::Kind::Exchange, *ms, number, bytesOfDisplayText(fields[1], number), {}});
}

void readJsonLine(const QString &line, int number, std::vector<Happening> &out)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (!document.isObject())
        throw Unreadable {number,
                          QStringLiteral("not a JSON object: %1.").arg(error.errorString())};
    const QJsonObject object = document.object();
    const QDateTime time = QDateTime::fromString(object.value(QStringLiteral("time")).toString(),
                                                 Qt::ISODateWithMs);
    if (!time.isValid())
        throw Unreadable {number, QStringLiteral("the line has no \"time\" in ISO 8601.")};
    const qint64 ms = time.toMSecsSinceEpoch();
    if (object.contains(QStringLiteral("command_hex"))) {
        const QString hex = object.value(QStringLiteral("command_hex")).toString();
        static const QRegularExpression hexDigits(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hexDigits.match(hex).hasMatch())
            throw Unreadable {number, QStringLiteral("command_hex is not pairs of hex digits.")};
        out.push_back(
                {Happening::Kind::Exchange, ms, number, QByteArray::fromHex(hex.toLatin1()), {}});
        return;
    }
    const QString kind = object.value(QStringLiteral("event")).toString();
    if (kind.isEmpty())
        throw Unreadable {number,
                          QStringLiteral("a JSON line must be an exchange (command_hex) or an "
                                         "event (event).")};
    const QString text = object.value(QStringLiteral("text")).toString();
    if (std::optional<Happening> event = eventOf(text, ms, number))
        out.push_back(std::move(*event));
}

// The window's saved log: a command line and a reply line for each exchange, an unanswered
// command's reply empty and meaning "no reply", what the reply stages did ending the reply line.
void readSavedLine(const QString &line, int number, std::vector<Happening> &out,
                   std::optional<Happening> &pending)
{
    if (line.startsWith(QLatin1String("# ")))
        return; // "# N earlier exchanges were dropped ..."
    const QStringList fields = line.split(QLatin1Char('\t'));
    const std::optional<qint64> ms = localTimeMs(fields.value(0));
    const QString which = fields.value(1);
    if (fields.size() < 3 || !ms
        || (which != QLatin1String("command") && which != QLatin1String("reply")))
        throw Unreadable {number,
                          QStringLiteral("not a line of a saved log (TIME, \"command\" or "
                                         "\"reply\", BYTES and MEANING separated by tabs).")};
    const QByteArray bytes = bytesOfDisplayText(fields[2], number);
    if (which == QLatin1String("command")) {
        if (pending)
            throw Unreadable {number,
                              QStringLiteral("a command line must follow the reply to the "
                                             "command before it (line %1).")
                                      .arg(pending->line)};
        pending = Happening {Happening::Kind::Exchange, *ms, number, bytes, fields.value(3)};
        return;
    }
    if (!pending)
        throw Unreadable {number, QStringLiteral("a reply line needs its command line before it.")};
    if (bytes.isEmpty() && fields.value(3) == QLatin1String("no reply")) {
        pending->kind = Happening::Kind::Unanswered;
    } else {
        pending->text.clear();
    }
    out.push_back(std::move(*pending));
    pending.reset();
    if (fields.value(4).contains(QLatin1String("connection dropped")))
        out.push_back({Happening::Kind::Dropped, *ms, number, {}, fields.value(4)});
}

LogForm formOf(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('{')))
            return LogForm::Jsonl;
        if (line.startsWith(QLatin1String("# ")) || line.startsWith(QLatin1String("Listening on "))
            || line.startsWith(QLatin1String("tqx-orbivo-emulator: ")))
            continue;
        const QString which = line.section(QLatin1Char('\t'), 1, 1);
        return which == QLatin1String("command") || which == QLatin1String("reply") ? LogForm::Saved
                                                                                    : LogForm::Text;
    }
    return LogForm::Text;
}

QString tomlString(const QString &text)
{
    QString quoted;
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A comment stays on its line.
QString commentText(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

bool printable(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

// A duration as the reader takes it, rounded up to a tenth of a second.
QString durationText(qint64 ms)
{
    const qint64 tenths = (ms + 99) / 100;
    return tenths % 10 == 0 ? QStringLiteral("%1s").arg(tenths / 10)
                            : QStringLiteral("%1.%2s").arg(tenths / 10).arg(tenths % 10);
}

QString offsetText(qint64 ms)
{
    return QStringLiteral("+%1s").arg(QString::number(double(ms) / 1000, 'f', 3));
}

qint64 withMargin(qint64 ms, const RecordingMargins &margins)
{
    return qint64(std::ceil(double(ms) * margins.factor)) + margins.extraMs;
}

// Which commands an expectation is about. Exact bytes, as text when they are printable and as
// hex otherwise (a TOML string holds no raw control byte); a command that sets the date and time
// differs from run to run, so it is matched by its letter and meaning instead.
QString matchOf(const QByteArray &bytes, const std::string &meaning)
{
    if (QString::fromStdString(meaning).startsWith(QLatin1String("set date and time"))
        && printable(bytes.left(1)))
        return QStringLiteral("{ starts = %1, meaning = \"set date and time\" }")
                .arg(tomlString(QString::fromLatin1(bytes.left(1))));
    if (printable(bytes))
        return QStringLiteral("{ bytes = %1 }").arg(tomlString(QString::fromLatin1(bytes)));
    return QStringLiteral("{ hex = \"%1\" }").arg(QString::fromLatin1(bytes.toHex(' ')));
}

struct Recorded
{
    QString match;
    qint64 firstMs = 0; // since the first command
    QString meaning;
    int times = 0;
};

QByteArray scenarioText(const std::vector<Happening> &happenings, LogForm form,
                        const QString &logPath, const RecordingMargins &margins)
{
    const ExchangeDecoder decoder(DecodeContext {Profile::Full});
    std::optional<qint64> firstMs;
    qint64 lastMs = 0;
    for (const Happening &happening : happenings) {
        const bool command = happening.kind == Happening::Kind::Exchange
                || happening.kind == Happening::Kind::Unanswered;
        if (command && !firstMs)
            firstMs = happening.ms;
        if (firstMs)
            lastMs = std::max(lastMs, happening.ms);
    }
    const qint64 start = firstMs.value_or(0);
    const qint64 lengthMs = lastMs - start;

    // The settings the log tells, the commands the client sent and the drops it came back from.
    QStringList faults;
    QString seed;
    QString startTime;
    QString timeRate;
    QString port;
    double rate = 1;
    std::vector<Recorded> recorded;
    std::map<QString, std::size_t> byMatch;
    QStringList unanswered;
    QStringList leavings;
    struct Drop
    {
        QString match; // of the command the client was dropped on
        bool firstOfItsKind = false;
        qint64 atMs = 0;
        qint64 backAfterMs = 0;
    };
    std::vector<Drop> drops;
    int exchanges = 0;
    std::optional<std::size_t> lastCommand; // the latest exchange's entry in `recorded`
    bool lastCommandWasFirst = false;
    bool droppedSinceConnect = false;
    std::optional<std::pair<qint64, bool>> left; // when, and whether the emulator dropped it
    for (const Happening &happening : happenings) {
        const qint64 at = happening.ms - start;
        switch (happening.kind) {
        case Happening::Kind::Exchange: {
            ++exchanges;
            const std::string meaning = decoder.command(happening.bytes.toStdString());
            const QString match = matchOf(happening.bytes, meaning);
            const auto found = byMatch.find(match);
            lastCommandWasFirst = found == byMatch.end();
            if (lastCommandWasFirst) {
                byMatch.emplace(match, recorded.size());
                recorded.push_back({match, at, QString::fromStdString(meaning), 0});
            }
            lastCommand = lastCommandWasFirst ? recorded.size() - 1 : found->second;
            ++recorded[*lastCommand].times;
            break;
        }
        case Happening::Kind::Unanswered:
            unanswered << QStringLiteral("%1  %2  (%3)")
                                  .arg(offsetText(at),
                                       printable(happening.bytes)
                                               ? tomlString(QString::fromLatin1(happening.bytes))
                                               : QStringLiteral("hex ")
                                                       + QString::fromLatin1(
                                                               happening.bytes.toHex(' ')),
                                       happening.text.isEmpty() ? QString::fromStdString(
                                               decoder.unanswered(happening.bytes.toStdString()))
                                                                : happening.text);
            break;
        case Happening::Kind::Dropped:
            droppedSinceConnect = true;
            if (lastCommand)
                drops.push_back({recorded[*lastCommand].match, lastCommandWasFirst, at, -1});
            // Without a reply stages' event the connection closes next; the drop is its reason.
            break;
        case Happening::Kind::Left:
            left = std::make_pair(at, droppedSinceConnect);
            break;
        case Happening::Kind::Connected:
            droppedSinceConnect = false;
            if (left) {
                const qint64 away = at - left->first;
                if (left->second && !drops.empty() && drops.back().backAfterMs < 0)
                    drops.back().backAfterMs = away;
                else
                    leavings << QStringLiteral("the client closed the line at %1 and came back "
                                               "%2 later")
                                        .arg(offsetText(left->first), durationText(away));
                left.reset();
            }
            break;
        case Happening::Kind::Faults: {
            // "faults: RULE, RULE (--seed N repeats them)"; a rule has no ", " of its own.
            QString text = happening.text.mid(int(qstrlen("faults: ")));
            static const QRegularExpression seedForm(
                    QStringLiteral("\\s*\\(--seed (\\d+) repeats them\\)$"));
            if (const QRegularExpressionMatch found = seedForm.match(text); found.hasMatch()) {
                seed = found.captured(1);
                text.truncate(found.capturedStart());
            }
            faults = text.split(QStringLiteral(", "), Qt::SkipEmptyParts);
            break;
        }
        case Happening::Kind::MountClock: {
            static const QRegularExpression clockForm(
                    QStringLiteral("^mount clock: (\\S+) at (\\S+) times real time$"));
            if (const QRegularExpressionMatch found = clockForm.match(happening.text);
                found.hasMatch()) {
                if (UtcText::parse(found.captured(1)))
                    startTime = found.captured(1);
                bool ok = false;
                const double given = found.captured(2).toDouble(&ok);
                if (ok && given > 0) {
                    rate = given;
                    timeRate = found.captured(2);
                }
            }
            break;
        }
        case Happening::Kind::Listening:
            if (happening.text.contains(QLatin1String("virtual port")))
                port = QStringLiteral("virtual");
            else if (happening.text.contains(QLatin1String("(9600 bit/s")))
                port = QString();
            else
                port = QStringLiteral("tcp:0");
            break;
        }
    }
    if (left && !left->second)
        leavings << QStringLiteral("the client closed the line at %1 and did not come back")
                            .arg(offsetText(left->first));
    // A drop the client did not come back from (or that the log does not say it came back from:
    // a saved log has no connections) tests nothing.
    for (const Drop &drop : drops) {
        if (drop.backAfterMs < 0)
            leavings << QStringLiteral("the emulator dropped the client at %1; the log does not "
                                       "show it coming back")
                                .arg(offsetText(drop.atMs));
    }
    std::erase_if(drops, [](const Drop &drop) { return drop.backAfterMs < 0; });

    QStringList out;
    const QString fileName = QFileInfo(logPath).fileName();
    out << QStringLiteral("# Recorded from %1 (a %2: %3 exchanges over %4)")
                    .arg(commentText(logPath), formName(form))
                    .arg(exchanges)
                    .arg(durationText(lengthMs));
    out << QStringLiteral("# by tqx-orbivo-emulator --record-scenario. Run it against your "
                          "client with");
    out << QStringLiteral("#   tqx-orbivo-emulator --scenario THIS-FILE -- my-client --port "
                          "{port}");
    out << QStringLiteral(
                   "# One expectation for each command the client sent, in the order sent: each "
                   "within %1 times")
                    .arg(margins.factor);
    out << QStringLiteral("# the time the client took to first send it (since its first "
                          "command) plus %1 s.")
                    .arg(double(margins.extraMs) / 1000);
    out << QString();
    out << QStringLiteral("name = %1")
                    .arg(tomlString(QStringLiteral("recorded from %1").arg(fileName)));
    if (!port.isEmpty())
        out << QStringLiteral("port = %1").arg(tomlString(port));
    const qint64 limitMs
            = qint64(std::ceil(double(lengthMs) * margins.factor)) + margins.timeLimitExtraMs;
    out << QStringLiteral("time_limit = \"%1s\"").arg((limitMs + 999) / 1000);
    out << QStringLiteral("# client = [\"my-client\", \"--port\", \"{port}\"]");
    out << QString();
    out << QStringLiteral("[emulator]");
    out << QStringLiteral("# The log does not say the profile, the version or the model: give "
                          "those of the");
    out << QStringLiteral("# recorded run, such as");
    out << QStringLiteral("# profile = \"full\"");
    if (!startTime.isEmpty())
        out << QStringLiteral("start_time = %1").arg(tomlString(startTime));
    if (!timeRate.isEmpty())
        out << QStringLiteral("time_rate = %1").arg(timeRate);
    if (!faults.isEmpty()) {
        QStringList kept;
        for (const QString &rule : std::as_const(faults)) {
            if (!drops.empty() && rule.startsWith(QLatin1String("drop")))
                out << QStringLiteral("# fault %1 is left out: the drop steps below drop the "
                                      "client instead")
                                .arg(tomlString(rule));
            else
                kept << tomlString(rule);
        }
        if (!kept.isEmpty())
            out << QStringLiteral("fault = [%1]").arg(kept.join(QStringLiteral(", ")));
        if (!seed.isEmpty())
            out << QStringLiteral("seed = %1").arg(tomlString(seed));
    }

    for (std::size_t i = 0; i < drops.size(); ++i) {
        const Drop &drop = drops[i];
        out << QString();
        out << QStringLiteral("# The emulator dropped the client at %1; it came back %2 later.")
                        .arg(offsetText(drop.atMs), durationText(drop.backAfterMs));
        out << QStringLiteral("[[step]]");
        out << QStringLiteral("name = \"drop %1\"").arg(i + 1);
        if (drop.firstOfItsKind)
            out << QStringLiteral("when = %1").arg(drop.match);
        else
            out << QStringLiteral("at = \"%1ms\"  # on the mount's clock; the command it "
                                  "came on, %2, came earlier too")
                            .arg(qint64(std::llround(double(drop.atMs) * rate)))
                            .arg(commentText(drop.match));
        out << QStringLiteral("request = \"drop\"");
    }

    for (const Recorded &command : recorded) {
        out << QString();
        out << QStringLiteral("# %1, first at %2%3")
                        .arg(commentText(command.meaning), offsetText(command.firstMs),
                             command.times > 1
                                     ? QStringLiteral(", %1 times in all").arg(command.times)
                                     : QString());
        out << QStringLiteral("[[expect]]");
        out << QStringLiteral("sends = %1").arg(command.match);
        out << QStringLiteral("within = \"%1\"")
                        .arg(durationText(withMargin(command.firstMs, margins)));
    }
    for (std::size_t i = 0; i < drops.size(); ++i) {
        out << QString();
        out << QStringLiteral("[[expect]]");
        out << QStringLiteral("reconnects_within = \"%1\"")
                        .arg(durationText(withMargin(drops[i].backAfterMs, margins)));
        out << QStringLiteral("after = \"drop %1\"").arg(i + 1);
    }
    if (!leavings.isEmpty()) {
        out << QString();
        out << QStringLiteral("# Noted, not expected:");
        for (const QString &leaving : std::as_const(leavings))
            out << QStringLiteral("#   %1").arg(leaving);
    }
    if (!unanswered.isEmpty()) {
        out << QString();
        out << QStringLiteral("# Bytes of the client that went unanswered in the recorded run; "
                              "a good run has");
        out << QStringLiteral("# none, so they are not expected:");
        for (const QString &bytes : std::as_const(unanswered))
            out << QStringLiteral("#   %1").arg(commentText(bytes));
    }
    return (out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

} // namespace

std::variant<QByteArray, ScenarioError> recordScenario(const QByteArray &log,
                                                       const QString &logPath,
                                                       const RecordingMargins &margins)
{
    QStringList lines = QString::fromUtf8(log).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    const LogForm form = formOf(lines);
    std::vector<Happening> happenings;
    try {
        std::optional<Happening> pending;
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].trimmed().isEmpty())
                continue;
            switch (form) {
            case LogForm::Text:
                readTextLine(lines[i], i + 1, happenings);
                break;
            case LogForm::Jsonl:
                readJsonLine(lines[i], i + 1, happenings);
                break;
            case LogForm::Saved:
                readSavedLine(lines[i], i + 1, happenings, pending);
                break;
            }
        }
        if (pending)
            throw Unreadable {pending->line,
                              QStringLiteral("the command has no reply line after it.")};
    } catch (const Unreadable &problem) {
        return ScenarioError {logPath, problem.line, problem.text};
    }
    const bool anyCommand = std::any_of(
            happenings.begin(), happenings.end(), [](const Happening &h) {
                return h.kind == Happening::Kind::Exchange || h.kind == Happening::Kind::Unanswered;
            });
    if (!anyCommand)
        return ScenarioError {logPath, 0,
                              QStringLiteral("the log has no command of a client to record.")};
    return scenarioText(happenings, form, logPath, margins);
}

std::variant<QByteArray, ScenarioError> recordScenarioFromFile(const QString &logPath,
                                                               const RecordingMargins &margins)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return ScenarioError {logPath, 0,
                              QStringLiteral("cannot read it: %1.").arg(file.errorString())};
    return recordScenario(file.readAll(), logPath, margins);
}

int recordScenarioCommand(const QString &logPath, const QString &outputPath)
{
    if (logPath.isEmpty()) {
        std::fprintf(stderr,
                     "tqx-orbivo-emulator: --output goes with --record-scenario LOG, "
                     "the log to record.\nTry --help.\n");
        return 2;
    }
    const auto recorded = recordScenarioFromFile(logPath);
    if (const auto *error = std::get_if<ScenarioError>(&recorded)) {
        std::fprintf(stderr, "tqx-orbivo-emulator: %s\n", qPrintable(error->describe()));
        return 1;
    }
    const QByteArray &text = std::get<QByteArray>(recorded);
    if (outputPath.isEmpty()) {
        const bool written = std::fwrite(text.constData(), 1, size_t(text.size()), stdout)
                        == size_t(text.size())
                && std::fflush(stdout) == 0;
        if (!written)
            std::fprintf(stderr,
                         "tqx-orbivo-emulator: cannot write the scenario to standard "
                         "output.\n");
        return written ? 0 : 1;
    }
    QSaveFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        std::fprintf(stderr, "tqx-orbivo-emulator: cannot write %s: %s\n", qPrintable(outputPath),
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}

} // namespace tqx
