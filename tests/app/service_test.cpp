// The program run as a service manager and a harness of many instances run it: a ready file
// instead of the first line of output, instance names, the port from a settings file, socket
// activation, readiness to the service manager, the user units, and JSON lines.

#include "support/ChildProcess.h"
#include "support/RawTcpClient.h"
#include "support/SerialClient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 10000;
const QByteArray eReply = "310C,0BBB#";

// The whole file as a JSON object; an empty one when it is missing or not whole.
QJsonObject jsonFile(const QString &path)
{
    return QJsonDocument::fromJson(fileText(path)).object();
}

// A TCP port nobody listens on just now, for a listener the test does not start itself.
quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The service manager's end of $NOTIFY_SOCKET: the datagrams sd_notify sends.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path)
        : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(),
                    std::min<size_t>(name.size(), sizeof address.sun_path - 1));
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // The next message, or an empty one at the deadline.
    QByteArray receive(int timeoutMs)
    {
        pollfd waiting {m_fd, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) != 1)
            return {};
        char buffer[4096];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        return got > 0 ? QByteArray(buffer, got) : QByteArray();
    }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace

class ServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readyFile_data();
    void readyFile();
    void readyFileThatCannotBeWrittenEndsWithFailure();
    void badInstanceName_data();
    void badInstanceName();
    void namedInstancesSideBySide();
    void socketActivation_data();
    void socketActivation();
    void portSystemdWithoutASocket();
    void unitFilesVerify();
    void jsonLines_data();
    void jsonLines();

private:
    bool start(ChildProcess &process, const QStringList &arguments, int outputFd = -1,
               const QString &program = TQX_EXECUTABLE, const QStringList &environment = {});
    QString errors() const { return QString::fromUtf8(fileText(errorPath())); }
    QString errorPath() const { return m_runtime->filePath("stderr.txt"); }
    QString runtimePath(const QString &name) const { return m_runtime->filePath(name); }
    // Writes `contents` to a file of the runtime folder and returns its path.
    QString writeFile(const QString &name, const QByteArray &contents) const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    int m_errors = -1;
    int m_null = -1;
};

void ServiceTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (int *fd : {&m_errors, &m_null}) {
        if (*fd >= 0)
            ::close(*fd);
    }
    m_errors = ::open(QFile::encodeName(errorPath()).constData(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    m_null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
}

bool ServiceTest::start(ChildProcess &process, const QStringList &arguments, int outputFd,
                        const QString &program, const QStringList &environment)
{
    return process.start(program, arguments,
                         QStringList {"XDG_RUNTIME_DIR=" + m_runtime->path()} + environment,
                         outputFd >= 0 ? outputFd : m_null, m_errors);
}

QString ServiceTest::writeFile(const QString &name, const QByteArray &contents) const
{
    const QString path = runtimePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    return path;
}

void ServiceTest::readyFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port"); // as the ready file repeats it
    QTest::addColumn<bool>("network");

    QTest::newRow("virtual") << QStringList {"--port", "virtual"} << "virtual" << false;
    QTest::newRow("tcp:0, the port bound") << QStringList {"--port", "tcp:0"} << "tcp:0" << true;
    QTest::newRow("port from the settings file")
            << QStringList {"--config", "CONFIG"} << "tcp:0" << true;
    QTest::newRow("command line wins over the file")
            << QStringList {"--config", "CONFIG", "--port", "virtual"} << "virtual" << false;
}

