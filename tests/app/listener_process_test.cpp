// The network listener and long runs the way test rigs, network tools and soak runs use them:
// clients that shut down their sending side, reconnect at once or never read, and a log that is
// not read when the program ends. Each case runs the program as a separate process with
// deadlines, so that a regression fails instead of hanging.

#include "support/ChildProcess.h"
#include "support/RawTcpClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 10000;
const QByteArray eReply = "310C,0BBB#";

// TQX_TEST_EXECUTABLE runs the same cases against another build of the program.
QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

qint64 residentKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression resident("^VmRSS:\\s+(\\d+) kB",
                                             QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = resident.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

} // namespace

class ListenerProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void halfClosedClientsGetTheirReplies_data();
    void halfClosedClientsGetTheirReplies();
    void shellChecksPrintTheReply_data();
    void shellChecksPrintTheReply();
    void immediateReconnectionsAreServed();
    void clientThatDoesNotReadIsHeldBack();
    void silentClientGivesWay();
    void headlessKeepsNoJournal();
    void linesLeftAtExitAreCounted();

private:
    // Starts the program on "tcp:0" and returns the port it listens on, 0 on failure.
    quint16 startListener(ChildProcess &process, const QStringList &extra = {},
                          const QStringList &environment = {});
    QString logPath() const { return m_folder->filePath("exchange.log"); }
    QString errorPath() const { return m_folder->filePath("stderr.txt"); }
    // The log's lines that are exchanges, not events.
    QList<QByteArray> exchangeLines() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Pipe> m_output;
    int m_errors = -1;
};

void ListenerProcessTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    if (m_errors >= 0)
        ::close(m_errors);
    m_errors = ::open(QFile::encodeName(errorPath()).constData(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

quint16 ListenerProcessTest::startListener(ChildProcess &process, const QStringList &extra,
                                           const QStringList &environment)
{
    m_output = std::make_unique<Pipe>();
    if (!process.start(programUnderTest(), QStringList {"--headless", "--port", "tcp:0"} + extra,
                       environment, m_output->writeEnd(), m_errors))
        return 0;
    m_output->closeWriteEnd();
    const QByteArray listening = m_output->readLine(deadlineMs);
    static const QRegularExpression where("^Listening on TCP 127\\.0\\.0\\.1:(\\d+)$");
    const QRegularExpressionMatch match = where.match(QString::fromUtf8(listening));
    return match.hasMatch() ? match.captured(1).toUShort() : 0;
}

QList<QByteArray> ListenerProcessTest::exchangeLines() const
{
    QList<QByteArray> lines;
    for (const QByteArray &line : fileText(logPath()).split('\n')) {
        if (!line.isEmpty() && !line.startsWith("# "))
            lines.append(line);
    }
    return lines;
}

void ListenerProcessTest::halfClosedClientsGetTheirReplies_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("position") << QByteArray("E") << eReply;
    QTest::newRow("echo") << QByteArray("Kq") << QByteArray("q#");
    QTest::newRow("goto") << QByteArray("R34AB,12CE") << QByteArray("#");
}

// A client that sends its command and shuts down its sending side, as `nc -q 1` and `socat -`
// do, still reads the reply, then the end of the connection; the log says answered only for
// what went out.
void ListenerProcessTest::halfClosedClientsGetTheirReplies()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    ChildProcess process;
    const quint16 port = startListener(process, {"--log", logPath()});
    QVERIFY(port != 0);
    constexpr int clients = 20;
    int answered = 0;
    for (int i = 0; i < clients; ++i) {
        RawTcpClient client;
        QVERIFY(client.connectTo(port));
        QVERIFY(client.send(command));
        client.shutdownSending();
        const QByteArray received = client.receive(reply.size() + 1);
        QVERIFY2(client.ended(), qPrintable(QString("client %1 was not let go").arg(i)));
        answered += received == reply ? 1 : 0;
    }
    QCOMPARE(answered, clients);
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QCOMPARE(exchangeLines().size(), clients);
}

