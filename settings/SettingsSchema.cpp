#include "settings/SettingsSchema.h"

#include "emulation/MountClock.h"
#include "session/PortChoice.h"
#include "session/ProgramInstance.h"
#include "session/UtcText.h"

#include <cmath>
#include <initializer_list>
#include <utility>

namespace tqx {

QString SettingProblem::describe(const QString &name) const
{
    if (sentence)
        return QStringLiteral("%1: %2").arg(name, text);
    return QStringLiteral("%1 must be %2, not \"%3\".").arg(name, text, value);
}

namespace {

// Where a setting's value lives in the settings. The schema reads through the same accessor it
// writes through, so that each setting names its field once.
template<typename T>
using Field = T &(*)(EmulatorSettings &);

template<typename T>
const T &valueAt(Field<T> field, const EmulatorSettings &values)
{
    // Only read through: the accessor is shared with the readers, which need it writable.
    return field(const_cast<EmulatorSettings &>(values));
}

SettingProblem mustBe(const QString &what, const QString &value) { return {what, value, false}; }

// The hand control's own sentence, which says what the bounds are, completed with the value.
SettingProblem refusedBy(const std::string &error, const QString &value)
{
    QString text = QString::fromStdString(error);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return {QStringLiteral("%1, not \"%2\".").arg(text, value), value, true};
}

QString numberText(double value) { return QString::number(value, 'g', 10); }

using Help = std::function<QString(const EmulatorSettings &)>;

Help fixedHelp(const char *text)
{
    return [text](const EmulatorSettings &) { return QString::fromUtf8(text); };
}

Setting flag(QString key, QString option, Field<bool> field, Help help,
             QString flagText = QStringLiteral("1"))
{
    Setting setting;
    setting.key = std::move(key);
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Flag;
    setting.flagText = std::move(flagText);
    setting.help = std::move(help);
    setting.read = [field](EmulatorSettings &values,
                           const QString &text) -> std::optional<SettingProblem> {
        const QString trimmed = text.trimmed();
        if (trimmed != QLatin1String("1") && trimmed != QLatin1String("0"))
            return mustBe(QStringLiteral("1 or 0"), text);
        field(values) = trimmed == QLatin1String("1");
        return std::nullopt;
    };
    setting.write = [field](const EmulatorSettings &values) {
        return QString::number(valueAt(field, values) ? 1 : 0);
    };
    return setting;
}

template<typename Value>
struct Word
{
    const char *text;
    Value value;
};

template<typename Value>
Setting words(QString key, QString option, Field<Value> field,
              std::initializer_list<Word<Value>> choices, Help help)
{
    Setting setting;
    setting.key = std::move(key);
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Words;
    for (const Word<Value> &choice : choices)
        setting.words.append(QLatin1String(choice.text));
    setting.valueName = setting.words.join(QLatin1Char('|'));
    setting.help = std::move(help);
    const std::vector<Word<Value>> table(choices);
    setting.read = [field, table,
                    names = setting.words](EmulatorSettings &values,
                                           const QString &text) -> std::optional<SettingProblem> {
        const QString word = text.trimmed().toLower();
        for (const Word<Value> &choice : table) {
            if (word == QLatin1String(choice.text)) {
                field(values) = choice.value;
                return std::nullopt;
            }
        }
        QStringList listed = names;
        const QString last = listed.takeLast();
        return mustBe(QStringLiteral("%1 or %2").arg(listed.join(QStringLiteral(", ")), last),
                      word);
    };
    setting.write = [field, table](const EmulatorSettings &values) {
        for (const Word<Value> &choice : table) {
            if (valueAt(field, values) == choice.value)
                return QString::fromLatin1(choice.text);
        }
        return QString::fromLatin1(table.front().text);
    };
    return setting;
}

// A whole number; `what` says what it must be when it is not one within the bounds.
Setting integer(QString key, QString option, QString valueName, Field<int> field,
                SettingBounds bounds, QString what, Help help)
{
    Setting setting;
    setting.key = std::move(key);
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Integer;
    setting.valueName = std::move(valueName);
    setting.bounds = bounds;
    setting.help = std::move(help);
    setting.read = [field, bounds, what](EmulatorSettings &values,
                                         const QString &text) -> std::optional<SettingProblem> {
        bool ok = false;
        const qlonglong number = text.trimmed().toLongLong(&ok);
        if (!ok || !bounds.contain(double(number)))
            return mustBe(what, text);
        field(values) = int(number);
        return std::nullopt;
    };
    setting.write = [field](const EmulatorSettings &values) {
        return QString::number(valueAt(field, values));
    };
    return setting;
}

Setting number(QString key, QString option, QString valueName, Field<double> field,
               SettingBounds bounds, QString what, Help help)
{
    Setting setting;
    setting.key = std::move(key);
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Number;
    setting.valueName = std::move(valueName);
    setting.bounds = bounds;
    setting.help = std::move(help);
    setting.read = [field, bounds, what](EmulatorSettings &values,
                                         const QString &text) -> std::optional<SettingProblem> {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        if (!ok || !bounds.contain(value))
            return mustBe(what, text);
        field(values) = value;
        return std::nullopt;
    };
    setting.write = [field](const EmulatorSettings &values) {
        return numberText(valueAt(field, values));
    };
    return setting;
}

// One of the hand control's numbers: the hand control judges it (HandControlSettings::mountError)
// and says what its bounds are; `what` is said of text that is no number at all.
Setting mountNumber(QString key, QString option, QString valueName,
                    double HandControlSettings::*field, SettingBounds bounds, QString what,
                    Help help)
{
    Setting setting;
    setting.key = std::move(key);
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Number;
    setting.valueName = std::move(valueName);
    setting.bounds = bounds;
    setting.help = std::move(help);
    setting.read = [field, what](EmulatorSettings &values,
                                 const QString &text) -> std::optional<SettingProblem> {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        if (!ok)
            return mustBe(what, text);
        HandControlSettings candidate = values.mount.handControl;
        candidate.*field = value;
        if (const std::string error = candidate.mountError(); !error.empty())
            return refusedBy(error, text);
        values.mount.handControl = candidate;
        return std::nullopt;
    };
    setting.write = [field](const EmulatorSettings &values) {
        return numberText(values.mount.handControl.*field);
    };
    return setting;
}

// Text taken as it is (or trimmed); `error` refuses some, with a sentence.
Setting text(QString key, Field<QString> field, bool trimmed,
             std::string (*error)(std::string_view) = nullptr)
{
    Setting setting;
    setting.key = std::move(key);
    setting.kind = Setting::Kind::Text;
    setting.read = [field, trimmed, error](EmulatorSettings &values,
                                           const QString &given) -> std::optional<SettingProblem> {
        const QString taken = trimmed ? given.trimmed() : given;
        if (error) {
            if (const std::string sentence = error(taken.toStdString()); !sentence.empty())
                return SettingProblem {QString::fromStdString(sentence), given, true};
        }
        field(values) = taken;
        return std::nullopt;
    };
    setting.write = [field](const EmulatorSettings &values) { return valueAt(field, values); };
    return setting;
}

// An option the command line reads itself.
Setting programOption(QString option, QString valueName, Help help)
{
    Setting setting;
    setting.option = std::move(option);
    setting.kind = Setting::Kind::Program;
    setting.valueName = std::move(valueName);
    setting.help = std::move(help);
    return setting;
}

HandControlSettings &handControl(EmulatorSettings &values) { return values.mount.handControl; }

// Positions far beyond any desktop are not a window position but a damaged value.
constexpr double largestPosition = 1.0e7;

Setting windowPosition(QString key, Field<double> field)
{
    Setting setting = number(std::move(key), {}, {}, field, {-largestPosition, largestPosition},
                             QStringLiteral("a position in twips"), {});
    setting.write = [field](const EmulatorSettings &values) {
        return QString::number(static_cast<long long>(std::lround(valueAt(field, values))));
    };
    return setting;
}

// The mount model byte; the store keeps -1 for the equatorial model of the version format.
Setting modelSetting()
{
    Setting setting;
    setting.key = QStringLiteral("model");
    setting.option = QStringLiteral("model");
    setting.kind = Setting::Kind::Integer;
    setting.valueName = QStringLiteral("N");
    setting.bounds = SettingBounds {-1, 255};
    setting.help = fixedHelp("Full profile: the mount model byte m answers (default: an "
                             "equatorial mount for the version format).");
    setting.read
            = [](EmulatorSettings &values, const QString &text) -> std::optional<SettingProblem> {
        bool ok = false;
        const int model = text.trimmed().toInt(&ok, 0);
        if (!ok || model < -1 || model > 255)
            return mustBe(QStringLiteral("a number from 0 to 255"), text);
        if (model < 0)
            handControl(values).model.reset();
        else
            handControl(values).model = static_cast<std::uint8_t>(model);
        return std::nullopt;
    };
    setting.write = [](const EmulatorSettings &values) {
        const std::optional<std::uint8_t> &model = values.mount.handControl.model;
        return model ? QString::number(*model) : QStringLiteral("-1");
    };
    return setting;
}

// The command line's one version option sets the version of the profile it chooses.
Setting versionReplySetting()
{
    Setting setting = programOption(
            QStringLiteral("version-reply"), QStringLiteral("TEXT"),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("The reply to the V command (basic profile, default "
                                      "\"%1\"), or the firmware version (full profile, default "
                                      "\"%2\").")
                        .arg(defaults.hcVersion, defaults.fullVersion);
            });
    setting.kind = Setting::Kind::Text;
    setting.readLast = true;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        if (values.profile == Profile::Basic) {
            values.hcVersion = given;
            return std::nullopt;
        }
        const QString version = given.trimmed();
        if (const std::string error = HandControlSettings::versionError(version.toStdString());
            !error.empty())
            return SettingProblem {QString::fromStdString(error), given, true};
        values.fullVersion = version;
        return std::nullopt;
    };
    return setting;
}