// Appears whole once the port listens, says where clients connect, and goes at a clean stop.
void ServiceTest::readyFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, port);
    QFETCH(bool, network);
    const QString config = writeFile("service.conf", "[Defaults]\nport=tcp:0\n");
    arguments.replaceInStrings("CONFIG", config);
    const QString ready = runtimePath("ready.json");
    ChildProcess process;
    QVERIFY(start(process, QStringList {"--headless", "--ready-file", ready} + arguments));

    // Whenever the file is there it is whole: it is renamed into place.
    QVERIFY2(waitUntil([&] { return QFile::exists(ready); }, deadlineMs), qPrintable(errors()));
    const QJsonObject fields = jsonFile(ready);
    QCOMPARE(fields.value("pid").toInteger(), qint64(process.pid()));
    QCOMPARE(fields.value("port").toString(), port);
    QVERIFY(!fields.contains("instance"));
    const QJsonObject connect = fields.value("connect").toObject();
    if (network) {
        QCOMPARE(connect.value("address").toString(), QString("127.0.0.1"));
        const int bound = connect.value("port").toInt();
        QVERIFY2(bound > 0 && bound < 65536, qPrintable(QJsonDocument(fields).toJson()));
        RawTcpClient client;
        QVERIFY(client.connectTo(quint16(bound)));
        QVERIFY(client.send("E"));
        QCOMPARE(client.receive(eReply.size()), eReply);
    } else {
        QVERIFY(connect.value("device").toString().startsWith("/dev/pts/"));
        QCOMPARE(connect.value("link").toString(), runtimePath("tqx-orbivo-emulator.pty"));
        SerialClient client(connect.value("link").toString());
        QVERIFY(client.isOpen());
        QCOMPARE(client.exchange("E", eReply.size()), eReply);
    }
    // No temporary file is left beside it.
    const QStringList beside = QDir(m_runtime->path()).entryList({"ready*"}, QDir::Files);
    QCOMPARE(beside, QStringList {"ready.json"});

    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY(!QFile::exists(ready));
}

// Nobody would learn that the program is ready: it says why and does not stay listening.
void ServiceTest::readyFileThatCannotBeWrittenEndsWithFailure()
{
    const QString ready = runtimePath("no-such-folder/ready.json");
    ChildProcess process;
    QVERIFY(start(process, {"--headless", "--port", "virtual", "--ready-file", ready}));
    QCOMPARE(process.waitForExit(deadlineMs), 1);
    QVERIFY2(errors().contains("cannot write the ready file " + ready), qPrintable(errors()));
    QVERIFY(!QFile::exists(runtimePath("tqx-orbivo-emulator.pty")));
}

void ServiceTest::badInstanceName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty") << ""
                           << "cannot be empty";
    QTest::newRow("a folder") << "a/b"
                              << "not \"/\"";
    QTest::newRow("at sign") << "a@b"
                             << "not \"@\"";
    QTest::newRow("space") << "a b"
                           << "not \" \"";
    QTest::newRow("hidden file") << ".a"
                                 << "cannot start with \".\"";
    QTest::newRow("an option") << "-a"
                               << "cannot start with \"-\"";
    QTest::newRow("too long") << QString(65, 'a') << "at most 64 characters";
}

// A name that cannot go into file names is a usage error, said before anything opens.
void ServiceTest::badInstanceName()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    ChildProcess process;
    QVERIFY(start(process, {"--headless", "--port", "virtual", "--instance=" + name}));
    QCOMPARE(process.waitForExit(deadlineMs), 2);
    QVERIFY2(errors().contains("--instance \"" + name + "\": ") && errors().contains(reason),
             qPrintable(errors()));
    QVERIFY(QDir(m_runtime->path()).entryList({"*.pty"}, QDir::System | QDir::Files).isEmpty());
}