void ListenerProcessTest::shellChecksPrintTheReply_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("command");
    QTest::newRow("nc") << "nc"
                        << "printf E | nc -q 1 127.0.0.1 %1; echo";
    QTest::newRow("socat") << "socat"
                           << "printf E | socat - TCP:127.0.0.1:%1; echo";
}

// The README's checks of the listener, run as it gives them.
void ListenerProcessTest::shellChecksPrintTheReply()
{
    QFETCH(QString, tool);
    QFETCH(QString, command);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed (script/bootstrap installs it)"));
    ChildProcess process;
    const quint16 port = startListener(process);
    QVERIFY(port != 0);
    QProcess shell;
    shell.start("/bin/sh", {"-c", command.arg(port)});
    QVERIFY(shell.waitForFinished(deadlineMs));
    QCOMPARE(shell.readAllStandardOutput(), eReply + '\n');
}

// A client that closes and connects again at once is served, not refused as a second client:
// the end of the old connection is noticed before the new one is judged.
void ListenerProcessTest::immediateReconnectionsAreServed()
{
    ChildProcess process;
    const quint16 port = startListener(process, {"--log", logPath()});
    QVERIFY(port != 0);
    constexpr int reconnections = 200;
    int served = 0;
    for (int i = 0; i < reconnections; ++i) {
        RawTcpClient client;
        QVERIFY(client.connectTo(port));
        QVERIFY(client.send("E"));
        served += client.receive(eReply.size()) == eReply ? 1 : 0;
    }
    QCOMPARE(served, reconnections);
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY2(!fileText(logPath()).contains("refused"), fileText(logPath()).constData());
}

