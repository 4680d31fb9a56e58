// The control channel as a harness uses it: the built program run headless on the virtual port,
// a client software on its pseudo-terminal, and control clients on the real socket, the command-
// line client and the Python example. Whatever a control client asks, well or badly, and however
// slowly it reads, the serial client's answers go on as before. Every wait has a deadline.

#include "support/ChildProcess.h"
#include "support/SerialClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 10000;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

// The program headless on the virtual port, its files in a runtime folder of its own.
class Emulator
{
public:
    // With --control at the default path unless `extra` gives one, or `saidWhere` is false.
    explicit Emulator(QStringList extra = {}, bool saidWhere = true)
    {
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        process.setProcessEnvironment(environment);
        if (saidWhere && !extra.contains("--control"))
            extra << "--control" << controlPath();
        process.start(programUnderTest(),
                      QStringList {"--headless", "--port", "virtual", "--profile", "full"} + extra);
    }
    ~Emulator()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }

    // The first line of standard output that contains `text`, or empty at the deadline.
    QString lineWith(const QString &text)
    {
        QDeadlineTimer deadline(deadlineMs);
        while (!deadline.hasExpired()) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.contains(text))
                    return line;
            }
            process.waitForReadyRead(50);
        }
        return {};
    }
    bool waitUntilListening() { return !lineWith("control channel on").isEmpty(); }

    QString link() const { return runtime.filePath("tqx-orbivo-emulator.pty"); }
    QString controlPath() const { return runtime.filePath("tqx-orbivo-emulator.control"); }

    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess process;
};

// A control client on the socket, line by line with deadlines.
class ControlLine
{
public:
    explicit ControlLine(const QString &path)
    {
        auto local = std::make_unique<QLocalSocket>();
        local->connectToServer(path);
        connected = local->waitForConnected(deadlineMs);
        socket = std::move(local);
    }
    ControlLine(const QHostAddress &host, quint16 port)
    {
        auto tcp = std::make_unique<QTcpSocket>();
        tcp->connectToHost(host, port);
        connected = tcp->waitForConnected(deadlineMs);
        socket = std::move(tcp);
    }

    void send(const QByteArray &bytes)
    {
        socket->write(bytes);
        while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(deadlineMs)) { }
    }
    QByteArray readLine(int timeoutMs = deadlineMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!socket->canReadLine() && !deadline.hasExpired())
            socket->waitForReadyRead(20);
        return socket->canReadLine() ? socket->readLine().trimmed() : QByteArray();
    }
    QJsonObject ask(const QByteArray &request)
    {
        send(request + '\n');
        return QJsonDocument::fromJson(readLine()).object();
    }

    std::unique_ptr<QIODevice> socket;
    bool connected = false;
};

// The next event that is not a client's coming or going (the virtual port tells of its client
// as its first bytes arrive), or an empty object at the deadline.
QJsonObject nextEvent(ControlLine &control, int timeoutMs = deadlineMs)
{
    for (;;) {
        const QJsonObject event = QJsonDocument::fromJson(control.readLine(timeoutMs)).object();
        if (event.value("event") != QJsonValue("client"))
            return event;
    }
}

// An "e" and its reply: where the mount points, as the client reads it.
QByteArray pointing(SerialClient &client) { return client.exchange("e", 18); }

// Echo commands in batches, as fast as the line carries them; true when every reply came.
bool echoMany(SerialClient &client, int count)
{
    constexpr int batch = 100;
    for (int done = 0; done < count; done += batch) {
        QByteArray commands, replies;
        for (int i = 0; i < batch; ++i) {
            const char c = char('a' + (done + i) % 26);
            commands += QByteArray("K") + c;
            replies += QByteArray(1, c) + '#';
        }
        client.send(commands);
        if (client.receive(replies.size(), deadlineMs) != replies)
            return false;
    }
    return true;
}

// A socket file whose listener has gone, as a killed copy leaves it.
bool makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFile::exists(path);
}

struct CtlRun
{
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

CtlRun runCtl(const QStringList &arguments)
{
    QProcess ctl;
    ctl.start(programUnderTest(), QStringList {"ctl"} + arguments);
    CtlRun run;
    if (!ctl.waitForFinished(deadlineMs)) {
        ctl.kill();
        ctl.waitForFinished(1000);
        return run;
    }
    run.exitCode = ctl.exitCode();
    run.output = ctl.readAllStandardOutput();
    run.errors = ctl.readAllStandardError();
    return run;
}

} // namespace

class ControlProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void requestsLeaveTheSerialLineAlone_data();
    void requestsLeaveTheSerialLineAlone();
    void eventsFollowTheExchange();
    void stuckClientDoesNotStopTheAnswers();
    void overlongLineIsRefused();
    void staleSocketIsTakenOverLiveOneRefused();
    void tcpOnLoopback();
    void ctlExitCodes_data();
    void ctlExitCodes();
    void ctlWithoutEmulator();
    void pythonExample();
};

void ControlProcessTest::requestsLeaveTheSerialLineAlone_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");
    // Whether the mount's pointing as the client reads it moves because of the request.
    QTest::addColumn<bool>("moves");

    QTest::newRow("state") << QByteArray(R"({"request":"state","id":1})") << true << "" << false;
    QTest::newRow("set pointing") << QByteArray(
            R"({"request":"set","pointing":{"ra_hours":10,"dec_degrees":-30}})")
                                  << true << "" << true;
    QTest::newRow("set time_rate")
            << QByteArray(R"({"request":"set","time_rate":0})") << true << "" << false;
    QTest::newRow("pause") << QByteArray(R"({"request":"pause"})") << true << "" << false;
    QTest::newRow("resume") << QByteArray(R"({"request":"resume"})") << true << "" << false;
    QTest::newRow("step") << QByteArray(R"({"request":"step","seconds":3600})") << true << ""
                          << false;
    QTest::newRow("fault add") << QByteArray(R"({"request":"fault","add":"twice@cmd=V"})") << true
                               << "" << false;
    QTest::newRow("fault clear") << QByteArray(R"({"request":"fault","clear":true})") << true << ""
                                 << false;
    QTest::newRow("reset") << QByteArray(R"({"request":"reset"})") << true << "" << false;
    QTest::newRow("subscribe") << QByteArray(R"({"request":"subscribe","kinds":["slew"]})") << true
                               << "" << false;
    QTest::newRow("unsubscribe") << QByteArray(R"({"request":"unsubscribe"})") << true << ""
                                 << false;
    QTest::newRow("not JSON") << QByteArray("state please") << false << "not JSON" << false;
    QTest::newRow("not an object") << QByteArray(R"(["state"])") << false << "JSON object" << false;
    QTest::newRow("unknown request")
            << QByteArray(R"({"request":"fly"})") << false << "unknown request" << false;
    QTest::newRow("bad field") << QByteArray(R"({"request":"set","clock":12})") << false
                               << "clock must be" << false;
    QTest::newRow("out of bounds")
            << QByteArray(R"({"request":"set","settings":{"slew_rate":500}})") << false
            << "settings.slew_rate" << false;
    QTest::newRow("set pointing out of bounds")
            << QByteArray(R"({"request":"set","pointing":{"ra_hours":10,"dec_degrees":-91}})")
            << false << "pointing.dec_degrees" << false;
}

void ControlProcessTest::requestsLeaveTheSerialLineAlone()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    QFETCH(bool, moves);

    // The clock stands still, so that the pointing reads the same until something moves it.
    Emulator emulator;
    QVERIFY(emulator.waitUntilListening());
    SerialClient client(emulator.link());
    QVERIFY(client.isOpen());
    ControlLine control(emulator.controlPath());
    QVERIFY(control.connected);
    QVERIFY(control.ask(R"({"request":"pause"})").value("ok").toBool());

    const QByteArray before = pointing(client);
    QCOMPARE(before.size(), 18);
    const QJsonObject answer = control.ask(request);
    QCOMPARE(answer.value("ok").toBool(), ok);
    QVERIFY2(answer.value("error").toString().contains(error),
             qPrintable(answer.value("error").toString()));
    if (request.contains("\"id\""))
        QCOMPARE(answer.value("id"), QJsonValue(1));
    // The request reached the line only as far as it moved the mount.
    QCOMPARE(client.receive(1, 100), QByteArray());
    QVERIFY(control.ask(R"({"request":"pause"})").value("ok").toBool());
    const QByteArray after = pointing(client);
    QCOMPARE(after.size(), 18);
    QCOMPARE(after.endsWith('#'), true);
    if (!request.contains("resume") && !request.contains("step") && !request.contains("reset"))
        QCOMPARE(after != before, moves);
    QCOMPARE(client.exchange("Kx", 2), QByteArray("x#"));
}

