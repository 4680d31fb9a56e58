#include "control/ControlHandler.h"

#include "control/Logging.h"
#include "emulation/Angles.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/HandControl.h"
#include "emulation/MountClock.h"
#include "emulation/MountReport.h"
#include "emulation/SiteLocation.h"
#include "session/EmulatorSession.h"
#include "session/FaultStage.h"
#include "settings/SettingsSchema.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>

#include <cmath>
#include <random>

namespace tqx {

namespace {

// Why a request is refused; empty while all is well.
using Problem = std::optional<QString>;

QString quoted(const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString listText(const QStringList &words) { return words.join(QStringLiteral(", ")); }

// The fields a request may have beyond its name and id.
Problem unknownFields(const QJsonObject &request, const QStringList &known)
{
    for (auto it = request.begin(); it != request.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("request") || key == QLatin1String("id") || known.contains(key))
            continue;
        if (known.isEmpty())
            return QStringLiteral("unknown field %1: this request takes none").arg(quoted(key));
        return QStringLiteral("unknown field %1: this request takes %2")
                .arg(quoted(key), listText(known));
    }
    return std::nullopt;
}

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a true/false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("missing");
}

// A number field within bounds, or why not.
Problem readNumber(const QJsonObject &object, const QString &key, const QString &name,
                   double lowest, double highest, bool highestIncluded, double &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return QStringLiteral("%1 is missing").arg(name);
    if (!value.isDouble())
        return QStringLiteral("%1 must be a number, not %2").arg(name, typeName(value));
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < lowest
        || (highestIncluded ? number > highest : number >= highest))
        return QStringLiteral("%1 must be from %2 to %3%4, not %5")
                .arg(name)
                .arg(lowest)
                .arg(highestIncluded ? QString() : QStringLiteral(" (not included)"))
                .arg(highest)
                .arg(number);
    out = number;
    return std::nullopt;
}

// A setting's value in JSON as the schema reads it: text as it is, numbers and flags as the
// settings file writes them.
std::optional<QString> settingText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 17);
    default:
        return std::nullopt;
    }
}

double hoursOf(double radians)
{
    double turns = std::fmod(radians / fullTurn, 1.0);
    if (turns < 0)
        turns += 1;
    return turns * 24;
}

double degreesOf(double radians) { return radians / radiansPerDegree; }

double azimuthDegreesOf(double radians)
{
    const double degrees = std::fmod(degreesOf(radians), 360.0);
    return degrees < 0 ? degrees + 360 : degrees;
}

QJsonObject raDec(SkyAngles angles)
{
    return {{QStringLiteral("ra_hours"), hoursOf(angles.first)},
            {QStringLiteral("dec_degrees"), degreesOf(angles.second)}};
}

QJsonObject azAlt(SkyAngles angles)
{
    return {{QStringLiteral("az_degrees"), azimuthDegreesOf(angles.first)},
            {QStringLiteral("alt_degrees"), degreesOf(angles.second)}};
}

