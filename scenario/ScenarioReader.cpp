#include "scenario/ScenarioReader.h"

#include "settings/EmulatorSettings.h"
#include "settings/SettingsSchema.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

#include <toml.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tqx {

namespace {

// Thrown within the reader only, so that each check can stop the reading where it finds a
// problem; readScenarioText turns it into the ScenarioError it returns.
struct Problem
{
    int line;
    QString text;
};

QString qs(const std::string &text) { return QString::fromStdString(text); }

int lineOf(const toml::value &value) { return int(value.location().line()); }

[[noreturn]] void fail(const toml::value &at, const QString &text)
{
    throw Problem {lineOf(at), text};
}

QString typeName(const toml::value &value)
{
    switch (value.type()) {
    case toml::value_t::string:
        return QStringLiteral("text");
    case toml::value_t::integer:
    case toml::value_t::floating:
        return QStringLiteral("a number");
    case toml::value_t::boolean:
        return QStringLiteral("true or false");
    case toml::value_t::array:
        return QStringLiteral("a list");
    case toml::value_t::table:
        return QStringLiteral("a table");
    default:
        return QStringLiteral("a date or time");
    }
}

// The value as text for a setting or a request field; lists and tables are not texts.
std::optional<QString> scalarText(const toml::value &value)
{
    switch (value.type()) {
    case toml::value_t::string:
        return qs(value.as_string().str);
    case toml::value_t::integer:
        return QString::number(value.as_integer());
    case toml::value_t::floating:
        return QString::number(value.as_floating(), 'g', 17);
    case toml::value_t::boolean:
        return value.as_boolean() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return std::nullopt;
    }
}

QString textOf(const toml::value &value, const QString &name)
{
    if (!value.is_string())
        fail(value, QStringLiteral("%1 must be text, not %2.").arg(name, typeName(value)));
    return qs(value.as_string().str);
}

qint64 durationOf(const toml::value &value, const QString &name)
{
    std::optional<qint64> ms;
    if (value.is_integer() || value.is_floating()) {
        const double seconds
                = value.is_integer() ? double(value.as_integer()) : value.as_floating();
        if (seconds >= 0 && seconds < 1e9)
            ms = qint64(std::llround(seconds * 1000));
    } else if (value.is_string()) {
        ms = durationMs(qs(value.as_string().str));
    }
    if (!ms)
        fail(value,
             QStringLiteral("%1 must be a duration such as 5s or 250ms, not %2.")
                     .arg(name,
                          value.is_string()
                                  ? QStringLiteral("\"%1\"").arg(qs(value.as_string().str))
                                  : scalarText(value).value_or(typeName(value))));
    return *ms;
}

double numberOf(const toml::value &value, const QString &name)
{
    if (value.is_integer())
        return double(value.as_integer());
    if (value.is_floating() && std::isfinite(value.as_floating()))
        return value.as_floating();
    fail(value, QStringLiteral("%1 must be a number, not %2.").arg(name, typeName(value)));
}

// Hours or degrees as a number, or sexagesimal text: "05:55:10", "+07:24:25", "-33 51 54".
double angleOf(const toml::value &value, const QString &name)
{
    if (!value.is_string())
        return numberOf(value, name);
    const QString text = qs(value.as_string().str).trimmed();
    static const QRegularExpression form(
            QStringLiteral("^([+-]?)(\\d+(?:\\.\\d*)?)(?:[:hd° ](\\d+(?:\\.\\d*)?))?(?:[:m' "
                           "](\\d+(?:\\.\\d*)?))?[s\"]?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        fail(value,
             QStringLiteral("%1 must be a number or sexagesimal text such as 05:55:10, "
                            "not \"%2\".")
                     .arg(name, text));
    const double whole = match.captured(2).toDouble() + match.captured(3).toDouble() / 60
            + match.captured(4).toDouble() / 3600;
    return match.captured(1) == QLatin1String("-") ? -whole : whole;
}

void refuseUnknownKeys(const toml::value &table, const QStringList &known, const QString &where)
{
    for (const auto &[key, value] : table.as_table()) {
        if (!known.contains(qs(key)))
            fail(value,
                 QStringLiteral("%1 has no key \"%2\"; it takes %3.")
                         .arg(where, qs(key), known.join(QStringLiteral(", "))));
    }
}

const toml::value *find(const toml::value &table, const char *key)
{
    const auto &entries = table.as_table();
    const auto found = entries.find(key);
    return found == entries.end() ? nullptr : &found->second;
}

const toml::value &tableAt(const toml::value &value, const QString &name)
{
    if (!value.is_table())
        fail(value, QStringLiteral("%1 must be a table, not %2.").arg(name, typeName(value)));
    return value;
}

CommandMatch commandMatchOf(const toml::value &value, const QString &name)
{
    CommandMatch match;
    if (value.is_string()) {
        match.prefix = qs(value.as_string().str).toLatin1();
    } else if (value.is_table()) {
        refuseUnknownKeys(value, {"starts", "bytes", "hex", "meaning"}, name);
        if (const toml::value *starts = find(value, "starts"))
            match.prefix = textOf(*starts, name + QStringLiteral(".starts")).toLatin1();
        if (const toml::value *bytes = find(value, "bytes"))
            match.bytes = textOf(*bytes, name + QStringLiteral(".bytes")).toLatin1();
        if (const toml::value *hex = find(value, "hex")) {
            const QString digits
                    = textOf(*hex, name + QStringLiteral(".hex")).remove(QLatin1Char(' '));
            static const QRegularExpression hexDigits(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
            if (!hexDigits.match(digits).hasMatch())
                fail(*hex,
                     QStringLiteral("%1.hex must be pairs of hexadecimal digits, such as "
                                    "\"50 02 11 24\".")
                             .arg(name));
            match.bytes = QByteArray::fromHex(digits.toLatin1());
        }
        if (const toml::value *meaning = find(value, "meaning"))
            match.meaning = textOf(*meaning, name + QStringLiteral(".meaning"));
    } else {
        fail(value,
             QStringLiteral("%1 must be the command's first bytes (\"r\") or a table such "
                            "as { meaning = \"goto\" }, not %2.")
                     .arg(name, typeName(value)));
    }
    if ((match.prefix && match.prefix->isEmpty()) || (match.bytes && match.bytes->isEmpty())
        || (!match.prefix && !match.bytes && !match.meaning))
        fail(value,
             QStringLiteral("%1 must say which commands: at least one byte or a meaning.")
                     .arg(name));
    return match;
}

void readSettings(const toml::value &table, Scenario &scenario)
{
    EmulatorSettings values;
    struct Entry
    {
        int line;
        QString key;
        QString text;
        const toml::value *at;
    };
    std::vector<Entry> entries;
    for (const auto &[key, value] : table.as_table()) {
        const QString name = qs(key);
        if (value.is_array()) {
            for (const toml::value &item : value.as_array()) {
                const std::optional<QString> text = scalarText(item);
                if (!text)
                    fail(item,
                         QStringLiteral("emulator.%1 lists %2; each must be a value.")
                                 .arg(name, typeName(item)));
                entries.push_back({lineOf(item), name, *text, &item});
            }
            continue;
        }
        const std::optional<QString> text = scalarText(value);
        if (!text)
            fail(value,
                 QStringLiteral("emulator.%1 must be a value, not %2.").arg(name, typeName(value)));
        entries.push_back({lineOf(value), name, *text, &value});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.line < b.line; });
    for (const Entry &entry : entries) {
        QString option = entry.key;
        option.replace(QLatin1Char('_'), QLatin1Char('-'));
        const Setting *setting = settingWithKey(entry.key);
        if (!setting)
            setting = settingWithOption(option);
        if (!setting || !setting->read)
            fail(*entry.at,
                 QStringLiteral("emulator has no setting \"%1\" (the settings are the "
                                "keys and options of the settings, such as profile, "
                                "slew_rate, start_time, fault).")
                         .arg(entry.key));
        if (const std::optional<SettingProblem> problem = setting->read(values, entry.text))
            fail(*entry.at, problem->describe(QStringLiteral("emulator.") + entry.key));
        scenario.settings.emplace_back(setting->hasOption() ? setting->option : setting->key,
                                       entry.text);
    }
}

QJsonValue jsonOf(const toml::value &value)
{
    switch (value.type()) {
    case toml::value_t::string:
        return qs(value.as_string().str);
    case toml::value_t::integer:
        return double(value.as_integer());
    case toml::value_t::floating:
        return value.as_floating();
    case toml::value_t::boolean:
        return value.as_boolean();
    case toml::value_t::array: {
        QJsonArray array;
        for (const toml::value &item : value.as_array())
            array.append(jsonOf(item));
        return array;
    }
    case toml::value_t::table: {
        QJsonObject object;
        for (const auto &[key, item] : value.as_table())
            object.insert(qs(key), jsonOf(item));
        return object;
    }
    default:
        return qs(toml::format(value));
    }
}

ScenarioStep stepOf(const toml::value &value, int index)
{
    const QString name = QStringLiteral("step %1").arg(index + 1);
    tableAt(value, name);
    ScenarioStep step;
    step.line = lineOf(value);
    for (const auto &[key, item] : value.as_table()) {
        const QString field = qs(key);
        if (field == QLatin1String("at"))
            step.atMountMs = durationOf(item, name + QStringLiteral(": at"));
        else if (field == QLatin1String("when"))
            step.when = commandMatchOf(item, name + QStringLiteral(": when"));
        else if (field == QLatin1String("name"))
            step.name = textOf(item, name + QStringLiteral(": name"));
        else
            step.request.insert(field, jsonOf(item));
    }
    if (step.atMountMs.has_value() == step.when.has_value())
        fail(value,
             QStringLiteral("%1 needs either at (a time on the mount's clock) or when (a "
                            "command of the client), not %2.")
                     .arg(name, step.when ? QStringLiteral("both") : QStringLiteral("neither")));
    if (!step.request.value(QStringLiteral("request")).isString())
        fail(value,
             QStringLiteral("%1 needs request, the control request it makes (set, fault, "
                            "pause, resume, step, reset, drop).")
                     .arg(name));
    return step;
}

Expectation expectationOf(const toml::value &value, int index, const Scenario &scenario)
{
    const QString name = QStringLiteral("expect %1").arg(index + 1);
    tableAt(value, name);
    refuseUnknownKeys(
            value,
            {"name", "sends", "not_sends", "within", "after", "mount_within", "reconnects_within"},
            name);
    Expectation expectation;
    expectation.line = lineOf(value);
    int kinds = 0;
    if (const toml::value *sends = find(value, "sends")) {
        ++kinds;
        expectation.kind = Expectation::Kind::Sends;
        expectation.command = commandMatchOf(*sends, name + QStringLiteral(": sends"));
        const toml::value *within = find(value, "within");
        expectation.withinMs = within ? durationOf(*within, name + QStringLiteral(": within"))
                                      : scenario.timeLimitMs;
        expectation.name = QStringLiteral("sends %1").arg(expectation.command->describe());
    }
    if (const toml::value *notSends = find(value, "not_sends")) {
        ++kinds;
        expectation.kind = Expectation::Kind::DoesNotSend;
        expectation.command = commandMatchOf(*notSends, name + QStringLiteral(": not_sends"));
        expectation.name = QStringLiteral("does not send %1").arg(expectation.command->describe());
    }
    if (const toml::value *mount = find(value, "mount_within")) {
        ++kinds;
        const QString what = name + QStringLiteral(": mount_within");
        tableAt(*mount, what);
        refuseUnknownKeys(*mount, {"ra", "dec", "degrees"}, what);
        const toml::value *ra = find(*mount, "ra");
        const toml::value *dec = find(*mount, "dec");
        const toml::value *degrees = find(*mount, "degrees");
        if (!ra || !dec || !degrees)
            fail(*mount,
                 QStringLiteral("%1 needs ra (hours), dec (degrees) and degrees (how "
                                "close).")
                         .arg(what));
        expectation.kind = Expectation::Kind::MountWithin;
        expectation.targetRaHours = angleOf(*ra, what + QStringLiteral(".ra"));
        expectation.targetDecDegrees = angleOf(*dec, what + QStringLiteral(".dec"));
        expectation.toleranceDegrees = numberOf(*degrees, what + QStringLiteral(".degrees"));
        if (expectation.targetRaHours < 0 || expectation.targetRaHours >= 24
            || std::abs(expectation.targetDecDegrees) > 90 || expectation.toleranceDegrees <= 0)
            fail(*mount,
                 QStringLiteral("%1: ra must be from 0 to 24 hours, dec from -90 to 90 "
                                "degrees and degrees more than 0.")
                         .arg(what));
        expectation.name = QStringLiteral("the mount ends within %1 degrees of RA %2 h Dec %3")
                                   .arg(expectation.toleranceDegrees)
                                   .arg(expectation.targetRaHours)
                                   .arg(expectation.targetDecDegrees);
    }
    if (const toml::value *reconnects = find(value, "reconnects_within")) {
        ++kinds;
        expectation.kind = Expectation::Kind::Reconnects;
        expectation.withinMs
                = durationOf(*reconnects, name + QStringLiteral(": reconnects_within"));
        expectation.name = QStringLiteral("the client connects again");
    }
    if (kinds != 1)
        fail(value,
             QStringLiteral("%1 needs one of sends, not_sends, mount_within or "
                            "reconnects_within%2.")
                     .arg(name, kinds ? QStringLiteral(", not several") : QString()));
    if (const toml::value *after = find(value, "after")) {
        expectation.after = textOf(*after, name + QStringLiteral(": after"));
        const bool named = std::any_of(
                scenario.steps.begin(), scenario.steps.end(),
                [&](const ScenarioStep &step) { return step.name == expectation.after; });
        if (!named)
            fail(*after,
                 QStringLiteral("%1: after names no step: \"%2\".").arg(name, expectation.after));
    }
    if (expectation.kind == Expectation::Kind::Reconnects && expectation.after.isEmpty())
        fail(value,
             QStringLiteral("%1: reconnects_within needs after, the step that drops the "
                            "client.")
                     .arg(name));
    if (const toml::value *given = find(value, "name"))
        expectation.name = textOf(*given, name + QStringLiteral(": name"));
    return expectation;
}

Scenario scenarioOf(const toml::value &root, const QString &path)
{
    Scenario scenario;
    scenario.path = path;
    refuseUnknownKeys(
            root, {"name", "port", "time_limit", "client", "emulator", "checks", "step", "expect"},
            QStringLiteral("The scenario"));
    const toml::value *name = find(root, "name");
    scenario.name = name ? textOf(*name, QStringLiteral("name")) : QString();
    if (const toml::value *port = find(root, "port"))
        scenario.port = textOf(*port, QStringLiteral("port"));
    if (const toml::value *limit = find(root, "time_limit"))
        scenario.timeLimitMs = durationOf(*limit, QStringLiteral("time_limit"));
    if (const toml::value *client = find(root, "client")) {
        if (!client->is_array() || client->as_array().empty())
            fail(*client,
                 QStringLiteral("client must be a list of the command and its "
                                "arguments, such as [\"my-client\", \"--port\", "
                                "\"{port}\"]."));
        for (const toml::value &part : client->as_array())
            scenario.client << textOf(part, QStringLiteral("client"));
    }
    if (const toml::value *emulator = find(root, "emulator"))
        readSettings(tableAt(*emulator, QStringLiteral("emulator")), scenario);
    if (const toml::value *checks = find(root, "checks")) {
        tableAt(*checks, QStringLiteral("checks"));
        refuseUnknownKeys(*checks, {"max_polls_per_second", "ignore"}, QStringLiteral("checks"));
        if (const toml::value *rate = find(*checks, "max_polls_per_second")) {
            scenario.checks.maxPollsPerSecond
                    = numberOf(*rate, QStringLiteral("checks.max_polls_per_second"));
            if (scenario.checks.maxPollsPerSecond <= 0)
                fail(*rate, QStringLiteral("checks.max_polls_per_second must be more than 0."));
        }
        if (const toml::value *ignore = find(*checks, "ignore")) {
            if (!ignore->is_array())
                fail(*ignore, QStringLiteral("checks.ignore must be a list of check names."));
            for (const toml::value &check : ignore->as_array())
                scenario.checks.ignored << textOf(check, QStringLiteral("checks.ignore"));
        }
    }
    if (const toml::value *steps = find(root, "step")) {
        if (!steps->is_array())
            fail(*steps, QStringLiteral("step must be a list of tables: [[step]]."));
        for (const toml::value &step : steps->as_array())
            scenario.steps.push_back(stepOf(step, int(scenario.steps.size())));
    }
    if (const toml::value *expectations = find(root, "expect")) {
        if (!expectations->is_array())
            fail(*expectations, QStringLiteral("expect must be a list of tables: [[expect]]."));
        for (const toml::value &expectation : expectations->as_array())
            scenario.expectations.push_back(
                    expectationOf(expectation, int(scenario.expectations.size()), scenario));
    }
    return scenario;
}

// toml11 words its syntax errors over several lines, with the text around them: what is wrong
// is on the first line, or, when that names only the parser's routine, after the caret that
// points into the text ("^--- the next token is not a boolean").
QString firstLine(const char *what)
{
    QString found;
    for (QString line : QString::fromUtf8(what).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        line.remove(QRegularExpression(QStringLiteral("^\\[error\\]\\s*")));
        line.remove(QRegularExpression(QStringLiteral("^toml::[a-z_:]+:\\s*")));
        if (line.contains(QLatin1Char('^')))
            line = line.section(QRegularExpression(QStringLiteral("\\^-*\\s*")), 1).trimmed();
        else if (line.startsWith(QLatin1String("-->")) || line.startsWith(QLatin1Char('|'))
                 || QRegularExpression(QStringLiteral("^\\d+\\s*\\|")).match(line).hasMatch())
            continue;
        if (!line.isEmpty()) {
            found = line;
            break;
        }
    }
    return found.isEmpty() ? QStringLiteral("this is not TOML.") : found;
}

// The parser descends once for each array or inline table it is in; a file nested deeper than
// any scenario needs is refused before it is parsed, so that no file can exhaust the stack.
constexpr int maxNesting = 64;

std::optional<Problem> tooDeep(const QByteArray &text)
{
    int depth = 0;
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        } else if (c == '#') {
            while (i + 1 < text.size() && text[i + 1] != '\n')
                ++i;
        } else if (c == '"' || c == '\'') {
            // Skips a string, one line or three quotes long, with its escapes.
            const bool triple = text.mid(i, 3) == QByteArray(3, c);
            const QByteArray end = triple ? QByteArray(3, c) : QByteArray(1, c);
            i += end.size();
            while (i < text.size() && text.mid(i, end.size()) != end) {
                if (text[i] == '\n') {
                    ++line;
                    if (!triple)
                        break;
                }
                i += c == '"' && text[i] == '\\' ? 2 : 1;
            }
            i += end.size() - 1;
        } else if (c == '[' || c == '{') {
            if (++depth > maxNesting)
                return Problem {line,
                                QStringLiteral("lists and tables are nested more than %1 "
                                               "deep.")
                                        .arg(maxNesting)};
        } else if (c == ']' || c == '}') {
            depth = std::max(depth - 1, 0);
        }
    }
    return std::nullopt;
}

