#include "app/CommandLine.h"

#include "app/HeadlessEmulator.h"
#include "app/ScenarioRun.h"
#include "app/ServiceManager.h"
#include "app/TerminationSignals.h"
#include "control/ControlAddress.h"
#include "control/ControlClient.h"
#include "generated/ProgramVersion.h"
#include "scenario/ScenarioReader.h"
#include "scenario/ScenarioRecorder.h"
#include "session/PortChoice.h"
#include "session/ProgramInstance.h"
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
    options.startUtcMs = values.startUtcMs;
    options.timeRate = values.timeRate;
}

// The scenario's settings, by the option names or keys its file gives them under, over
// `values`; the settings read last (which depend on the others) after the rest.
bool applyScenarioSettings(const Scenario &scenario, EmulatorSettings &values)
{
    for (const bool last : {false, true}) {
        for (const auto &[name, text] : scenario.settings) {
            const Setting *setting = settingWithOption(name);
            if (!setting)
                setting = settingWithKey(name);
            if (!setting || !setting->read || setting->readLast != last)
                continue;
            if (const std::optional<SettingProblem> problem = setting->read(values, text)) {
                usageError(QStringLiteral("%1: %2").arg(
                        scenario.path, problem->describe(QStringLiteral("emulator.") + name)));
                return false;
            }
        }
    }
    return true;
}

// --scenario FILE and --check-client: a run of the client under test, judged.
int runScenario(const QCommandLineParser &parser, const EmulatorSettings &defaults)
{
    Scenario scenario;
    if (parser.isSet(QStringLiteral("scenario"))) {
        auto read = readScenario(parser.value(QStringLiteral("scenario")));
        if (const auto *error = std::get_if<ScenarioError>(&read)) {
            usageError(error->describe());
            return ScenarioRun::UsageError;
        }
        scenario = std::get<Scenario>(std::move(read));
    } else {
        scenario.path = QStringLiteral("--check-client");
        scenario.name = QStringLiteral("client checks");
        scenario.timeLimitMs = 0; // until the client ends, or a signal
    }
    EmulatorSettings values = defaults;
    if (parser.isSet(QStringLiteral("config"))) {
        if (const std::optional<QString> error
            = readSettingsFile(parser.value(QStringLiteral("config")), values)) {
            usageError(*error);
            return ScenarioRun::UsageError;
        }
    }
    // The scenario's settings, then the command line's, which win: the same scenario can be run
    // over another port or with another profile.
    if (!applyScenarioSettings(scenario, values) || !readSettingOptions(parser, values))
        return ScenarioRun::UsageError;
    HeadlessOptions options;
    takeSettings(values, options);
    options.port = values.headlessPort.isEmpty() ? scenario.port : values.headlessPort;
    options.logPath = parser.value(QStringLiteral("log"));
    options.decode = parser.isSet(QStringLiteral("decode"));
    QString errorText;
    options.control = ControlAddress::parse(parser.isSet(QStringLiteral("control"))
                                                    ? parser.value(QStringLiteral("control"))
                                                    : QStringLiteral("off"),
                                            &errorText);
    if (!options.control) {
        usageError(QStringLiteral("--control: %1").arg(errorText));
        return ScenarioRun::UsageError;
    }
    QStringList client = parser.positionalArguments();
    if (client.isEmpty())
        client = scenario.client;

    ScenarioRun run(
            std::move(scenario), options, client,
            {parser.value(QStringLiteral("junit")), parser.value(QStringLiteral("report-json"))});
    TerminationSignals terminations;
    int exitCode = ScenarioRun::Passed;
    if (!run.start(&exitCode))
        return exitCode;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &run,
                     [&run] { run.stop(QStringLiteral("a signal asked the program to end")); });
    QObject::connect(&run, &ScenarioRun::finished, &run,
                     [](int code) { QCoreApplication::exit(code); });
    return QCoreApplication::exec();
}

} // namespace

namespace {

QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The options the toolkit takes for any window (QGuiApplication reads them), so that the desktop
// program keeps accepting them.
const QStringList &toolkitOptionsWithValue()
{
    static const QStringList options {QStringLiteral("platform"),
                                      QStringLiteral("platformpluginpath"),
                                      QStringLiteral("platformtheme"),
                                      QStringLiteral("plugin"),
                                      QStringLiteral("style"),
                                      QStringLiteral("stylesheet"),
                                      QStringLiteral("display"),
                                      QStringLiteral("geometry"),
                                      QStringLiteral("qwindowgeometry"),
                                      QStringLiteral("title"),
                                      QStringLiteral("qwindowtitle"),
                                      QStringLiteral("icon"),
                                      QStringLiteral("qwindowicon"),
                                      QStringLiteral("session"),
                                      QStringLiteral("name")};
    return options;
}

const QStringList &toolkitFlags()
{
    static const QStringList flags {QStringLiteral("reverse"), QStringLiteral("nograb"),
                                    QStringLiteral("dograb"), QStringLiteral("sync")};
    return flags;
}

bool isCommandLineOnly(const QString &argument)
{
    static const QStringList options {QStringLiteral("--help"),     QStringLiteral("-h"),
                                      QStringLiteral("--help-all"), QStringLiteral("--version"),
                                      QStringLiteral("-v"),         QStringLiteral("--headless")};
    for (const QString &option : options) {
        if (argument == option || argument.startsWith(option + QLatin1Char('=')))
            return true;
    }
    return false;
}

// Reads the arguments as the desktop program takes them: --port, --start and the toolkit's own.
// Nothing, with the reason, when they are not all its own or the port is named wrongly.
std::optional<WindowRequest> readWindowArguments(const QStringList &arguments, QString *errorText)
{
    QCommandLineParser parser;
    // The toolkit's options are words after a single dash ("-platform offscreen").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("port"), QString(), QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("start"), QString()});
    for (const QString &option : toolkitOptionsWithValue())
        parser.addOption({option, QString(), QStringLiteral("VALUE")});
    for (const QString &flag : toolkitFlags())
        parser.addOption({flag, QString()});
    if (!parser.parse(arguments)) {
        *errorText = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *errorText = QStringLiteral("Unexpected argument \"%1\".")
                             .arg(parser.positionalArguments().constFirst());
        return std::nullopt;
    }
    WindowRequest request;
    request.start = parser.isSet(QStringLiteral("start"));
    if (parser.isSet(QStringLiteral("port"))) {
        QString reason;
        request.port = PortChoice::parse(parser.value(QStringLiteral("port")), &reason);
        if (!request.port) {
            *errorText = QStringLiteral("--port: %1.").arg(reason);
            return std::nullopt;
        }
    }
    return request;
}

} // namespace

