// The program run the way automated test harnesses and careless users run it: output that nobody
// reads, a pipe that closes, hang-ups, clients that leave early, two copies at once. Each case
// runs the program as a separate process with deadlines, so a regression fails instead of hanging.

#include "app/TerminationSignals.h"
#include "session/EmergencyExit.h"
#include "support/ChildProcess.h"
#include "support/SerialClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 10000;
const QByteArray eReply = "310C,0BBB#";

// TQX_TEST_EXECUTABLE runs the same cases against another build of the program.
QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

} // namespace

class HarnessTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void unreadOutputDoesNotStopAnswering();
    void logFifoWithoutReaderDoesNotStopListening();
    void closedOutputIsReportedOnceAndAnsweringGoesOn();
    void failingLogIsReportedOnce();
    void hangUpEndsCleanly();
    void newClientStartsAfresh_data();
    void newClientStartsAfresh();
    void secondCopyPublishesItsOwnLink();
    void longReplyArrivesWhole();
    void busyProgramStillEndsOnSignal();
    void networkListenerEndToEnd();

private:
    bool startVirtual(ChildProcess &process, int outputFd, const QStringList &extra = {});
    QString link(int number = 1) const;
    QString errorPath() const { return m_runtime->filePath("stderr.txt"); }

    std::unique_ptr<QTemporaryDir> m_runtime;
    int m_errors = -1;
};

void HarnessTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (m_errors >= 0)
        ::close(m_errors);
    m_errors = ::open(QFile::encodeName(errorPath()).constData(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

QString HarnessTest::link(int number) const
{
    return m_runtime->filePath(number == 1
                                       ? QStringLiteral("tqx-orbivo-emulator.pty")
                                       : QStringLiteral("tqx-orbivo-emulator-%1.pty").arg(number));
}

// Starts the program on a virtual port and waits until its link is published.
bool HarnessTest::startVirtual(ChildProcess &process, int outputFd, const QStringList &extra)
{
    const QStringList environment {"XDG_RUNTIME_DIR=" + m_runtime->path(),
                                   "QT_QPA_PLATFORM=offscreen"};
    if (!process.start(programUnderTest(), QStringList {"--headless", "--port", "virtual"} + extra,
                       environment, outputFd, m_errors))
        return false;
    return waitUntil([this] { return QFileInfo(link()).isSymLink(); });
}

// A harness that captures standard output but never reads it: a full pipe must cost output
// lines, never replies, and SIGTERM must still end the program cleanly.
void HarnessTest::unreadOutputDoesNotStopAnswering()
{
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd()));
    output.closeWriteEnd();
    SerialClient client(link());
    QVERIFY(client.isOpen());
    // Each exchange writes a line of about 40 bytes: far more than the pipe holds.
    for (int i = 0; i < 4000; ++i)
        QCOMPARE(client.exchange("E", eReply.size()), eReply);

    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY(!QFileInfo(link()).isSymLink());
}

void HarnessTest::logFifoWithoutReaderDoesNotStopListening()
{
    const QString fifo = m_runtime->filePath("exchange.fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd(), {"--log", fifo}));
    QVERIFY(output.readLine(deadlineMs).startsWith("Listening"));
    SerialClient client(link());
    QCOMPARE(client.exchange("E", eReply.size()), eReply);

    // A reader that comes late still gets the lines.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    QByteArray logged;
    const bool arrived = waitUntil([&] {
        char buffer[4096];
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n > 0)
            logged.append(buffer, n);
        return logged.contains(eReply);
    });
    ::close(reader);
    QVERIFY2(arrived, logged.constData());
    QVERIFY(fileText(errorPath()).contains("has no reader yet"));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// Standard output into "| head -1": the pipe closes after the first line.
void HarnessTest::closedOutputIsReportedOnceAndAnsweringGoesOn()
{
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd()));
    output.closeWriteEnd();
    QVERIFY(output.readLine(deadlineMs).startsWith("Listening"));
    output.closeReadEnd();

    SerialClient client(link());
    for (int i = 0; i < 20; ++i)
        QCOMPARE(client.exchange("E", eReply.size()), eReply);
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY(!QFileInfo(link()).isSymLink());
    const QByteArray errors = fileText(errorPath());
    QCOMPARE(errors.count("standard output could not be written"), 1);
}

void HarnessTest::failingLogIsReportedOnce()
{
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("this system has no /dev/full");
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd(), {"--log", "/dev/full"}));
    SerialClient client(link());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(client.exchange("E", eReply.size()), eReply);
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QCOMPARE(fileText(errorPath()).count("the log /dev/full could not be written"), 1);
}

void HarnessTest::hangUpEndsCleanly()
{
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd()));
    SerialClient client(link());
    QCOMPARE(client.exchange("E", eReply.size()), eReply);
    process.sendSignal(SIGHUP);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY(!QFileInfo(link()).isSymLink());
    QVERIFY(!QFileInfo::exists(link() + ".lock"));
}

void HarnessTest::newClientStartsAfresh_data()
{
    QTest::addColumn<QByteArray>("leftBehind");
    QTest::newRow("a reply nobody read") << QByteArray("E");
    QTest::newRow("half a command") << QByteArray("R34A");
    QTest::newRow("a command byte that blocks the buffer") << QByteArray("?");
}