// TOML files are UTF-8, and the parser trusts that too far: an invalid sequence inside some
// strings sends it reading past the end of the text. So the text is checked first.
std::optional<Problem> notUtf8(const QByteArray &text)
{
    int line = 1;
    for (qsizetype i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n')
            ++line;
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const int length = byte >= 0xC2 && byte <= 0xDF ? 2
                : byte >= 0xE0 && byte <= 0xEF          ? 3
                : byte >= 0xF0 && byte <= 0xF4          ? 4
                                                        : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length >= 3) {
            // Neither overlong forms nor surrogates nor beyond U+10FFFF.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !(byte == 0xE0 && second < 0xA0) && !(byte == 0xED && second > 0x9F)
                    && !(byte == 0xF0 && second < 0x90) && !(byte == 0xF4 && second > 0x8F);
        }
        if (!valid)
            return Problem {line,
                            QStringLiteral("the file is not UTF-8, as TOML files are: the "
                                           "byte 0x%1 begins no character.")
                                    .arg(byte, 2, 16, QLatin1Char('0'))};
        i += length;
    }
    return std::nullopt;
}

} // namespace

QString ScenarioError::describe() const
{
    return line > 0 ? QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text)
                    : QStringLiteral("%1: %2").arg(path, text);
}

std::optional<qint64> durationMs(const QString &text)
{
    static const QRegularExpression form(
            QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*(ms|s|m|min|h)?\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2);
    const double scale = unit == QLatin1String("ms")                     ? 1
            : unit.isEmpty() || unit == QLatin1String("s")               ? 1000
            : unit == QLatin1String("m") || unit == QLatin1String("min") ? 60'000
                                                                         : 3'600'000;
    const double ms = match.captured(1).toDouble() * scale;
    if (ms > 1e15)
        return std::nullopt;
    return qint64(std::llround(ms));
}

