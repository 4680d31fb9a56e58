// The program run without a window, as a separate process driven by a test client.

#include "support/PseudoTerminal.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class HeadlessTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commandLine_data();
    void commandLine();
    void virtualPortEndToEndAndSigterm();
    void decodeAddsWhatEachExchangeMeans();
    void lostPortEndsWithFailure();
    void runtimeFolderFallbackIsSaidOnce();

private:
    void start(QProcess &process, const QStringList &arguments);
    QString waitForListening(QProcess &process);
    // Opens the virtual port's link as a client would, in raw mode; -1 when it cannot.
    int openVirtualClient();

    std::unique_ptr<QTemporaryDir> m_runtime;
};

void HeadlessTest::init() { m_runtime = std::make_unique<QTemporaryDir>(); }

void HeadlessTest::start(QProcess &process, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtime->path());
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(environment);
    process.start(TQX_EXECUTABLE, arguments);
    QVERIFY(process.waitForStarted());
}

// Returns the first line, which says where clients connect.
QString HeadlessTest::waitForListening(QProcess &process)
{
    QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(100);
    return QString::fromUtf8(process.readLine()).trimmed();
}

void HeadlessTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in standard output or standard error

    QTest::newRow("version") << QStringList {"--version"} << 0 << "1.7";
    QTest::newRow("help") << QStringList {"--help"} << 0 << "--headless";
    QTest::newRow("headless without a port") << QStringList {"--headless"} << 2 << "--port";
    // --port alone is the window's now (it selects the port there); a setting still needs
    // --headless.
    QTest::newRow("setting without headless")
            << QStringList {"--profile", "full"} << 2 << "--headless";
    QTest::newRow("empty port name")
            << QStringList {"--headless", "--port", ""} << 2 << "--port needs a port name";
    QTest::newRow("port that cannot be opened")
            << QStringList {"--headless", "--port", "/nonexistent/ttyX"} << 1 << "cannot open";
    QTest::newRow("site latitude past the pole")
            << QStringList {"--headless", "--port", "virtual", "--profile",
                            "full",       "--site", "95,10"}
            << 2 << "latitude must be from -90 to 90";
    QTest::newRow("site without a longitude")
            << QStringList {"--headless", "--port", "virtual", "--site", "48.8"} << 2
            << "--site must be LATITUDE,LONGITUDE";
    QTest::newRow("slew rate zero")
            << QStringList {"--headless", "--port", "virtual", "--slew-rate", "0"} << 2
            << "slew rate must be from 0.1 to 90";
    QTest::newRow("slew rate not a number")
            << QStringList {"--headless", "--port", "virtual", "--slew-rate", "fast"} << 2
            << "--slew-rate must be degrees per second";
    // A value within its bounds lets the program go on to open the port.
    QTest::newRow("fault with a bad argument")
            << QStringList {"--headless", "--port", "virtual", "--fault", "cut:x"} << 2
            << "--fault: \"x\" in \"cut:x\" must be a number of bytes";
    QTest::newRow("the second fault names its bad condition")
            << QStringList {"--headless", "--port",  "virtual",       "--fault",
                            "twice",      "--fault", "noreply@when=3"}
            << 2 << "--fault: \"when\" is no condition";
    QTest::newRow("seed not a number")
            << QStringList {"--headless", "--port", "virtual", "--seed", "abc"} << 2
            << "--seed must be a whole number";
    QTest::newRow("faults and a seed that are right") << QStringList {"--headless",
                                                                      "--port",
                                                                      "/nonexistent/ttyX",
                                                                      "--fault",
                                                                      "delay:3000+500@cmd=E",
                                                                      "--fault",
                                                                      "cut:4@every=3",
                                                                      "--seed",
                                                                      "7"}
                                                      << 1 << "cannot open";
    QTest::newRow("periodic error")
            << QStringList {"--headless", "--port", "/nonexistent/ttyX", "--periodic-error", "30"}
            << 1 << "cannot open";
    QTest::newRow("periodic error too large")
            << QStringList {"--headless", "--port", "virtual", "--periodic-error", "1000"} << 2
            << "periodic error must be from";
    QTest::newRow("periodic error negative")
            << QStringList {"--headless", "--port", "virtual", "--periodic-error", "-1"} << 2
            << "periodic error must be from";
    QTest::newRow("periodic error not a number")
            << QStringList {"--headless", "--port", "virtual", "--periodic-error", "lots"} << 2
            << "--periodic-error must be seconds of arc";
    QTest::newRow("worm period") << QStringList {"--headless", "--port", "/nonexistent/ttyX",
                                                 "--worm-period", "600"}
                                 << 1 << "cannot open";
    QTest::newRow("worm period too short")
            << QStringList {"--headless", "--port", "virtual", "--worm-period", "1"} << 2
            << "worm period must be from";
    QTest::newRow("worm period not a number")
            << QStringList {"--headless", "--port", "virtual", "--worm-period", "slow"} << 2
            << "--worm-period must be seconds";
    QTest::newRow("switch position") << QStringList {"--headless", "--port", "/nonexistent/ttyX",
                                                     "--switch-position", "359.5"}
                                     << 1 << "cannot open";
    QTest::newRow("switch position a full turn")
            << QStringList {"--headless", "--port", "virtual", "--switch-position", "360"} << 2
            << "switch position must be from";
    QTest::newRow("switch position not a number")
            << QStringList {"--headless", "--port", "virtual", "--switch-position", "north"} << 2
            << "--switch-position must be degrees";
    QTest::newRow("unknown coordinates")
            << QStringList {"--headless", "--port", "virtual", "--coordinates", "b1950"} << 2
            << "--coordinates must be auto, date or j2000";
    QTest::newRow("log that cannot be written")
            << QStringList {"--headless", "--port", "virtual", "--log", "/nonexistent/x.log"} << 2
            << "cannot write the log";
}

void HeadlessTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess process;
    start(process, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString printed = QString::fromUtf8(process.readAllStandardOutput())
            + QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(printed.contains(output), qPrintable(printed));
}

int HeadlessTest::openVirtualClient()
{
    const QString link = m_runtime->filePath("tqx-orbivo-emulator.pty");
    const int client = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    if (client < 0)
        return -1;
    termios settings {};
    tcgetattr(client, &settings);
    cfmakeraw(&settings);
    tcsetattr(client, TCSANOW, &settings);
    return client;
}

namespace {

// Writes a command and reads the reply's length in bytes; a read that fails ends it early.
QByteArray exchangeOn(int client, const QByteArray &command, int replyLength)
{
    [[maybe_unused]] const ssize_t n = ::write(client, command.constData(), command.size());
    QByteArray reply;
    while (reply.size() < replyLength) {
        char buffer[64];
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0)
            break;
        reply.append(buffer, got);
    }
    return reply;
}

} // namespace

void HeadlessTest::virtualPortEndToEndAndSigterm()
{
    const QString log = m_runtime->filePath("exchange.log");
    QProcess process;
    start(process, {"--headless", "--port", "virtual", "--version-reply", "41", "--log", log});
    const QString listening = waitForListening(process);
    const QString link = m_runtime->filePath("tqx-orbivo-emulator.pty");
    QVERIFY2(listening.contains(link), qPrintable(listening));
    QVERIFY(QFileInfo(link).isSymLink());

    const int client = openVirtualClient();
    QVERIFY(client >= 0);
    auto exchange = [client](const QByteArray &command, int replyLength) {
        return exchangeOn(client, command, replyLength);
    };
    QCOMPARE(exchange("E", 10), QByteArray("310C,0BBB#"));
    QCOMPARE(exchange("V", 2), QByteArray("41"));
    QCOMPARE(exchange("R34AB", 0), QByteArray());
    QTest::qWait(50);
    QCOMPARE(exchange(",12CE", 1), QByteArray("#"));
    QCOMPARE(exchange(QByteArray("T\x02", 2), 1), QByteArray("#"));

    // SIGTERM while the client still holds its end.
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(10000));
    ::close(client);
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());

    // Lines that begin with "# " tell of the client coming and going.
    QStringList lines
            = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QStringList events = lines.filter(QRegularExpression("^# "));
    QCOMPARE(events.size(), 1);
    QVERIFY2(events[0].endsWith("a client opened the virtual port"), qPrintable(events[0]));
    lines.removeAll(events[0]);
    const QStringList expected {"E\t310C,0BBB#", "V\t41", "R34AB,12CE\t#", "T\\x02\t#"};
    QCOMPARE(lines.size(), expected.size());
    const QRegularExpression time(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\t)");
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY2(time.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        QVERIFY2(lines[i].endsWith(expected[i]), qPrintable(lines[i]));
    }
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(logFile.readAll()).split('\n', Qt::SkipEmptyParts),
             QStringList(events + lines));
}

// With --decode each exchange line ends with what the command and the reply mean.
void HeadlessTest::decodeAddsWhatEachExchangeMeans()
{
    QProcess process;
    start(process, {"--headless", "--port", "virtual", "--profile", "full", "--decode"});
    QVERIFY(waitForListening(process).startsWith("Listening on a virtual port"));
    const int client = openVirtualClient();
    QVERIFY(client >= 0);
    QCOMPARE(exchangeOn(client, "r3AAAAA00,0E38E300", 1), QByteArray("#"));
    QCOMPARE(exchangeOn(client, "V", 3), QByteArray("\x04\x15#", 3));
    QCOMPARE(exchangeOn(client, QByteArray("P\x01\x10\xfe\x00\x00\x00\x02", 8), 3),
             QByteArray("\x07\x0f#", 3));
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(10000));
    ::close(client);

    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput())
                                      .split('\n', Qt::SkipEmptyParts)
                                      .filter(QRegularExpression("^[^#]"));
    const QStringList expected {
            "\tr3AAAAA00,0E38E300\t#\tgoto RA 05h30m00s Dec +20 00'00\" -> acknowledged",
            "\tV\t\\x04\\x15#\thand-control version -> version 4.21",
            "\tP\\x01\\x10\\xFE\\x00\\x00\\x00\\x02\t\\x07\\x0F#\tpass-through to the RA motor: "
            "get firmware version (2 bytes) -> version 7.15"};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(lines[i].endsWith(expected[i]), qPrintable(lines[i]));
}

void HeadlessTest::lostPortEndsWithFailure()
{
    PseudoTerminal pty;
    QProcess process;
    start(process, {"--headless", "--port", pty.slavePath()});
    QVERIFY(waitForListening(process).contains(pty.slavePath()));
    pty.closeSlave();
    pty.write("E");
    QCOMPARE(pty.read(10), QByteArray("310C,0BBB#"));
    pty.closeMaster();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains("failed"));
}

// Without $XDG_RUNTIME_DIR (root in a container, a CI job) the link, the lock and the control
// socket go to Qt's fallback folder in the temporary folder, which is said once on standard error,
// not once for each file.
void HeadlessTest::runtimeFolderFallbackIsSaidOnce()
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", m_runtime->path());
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(environment);
    process.start(TQX_EXECUTABLE, {"--headless", "--port", "virtual"});
    QVERIFY(process.waitForStarted());
    const QString listening = waitForListening(process);
    QVERIFY2(listening.contains(m_runtime->path() + "/runtime-"), qPrintable(listening));
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(errors.count("XDG_RUNTIME_DIR"), 1);
}

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