void HarnessTest::newClientStartsAfresh()
{
    QFETCH(QByteArray, leftBehind);
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd()));
    {
        // What a client wrote before it closed is still read (and answered) by the emulator.
        SerialClient first(link());
        first.send(leftBehind);
    }
    const bool told = !output.readLineContaining("the client closed the virtual port", deadlineMs)
                               .isEmpty();

    SerialClient next(link());
    QCOMPARE(next.exchange("Kx", 2), QByteArray("x#"));
    QCOMPARE(next.receive(1, 200), QByteArray());
    QVERIFY2(told, "the output says when a client leaves");
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

void HarnessTest::secondCopyPublishesItsOwnLink()
{
    Pipe firstOutput;
    Pipe secondOutput;
    ChildProcess first;
    QVERIFY(startVirtual(first, firstOutput.writeEnd()));
    QVERIFY(firstOutput.readLine(deadlineMs).endsWith(link().toUtf8()));
    ChildProcess second;
    QVERIFY(startVirtual(second, secondOutput.writeEnd()));
    QVERIFY(secondOutput.readLine(deadlineMs).endsWith(link(2).toUtf8()));
    QVERIFY(QFileInfo(link()).symLinkTarget() != QFileInfo(link(2)).symLinkTarget());

    // Both answer through their own links; the second's end leaves the first's link alone.
    QCOMPARE(SerialClient(link(2)).exchange("Kb", 2), QByteArray("b#"));
    second.sendSignal(SIGTERM);
    QCOMPARE(second.waitForExit(deadlineMs), 0);
    QVERIFY(!QFileInfo(link(2)).isSymLink());
    QVERIFY(QFileInfo(link()).isSymLink());
    QCOMPARE(SerialClient(link()).exchange("Ka", 2), QByteArray("a#"));

    first.sendSignal(SIGTERM);
    QCOMPARE(first.waitForExit(deadlineMs), 0);
    QCOMPARE(
            QDir(m_runtime->path()).entryList({"tqx-orbivo-emulator*"}, QDir::System | QDir::Files),
            QStringList());
}

// A reply much longer than the pseudo-terminal holds arrives whole while the client reads.
void HarnessTest::longReplyArrivesWhole()
{
    const QByteArray reply = QByteArray("0123456789ABCDEF").repeated(4000);
    Pipe output;
    ChildProcess process;
    QVERIFY(startVirtual(process, output.writeEnd(),
                         {"--version-reply", QString::fromLatin1(reply)}));
    SerialClient client(link());
    QCOMPARE(client.exchange("V", reply.size()), reply);
    QCOMPARE(client.exchange("E", eReply.size()), eReply);
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// A program whose event loop never comes back still ends on SIGTERM, and removes what it asked
// to have removed.
void HarnessTest::busyProgramStillEndsOnSignal()
{
    const QString published = m_runtime->filePath("published.pty");
    QVERIFY(QFile::link("/dev/null", published));
    const pid_t child = ::fork();
    if (child == 0) {
        tqx::TerminationSignals terminations(nullptr, std::chrono::milliseconds(100));
        tqx::EmergencyExit::removeOnExit(QFile::encodeName(published).toStdString());
        ::raise(SIGTERM);
        for (;;)
            ::pause(); // busy: the event loop never runs again
    }
    QVERIFY(child > 0);
    int status = -1;
    QVERIFY(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY(!QFileInfo(published).isSymLink());
}

// Headless on "tcp:0": the first line says where it listens; one client at a time; a client that
// leaves mid-command leaves nothing for the next; events are comment lines.
void HarnessTest::networkListenerEndToEnd()
{
    Pipe output;
    ChildProcess process;
    QVERIFY(process.start(programUnderTest(), {"--headless", "--port", "tcp:0"}, {},
                          output.writeEnd(), m_errors));
    output.closeWriteEnd();
    const QByteArray listening = output.readLine(deadlineMs);
    const QRegularExpression where("^Listening on TCP 127\\.0\\.0\\.1:(\\d+)$");
    const QRegularExpressionMatch match = where.match(QString::fromUtf8(listening));
    QVERIFY2(match.hasMatch(), listening.constData());
    const quint16 port = match.captured(1).toUShort();

    auto connectTo = [port](QTcpSocket &socket) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(deadlineMs);
    };
    auto receive = [](QTcpSocket &socket, qsizetype count, int timeoutMs = deadlineMs) {
        QByteArray received;
        QDeadlineTimer deadline(timeoutMs);
        while (received.size() < count && !deadline.hasExpired()) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(20)
                && socket.state() != QAbstractSocket::ConnectedState)
                break;
            received += socket.read(count - received.size());
        }
        return received;
    };

    QTcpSocket first;
    QVERIFY(connectTo(first));
    first.write("E");
    QCOMPARE(receive(first, eReply.size()), eReply);

    QTcpSocket second;
    QVERIFY(connectTo(second));
    QVERIFY(second.waitForDisconnected(deadlineMs)
            || second.state() == QAbstractSocket::UnconnectedState);
    QCOMPARE(second.readAll(), QByteArray());

    first.write("R34A");
    QVERIFY(first.waitForBytesWritten(deadlineMs));
    first.disconnectFromHost();
    QVERIFY(!output.readLineContaining("the client disconnected", deadlineMs).isEmpty());

    QTcpSocket next;
    QVERIFY(connectTo(next));
    next.write("Kx");
    QCOMPARE(receive(next, 2), QByteArray("x#"));
    QCOMPARE(receive(next, 1, 200), QByteArray());

    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

QTEST_GUILESS_MAIN(HarnessTest)
#include "harness_test.moc"