std::variant<Scenario, ScenarioError> readScenario(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ScenarioError {path, 0,
                              QStringLiteral("cannot read it: %1.").arg(file.errorString())};
    return readScenarioText(file.readAll(), path);
}

std::variant<Scenario, ScenarioError> readScenarioText(const QByteArray &text, const QString &path)
{
    if (const std::optional<Problem> problem = notUtf8(text))
        return ScenarioError {path, problem->line, problem->text};
    if (const std::optional<Problem> problem = tooDeep(text))
        return ScenarioError {path, problem->line, problem->text};
    try {
        std::istringstream stream(text.toStdString());
        const toml::value root = toml::parse(stream, path.toStdString());
        return scenarioOf(root, path);
    } catch (const Problem &problem) {
        return ScenarioError {path, problem.line, problem.text};
    } catch (const toml::exception &error) {
        // The parser may place an error at the end of the file, past its last line, or count
        // lines its own way; the message names a line of the file as an editor shows them.
        const int lines = int(text.count('\n')) + 1;
        const int line = std::clamp(int(error.location().line()), 1, lines);
        return ScenarioError {path, line, firstLine(error.what())};
    } catch (const std::exception &error) {
        return ScenarioError {path, 0, firstLine(error.what())};
    }
}

} // namespace tqx
