#include "app/CommandLine.h"

#include "app/HeadlessEmulator.h"
#include "app/TerminationSignals.h"
#include "generated/ProgramVersion.h"
#include "session/PortSpecification.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

namespace tqx {

namespace {

constexpr const char *ownOptions[] = {"--headless",
                                      "--port",
                                      "--version-reply",
                                      "--log",
                                      "--help",
                                      "-h",
                                      "--version",
                                      "-v",
                                      "--profile",
                                      "--version-format",
                                      "--model",
                                      "--unaligned",
                                      "--gps",
                                      "--clock",
                                      "--reset-after",
                                      "--site",
                                      "--slew-rate",
                                      "--coordinates",
                                      "--decode",
                                      "--takeover-after",
                                      "--periodic-error",
                                      "--worm-period",
                                      "--switch-position"};

void usageError(const QString &text)
{
    std::fprintf(stderr, "tqx-orbivo-emulator: %s\nTry --help.\n", qPrintable(text));
}

template<typename Value>
struct Choice
{
    const char *name;
    Value value;
};

// An option that takes one of a few words (in any case): false, with a message listing the words,
// when it has another.
template<typename Value>
bool readChoice(const QCommandLineParser &parser, const QString &option,
                std::initializer_list<Choice<Value>> choices, Value &chosen)
{
    const QString text = parser.value(option).trimmed().toLower();
    QStringList names;
    for (const Choice<Value> &choice : choices) {
        if (text == QLatin1String(choice.name)) {
            chosen = choice.value;
            return true;
        }
        names.append(QLatin1String(choice.name));
    }
    const QString last = names.takeLast();
    usageError(QStringLiteral("--%1 must be %2 or %3, not \"%4\".")
                       .arg(option, names.join(QStringLiteral(", ")), last, text));
    return false;
}

// An option that takes a number, kept in `value` when it is not given: false, with a message
// naming the option and what it counts, when it is not a number. Its bounds are the settings'.
bool readNumber(const QCommandLineParser &parser, const QString &option, const char *units,
                double &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double number = parser.value(option).trimmed().toDouble(&ok);
    if (!ok) {
        usageError(QStringLiteral("--%1 must be %2, not \"%3\".")
                           .arg(option, QLatin1String(units), parser.value(option)));
        return false;
    }
    value = number;
    return true;
}

// Reads the full profile's and the automatic reset's options into `options`; false (with the
// message given) when one of them is wrong.
bool readMountOptions(const QCommandLineParser &parser, HeadlessOptions &options)
{
    HandControlSettings &settings = options.handControl;
    if (!readChoice<Profile>(parser, QStringLiteral("profile"),
                             {{"basic", Profile::Basic}, {"full", Profile::Full}}, options.profile)
        || !readChoice<VersionFormat>(
                parser, QStringLiteral("version-format"),
                {{"binary", VersionFormat::Binary}, {"hex", VersionFormat::Hex}},
                settings.versionFormat)
        || !readChoice<CoordinateEpoch>(parser, QStringLiteral("coordinates"),
                                        {{"auto", CoordinateEpoch::Automatic},
                                         {"date", CoordinateEpoch::OfDate},
                                         {"j2000", CoordinateEpoch::J2000}},
                                        settings.epoch))
        return false;
    if (parser.isSet(QStringLiteral("model"))) {
        bool ok = false;
        const uint model = parser.value(QStringLiteral("model")).toUInt(&ok, 0);
        if (!ok || model > 255) {
            usageError(QStringLiteral("--model must be a number from 0 to 255, not \"%1\".")
                               .arg(parser.value(QStringLiteral("model"))));
            return false;
        }
        settings.model = static_cast<std::uint8_t>(model);
    }
    settings.aligned = !parser.isSet(QStringLiteral("unaligned"));
    settings.gpsPresent = parser.isSet(QStringLiteral("gps"));
    settings.clockPresent = parser.isSet(QStringLiteral("clock"));

    if (parser.isSet(QStringLiteral("site"))) {
        const QStringList parts = parser.value(QStringLiteral("site")).split(QLatin1Char(','));
        bool latitudeOk = false, longitudeOk = false;
        if (parts.size() == 2) {
            settings.siteLatitude = parts[0].trimmed().toDouble(&latitudeOk);
            settings.siteLongitude = parts[1].trimmed().toDouble(&longitudeOk);
        }
        if (!latitudeOk || !longitudeOk) {
            usageError(QStringLiteral("--site must be LATITUDE,LONGITUDE in degrees (north and "
                                      "east positive), such as 48.8567,2.3522, not \"%1\".")
                               .arg(parser.value(QStringLiteral("site"))));
            return false;
        }
    }
    if (!readNumber(parser, QStringLiteral("slew-rate"), "degrees per second", settings.slewRate)
        || !readNumber(parser, QStringLiteral("periodic-error"), "seconds of arc",
                       settings.periodicError)
        || !readNumber(parser, QStringLiteral("worm-period"), "seconds", settings.wormPeriod)
        || !readNumber(parser, QStringLiteral("switch-position"), "degrees",
                       settings.switchPosition))
        return false;
    if (const std::string error = settings.mountError(); !error.empty()) {
        usageError(QString::fromStdString(error));
        return false;
    }

    const QString versionText = parser.value(QStringLiteral("version-reply"));
    if (options.profile == Profile::Full) {
        settings.version = parser.isSet(QStringLiteral("version-reply"))
                ? versionText.trimmed().toStdString()
                : HandControlSettings().version;
        if (const std::string error = HandControlSettings::versionError(settings.version);
            !error.empty()) {
            usageError(QStringLiteral("--version-reply: %1").arg(QString::fromStdString(error)));
            return false;
        }
    }
    options.versionReply = versionText.toLatin1().toStdString();

    bool ok = false;
    const qint64 resetAfter = parser.value(QStringLiteral("reset-after")).toLongLong(&ok);
    if (!ok || resetAfter < 0) {
        usageError(QStringLiteral("--reset-after must be milliseconds (0 for never), not \"%1\".")
                           .arg(parser.value(QStringLiteral("reset-after"))));
        return false;
    }
    options.resetAfterMs = resetAfter;

    const double takeover = parser.value(QStringLiteral("takeover-after")).toDouble(&ok);
    constexpr qint64 maxSeconds = TcpTransport::maxTakeoverAfterMs / 1000;
    if (!ok || !(takeover >= 0) || takeover > maxSeconds) {
        usageError(QStringLiteral("--takeover-after must be seconds from 0 (never) to %1, not "
                                  "\"%2\".")
                           .arg(maxSeconds)
                           .arg(parser.value(QStringLiteral("takeover-after"))));
        return false;
    }
    options.takeoverAfterMs = qint64(takeover * 1000);
    return true;
}

} // namespace

bool wantsCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : ownOptions) {
            const std::size_t length = std::strlen(option);
            if (std::strncmp(argv[i], option, length) == 0
                && (argv[i][length] == '\0' || argv[i][length] == '='))
                return true;
        }
    }
    return false;
}

int runCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tqx-orbivo-emulator"));
    QCoreApplication::setApplicationVersion(QLatin1String(programVersion));

#ifdef TQX_WITH_WIDGETS
    const QString desktopText = QStringLiteral("Without arguments the desktop program starts. ");
#else
    const QString desktopText = QStringLiteral("This build has no windows. ");
#endif
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Emulates the hand control of a TQX Orbivo telescope mount on a serial "
                           "line.\n")
            + desktopText
            + QStringLiteral(
                    "With --headless it runs without a window:\nit answers on PORT, prints one "
                    "line per answered command (time, command, reply,\ntab-separated; lines that "
                    "begin with \"# \" tell of clients coming and going) and ends\ncleanly on "
                    "SIGINT, SIGTERM or SIGHUP.\n\nExit codes: 0 ended on a signal, 1 the port "
                    "could not be opened or was lost, 2 wrong usage."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"), QStringLiteral("Run without a window.")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("The port to answer on: \"Com 1\" to \"Com 8\", a system port "
                                     "name such as /dev/ttyUSB0 or COM12, \"virtual\" for a "
                                     "new pseudo-terminal, or tcp:[ADDRESS:]PORT for a network "
                                     "listener (%1 unless ADDRESS is given; tcp:0 picks a "
                                     "free port).")
                              .arg(PortSpecification::defaultTcpAddress().toString()),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("version-reply"),
                      QStringLiteral("The reply to the V command (basic profile, default \"22\"), "
                                     "or the firmware version (full profile, default \"4.21\")."),
                      QStringLiteral("TEXT"), QStringLiteral("22")});
    parser.addOption({QStringLiteral("profile"),
                      QStringLiteral("basic: the sixteen-command table (default); full: every "
                                     "command of current hand-control firmware."),
                      QStringLiteral("basic|full"), QStringLiteral("basic")});
    parser.addOption({QStringLiteral("version-format"),
                      QStringLiteral("Full profile: how V sends the version: binary bytes "
                                     "(default) or six hex digits."),
                      QStringLiteral("binary|hex"), QStringLiteral("binary")});
    parser.addOption({QStringLiteral("model"),
                      QStringLiteral("Full profile: the mount model byte m answers (default: an "
                                     "equatorial mount for the version format)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("unaligned"),
                      QStringLiteral("Full profile: the mount is not aligned (J answers 0).")});
    parser.addOption({QStringLiteral("gps"),
                      QStringLiteral("Full profile: a GPS accessory answers on the bus.")});
    parser.addOption({QStringLiteral("clock"),
                      QStringLiteral("Full profile: a real-time clock answers on the bus.")});
    parser.addOption({QStringLiteral("site"),
                      QStringLiteral("Full profile: the site the hand control starts with, in "
                                     "degrees, north and east positive (default 0,0)."),
                      QStringLiteral("LAT,LON")});
    parser.addOption({QStringLiteral("slew-rate"),
                      QStringLiteral("Full profile: how fast a goto moves each axis, in degrees "
                                     "per second, from 0.1 to 90 (default 4)."),
                      QStringLiteral("DEG"), QStringLiteral("4")});
    const HandControlSettings defaults;
    parser.addOption({QStringLiteral("periodic-error"),
                      QStringLiteral("Full profile: the drive's own periodic error on the right "
                                     "ascension (or azimuth) axis, the amplitude in seconds of "
                                     "arc from 0 to %1 (default %2: none).")
                              .arg(HandControlSettings::maxPeriodicError)
                              .arg(defaults.periodicError),
                      QStringLiteral("ARCSEC")});
    parser.addOption({QStringLiteral("worm-period"),
                      QStringLiteral("Full profile: how long one turn of the worm takes while "
                                     "the mount tracks, in seconds from %1 to %2 (default %3).")
                              .arg(HandControlSettings::minWormPeriod)
                              .arg(HandControlSettings::maxWormPeriod)
                              .arg(defaults.wormPeriod),
                      QStringLiteral("SECONDS")});
    parser.addOption({QStringLiteral("switch-position"),
                      QStringLiteral("Full profile: where the index switches are, in degrees of "
                                     "motor position from 0 to less than 360 (default %1).")
                              .arg(defaults.switchPosition),
                      QStringLiteral("DEGREES")});
    parser.addOption({QStringLiteral("coordinates"),
                      QStringLiteral("Full profile: right ascension and declination of the date "
                                     "or J2000; auto (default) takes the date for the binary "
                                     "version format and J2000 for hex."),
                      QStringLiteral("auto|date|j2000"), QStringLiteral("auto")});
    parser.addOption({QStringLiteral("reset-after"),
                      QStringLiteral("Reset a command buffer that has stayed blocked for MS "
                                     "milliseconds, and log it (default 1000; 0 never)."),
                      QStringLiteral("MS"), QStringLiteral("1000")});
    parser.addOption(
            {QStringLiteral("takeover-after"),
             QStringLiteral("Network listener: a new client takes over from one that has sent "
                            "and read nothing for SECONDS (default %1; 0 never: a second client "
                            "is always refused).")
                     .arg(TcpTransport::defaultTakeoverAfterMs / 1000),
             QStringLiteral("SECONDS"),
             QString::number(TcpTransport::defaultTakeoverAfterMs / 1000)});
    parser.addOption({QStringLiteral("log"),
                      QStringLiteral("Also write the lines to FILE (replacing it)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("decode"),
                      QStringLiteral("Add a fourth column to each exchange line: what the command "
                                     "and the reply mean, in plain words.")});

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tqx-orbivo-emulator: %s\nTry --help.\n",
                     qPrintable(parser.errorText()));
        return HeadlessEmulator::UsageError;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.isSet(QStringLiteral("headless")) || !parser.isSet(QStringLiteral("port"))) {
        std::fprintf(stderr,
                     "tqx-orbivo-emulator: --headless and --port PORT go together; "
                     "without arguments the desktop program starts.\nTry --help.\n");
        return HeadlessEmulator::UsageError;
    }

    HeadlessOptions options;
    options.port = parser.value(QStringLiteral("port"));
    if (options.port.trimmed().isEmpty()) {
        std::fprintf(stderr, "tqx-orbivo-emulator: --port needs a port name: %s.\nTry --help.\n",
                     qPrintable(PortSpecification::waysInText()));
        return HeadlessEmulator::UsageError;
    }
    if (!readMountOptions(parser, options))
        return HeadlessEmulator::UsageError;
    options.logPath = parser.value(QStringLiteral("log"));
    options.decode = parser.isSet(QStringLiteral("decode"));

    TerminationSignals terminations;
    HeadlessEmulator emulator(options, STDOUT_FILENO, STDERR_FILENO);
    const HeadlessEmulator::ExitCode started = emulator.start();
    if (started != HeadlessEmulator::Success)
        return started;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &app, [&] {
        emulator.stop();
        QCoreApplication::exit(HeadlessEmulator::Success);
    });
    QObject::connect(&emulator, &HeadlessEmulator::portLost, &app,
                     [] { QCoreApplication::exit(HeadlessEmulator::PortFailure); });
    return QCoreApplication::exec();
}

} // namespace tqx