// The plain copy and two named ones at once: three links that never take each other's name,
// each answering on its own, each removed by its own copy alone.
void ServiceTest::namedInstancesSideBySide()
{
    const QStringList names {"", "a", "b"};
    ChildProcess processes[3];
    QStringList links;
    for (int i = 0; i < 3; ++i) {
        QStringList arguments {"--headless", "--port", "virtual", "--ready-file",
                               runtimePath(QString("ready-%1.json").arg(i))};
        if (!names[i].isEmpty())
            arguments << "--instance" << names[i];
        QVERIFY(start(processes[i], arguments));
    }
    for (int i = 0; i < 3; ++i) {
        const QString ready = runtimePath(QString("ready-%1.json").arg(i));
        QVERIFY2(waitUntil([&] { return QFile::exists(ready); }, deadlineMs), qPrintable(errors()));
        const QJsonObject fields = jsonFile(ready);
        QCOMPARE(fields.value("instance").toString(), names[i]);
        links << fields.value("connect").toObject().value("link").toString();
    }
    QCOMPARE(links,
             (QStringList {runtimePath("tqx-orbivo-emulator.pty"),
                           runtimePath("tqx-orbivo-emulator@a.pty"),
                           runtimePath("tqx-orbivo-emulator@b.pty")}));
    for (const QString &link : links) {
        SerialClient client(link);
        QVERIFY2(client.isOpen(), qPrintable(link));
        QCOMPARE(client.exchange("E", eReply.size()), eReply);
    }
    // A second copy of a named instance is refused, not given a numbered name that could be
    // another instance's own.
    ChildProcess again;
    QVERIFY(start(again, {"--headless", "--port", "virtual", "--instance", "a"}));
    QCOMPARE(again.waitForExit(deadlineMs), 1);
    QVERIFY2(errors().contains("The instance a is running already"), qPrintable(errors()));
    processes[1].sendSignal(SIGTERM);
    QCOMPARE(processes[1].waitForExit(deadlineMs), 0);
    QVERIFY(!QFile::exists(links[1]));
    for (const int other : {0, 2}) {
        SerialClient client(links[other]);
        QVERIFY2(client.isOpen(), qPrintable(links[other]));
        QCOMPARE(client.exchange("E", eReply.size()), eReply);
    }
}

void ServiceTest::socketActivation_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no port given") << QStringList {};
    QTest::newRow("--port systemd") << QStringList {"--port", "systemd"};
    QTest::newRow("a network port takes the passed socket")
            << QStringList {"--port", "tcp:127.0.0.1:1"};
}

// Started the way a socket unit starts it: the listener is the socket it was passed, and the
// service manager hears that it is ready, where clients connect, and that it stops.
void ServiceTest::socketActivation()
{
    const QString activate = QStandardPaths::findExecutable("systemd-socket-activate");
    if (activate.isEmpty())
        QSKIP("systemd-socket-activate (Debian's systemd package) is not installed");
    QFETCH(QStringList, arguments);
    const quint16 port = freeLoopbackPort();
    QVERIFY(port != 0);
    NotifySocket manager(runtimePath("notify"));
    QVERIFY(manager.isOpen());
    const QString ready = runtimePath("ready.json");
    ChildProcess process;
    // It passes on only the variables it is told to, as a service manager sets them.
    QVERIFY(start(process,
                  QStringList {"-l", QString("127.0.0.1:%1").arg(port), "-E", "NOTIFY_SOCKET", "-E",
                               "XDG_RUNTIME_DIR", TQX_EXECUTABLE, "--headless", "--ready-file",
                               ready}
                          + arguments,
                  -1, activate, {"NOTIFY_SOCKET=" + manager.path()}));

    // The program starts when the first client comes, which waits in the socket's backlog.
    RawTcpClient client;
    QVERIFY(waitUntil([&] { return client.connectTo(port); }, deadlineMs));
    QVERIFY(client.send("E"));
    const QByteArray readiness = manager.receive(deadlineMs);
    QVERIFY2(readiness.startsWith("READY=1\nSTATUS=Listening on TCP 127.0.0.1:"
                                  + QByteArray::number(port)),
             qPrintable(readiness + errors()));
    QCOMPARE(client.receive(eReply.size()), eReply);
    const QJsonObject connect = jsonFile(ready).value("connect").toObject();
    QCOMPARE(connect.value("port").toInt(), int(port));

    process.sendSignal(SIGTERM);
    QCOMPARE(manager.receive(deadlineMs), QByteArray("STOPPING=1"));
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QVERIFY(!QFile::exists(ready));
}

void ServiceTest::portSystemdWithoutASocket()
{
    ChildProcess process;
    QVERIFY(start(process, {"--headless", "--port", "systemd"}));
    QCOMPARE(process.waitForExit(deadlineMs), 1);
    QVERIFY2(errors().contains("the service manager passed no listening socket"),
             qPrintable(errors()));
}

