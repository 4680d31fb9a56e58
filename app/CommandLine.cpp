#include "app/CommandLine.h"

#include "app/HeadlessEmulator.h"
#include "app/TerminationSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace tqx {

namespace {

constexpr const char *ownOptions[]
        = {"--headless", "--port", "--version-reply", "--log", "--help", "-h", "--version", "-v"};

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
    QCoreApplication::setApplicationVersion(QStringLiteral("1.7"));

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
                                     "listener (127.0.0.1 unless ADDRESS is given; tcp:0 picks a "
                                     "free port)."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("version-reply"),
                      QStringLiteral("The reply to the V command (default \"22\")."),
                      QStringLiteral("TEXT"), QStringLiteral("22")});
    parser.addOption({QStringLiteral("log"),
                      QStringLiteral("Also write the lines to FILE (replacing it)."),
                      QStringLiteral("FILE")});

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
        std::fprintf(stderr,
                     "tqx-orbivo-emulator: --port needs a port name: \"Com 1\" to \"Com 8\", a "
                     "system port such as /dev/ttyUSB0, \"virtual\" or tcp:4030.\nTry --help.\n");
        return HeadlessEmulator::UsageError;
    }
    options.versionReply = parser.value(QStringLiteral("version-reply")).toLatin1().toStdString();
    options.logPath = parser.value(QStringLiteral("log"));

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