QString utcText(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString rowText(const MountReport &report, const char *label)
{
    for (const MountReport::Row &row : report.rows) {
        if (row.label == label)
            return QString::fromStdString(row.text);
    }
    return {};
}

// Each motor turning at a set rate, by the name of its axis, in degrees a second toward larger
// motor positions (see the motor axes in the README).
QJsonObject motorRates(const MountPosition &mount)
{
    const bool equatorial = mount.configuration().equatorial;
    const std::pair<MountPosition::Axis, QString> axes[]
            = {{MountPosition::Axis::Azimuth,
                equatorial ? QStringLiteral("ra") : QStringLiteral("azimuth")},
               {MountPosition::Axis::Altitude,
                equatorial ? QStringLiteral("dec") : QStringLiteral("altitude")}};
    QJsonObject rates;
    for (const auto &[axis, name] : axes) {
        if (const std::optional<double> rate = mount.axisRate(axis))
            rates.insert(name,
                         QJsonObject {{QStringLiteral("degrees_per_second"), degreesOf(*rate)}});
    }
    return rates;
}

QJsonObject motionOf(const MountPosition &mount, const MountClock &clock, qint64 utcMs)
{
    const std::optional<MountPosition::GotoProgress> progress = mount.gotoProgress(2);
    if (!progress) {
        if (mount.isSlewing())
            return {{QStringLiteral("state"), QStringLiteral("moving")},
                    {QStringLiteral("description"), QStringLiteral("moving at a set rate")},
                    {QStringLiteral("rates"), motorRates(mount)}};
        return {{QStringLiteral("state"), QStringLiteral("at rest")},
                {QStringLiteral("tracking"), mount.isTracking()}};
    }
    QJsonObject target;
    QString frame;
    switch (progress->frame) {
    case SkyFrame::Sky:
        frame = QStringLiteral("ra/dec");
        target = raDec(progress->target);
        target.insert(QStringLiteral("j2000"),
                      raDec(mount.geometry().j2000FromDate(progress->target, utcMs)));
        break;
    case SkyFrame::Horizon:
        frame = QStringLiteral("az/alt");
        target = azAlt(progress->target);
        break;
    case SkyFrame::Equatorial:
        // The axis's first angle is minus the hour angle.
        frame = QStringLiteral("axes");
        target = {{QStringLiteral("hour_angle_hours"), hoursOf(-progress->target.first)},
                  {QStringLiteral("dec_degrees"), degreesOf(progress->target.second)}};
        break;
    }
    const double mountSeconds = double(progress->remainingMs) / 1000;
    QJsonObject motion {{QStringLiteral("state"), QStringLiteral("slewing")},
                        {QStringLiteral("frame"), frame},
                        {QStringLiteral("target"), target},
                        {QStringLiteral("remaining_degrees"), degreesOf(progress->remaining)},
                        {QStringLiteral("mount_seconds_to_go"), mountSeconds}};
    // In the computer's time: never, while the clock stands still.
    motion.insert(QStringLiteral("seconds_to_go"),
                  clock.isPaused() ? QJsonValue() : QJsonValue(mountSeconds / clock.rate()));
    return motion;
}

} // namespace

ControlHandler::ControlHandler(EmulatorSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    connect(&session, &EmulatorSession::unanswered, this, [this] { ++m_unanswered; });
    connect(&session, &EmulatorSession::clientConnected, this, [this](const QString &client) {
        m_clientConnected = true;
        m_client = client;
    });
    connect(&session, &EmulatorSession::clientLeft, this, [this] {
        m_clientConnected = false;
        m_client.clear();
    });
}

const QStringList &ControlHandler::eventKinds()
{
    static const QStringList kinds {QStringLiteral("exchange"), QStringLiteral("unanswered"),
                                    QStringLiteral("fault"), QStringLiteral("client"),
                                    QStringLiteral("slew")};
    return kinds;
}

const QStringList &ControlHandler::settingKeys()
{
    static const QStringList keys {
            QStringLiteral("profile"),       QStringLiteral("hc_version"),
            QStringLiteral("full_version"),  QStringLiteral("version_format"),
            QStringLiteral("model"),         QStringLiteral("aligned"),
            QStringLiteral("gps_present"),   QStringLiteral("clock_present"),
            QStringLiteral("site_latitude"), QStringLiteral("site_longitude"),
            QStringLiteral("slew_rate"),     QStringLiteral("periodic_error"),
            QStringLiteral("worm_period"),   QStringLiteral("switch_position"),
            QStringLiteral("coordinates"),   QStringLiteral("auto_reset_ms"),
            QStringLiteral("line_timing"),   QStringLiteral("bus_delay_ms"),
    };
    return keys;
}