void ControlProcessTest::eventsFollowTheExchange()
{
    Emulator emulator;
    QVERIFY(emulator.waitUntilListening());
    SerialClient client(emulator.link());
    QVERIFY(client.isOpen());
    ControlLine control(emulator.controlPath());
    QVERIFY(control.connected);
    QCOMPARE(control.ask(R"({"request":"subscribe"})").value("ok"), QJsonValue(true));
    QVERIFY(control.ask(R"({"request":"set","time_rate":100})").value("ok").toBool());
    QVERIFY(control.ask(R"({"request":"fault","add":"twice@cmd=V"})").value("ok").toBool());

    QCOMPARE(client.exchange("Kq", 2), QByteArray("q#"));
    QJsonObject event = nextEvent(control);
    QCOMPARE(event.value("event"), QJsonValue("exchange"));
    QCOMPARE(event.value("command"), QJsonValue("Kq"));
    QCOMPARE(event.value("reply"), QJsonValue("q#"));
    QVERIFY(!event.value("meaning").toString().isEmpty());

    // A fault changed the reply: the exchange says so, and a fault event follows.
    QCOMPARE(client.exchange("V", 6).size(), 6);
    event = nextEvent(control);
    QCOMPARE(event.value("event"), QJsonValue("exchange"));
    QVERIFY(event.contains("note"));
    event = nextEvent(control);
    QCOMPARE(event.value("event"), QJsonValue("fault"));

    // A goto of a degree starts a slew and, a moment later at rate 100, ends it.
    const QByteArray state = pointing(client);
    QCOMPARE(nextEvent(control).value("command"), QJsonValue("e"));
    QCOMPARE(client.exchange("b00000000,10000000", 1), QByteArray("#"));
    QByteArrayList kinds;
    QDeadlineTimer deadline(deadlineMs);
    while (!kinds.contains("slew ended") && !deadline.hasExpired()) {
        const QJsonObject next = nextEvent(control, 200);
        if (next.value("event") == QJsonValue("slew"))
            kinds << ("slew " + next.value("change").toString().toUtf8());
        else if (!next.isEmpty())
            kinds << next.value("event").toString().toUtf8();
    }
    QCOMPARE(kinds, (QByteArrayList {"exchange", "slew started", "slew ended"}));
    QVERIFY(!state.isEmpty());

    // Unanswered bytes are told too.
    client.send("\x01");
    event = {};
    deadline.setRemainingTime(deadlineMs);
    while (event.value("event") != QJsonValue("unanswered") && !deadline.hasExpired())
        event = QJsonDocument::fromJson(control.readLine(200)).object();
    QCOMPARE(event.value("bytes"), QJsonValue("\\x01"));
}

void ControlProcessTest::stuckClientDoesNotStopTheAnswers()
{
    Emulator emulator;
    QVERIFY(emulator.waitUntilListening());
    SerialClient client(emulator.link());
    QVERIFY(client.isOpen());
    ControlLine stuck(emulator.controlPath());
    QVERIFY(stuck.connected);
    QVERIFY(stuck.ask(R"({"request":"subscribe","kinds":["exchange"]})").value("ok").toBool());

    // Far more events than the socket and the queue hold, while the subscriber reads nothing.
    constexpr int exchanges = 30000;
    QVERIFY(echoMany(client, exchanges));
    ControlLine other(emulator.controlPath());
    QVERIFY(other.connected);
    const QJsonObject state = other.ask(R"({"request":"state"})");
    QCOMPARE(state.value("counts").toObject().value("commands").toInteger(), exchanges);

    // Once the stuck client reads again, it hears how many it missed.
    qint64 seen = 0, lost = 0;
    QDeadlineTimer deadline(deadlineMs);
    while (lost == 0 && !deadline.hasExpired()) {
        const QJsonObject event = QJsonDocument::fromJson(stuck.readLine(200)).object();
        if (event.value("event") == QJsonValue("lost"))
            lost = event.value("count").toInteger();
        else if (event.value("event") == QJsonValue("exchange"))
            ++seen;
    }
    QVERIFY2(lost > 0, qPrintable(QString::number(seen)));
    QCOMPARE(seen + lost, exchanges);
    QCOMPARE(client.exchange("Kz", 2), QByteArray("z#"));
}

void ControlProcessTest::overlongLineIsRefused()
{
    Emulator emulator;
    QVERIFY(emulator.waitUntilListening());
    SerialClient client(emulator.link());
    ControlLine control(emulator.controlPath());
    QVERIFY(control.connected);
    control.send(QByteArray(200 * 1024, 'x') + "\n");
    const QJsonObject refused = QJsonDocument::fromJson(control.readLine()).object();
    QCOMPARE(refused.value("ok"), QJsonValue(false));
    QVERIFY2(refused.value("error").toString().contains("longer than"),
             qPrintable(refused.value("error").toString()));
    // The rest of that line is dropped; the next line is a request again.
    QCOMPARE(control.ask(R"({"request":"state"})").value("ok"), QJsonValue(true));
    QCOMPARE(client.exchange("Kx", 2), QByteArray("x#"));
}

