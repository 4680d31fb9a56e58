// Real line timing as client software sees it: the program runs as a separate process, and a
// client on the virtual port or the network timestamps each byte as it reads it.

#include "support/ChildProcess.h"
#include "support/RawTcpClient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

namespace {

constexpr int deadlineMs = 10000;
// 9600 bit/s, ten bits a byte.
constexpr double byteMs = 10.0 * 1000.0 / 9600.0;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

// A byte as the client read it, and when.
struct Arrival
{
    char byte;
    double ms;
};

// Reads one byte at a time until `count` have come or the deadline passes.
QList<Arrival> readTimed(int fd, qsizetype count, const QElapsedTimer &clock)
{
    QList<Arrival> arrivals;
    QDeadlineTimer deadline(deadlineMs);
    while (arrivals.size() < count && !deadline.hasExpired()) {
        pollfd state {fd, POLLIN, 0};
        if (::poll(&state, 1, int(deadline.remainingTime())) <= 0)
            continue;
        char byte = 0;
        if (::read(fd, &byte, 1) != 1)
            break;
        arrivals.append({byte, double(clock.nsecsElapsed()) / 1e6});
    }
    return arrivals;
}

QByteArray bytesOf(const QList<Arrival> &arrivals)
{
    QByteArray bytes;
    for (const Arrival &arrival : arrivals)
        bytes.append(arrival.byte);
    return bytes;
}

// A pass-through query of the motor's firmware version: two bytes and '#' come back.
const QByteArray motorVersionQuery("P\x01\x10\xfe\x00\x00\x00\x02", 8);

} // namespace

class LineTimingTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void repliesTakeTheLinesTime_data();
    void repliesTakeTheLinesTime();
    void busQueriesWaitForTheBus_data();
    void busQueriesWaitForTheBus();
    void mismatchedClientIsLogged();

private:
    // Starts the program on `port` with `options` and returns a client's descriptor on it.
    int startAndConnect(ChildProcess &process, const QString &port, const QStringList &options);

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<Pipe> m_output;
    int m_client = -1;
};

void LineTimingTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_output = std::make_unique<Pipe>();
}

void LineTimingTest::cleanup()
{
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
}

int LineTimingTest::startAndConnect(ChildProcess &process, const QString &port,
                                    const QStringList &options)
{
    if (!process.start(programUnderTest(),
                       QStringList {"--headless", "--port", port, "--profile", "full"} + options,
                       {"XDG_RUNTIME_DIR=" + m_runtime->path()}, m_output->writeEnd(),
                       STDERR_FILENO))
        return -1;
    m_output->closeWriteEnd();
    const QString listening = QString::fromUtf8(m_output->readLine(deadlineMs));
    if (port == QLatin1String("virtual")) {
        const QString link = m_runtime->filePath("tqx-orbivo-emulator.pty");
        return ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    static const QRegularExpression where("^Listening on TCP 127\\.0\\.0\\.1:(\\d+)$");
    const QRegularExpressionMatch match = where.match(listening);
    return match.hasMatch() ? connectToLoopback(match.captured(1).toUShort()) : -1;
}

void LineTimingTest::repliesTakeTheLinesTime_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("virtual port") << "virtual";
    QTest::newRow("network") << "tcp:0";
}

// Several replies asked for at once come one byte after another at 9600 bit/s, in the order of
// their commands.
void LineTimingTest::repliesTakeTheLinesTime()
{
    QFETCH(QString, port);
    ChildProcess process;
    m_client = startAndConnect(process, port, {"--line-timing", "real"});
    QVERIFY(m_client >= 0);

    const QByteArray commands = "eKaeKbeKceKd";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::write(m_client, commands.constData(), size_t(commands.size())),
             ssize_t(commands.size()));
    const QList<Arrival> arrivals = readTimed(m_client, 4 * 18 + 4 * 2, clock);
    const QByteArray received = bytesOf(arrivals);
    QCOMPARE(received.size(), 80);
    const QByteArray position = received.left(18);
    QVERIFY2(position.endsWith('#'), position.constData());
    QCOMPARE(received, position + "a#" + position + "b#" + position + "c#" + position + "d#");

    // On average over the run; a busy machine may bunch a few bytes up, but not the whole.
    const double perByte = (arrivals.last().ms - arrivals.first().ms) / (arrivals.size() - 1);
    QVERIFY2(perByte > byteMs * 0.9 && perByte < byteMs * 1.1,
             qPrintable(QString("%1 ms a byte").arg(perByte)));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

void LineTimingTest::busQueriesWaitForTheBus_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("atLeastMs");
    QTest::newRow("the default bus") << QStringList {"--line-timing", "real"} << 50.0;
    QTest::newRow("a slow bus") << QStringList {"--line-timing", "real", "--bus-delay", "400"}
                                << 400.0;
}

// A pass-through query's reply starts only once the bus has answered; the reply to the command
// after it waits its turn.
void LineTimingTest::busQueriesWaitForTheBus()
{
    QFETCH(QStringList, options);
    QFETCH(double, atLeastMs);
    ChildProcess process;
    m_client = startAndConnect(process, "tcp:0", options);
    QVERIFY(m_client >= 0);

    const QByteArray commands = motorVersionQuery + "Kz";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::write(m_client, commands.constData(), size_t(commands.size())),
             ssize_t(commands.size()));
    const QList<Arrival> arrivals = readTimed(m_client, 3 + 2, clock);
    const QByteArray received = bytesOf(arrivals);
    QCOMPARE(received.size(), 5);
    QVERIFY2(received.endsWith("#z#"), received.toHex().constData());
    QVERIFY2(arrivals.first().ms >= atLeastMs,
             qPrintable(QString("the first byte came after %1 ms").arg(arrivals.first().ms)));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// A client at the wrong rate gets no answer it can read, and the output says why.
void LineTimingTest::mismatchedClientIsLogged()
{
    ChildProcess process;
    m_client = startAndConnect(process, "virtual", {});
    QVERIFY(m_client >= 0);
    termios settings {};
    QCOMPARE(::tcgetattr(m_client, &settings), 0);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    QCOMPARE(::tcsetattr(m_client, TCSANOW, &settings), 0);
    QCOMPARE(::write(m_client, "KxKx", 4), ssize_t(4));
    const QByteArray event = m_output->readLineContaining("client's line", deadlineMs);
    QVERIFY2(event.startsWith("# ")
                     && event.endsWith(" the client's line is 19200 8N1, not 9600 8N1: bytes are "
                                       "garbled both ways, as on a real line"),
             event.constData());
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

QTEST_GUILESS_MAIN(LineTimingTest)
#include "line_timing_test.moc"