QJsonObject ControlHandler::error(const QString &text, const QJsonValue &id)
{
    QJsonObject response {{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
    if (!id.isUndefined())
        response.insert(QStringLiteral("id"), id);
    return response;
}

QByteArray ControlHandler::toLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray ControlHandler::handleLine(QByteArrayView line, ControlSubscription &subscription)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return toLine(error(QStringLiteral("not JSON: %1 at byte %2")
                                    .arg(parseError.errorString())
                                    .arg(parseError.offset + 1)));
    if (!document.isObject())
        return toLine(error(QStringLiteral("a request must be a JSON object, such as "
                                           "{\"request\": \"state\"}")));
    return toLine(handle(document.object(), subscription));
}

QJsonObject ControlHandler::handle(const QJsonObject &request, ControlSubscription &subscription)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    const QJsonValue name = request.value(QStringLiteral("request"));
    if (!name.isString())
        return error(name.isUndefined() ? QStringLiteral("the field \"request\" is missing")
                                        : QStringLiteral("\"request\" must be a string, not %1")
                                                  .arg(typeName(name)),
                     id);
    const QString what = name.toString();
    QJsonObject response;
    const auto takesNothing = [&]() -> Problem { return unknownFields(request, {}); };
    if (what == QLatin1String("state")) {
        if (const Problem problem = takesNothing())
            return error(*problem, id);
        response = state();
    } else if (what == QLatin1String("set")) {
        response = set(request);
    } else if (what == QLatin1String("pause") || what == QLatin1String("resume")) {
        if (const Problem problem = takesNothing())
            return error(*problem, id);
        MountClock &clock = m_session.mountClock();
        if (what == QLatin1String("pause"))
            clock.pause();
        else
            clock.resume();
        response = {{QStringLiteral("rate"), clock.rate()},
                    {QStringLiteral("paused"), clock.isPaused()},
                    {QStringLiteral("utc"), utcText(clock.utcMs())}};
    } else if (what == QLatin1String("step")) {
        response = step(request);
    } else if (what == QLatin1String("fault")) {
        response = fault(request);
    } else if (what == QLatin1String("reset")) {
        if (const Problem problem = takesNothing())
            return error(*problem, id);
        response = reset();
    } else if (what == QLatin1String("drop")) {
        if (const Problem problem = takesNothing())
            return error(*problem, id);
        if (!m_session.dropClient())
            return error(QStringLiteral("there is no client connection to drop (no client, or a "
                                        "serial port, which has none of its own)"),
                         id);
    } else if (what == QLatin1String("subscribe")) {
        response = subscribe(request, subscription);
    } else if (what == QLatin1String("unsubscribe")) {
        if (const Problem problem = takesNothing())
            return error(*problem, id);
        const bool was = subscription.active;
        subscription = {};
        if (was)
            emit subscriptionChanged();
    } else {
        return error(QStringLiteral("unknown request %1: the requests are state, set, pause, "
                                    "resume, step, fault, reset, drop, subscribe and "
                                    "unsubscribe")
                             .arg(quoted(what)),
                     id);
    }
    if (response.contains(QStringLiteral("error"))) {
        response.insert(QStringLiteral("ok"), false);
    } else {
        response.insert(QStringLiteral("ok"), true);
    }
    if (!id.isUndefined())
        response.insert(QStringLiteral("id"), id);
    qCDebug(lcControl).noquote() << "request" << what << "ok"
                                 << response.value(QStringLiteral("ok")).toBool();
    return response;
}

EmulatorSettings ControlHandler::currentSettings() const
{
    EmulatorSettings values;
    values.profile = m_session.profile();
    values.hcVersion = QString::fromStdString(m_session.versionReply());
    values.mount.handControl = m_session.interpreter().handControlSettings();
    values.fullVersion = QString::fromStdString(values.mount.handControl.version);
    values.mount.autoResetMs = int(m_session.interpreter().autoResetAfter());
    values.lineTiming = m_session.lineTiming();
    values.busDelayMs = int(m_session.busDelay().count());
    return values;
}