// A client that sends without reading its replies is held back as a stalled serial line would
// hold it: the program's memory stays within a few MiB, a second client is still turned away,
// and when the client leaves its unread replies go and the next client is served.
void ListenerProcessTest::clientThatDoesNotReadIsHeldBack()
{
    ChildProcess process;
    // A sanitizer build keeps freed memory aside for a while to catch its use; here it must be
    // reused, so that the program's own memory is what shows.
    QString sanitizerOptions = qEnvironmentVariable("ASAN_OPTIONS");
    sanitizerOptions += QString(sanitizerOptions.isEmpty() ? "" : ":") + "quarantine_size_mb=0";
    const quint16 port = startListener(
            process, {"--profile", "full", "--takeover-after", "0", "--log", logPath()},
            {"ASAN_OPTIONS=" + sanitizerOptions});
    QVERIFY(port != 0);
    {
        RawTcpClient warmUp;
        QVERIFY(warmUp.connectTo(port));
        QVERIFY(warmUp.send("e"));
        QCOMPARE(warmUp.receive(18).size(), 18);
    }
    QVERIFY(waitUntil([&] { return fileText(logPath()).contains("the client disconnected"); }));
    const qint64 before = residentKiB(process.pid());
    QVERIFY(before > 0);

    RawTcpClient flooder;
    QVERIFY(flooder.connectTo(port));
    const qint64 sent = flooder.sendWithoutReading(16 * 1024 * 1024, 2000);
    QVERIFY(sent > 0);
    const qint64 during = residentKiB(process.pid());
    // Queued output lines (at most 4 MiB a destination) are the rest of what may grow.
    constexpr qint64 allowedGrowthKiB = 24 * 1024;
    QVERIFY2(during - before < allowedGrowthKiB,
             qPrintable(QString("grew from %1 to %2 KiB with %3 bytes sent")
                                .arg(before)
                                .arg(during)
                                .arg(sent)));

    RawTcpClient second;
    QVERIFY(second.connectTo(port));
    QCOMPARE(second.receive(1), QByteArray());
    QVERIFY(second.ended());

    flooder.close();
    QVERIFY(waitUntil([&] { return fileText(logPath()).count("the client disconnected") >= 2; }));
    RawTcpClient next;
    QVERIFY(next.connectTo(port));
    QVERIFY(next.send("Kz"));
    QCOMPARE(next.receive(2), QByteArray("z#"));
    const qint64 after = residentKiB(process.pid());
    QVERIFY2(after - before < allowedGrowthKiB,
             qPrintable(QString("%1 KiB before, %2 KiB after").arg(before).arg(after)));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// One forgotten connection does not keep every later client out: a client that has sent and
// read nothing for the takeover time gives way to a new one, and the log says so.
void ListenerProcessTest::silentClientGivesWay()
{
    ChildProcess process;
    const quint16 port = startListener(process, {"--takeover-after", "0.3", "--log", logPath()});
    QVERIFY(port != 0);
    RawTcpClient forgotten;
    QVERIFY(forgotten.connectTo(port));
    QVERIFY(forgotten.send("E"));
    QCOMPARE(forgotten.receive(eReply.size()), eReply);
    QTest::qSleep(400);

    RawTcpClient next;
    QVERIFY(next.connectTo(port));
    QVERIFY(next.send("E"));
    QCOMPARE(next.receive(eReply.size()), eReply);
    QCOMPARE(forgotten.receive(1), QByteArray());
    QVERIFY(forgotten.ended());
    QVERIFY(waitUntil([&] { return fileText(logPath()).contains("gives way to a new client"); }));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// Nothing saves a log in headless mode, so nothing is kept for one: no file in the temporary
// folder (named or not) grows with the exchanges.
void ListenerProcessTest::headlessKeepsNoJournal()
{
    const QString temporary = m_folder->filePath("tmp");
    QVERIFY(QDir().mkpath(temporary));
    ChildProcess process;
    // The control socket goes to the runtime folder, which is not under TMPDIR when it is set.
    const quint16 port = startListener(
            process, {}, {"TMPDIR=" + temporary, "XDG_RUNTIME_DIR=" + m_folder->path()});
    QVERIFY(port != 0);
    RawTcpClient client;
    QVERIFY(client.connectTo(port));
    for (int i = 0; i < 100; ++i) {
        QVERIFY(client.send("E"));
        QCOMPARE(client.receive(eReply.size()), eReply);
    }
    QStringList inTemporary;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process.pid()));
    for (const QFileInfo &descriptor :
         descriptors.entryInfoList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)) {
        if (descriptor.symLinkTarget().startsWith(temporary))
            inTemporary << descriptor.symLinkTarget();
    }
    QCOMPARE(inTemporary, QStringList());
    QCOMPARE(QDir(temporary).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// A log whose reader stops reading: when the program ends, the lines it could not write are
// counted on standard error, and with the lines that did arrive they make every line.
void ListenerProcessTest::linesLeftAtExitAreCounted()
{
    const QString fifo = m_folder->filePath("log.fifo");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    ChildProcess process;
    const quint16 port = startListener(process, {"--profile", "full", "--log", fifo});
    QVERIFY(port != 0);

    constexpr int exchanges = 20000;
    {
        RawTcpClient client;
        QVERIFY(client.connectTo(port));
        for (int sent = 0; sent < exchanges; sent += 1000) {
            QVERIFY(client.send(QByteArray(1000, 'e')));
            QCOMPARE(client.receive(1000 * 18).size(), 1000 * 18);
        }
    }
    QVERIFY(waitUntil([&] { return !m_output->readLineContaining("disconnected", 50).isEmpty(); }));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);

    qint64 arrived = 0;
    char buffer[65536];
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
        arrived += std::count(buffer, buffer + n, '\n');
    ::close(reader);
    const QString errors = QString::fromUtf8(fileText(errorPath()));
    static const QRegularExpression counted("(\\d+) lines? (was|were) not written to the log");
    const QRegularExpressionMatch match = counted.match(errors);
    QVERIFY2(match.hasMatch(), qPrintable("standard error: " + errors));
    // The exchanges, and the client's coming and going.
    QCOMPARE(arrived + match.captured(1).toLongLong(), qint64(exchanges + 2));
}

QTEST_GUILESS_MAIN(ListenerProcessTest)
#include "listener_process_test.moc"