// The units as the package installs them, an instance of the template pointing at this build.
void ServiceTest::unitFilesVerify()
{
    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is not installed");
    const QString units = runtimePath("units");
    QVERIFY(QDir().mkpath(units));
    QString service = QString::fromUtf8(fileText(TQX_DIST_DIR "/tqx-orbivo-emulator@.service"));
    QVERIFY(service.contains("ExecStart=/usr/bin/tqx-orbivo-emulator "));
    service.replace("ExecStart=/usr/bin/tqx-orbivo-emulator ",
                    QStringLiteral("ExecStart=%1 ").arg(TQX_EXECUTABLE));
    const QByteArray socket = fileText(TQX_DIST_DIR "/tqx-orbivo-emulator@.socket");
    QVERIFY(!socket.isEmpty());
    const QString servicePath = units + "/tqx-orbivo-emulator@test.service";
    const QString socketPath = units + "/tqx-orbivo-emulator@test.socket";
    for (const auto &[path, text] :
         {std::pair {servicePath, service.toUtf8()}, std::pair {socketPath, socket}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    ChildProcess process;
    QVERIFY(start(process, {"--user", "verify", "--man=no", servicePath, socketPath}, -1, analyze));
    QCOMPARE(process.waitForExit(60000), 0);
    // Unknown keys and other complaints are only warnings, which the exit code does not show.
    QVERIFY2(errors().isEmpty(), qPrintable(errors()));
}

void ServiceTest::jsonLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("send");
    // What the lines after "listening" must hold, in order: an event's kind, or an exchange's
    // command and reply.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("an exchange") << QStringList {} << QByteArray("E")
                                 << QStringList {"client-connected", "exchange E 310C,0BBB#"};
    QTest::newRow("decoded") << QStringList {"--decode"} << QByteArray("E")
                             << QStringList {"client-connected", "exchange E 310C,0BBB# meaning"};
    QTest::newRow("unanswered bytes") << QStringList {"--reset-after", "1"} << QByteArray("\x01")
                                      << QStringList {"client-connected", "unanswered"};
    QTest::newRow("a fault") << QStringList {"--fault", "cut:2", "--seed", "1"} << QByteArray("E")
                             << QStringList {"faults", "client-connected", "exchange E 31",
                                             "reply-stages"};
}

// Every line on standard output and in the log is one JSON object, with the instance's name.
void ServiceTest::jsonLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, send);
    QFETCH(QStringList, expected);
    const QString log = runtimePath("log.jsonl");
    Pipe output;
    ChildProcess process;
    QVERIFY(start(process,
                  QStringList {"--headless", "--port", "tcp:0", "--instance", "json",
                               "--log-format", "jsonl", "--log", log}
                          + arguments,
                  output.writeEnd()));
    output.closeWriteEnd();

    const QJsonObject listening = QJsonDocument::fromJson(output.readLine(deadlineMs)).object();
    QCOMPARE(listening.value("event").toString(), QString("listening"));
    QCOMPARE(listening.value("instance").toString(), QString("json"));
    const int port = listening.value("connect").toObject().value("port").toInt();
    QVERIFY(port > 0);
    RawTcpClient client;
    QVERIFY(client.connectTo(quint16(port)));
    QVERIFY(client.send(send));

    QStringList seen;
    QList<QJsonObject> lines;
    while (seen.size() < expected.size()) {
        const QByteArray line = output.readLine(deadlineMs);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(document.isObject(), qPrintable(line + " " + error.errorString()));
        const QJsonObject object = document.object();
        lines.append(object);
        QCOMPARE(object.value("instance").toString(), QString("json"));
        QVERIFY(object.value("time").toString().endsWith('Z'));
        if (object.contains("event")) {
            QVERIFY(!object.value("text").toString().isEmpty());
            seen << object.value("event").toString();
        } else {
            QString text = "exchange " + object.value("command").toString() + " "
                    + object.value("reply").toString();
            if (object.contains("meaning") && !object.value("meaning").toString().isEmpty())
                text += " meaning";
            QCOMPARE(QByteArray::fromHex(object.value("command_hex").toString().toLatin1()),
                     QByteArray("E"));
            seen << text;
        }
    }
    QCOMPARE(seen, expected);

    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    // The log holds the same lines, each a JSON object.
    const QList<QByteArray> logged = fileText(log).trimmed().split('\n');
    QVERIFY(logged.size() >= lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(QJsonDocument::fromJson(logged[i]).object(), lines[i]);
}

QTEST_GUILESS_MAIN(ServiceTest)
#include "service_test.moc"
