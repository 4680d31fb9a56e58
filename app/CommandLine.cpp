#include "app/CommandLine.h"

#include "app/HeadlessEmulator.h"
#include "app/TerminationSignals.h"
#include "control/ControlAddress.h"
#include "control/ControlClient.h"
#include "generated/ProgramVersion.h"
#include "session/PortChoice.h"
#include "settings/SettingsSchema.h"
#include "settings/SettingsStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include <unistd.h>

namespace tqx {

namespace {

void usageError(const QString &text)
{
    std::fprintf(stderr, "tqx-orbivo-emulator: %s\nTry --help.\n", qPrintable(text));
}

// Where a headless run starts from. Nobody is there to press Reset, so a blocked buffer resets
// itself by default.
EmulatorSettings headlessDefaults()
{
    EmulatorSettings defaults;
    defaults.mount.autoResetMs = int(HeadlessOptions().resetAfterMs);
    return defaults;
}

void addOptions(QCommandLineParser &parser, const EmulatorSettings &defaults)
{
    for (const Setting &setting : settingsSchema()) {
        if (setting.hasOption())
            parser.addOption({setting.option, setting.help(defaults), setting.valueName});
    }
}

// Reads the settings' options given on the command line over `values` (the file's, if there is
// one): false, with a message naming the option and the value, when one is refused.
bool readSettingOptions(const QCommandLineParser &parser, EmulatorSettings &values)
{
    for (const bool last : {false, true}) {
        for (const Setting &setting : settingsSchema()) {
            if (!setting.hasOption() || !setting.read || setting.readLast != last
                || !parser.isSet(setting.option))
                continue;
            QStringList texts {setting.kind == Setting::Kind::Flag ? setting.flagText
                                                                   : parser.value(setting.option)};
            if (setting.repeatable)
                texts = parser.values(setting.option);
            for (const QString &text : texts) {
                if (const std::optional<SettingProblem> problem = setting.read(values, text)) {
                    usageError(problem->describe(QStringLiteral("--") + setting.option));
                    return false;
                }
            }
        }
    }
    return true;
}

void takeSettings(const EmulatorSettings &values, HeadlessOptions &options)
{
    options.profile = values.profile;
    options.versionReply = values.hcVersion.toLatin1().toStdString();
    options.handControl = values.mount.handControl;
    options.handControl.version = values.fullVersion.toStdString();
    options.resetAfterMs = values.mount.autoResetMs;
    options.takeoverAfterMs = qint64(values.tcpTakeoverSeconds * 1000);
    options.lineTiming = values.lineTiming;
    options.busDelay = std::chrono::milliseconds(values.busDelayMs);
    options.faults = values.faults;
    options.faultSeed = values.faultSeed;
}

} // namespace

bool wantsCommandLine(int argc, char *argv[])
{
    if (argc > 1 && QByteArrayView(argv[1]) == "ctl")
        return true;
    QStringList ownOptions {QStringLiteral("--help"), QStringLiteral("-h"),
                            QStringLiteral("--version"), QStringLiteral("-v")};
    for (const Setting &setting : settingsSchema()) {
        if (setting.hasOption())
            ownOptions.append(QStringLiteral("--") + setting.option);
    }
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        for (const QString &option : ownOptions) {
            if (argument == option || argument.startsWith(option + QLatin1Char('=')))
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
    if (argc > 1 && QByteArrayView(argv[1]) == "ctl")
        return ControlClient::run(QCoreApplication::arguments().mid(2));

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
                    "could not be opened or was lost, 2 wrong usage.\n\n")
            + ControlClient::usageText());
    parser.addHelpOption();
    parser.addVersionOption();
    const EmulatorSettings defaults = headlessDefaults();
    addOptions(parser, defaults);

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
                     qPrintable(PortChoice::waysInText()));
        return HeadlessEmulator::UsageError;
    }
    EmulatorSettings values = defaults;
    if (parser.isSet(QStringLiteral("config"))) {
        if (const std::optional<QString> error
            = readSettingsFile(parser.value(QStringLiteral("config")), values)) {
            usageError(*error);
            return HeadlessEmulator::UsageError;
        }
    }
    if (!readSettingOptions(parser, values))
        return HeadlessEmulator::UsageError;
    takeSettings(values, options);
    options.logPath = parser.value(QStringLiteral("log"));
    options.decode = parser.isSet(QStringLiteral("decode"));
    if (parser.isSet(QStringLiteral("control"))) {
        QString errorText;
        options.control
                = ControlAddress::parse(parser.value(QStringLiteral("control")), &errorText);
        if (!options.control) {
            usageError(QStringLiteral("--control %1: %2")
                               .arg(parser.value(QStringLiteral("control")), errorText));
            return HeadlessEmulator::UsageError;
        }
    }

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