// The site is one option and two keys.
Setting siteSetting()
{
    Setting setting = programOption(
            QStringLiteral("site"), QStringLiteral("LAT,LON"), [](const EmulatorSettings &) {
                return QStringLiteral("Full profile: the site the hand control starts with, in "
                                      "degrees, north and east positive (default 0,0).");
            });
    setting.kind = Setting::Kind::Text;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        const QStringList parts = given.split(QLatin1Char(','));
        bool latitudeOk = false, longitudeOk = false;
        HandControlSettings candidate = values.mount.handControl;
        if (parts.size() == 2) {
            candidate.siteLatitude = parts[0].trimmed().toDouble(&latitudeOk);
            candidate.siteLongitude = parts[1].trimmed().toDouble(&longitudeOk);
        }
        if (!latitudeOk || !longitudeOk)
            return mustBe(QStringLiteral("LATITUDE,LONGITUDE in degrees (north and east "
                                         "positive), such as 48.8567,2.3522"),
                          given);
        if (const std::string error = candidate.mountError(); !error.empty())
            return refusedBy(error, given);
        values.mount.handControl = candidate;
        return std::nullopt;
    };
    return setting;
}

// A fault rule; each --fault adds one.
Setting faultSetting()
{
    Setting setting = programOption(
            QStringLiteral("fault"), QStringLiteral("RULE"), [](const EmulatorSettings &) {
                return QStringLiteral("Make the replies misbehave on purpose, to test a client's "
                                      "error handling: EFFECT[@CONDITION,...], the effects %1; "
                                      "the conditions cmd=LETTER, bus=DEVICE:ID, nth=N, every=N, "
                                      "count=N, p=PROBABILITY, after=TIME (none: every command). "
                                      "Times in ms, or with s. Repeatable.")
                        .arg(faultSyntaxSummary());
            });
    setting.kind = Setting::Kind::Text;
    setting.repeatable = true;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        QString error;
        const std::optional<FaultRule> rule = FaultRule::parse(given, &error);
        if (!rule)
            return SettingProblem {error + QLatin1Char('.'), given, true};
        values.faults.push_back(*rule);
        return std::nullopt;
    };
    return setting;
}