void ControlProcessTest::staleSocketIsTakenOverLiveOneRefused()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("harness.control");
    QVERIFY(makeStaleSocket(path));
    Emulator first({"--control", path});
    QVERIFY(first.waitUntilListening());
    ControlLine control(path);
    QVERIFY(control.connected);
    QCOMPARE(control.ask(R"({"request":"state"})").value("ok"), QJsonValue(true));

    Emulator second({"--control", path});
    QVERIFY(second.process.waitForFinished(deadlineMs));
    QCOMPARE(second.process.exitCode(), 1);
    const QString errors = QString::fromUtf8(second.process.readAllStandardError());
    QVERIFY2(errors.contains(path), qPrintable(errors));
    // The first copy's channel is untouched.
    QCOMPARE(control.ask(R"({"request":"state"})").value("ok"), QJsonValue(true));
}

void ControlProcessTest::tcpOnLoopback()
{
    Emulator emulator({"--control", "tcp:0"});
    const QString line = emulator.lineWith("control channel on");
    const QRegularExpressionMatch match
            = QRegularExpression("tcp:127\\.0\\.0\\.1:(\\d+)$").match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));
    ControlLine control(QHostAddress::LocalHost, quint16(match.captured(1).toUInt()));
    QVERIFY(control.connected);
    QCOMPARE(control.ask(R"({"request":"state"})").value("profile"), QJsonValue("full"));
    QVERIFY(!QFile::exists(emulator.controlPath()));
}

void ControlProcessTest::ctlExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments"); // after --control PATH
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // a part of standard output, or of standard error

    QTest::newRow("state") << QStringList {"state"} << 0 << R"("ok":true)";
    QTest::newRow("key=value") << QStringList {"set", "time_rate=2", "settings.slew_rate=3"} << 0
                               << R"("ok":true)";
    QTest::newRow("raw JSON") << QStringList {R"({"request":"state","id":"q"})"} << 0
                              << R"("id":"q")";
    QTest::newRow("error response")
            << QStringList {"set", "time_rate=-1"} << 1 << "time_rate must be";
    QTest::newRow("unknown request") << QStringList {"fly"} << 1 << "unknown request";
    QTest::newRow("no request") << QStringList {} << 2 << "no request";
    QTest::newRow("not key=value") << QStringList {"set", "time_rate"} << 2 << "not KEY=VALUE";
}

void ControlProcessTest::ctlExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    Emulator emulator;
    QVERIFY(emulator.waitUntilListening());
    const CtlRun run = runCtl(QStringList {"--control", emulator.controlPath()} + arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.output.contains(output.toUtf8()) || run.errors.contains(output.toUtf8()),
             (run.output + run.errors).constData());
}

// No copy running, or a usage mistake before any connection.
void ControlProcessTest::ctlWithoutEmulator()
{
    QTemporaryDir folder;
    CtlRun run = runCtl({"--control", folder.filePath("nobody.control"), "state"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains("cannot connect"), run.errors.constData());
    run = runCtl({"--control", folder.filePath("nobody.control"), "--bogus", "state"});
    QCOMPARE(run.exitCode, 2);
    run = runCtl({"--instance", "no/slash", "state"});
    QCOMPARE(run.exitCode, 2);
}

void ControlProcessTest::pythonExample()
{
    const QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty())
        QSKIP("python3 is not installed (script/bootstrap installs it)");
    // Without --control: the example finds the default socket as the program makes it.
    Emulator emulator({}, false);
    QVERIFY(!emulator.lineWith("Listening").isEmpty());
    QVERIFY(waitUntil([&] { return QFile::exists(emulator.controlPath()); }, deadlineMs));
    SerialClient client(emulator.link());
    QVERIFY(client.isOpen());
    QProcess example;
    example.setProcessEnvironment(emulator.environment);
    example.start(python, {TQX_EXAMPLES_DIR "/control.py", "--events", "3"});
    QVERIFY(example.waitForStarted());
    // The client keeps the line busy until the example has seen its events.
    QDeadlineTimer deadline(deadlineMs);
    while (example.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCOMPARE(client.exchange("Kp", 2), QByteArray("p#"));
        example.waitForFinished(50);
    }
    QCOMPARE(example.state(), QProcess::NotRunning);
    const QString output = QString::fromUtf8(example.readAllStandardOutput());
    QVERIFY2(example.exitCode() == 0, example.readAllStandardError().constData());
    QVERIFY2(output.contains("time rate 10"), qPrintable(output));
    QCOMPARE(output.count("event exchange"), 3);
}

QTEST_GUILESS_MAIN(ControlProcessTest)
#include "control_process_test.moc"
