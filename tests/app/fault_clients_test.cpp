// Faults as client software sees them: the program run headless with faults, and a client that
// waits for each reply with a read timeout of 2 s, as clients of the mount do, over the virtual
// port and over TCP. A delayed reply comes after the timeout, a cut one stops short, a silent
// line answers nothing, and a dropped connection ends the client's reads.

#include "support/RawTcpClient.h"
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int readTimeoutMs = 2000;

// What a client's read of one reply ended with.
enum class Ending { Complete, TimedOut, HungUp };

struct Read
{
    QByteArray bytes;
    Ending ending = Ending::TimedOut;
};

// Reads until `length` bytes, the timeout, or the end of the line (EIO, a reset, a close).
Read readReply(int fd, qsizetype length, int timeoutMs = readTimeoutMs)
{
    Read read;
    QDeadlineTimer deadline(timeoutMs);
    while (read.bytes.size() < length) {
        pollfd state {fd, POLLIN, 0};
        const int ready = ::poll(&state, 1, int(deadline.remainingTime()));
        if (ready <= 0)
            return read;
        char buffer[64];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            read.ending = Ending::HungUp;
            return read;
        }
        read.bytes.append(buffer, got);
    }
    read.ending = Ending::Complete;
    return read;
}

Read ask(int fd, const QByteArray &command, qsizetype length)
{
    [[maybe_unused]] const ssize_t sent = ::write(fd, command.constData(), command.size());
    return readReply(fd, length);
}

int openSerial(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios settings {};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

} // namespace

class FaultClientsTest : public QObject
{
    Q_OBJECT

private slots:
    void clientSeesEachFault_data();
    void clientSeesEachFault();
};

void FaultClientsTest::clientSeesEachFault_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("virtual port") << "virtual";
    QTest::newRow("tcp") << "tcp:0";
}

void FaultClientsTest::clientSeesEachFault()
{
    QFETCH(QString, port);
    QTemporaryDir runtime;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    program.setProcessEnvironment(environment);
    program.start(TQX_EXECUTABLE,
                  {"--headless", "--port", port, "--seed", "1", "--fault", "delay:3000@nth=1",
                   "--fault", "cut:4@nth=2", "--fault", "silent:3500@nth=3", "--fault",
                   "drop@nth=5", "--fault", "noreply@nth=9", "--fault", "power-cycle:3000@nth=10"});
    QVERIFY(program.waitForStarted());
    QDeadlineTimer deadline(10000);
    while (!program.canReadLine() && !deadline.hasExpired())
        program.waitForReadyRead(100);
    const QString listening = QString::fromUtf8(program.readLine()).trimmed();
    const QString link = runtime.filePath("tqx-orbivo-emulator.pty");
    const QRegularExpression tcpPort("TCP 127\\.0\\.0\\.1:(\\d+)$");
    const auto connectClient = [&] {
        return port == "virtual"
                ? openSerial(link)
                : connectToLoopback(quint16(tcpPort.match(listening).captured(1).toUInt()));
    };
    int client = connectClient();
    QVERIFY2(client >= 0, qPrintable(listening));

    // Delayed beyond the timeout: nothing in time, then the reply once the client reads again.
    Read read = ask(client, "E", 10);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray());
    read = readReply(client, 10);
    QCOMPARE(read.ending, Ending::Complete);
    QCOMPARE(read.bytes, QByteArray("310C,0BBB#"));

    // Cut: the first bytes, then nothing.
    read = ask(client, "E", 10);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray("310C"));

    // Silent: no reply, and the command the client retries with is dropped too.
    read = ask(client, "E", 10);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray());
    read = ask(client, "Kx", 2);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray());
    // The line is back.
    read = ask(client, "Ky", 2);
    QCOMPARE(read.bytes, QByteArray("y#"));

    // Dropped: the client's read ends (EIO on the virtual port, a reset over TCP), and it can
    // connect again.
    read = ask(client, "Kz", 2);
    QCOMPARE(read.ending, Ending::HungUp);
    QCOMPARE(read.bytes, QByteArray());
    ::close(client);
    QVERIFY(QTest::qWaitFor([&] { return (client = connectClient()) >= 0; }, 5000));
    read = ask(client, "Kq", 2);
    QCOMPARE(read.bytes, QByteArray("q#"));

    // No reply: the client gives up on the command and goes on.
    QCOMPARE(ask(client, "R1111,2222", 1).bytes, QByteArray("#"));
    QCOMPARE(ask(client, "E", 10).bytes, QByteArray("1111,2222#"));
    read = ask(client, "Kn", 2);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray());

    // Power cycle: silent while switched off, then back in the start state.
    read = ask(client, "Kp", 2);
    QCOMPARE(read.ending, Ending::TimedOut);
    QCOMPARE(read.bytes, QByteArray());
    QVERIFY(QTest::qWaitFor([&] { return ask(client, "E", 10).bytes == "310C,0BBB#"; }, 10000));
    ::close(client);

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    const QByteArray output = program.readAll();
    QVERIFY2(output.contains("reply delayed by 3000 ms (fault)"), output.constData());
    QVERIFY2(output.contains("reply cut after 4 of 10 bytes (fault)"), output.constData());
    QVERIFY2(output.contains("unanswered: Kx (the line is silent (fault))"), output.constData());
    QVERIFY2(output.contains("the client's connection dropped (fault)"), output.constData());
}

QTEST_GUILESS_MAIN(FaultClientsTest)
#include "fault_clients_test.moc"