bool wantsCommandLine(int argc, char *argv[])
{
    if (argc > 1 && QByteArrayView(argv[1]) == "ctl")
        return true;
    const QStringList arguments = argumentList(argc, argv);
    for (const QString &argument : arguments.mid(1)) {
        if (isCommandLineOnly(argument))
            return true;
    }
    QString ignored;
    return !readWindowArguments(arguments, &ignored);
}

WindowRequest windowRequest(int argc, char *argv[])
{
    QString ignored;
    return readWindowArguments(argumentList(argc, argv), &ignored).value_or(WindowRequest {});
}

int runCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tqx-orbivo-emulator"));
    QCoreApplication::setApplicationVersion(QLatin1String(programVersion));
    if (argc > 1 && QByteArrayView(argv[1]) == "ctl")
        return ControlClient::run(QCoreApplication::arguments().mid(2));

#ifdef TQX_WITH_WIDGETS
    const QString desktopText = QStringLiteral(
            "Without --headless the desktop program starts: --port PORT selects PORT in its\n"
            "window, and --start starts it running there.\n");
#else
    const QString desktopText = QStringLiteral("This build has no windows.\n");
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
    if (parser.isSet(QStringLiteral("record-scenario")) || parser.isSet(QStringLiteral("output")))
        return recordScenarioCommand(parser.value(QStringLiteral("record-scenario")),
                                     parser.value(QStringLiteral("output")));
    if (parser.isSet(QStringLiteral("scenario")) || parser.isSet(QStringLiteral("check-client")))
        return runScenario(parser, defaults);
    if (!parser.isSet(QStringLiteral("headless"))) {
        // The window keeps its settings in its own menus and dialogs.
        for (const Setting &setting : settingsSchema()) {
            if (setting.hasOption() && setting.option != QLatin1String("port")
                && setting.option != QLatin1String("start") && parser.isSet(setting.option)) {
                usageError(QStringLiteral("--%1 is for headless mode: --headless and --port PORT "
                                          "go together; the window takes --port and --start.")
                                   .arg(setting.option));
                return HeadlessEmulator::UsageError;
            }
        }
        QString errorText;
        readWindowArguments(QCoreApplication::arguments(), &errorText);
        usageError(errorText);
        return HeadlessEmulator::UsageError;
    }
    if (parser.isSet(QStringLiteral("port"))
        && parser.value(QStringLiteral("port")).trimmed().isEmpty()) {
        std::fprintf(stderr, "tqx-orbivo-emulator: --port needs a port name: %s.\nTry --help.\n",
                     qPrintable(PortChoice::waysInText()));
        return HeadlessEmulator::UsageError;
    }
    // Before anything opens: the instance names the files the program makes.
    if (parser.isSet(QStringLiteral("instance"))) {
        const QString instance = parser.value(QStringLiteral("instance"));
        if (const std::optional<QString> problem = ProgramInstance::nameProblem(instance)) {
            usageError(QStringLiteral("--instance \"%1\": %2.").arg(instance, *problem));
            return HeadlessEmulator::UsageError;
        }
        ProgramInstance::setName(instance);
    }
    HeadlessOptions options;
    if (parser.isSet(QStringLiteral("log-format"))) {
        const QString format = parser.value(QStringLiteral("log-format")).trimmed().toLower();
        if (format == QLatin1String("jsonl")) {
            options.logFormat = LogFormat::Jsonl;
        } else if (format != QLatin1String("text")) {
            usageError(
                    QStringLiteral("--log-format must be text or jsonl, not \"%1\".").arg(format));
            return HeadlessEmulator::UsageError;
        }
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
    QString socketError;
    options.listeningSocket = ServiceManager::takeListeningSocket(&socketError);
    if (!socketError.isEmpty()) {
        std::fprintf(stderr, "tqx-orbivo-emulator: %s\n", qPrintable(socketError));
        return HeadlessEmulator::PortFailure;
    }
    // A socket-activated service needs no port of its own: it listens where it was passed.
    options.port = values.headlessPort;
    if (options.port.isEmpty() && options.listeningSocket >= 0)
        options.port = EmulatorSettings::serviceManagerPort();
    if (options.port.isEmpty()) {
        std::fprintf(stderr,
                     "tqx-orbivo-emulator: --headless needs --port PORT (or the \"port\" key "
                     "of the --config file); without arguments the desktop program "
                     "starts.\nTry --help.\n");
        return HeadlessEmulator::UsageError;
    }
    takeSettings(values, options);
    options.logPath = parser.value(QStringLiteral("log"));
    options.decode = parser.isSet(QStringLiteral("decode"));
    options.readyFilePath = parser.value(QStringLiteral("ready-file"));
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