void ControlHandler::applySettings(const EmulatorSettings &values)
{
    HandControlSettings handControl = values.mount.handControl;
    handControl.version = values.fullVersion.toStdString();
    // The schema has judged every value already, the version text included.
    if (!m_session.setHandControlSettings(handControl))
        qCWarning(lcControl) << "the hand control refused settings the schema took";
    m_session.setVersionReply(values.hcVersion.toLatin1().toStdString());
    m_session.setAutoResetAfter(values.mount.autoResetMs);
    m_session.setLineTiming(values.lineTiming);
    m_session.setBusDelay(std::chrono::milliseconds(values.busDelayMs));
    m_session.setProfile(values.profile);
    emit settingsChanged();
}

QStringList ControlHandler::faultTexts() const
{
    QStringList texts;
    if (const FaultStage *faults = m_session.faults()) {
        for (const FaultRule &rule : faults->rules())
            texts << rule.text;
    }
    return texts;
}

QJsonValue ControlHandler::pointing(const EmulatorSession &session)
{
    if (session.profile() != Profile::Full)
        return QJsonValue();
    const HandControl &handControl = session.interpreter().handControl();
    const MountPosition &mount = handControl.mount();
    const SkyAngles ofDate = mount.skyNow();
    return QJsonObject {
            {QStringLiteral("j2000"),
             raDec(mount.geometry().j2000FromDate(ofDate, handControl.dateTime().universalMs()))},
            {QStringLiteral("of_date"), raDec(ofDate)},
            {QStringLiteral("horizon"), azAlt(mount.horizonNow())},
    };
}

QJsonObject ControlHandler::motion(const EmulatorSession &session)
{
    if (session.profile() != Profile::Full)
        return {{QStringLiteral("state"), QStringLiteral("at rest")}};
    const HandControl &handControl = session.interpreter().handControl();
    return motionOf(handControl.mount(), session.mountClock(),
                    handControl.dateTime().universalMs());
}

QJsonObject ControlHandler::state() const
{
    const CommandInterpreter &interpreter = m_session.interpreter();
    const MountClock &clock = m_session.mountClock();
    const MountReport report = MountReport::of(interpreter);
    const EmulatorSettings values = currentSettings();

    QJsonObject state;
    state.insert(QStringLiteral("profile"),
                 m_session.profile() == Profile::Full ? QStringLiteral("full")
                                                      : QStringLiteral("basic"));
    if (m_session.profile() == Profile::Full) {
        const HandControl &handControl = interpreter.handControl();
        const MountPosition &mount = handControl.mount();
        const qint64 utcMs = handControl.dateTime().universalMs();
        state.insert(QStringLiteral("pointing"), pointing(m_session));
        state.insert(QStringLiteral("motion"), motionOf(mount, clock, utcMs));
        state.insert(QStringLiteral("tracking"),
                     QJsonObject {
                             {QStringLiteral("mode"), int(mount.trackingMode())},
                             {QStringLiteral("description"),
                              QString::fromStdString(
                                      ExchangeDecoder::trackingMode(mount.trackingMode()))},
                             {QStringLiteral("rate"), rowText(report, "Tracking rate")},
                     });
        state.insert(QStringLiteral("pier_side"),
                     mount.configuration().equatorial
                             ? QJsonValue(QString(QLatin1Char(mount.pointingSide())))
                             : QJsonValue());
        const SiteLocation &site = handControl.site();
        state.insert(QStringLiteral("site"),
                     QJsonObject {
                             {QStringLiteral("latitude"), degreesOf(site.latitudeRadians())},
                             {QStringLiteral("longitude"), degreesOf(site.longitudeRadians())},
                             {QStringLiteral("description"), rowText(report, "Site")},
                     });
    } else {
        // The basic profile stores each goto's position as text: there is no sky to read.
        state.insert(QStringLiteral("pointing"), QJsonValue());
        state.insert(QStringLiteral("motion"), motion(m_session));
    }
    QJsonObject clockState {{QStringLiteral("utc"), utcText(clock.utcMs())},
                            {QStringLiteral("rate"), clock.rate()},
                            {QStringLiteral("paused"), clock.isPaused()}};
    if (m_session.profile() == Profile::Full)
        clockState.insert(QStringLiteral("hand_control"), rowText(report, "Clock"));
    state.insert(QStringLiteral("clock"), clockState);

    QJsonObject settings;
    for (const QString &key : settingKeys()) {
        if (const Setting *setting = settingWithKey(key); setting && setting->write)
            settings.insert(key, setting->write(values));
    }
    state.insert(QStringLiteral("settings"), settings);
    state.insert(QStringLiteral("counts"),
                 QJsonObject {{QStringLiteral("commands"), qint64(interpreter.InputCount())},
                              {QStringLiteral("replies"), qint64(interpreter.RespCount())},
                              {QStringLiteral("unanswered"), qint64(m_unanswered)}});
    state.insert(QStringLiteral("client"),
                 QJsonObject {{QStringLiteral("connected"), m_clientConnected},
                              {QStringLiteral("name"), m_client}});
    state.insert(QStringLiteral("faults"), QJsonArray::fromStringList(faultTexts()));
    QJsonObject rows;
    for (const MountReport::Row &row : report.rows)
        rows.insert(QString::fromStdString(row.label), QString::fromStdString(row.text));
    state.insert(QStringLiteral("report"), rows);
    return state;
}