Setting seedSetting()
{
    Setting setting = programOption(
            QStringLiteral("seed"), QStringLiteral("N"), [](const EmulatorSettings &) {
                return QStringLiteral("The seed of the faults' random choices, so that a run can "
                                      "be repeated with the same faults (default: one drawn at "
                                      "start and printed).");
            });
    setting.kind = Setting::Kind::Integer;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        bool ok = false;
        const std::uint64_t seed = given.trimmed().toULongLong(&ok, 0);
        if (!ok)
            return mustBe(QStringLiteral("a whole number from 0 to 18446744073709551615"), given);
        values.faultSeed = seed;
        return std::nullopt;
    };
    return setting;
}

Setting startTimeSetting()
{
    Setting setting = programOption(
            QStringLiteral("start-time"), QStringLiteral("ISO-8601"), [](const EmulatorSettings &) {
                return QStringLiteral("The mount's date and time at start, such as "
                                      "2024-11-12T21:45:30Z (UTC unless an offset is given; "
                                      "default: the computer's time).");
            });
    setting.kind = Setting::Kind::Text;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        const std::optional<qint64> utcMs = UtcText::parse(given);
        if (!utcMs)
            return mustBe(UtcText::expected(), given);
        values.startUtcMs = utcMs;
        return std::nullopt;
    };
    return setting;
}