// Everything is judged before anything changes, so that a refused request leaves the mount as
// it was.
QJsonObject ControlHandler::set(const QJsonObject &request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    const QStringList fields {QStringLiteral("clock"),   QStringLiteral("time_rate"),
                              QStringLiteral("site"),    QStringLiteral("pointing"),
                              QStringLiteral("profile"), QStringLiteral("settings")};
    if (const Problem problem = unknownFields(request, fields))
        return error(*problem, id);
    bool any = false;
    for (const QString &field : fields)
        any = any || request.contains(field);
    if (!any)
        return error(QStringLiteral("set needs at least one of %1").arg(listText(fields)), id);

    EmulatorSettings values = currentSettings();
    const bool settingsGiven = request.contains(QStringLiteral("profile"))
            || request.contains(QStringLiteral("settings"));
    if (request.contains(QStringLiteral("profile"))) {
        const QJsonValue profile = request.value(QStringLiteral("profile"));
        if (!profile.isString())
            return error(QStringLiteral("profile must be a string (basic or full), not %1")
                                 .arg(typeName(profile)),
                         id);
        if (const auto problem
            = settingWithKey(QStringLiteral("profile"))->read(values, profile.toString()))
            return error(problem->describe(QStringLiteral("profile")), id);
    }
    if (request.contains(QStringLiteral("settings"))) {
        const QJsonValue settings = request.value(QStringLiteral("settings"));
        if (!settings.isObject())
            return error(QStringLiteral("settings must be an object of keys and values, not %1")
                                 .arg(typeName(settings)),
                         id);
        const QJsonObject given = settings.toObject();
        for (auto it = given.begin(); it != given.end(); ++it) {
            const QString name = QStringLiteral("settings.") + it.key();
            const Setting *setting = settingWithKey(it.key());
            if (!setting || !settingKeys().contains(it.key()))
                return error(QStringLiteral("%1: unknown setting; the settings are %2")
                                     .arg(name, listText(settingKeys())),
                             id);
            const std::optional<QString> text = settingText(it.value());
            if (!text)
                return error(QStringLiteral("%1 must be a string, a number or true/false, not %2")
                                     .arg(name, typeName(it.value())),
                             id);
            if (const auto problem = setting->read(values, *text))
                return error(problem->describe(name), id);
        }
    }
    const bool full = values.profile == Profile::Full;

    std::optional<SiteLocation::Layout> site;
    if (request.contains(QStringLiteral("site"))) {
        const QJsonValue given = request.value(QStringLiteral("site"));
        if (!full)
            return error(QStringLiteral("site: the basic profile has no site; set the profile "
                                        "to full"),
                         id);
        if (!given.isObject())
            return error(QStringLiteral("site must be an object {\"latitude\": DEG, "
                                        "\"longitude\": DEG}, not %1")
                                 .arg(typeName(given)),
                         id);
        const QJsonObject object = given.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != QLatin1String("latitude") && it.key() != QLatin1String("longitude"))
                return error(QStringLiteral("site.%1: unknown field; a site has latitude and "
                                            "longitude")
                                     .arg(it.key()),
                             id);
        }
        // Judged by the settings' own bounds, on a copy that is thrown away.
        EmulatorSettings scratch = values;
        double degrees[2] = {};
        const char *parts[2] = {"latitude", "longitude"};
        const char *keys[2] = {"site_latitude", "site_longitude"};
        for (int i = 0; i < 2; ++i) {
            const QString part = QLatin1String(parts[i]);
            const QJsonValue value = object.value(part);
            const QString name = QStringLiteral("site.") + part;
            if (!value.isDouble())
                return error(QStringLiteral("%1 must be a number of degrees, not %2")
                                     .arg(name, typeName(value)),
                             id);
            degrees[i] = value.toDouble();
            if (const auto problem = settingWithKey(QLatin1String(keys[i]))
                                             ->read(scratch, QString::number(degrees[i], 'g', 17)))
                return error(problem->describe(name), id);
        }
        site = SiteLocation::fromDegrees(degrees[0], degrees[1]);
    }

    std::optional<SkyAngles> pointing;
    bool pointingJ2000 = true;
    if (request.contains(QStringLiteral("pointing"))) {
        const QJsonValue given = request.value(QStringLiteral("pointing"));
        if (!full)
            return error(QStringLiteral("pointing: the basic profile's mount does not move; set "
                                        "the profile to full"),
                         id);
        if (!given.isObject())
            return error(QStringLiteral("pointing must be an object {\"ra_hours\": H, "
                                        "\"dec_degrees\": DEG, \"frame\": \"j2000\"}, not %1")
                                 .arg(typeName(given)),
                         id);
        const QJsonObject object = given.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != QLatin1String("ra_hours") && it.key() != QLatin1String("dec_degrees")
                && it.key() != QLatin1String("frame"))
                return error(QStringLiteral("pointing.%1: unknown field; a pointing has "
                                            "ra_hours, dec_degrees and frame")
                                     .arg(it.key()),
                             id);
        }
        double hours = 0, dec = 0;
        if (const Problem problem
            = readNumber(object, QStringLiteral("ra_hours"), QStringLiteral("pointing.ra_hours"), 0,
                         24, false, hours))
            return error(*problem, id);
        if (const Problem problem
            = readNumber(object, QStringLiteral("dec_degrees"),
                         QStringLiteral("pointing.dec_degrees"), -90, 90, true, dec))
            return error(*problem, id);
        const QJsonValue frame = object.value(QStringLiteral("frame"));
        if (!frame.isUndefined()) {
            const QString text = frame.toString();
            if (text != QLatin1String("j2000") && text != QLatin1String("date"))
                return error(QStringLiteral("pointing.frame must be \"j2000\" or \"date\""), id);
            pointingJ2000 = text == QLatin1String("j2000");
        }
        pointing = SkyAngles {hours / 24 * fullTurn, dec * radiansPerDegree};
    }

    std::optional<qint64> clockMs;
    if (request.contains(QStringLiteral("clock"))) {
        const QJsonValue given = request.value(QStringLiteral("clock"));
        QDateTime time = QDateTime::fromString(given.toString(), Qt::ISODateWithMs);
        if (!given.isString() || !time.isValid())
            return error(
                    QStringLiteral("clock must be an ISO-8601 date and time such as "
                                   "2026-12-09T21:30:00Z, not %1")
                            .arg(given.isString() ? quoted(given.toString()) : typeName(given)),
                    id);
        // Without an offset, a time is read as UTC rather than the computer's zone, so that a
        // test gives the same result on every machine.
        if (time.timeSpec() == Qt::LocalTime)
            time.setTimeSpec(Qt::UTC);
        clockMs = time.toMSecsSinceEpoch();
    }

    std::optional<double> rate;
    if (request.contains(QStringLiteral("time_rate"))) {
        double value = 0;
        if (const Problem problem
            = readNumber(request, QStringLiteral("time_rate"), QStringLiteral("time_rate"), 0,
                         MountClock::maxRate, true, value))
            return error(*problem, id);
        rate = value;
    }

    // Everything holds: apply it, the settings first, since the rest depends on the profile.
    if (settingsGiven)
        applySettings(values);
    HandControl &handControl = m_session.interpreter().handControl();
    if (site) {
        // As a client's "W" would, but on no line.
        Bytes command = "W";
        command.append(reinterpret_cast<const char *>(site->data()), site->size());
        Bytes reply;
        handControl.reply(command, reply);
    }
    if (clockMs)
        m_session.mountClock().setUtc(*clockMs);
    if (rate)
        m_session.mountClock().setRate(*rate);
    if (pointing) {
        MountPosition &mount = handControl.mount();
        const qint64 utcMs = handControl.dateTime().universalMs();
        // The mount takes a sync in the coordinates its client reads.
        SkyAngles reported = *pointing;
        if (pointingJ2000 != mount.configuration().j2000)
            reported = pointingJ2000 ? mount.geometry().dateFromJ2000(*pointing, utcMs)
                                     : mount.geometry().j2000FromDate(*pointing, utcMs);
        const double ra = std::fmod(reported.first / fullTurn + 1, 1.0);
        const double dec = reported.second / fullTurn;
        mount.syncRaDec({std::uint32_t(std::llround(ra * 4294967296.0) & 0xFFFFFFFF),
                         std::uint32_t(std::int32_t(std::llround(dec * 4294967296.0)))});
    }
    return {};
}

QJsonObject ControlHandler::step(const QJsonObject &request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    if (const Problem problem
        = unknownFields(request, {QStringLiteral("seconds"), QStringLiteral("ms")}))
        return error(*problem, id);
    const bool seconds = request.contains(QStringLiteral("seconds"));
    if (seconds == request.contains(QStringLiteral("ms")))
        return error(QStringLiteral("step needs one of seconds and ms"), id);
    // A century at most: far enough for any test, short of overflowing the clock.
    constexpr double maxSeconds = 100.0 * 366 * 86400;
    double amount = 0;
    if (const Problem problem = seconds
                ? readNumber(request, QStringLiteral("seconds"), QStringLiteral("seconds"), 0,
                             maxSeconds, true, amount)
                : readNumber(request, QStringLiteral("ms"), QStringLiteral("ms"), 0,
                             maxSeconds * 1000, true, amount))
        return error(*problem, id);
    MountClock &clock = m_session.mountClock();
    clock.step(std::llround(seconds ? amount * 1000 : amount));
    return {{QStringLiteral("utc"), utcText(clock.utcMs())}};
}

QJsonObject ControlHandler::fault(const QJsonObject &request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    const QStringList actions {QStringLiteral("add"), QStringLiteral("remove"),
                               QStringLiteral("clear")};
    if (const Problem problem = unknownFields(request, actions))
        return error(*problem, id);
    int given = 0;
    for (const QString &action : actions)
        given += request.contains(action) ? 1 : 0;
    if (given != 1)
        return error(QStringLiteral("fault needs exactly one of add (a rule), remove (an index "
                                    "or a rule) and clear (true)"),
                     id);
    std::vector<FaultRule> rules;
    std::uint64_t seed = 0;
    if (const FaultStage *faults = m_session.faults()) {
        rules = faults->rules();
        seed = faults->seed();
    } else {
        seed = (std::uint64_t(std::random_device()()) << 32) | std::random_device()();
    }
    if (request.contains(QStringLiteral("add"))) {
        const QJsonValue value = request.value(QStringLiteral("add"));
        if (!value.isString())
            return error(QStringLiteral("add must be a fault rule as --fault takes it, such as "
                                        "\"noreply@cmd=e\", not %1")
                                 .arg(typeName(value)),
                         id);
        QString problem;
        const std::optional<FaultRule> rule = FaultRule::parse(value.toString(), &problem);
        if (!rule)
            return error(QStringLiteral("add: %1").arg(problem), id);
        rules.push_back(*rule);
    } else if (request.contains(QStringLiteral("remove"))) {
        const QJsonValue value = request.value(QStringLiteral("remove"));
        if (value.isDouble()) {
            const double index = value.toDouble();
            if (index != std::floor(index) || index < 0 || index >= double(rules.size()))
                return error(rules.empty()
                                     ? QStringLiteral("remove: there are no faults to remove")
                                     : QStringLiteral("remove: the index must be from 0 to %1, "
                                                      "not %2")
                                               .arg(rules.size() - 1)
                                               .arg(index),
                             id);
            rules.erase(rules.begin() + qsizetype(index));
        } else if (value.isString()) {
            const auto found = std::find_if(rules.begin(), rules.end(), [&](const FaultRule &rule) {
                return rule.text == value.toString();
            });
            if (found == rules.end())
                return error(QStringLiteral("remove: no fault %1 is in force")
                                     .arg(quoted(value.toString())),
                             id);
            rules.erase(found);
        } else {
            return error(QStringLiteral("remove must be an index or a rule's text, not %1")
                                 .arg(typeName(value)),
                         id);
        }
    } else {
        if (request.value(QStringLiteral("clear")) != QJsonValue(true))
            return error(QStringLiteral("clear must be true"), id);
        rules.clear();
    }
    m_session.setFaults(std::move(rules), seed);
    const QStringList texts = faultTexts();
    emit faultsChanged(texts);
    QJsonObject response {{QStringLiteral("faults"), QJsonArray::fromStringList(texts)}};
    if (!texts.isEmpty())
        response.insert(QStringLiteral("seed"), QString::number(seed));
    return response;
}