// The port of a headless run: from the command line, or the "port" key of a service's settings
// file. The window keeps its port under its own keys, so it does not save this one.
Setting portSetting()
{
    Setting setting = programOption(
            QStringLiteral("port"), QStringLiteral("PORT"), [](const EmulatorSettings &) {
                return QStringLiteral("The port to answer on: \"Com 1\" to \"Com 8\", a system "
                                      "port name such as /dev/ttyUSB0 or COM12, \"virtual\" for a "
                                      "new pseudo-terminal, tcp:[ADDRESS:]PORT for a network "
                                      "listener (%1 unless ADDRESS is given; tcp:0 picks a free "
                                      "port), or \"%2\" for the listening socket the service "
                                      "manager passes (socket activation), which a network port "
                                      "also takes when one is passed. A settings file may give it "
                                      "as its \"port\" key.")
                        .arg(PortChoice::defaultTcpAddress().toString(),
                             EmulatorSettings::serviceManagerPort());
            });
    setting.key = QStringLiteral("port");
    setting.kind = Setting::Kind::Text;
    setting.read
            = [](EmulatorSettings &values, const QString &given) -> std::optional<SettingProblem> {
        const QString text = given.trimmed();
        if (text.compare(EmulatorSettings::serviceManagerPort(), Qt::CaseInsensitive) == 0) {
            values.headlessPort = EmulatorSettings::serviceManagerPort();
            return std::nullopt;
        }
        QString error;
        if (!PortChoice::parse(text, &error))
            return SettingProblem {QStringLiteral("%1: %2").arg(text, error), given, true};
        values.headlessPort = text;
        return std::nullopt;
    };
    return setting;
}

Setting timeRateSetting()
{
    Setting setting = number(
            {}, QStringLiteral("time-rate"), QStringLiteral("X"),
            [](EmulatorSettings &values) -> double & { return values.timeRate; },
            {0, MountClock::maxRate},
            QStringLiteral("a rate from 0 (paused) to %1").arg(MountClock::maxRate),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("How fast the mount's clock runs: 1 real time (default "
                                      "%1), 10 ten times faster, 0 paused, up to %2. Slews, "
                                      "tracking, sidereal time and the hand control's clock follow "
                                      "it; the line's own timing does not.")
                        .arg(defaults.timeRate)
                        .arg(MountClock::maxRate);
            });
    setting.write = {}; // an option only: the window keeps no mount clock of its own
    return setting;
}