QJsonObject ControlHandler::reset()
{
    m_session.interpreter().restart();
    m_session.resetBuffer();
    m_session.setFaults({}, 0);
    emit faultsChanged({});
    return {};
}

QJsonObject ControlHandler::subscribe(const QJsonObject &request, ControlSubscription &subscription)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    if (const Problem problem = unknownFields(request, {QStringLiteral("kinds")}))
        return error(*problem, id);
    QSet<QString> kinds;
    if (request.contains(QStringLiteral("kinds"))) {
        const QJsonValue value = request.value(QStringLiteral("kinds"));
        if (!value.isArray())
            return error(QStringLiteral("kinds must be an array of event kinds (%1), not %2")
                                 .arg(listText(eventKinds()), typeName(value)),
                         id);
        for (const QJsonValue &kind : value.toArray()) {
            if (!kind.isString() || !eventKinds().contains(kind.toString()))
                return error(
                        QStringLiteral("kinds: %1 is not an event kind; they are %2")
                                .arg(kind.isString() ? quoted(kind.toString()) : typeName(kind),
                                     listText(eventKinds())),
                        id);
            kinds.insert(kind.toString());
        }
        if (kinds.isEmpty())
            return error(QStringLiteral("kinds is empty: leave it out for every kind"), id);
    }
    subscription.active = true;
    subscription.kinds = kinds;
    emit subscriptionChanged();
    QStringList listed;
    for (const QString &kind : eventKinds()) {
        if (subscription.wants(kind))
            listed << kind;
    }
    return {{QStringLiteral("kinds"), QJsonArray::fromStringList(listed)}};
}

} // namespace tqx