std::vector<Setting> declareSchema()
{
    using Bounds = HandControlSettings;
    std::vector<Setting> schema;
    schema.push_back(
            programOption(QStringLiteral("headless"), {}, fixedHelp("Run without a window.")));
    schema.push_back(portSetting());
    schema.push_back(programOption(
            QStringLiteral("start"), {},
            fixedHelp("Open the window already running: on --port PORT, or else on the port it "
                      "selected last (a headless run always starts).")));
    schema.push_back(versionReplySetting());
    schema.push_back(words<Profile>(
            QStringLiteral("profile"), QStringLiteral("profile"),
            [](EmulatorSettings &values) -> Profile & { return values.profile; },
            {{"basic", Profile::Basic}, {"full", Profile::Full}},
            fixedHelp("basic: the sixteen-command table (default); full: every command of current "
                      "hand-control firmware.")));
    schema.push_back(words<VersionFormat>(
            QStringLiteral("version_format"), QStringLiteral("version-format"),
            [](EmulatorSettings &values) -> VersionFormat & {
                return handControl(values).versionFormat;
            },
            {{"binary", VersionFormat::Binary}, {"hex", VersionFormat::Hex}},
            fixedHelp("Full profile: how V sends the version: binary bytes (default) or six hex "
                      "digits.")));
    schema.push_back(modelSetting());
    schema.push_back(flag(
            QStringLiteral("aligned"), QStringLiteral("unaligned"),
            [](EmulatorSettings &values) -> bool & { return handControl(values).aligned; },
            fixedHelp("Full profile: the mount is not aligned (J answers 0)."),
            QStringLiteral("0")));
    schema.push_back(flag(
            QStringLiteral("gps_present"), QStringLiteral("gps"),
            [](EmulatorSettings &values) -> bool & { return handControl(values).gpsPresent; },
            fixedHelp("Full profile: a GPS accessory answers on the bus.")));
    schema.push_back(flag(
            QStringLiteral("clock_present"), QStringLiteral("clock"),
            [](EmulatorSettings &values) -> bool & { return handControl(values).clockPresent; },
            fixedHelp("Full profile: a real-time clock answers on the bus.")));
    schema.push_back(siteSetting());
    schema.push_back(mountNumber(QStringLiteral("site_latitude"), {}, {},
                                 &HandControlSettings::siteLatitude, {-90, 90},
                                 QStringLiteral("degrees"), {}));
    schema.push_back(mountNumber(QStringLiteral("site_longitude"), {}, {},
                                 &HandControlSettings::siteLongitude, {-180, 180},
                                 QStringLiteral("degrees"), {}));
    schema.push_back(mountNumber(
            QStringLiteral("slew_rate"), QStringLiteral("slew-rate"), QStringLiteral("DEG"),
            &HandControlSettings::slewRate, {Bounds::minSlewRate, Bounds::maxSlewRate},
            QStringLiteral("degrees per second"), [](const EmulatorSettings &defaults) {
                return QStringLiteral("Full profile: how fast a goto moves each axis, in degrees "
                                      "per second, from %1 to %2 (default %3).")
                        .arg(Bounds::minSlewRate)
                        .arg(Bounds::maxSlewRate)
                        .arg(defaults.mount.handControl.slewRate);
            }));
    schema.push_back(mountNumber(
            QStringLiteral("periodic_error"), QStringLiteral("periodic-error"),
            QStringLiteral("ARCSEC"), &HandControlSettings::periodicError,
            {0, Bounds::maxPeriodicError}, QStringLiteral("seconds of arc"),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("Full profile: the drive's own periodic error on the right "
                                      "ascension (or azimuth) axis, the amplitude in seconds of "
                                      "arc from 0 to %1 (default %2: none).")
                        .arg(Bounds::maxPeriodicError)
                        .arg(defaults.mount.handControl.periodicError);
            }));
    schema.push_back(mountNumber(
            QStringLiteral("worm_period"), QStringLiteral("worm-period"), QStringLiteral("SECONDS"),
            &HandControlSettings::wormPeriod, {Bounds::minWormPeriod, Bounds::maxWormPeriod},
            QStringLiteral("seconds"), [](const EmulatorSettings &defaults) {
                return QStringLiteral("Full profile: how long one turn of the worm takes while "
                                      "the mount tracks, in seconds from %1 to %2 (default %3).")
                        .arg(Bounds::minWormPeriod)
                        .arg(Bounds::maxWormPeriod)
                        .arg(defaults.mount.handControl.wormPeriod);
            }));
    schema.push_back(mountNumber(
            QStringLiteral("switch_position"), QStringLiteral("switch-position"),
            QStringLiteral("DEGREES"), &HandControlSettings::switchPosition, {0, 360, false},
            QStringLiteral("degrees"), [](const EmulatorSettings &defaults) {
                return QStringLiteral("Full profile: where the index switches are, in degrees of "
                                      "motor position from 0 to less than 360 (default %1).")
                        .arg(defaults.mount.handControl.switchPosition);
            }));
    schema.push_back(words<CoordinateEpoch>(
            QStringLiteral("coordinates"), QStringLiteral("coordinates"),
            [](EmulatorSettings &values) -> CoordinateEpoch & { return handControl(values).epoch; },
            {{"auto", CoordinateEpoch::Automatic},
             {"date", CoordinateEpoch::OfDate},
             {"j2000", CoordinateEpoch::J2000}},
            fixedHelp("Full profile: right ascension and declination of the date or J2000; auto "
                      "(default) takes the date for the binary version format and J2000 for "
                      "hex.")));
    schema.push_back(integer(
            QStringLiteral("auto_reset_ms"), QStringLiteral("reset-after"), QStringLiteral("MS"),
            [](EmulatorSettings &values) -> int & { return values.mount.autoResetMs; }, {0, 600000},
            QStringLiteral("milliseconds (0 for never)"),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("Reset a command buffer that has stayed blocked for MS "
                                      "milliseconds, and log it (default %1; 0 never).")
                        .arg(defaults.mount.autoResetMs);
            }));
    constexpr double maxTakeoverSeconds = double(TcpTransport::maxTakeoverAfterMs / 1000);
    schema.push_back(number(
            QStringLiteral("tcp_takeover_after_s"), QStringLiteral("takeover-after"),
            QStringLiteral("SECONDS"),
            [](EmulatorSettings &values) -> double & { return values.tcpTakeoverSeconds; },
            {0, maxTakeoverSeconds},
            QStringLiteral("seconds from 0 (never) to %1").arg(maxTakeoverSeconds),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("Network listener: a new client takes over from one that "
                                      "has sent and read nothing for SECONDS (default %1; 0 "
                                      "never: a second client is always refused).")
                        .arg(defaults.tcpTakeoverSeconds);
            }));
    schema.push_back(words<LineTiming>(
            QStringLiteral("line_timing"), QStringLiteral("line-timing"),
            [](EmulatorSettings &values) -> LineTiming & { return values.lineTiming; },
            {{"fast", LineTiming::Fast}, {"real", LineTiming::Real}},
            [](const EmulatorSettings &) {
                return QStringLiteral("fast: every reply goes out at once (default); real: at the "
                                      "line's %1 bit/s, one byte after another, so that a client's "
                                      "partial reads and read timeouts are exercised.")
                        .arg(SerialLine::baudRate);
            }));
    schema.push_back(integer(
            QStringLiteral("bus_delay_ms"), QStringLiteral("bus-delay"), QStringLiteral("MS"),
            [](EmulatorSettings &values) -> int & { return values.busDelayMs; },
            {0, BusDelay::maxMs}, QStringLiteral("milliseconds from 0 to %1").arg(BusDelay::maxMs),
            [](const EmulatorSettings &defaults) {
                return QStringLiteral("With --line-timing real: how long the hand control takes "
                                      "over a pass-through or motor query (a P command) on its "
                                      "bus before it answers, in milliseconds from 0 to %1 "
                                      "(default %2).")
                        .arg(BusDelay::maxMs)
                        .arg(defaults.busDelayMs);
            }));
    schema.push_back(programOption(QStringLiteral("log"), QStringLiteral("FILE"),
                                   fixedHelp("Also write the lines to FILE (replacing it).")));
    schema.push_back(programOption(QStringLiteral("decode"), {},
                                   fixedHelp("Add a fourth column to each exchange line: what the "
                                             "command and the reply mean, in plain words.")));
    schema.push_back(programOption(
            QStringLiteral("log-format"), QStringLiteral("text|jsonl"),
            fixedHelp("text: the tab-separated lines (default); jsonl: one JSON object a line, on "
                      "standard output and in the log, for programs that read them: each "
                      "exchange with its time, command and reply (as text and hex) and with "
                      "--decode its meaning, each event with its kind and text.")));
    schema.push_back(programOption(
            QStringLiteral("ready-file"), QStringLiteral("FILE"),
            fixedHelp("Once the port is open, write FILE (whole, under a temporary name first): "
                      "a JSON object with the process id, the port as given and where clients "
                      "connect. It is removed when the program ends.")));
    schema.push_back(programOption(
            QStringLiteral("instance"), QStringLiteral("NAME"), [](const EmulatorSettings &) {
                return QStringLiteral("Run as the instance NAME (letters, digits, \"-\", \"_\" "
                                      "and \".\", at most %1): its virtual port's link and the "
                                      "other files in the runtime folder carry the name, so that "
                                      "several instances run side by side.")
                        .arg(ProgramInstance::maxNameLength);
            }));
    schema.push_back(faultSetting());
    schema.push_back(seedSetting());
    schema.push_back(programOption(
            QStringLiteral("scenario"), QStringLiteral("FILE"),
            fixedHelp("Run the scenario FILE (TOML) against a client: give the client's command "
                      "after --, with {port} where it takes the port. Exit code 0 when every "
                      "expectation held and the client checks found nothing, 1 otherwise, 2 for "
                      "a scenario file that cannot be run.")));
    schema.push_back(programOption(
            QStringLiteral("check-client"), {},
            fixedHelp("Only check how the client behaves on the line (on --port, virtual by "
                      "default) until it ends, or until SIGINT or SIGTERM without a client "
                      "command after --; exit code 1 when the checks found something.")));
    schema.push_back(programOption(QStringLiteral("junit"), QStringLiteral("FILE"),
                                   fixedHelp("With --scenario or --check-client: write the "
                                             "results to FILE as JUnit XML.")));
    schema.push_back(programOption(QStringLiteral("report-json"), QStringLiteral("FILE"),
                                   fixedHelp("With --scenario or --check-client: write the "
                                             "results to FILE as JSON.")));
    schema.push_back(startTimeSetting());
    schema.push_back(timeRateSetting());
    schema.push_back(programOption(
            QStringLiteral("control"), QStringLiteral("ADDRESS"), [](const EmulatorSettings &) {
                return QStringLiteral("Where the control channel listens for JSON-line requests "
                                      "(state, set, pause, step, fault, reset, subscribe...): a "
                                      "Unix socket's PATH, tcp:PORT on the loopback interface, "
                                      "or off (default: tqx-orbivo-emulator.control, with the "
                                      "instance name, in the runtime folder).");
            }));
    schema.push_back(programOption(
            QStringLiteral("config"), QStringLiteral("FILE"),
            fixedHelp("Read the settings from FILE first, in the form the window saves them in "
                      "(a [Defaults] section of key=value lines); options given here win.")));
    schema.push_back(programOption(
            QStringLiteral("record-scenario"), QStringLiteral("LOG"),
            fixedHelp("Write a scenario from LOG (a headless log, text or jsonl, or a log the "
                      "window saved) whose expectations are what the client did, and end: a good "
                      "run of a client becomes a regression test for --scenario.")));
    schema.push_back(programOption(QStringLiteral("output"), QStringLiteral("FILE"),
                                   fixedHelp("With --record-scenario: write the scenario to FILE "
                                             "(default: standard output).")));

    // The window's own, which the command line has no options for.
    schema.push_back(text(
            QStringLiteral("hc_version"),
            [](EmulatorSettings &values) -> QString & { return values.hcVersion; }, false));
    schema.push_back(text(
            QStringLiteral("full_version"),
            [](EmulatorSettings &values) -> QString & { return values.fullVersion; }, true,
            &HandControlSettings::versionError));
    schema.push_back(integer(QStringLiteral("com_port"), {}, {},
                             [](EmulatorSettings &values) -> int & { return values.comPort; },
                             {-1, 7}, QStringLiteral("a port from -1 (none) to 7"), {}));
    schema.push_back(text(
            QStringLiteral("port_name"),
            [](EmulatorSettings &values) -> QString & { return values.portName; }, false));
    schema.push_back(text(
            QStringLiteral("typed_port"),
            [](EmulatorSettings &values) -> QString & { return values.typedPort; }, true));
    schema.push_back(text(
            QStringLiteral("tcp_address"),
            [](EmulatorSettings &values) -> QString & { return values.tcpAddress; }, true));
    schema.push_back(integer(QStringLiteral("tcp_port"), {}, {},
                             [](EmulatorSettings &values) -> int & { return values.tcpPort; },
                             {1, 65535}, QStringLiteral("a port number from 1 to 65535"), {}));
    schema.push_back(
            windowPosition(QStringLiteral("left_position"),
                           [](EmulatorSettings &values) -> double & { return values.leftTwips; }));
    schema.push_back(
            windowPosition(QStringLiteral("top_position"),
                           [](EmulatorSettings &values) -> double & { return values.topTwips; }));
    return schema;
}

} // namespace

const std::vector<Setting> &settingsSchema()
{
    static const std::vector<Setting> schema = declareSchema();
    return schema;
}

const Setting *settingWithKey(const QString &key)
{
    for (const Setting &setting : settingsSchema()) {
        if (setting.isStored() && setting.key == key)
            return &setting;
    }
    return nullptr;
}

const Setting *settingWithOption(const QString &option)
{
    for (const Setting &setting : settingsSchema()) {
        if (setting.hasOption() && setting.option == option)
            return &setting;
    }
    return nullptr;
}

} // namespace tqx
