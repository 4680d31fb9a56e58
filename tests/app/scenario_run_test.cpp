// Scenario runs as a user starts them: the built program with a scenario file and a client
// command, the client a real process on the virtual port or over TCP, the verdict in the exit
// code, the summary and the reports.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int deadlineMs = 30000;

// A client in a few lines of Python: it opens the port it is given ("HOST:PORT" or a device) and
// runs its script, a list of (bytes to send, bytes of reply to read) with a 2 s read timeout.
const char *clientProgram = R"(
import os, select, socket, sys, termios, time, tty
where, script = sys.argv[1], eval(sys.argv[2])
if ':' in where and not where.startswith('/'):
    host, port = where.rsplit(':', 1)
    s = socket.create_connection((host, int(port)))
    send, fd = s.sendall, s.fileno()
else:
    fd = os.open(where, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    send = lambda b: os.write(fd, b)
for command, length in script:
    if command == 'sleep':
        time.sleep(length)
        continue
    send(command.encode('latin-1'))
    got, deadline = b'', time.time() + 2
    while len(got) < length and time.time() < deadline:
        if select.select([fd], [], [], 0.05)[0]:
            chunk = os.read(fd, length - len(got))
            if not chunk:
                sys.exit(3)
            got += chunk
    print(repr(command), got, flush=True)
)";

} // namespace

class ScenarioRunTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void runs_data();
    void runs();
    void refusedScenarioNamesItsLine();

private:
    QString write(const QString &name, const QByteArray &contents);
    std::unique_ptr<QTemporaryDir> m_folder;
};

void ScenarioRunTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString ScenarioRunTest::write(const QString &name, const QByteArray &contents)
{
    const QString path = m_folder->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void ScenarioRunTest::runs_data()
{
    QTest::addColumn<QByteArray>("scenario"); // empty: --check-client
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("script"); // the client's, as Python
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("printed"); // each in the summary
    QTest::addColumn<int>("failures"); // in the JUnit file

    const QByteArray connect = R"(name = "connect"
time_limit = "20s"
[emulator]
profile = "full"
[[expect]]
sends = "V"
within = "10s"
[[expect]]
sends = "e"
[[expect]]
not_sends = "x"
)";
    QTest::newRow("a good client passes")
            << connect << QStringList() << "[('V', 3), ('e', 18), ('p', 2)]" << 0
            << QStringList {"PASS  sends `V`", "PASSED: 0 of 11"} << 0;
    QTest::newRow("over TCP too") << connect << QStringList {"--port", "tcp:0"}
                                  << "[('V', 3), ('e', 18)]" << 0
                                  << QStringList {"clients connect at 127.0.0.1:", "PASSED"} << 0;
    QTest::newRow("a missing command fails")
            << connect << QStringList() << "[('V', 3)]" << 1
            << QStringList {"FAIL  sends `e`: not by the end"} << 1;
    QTest::newRow("a forbidden command fails")
            << connect << QStringList() << "[('V', 3), ('e', 18), ('x', 0)]" << 1
            << QStringList {"FAIL  does not send `x`"} << 1;
    QTest::newRow("pipelining is caught")
            << connect << QStringList() << "[('V', 3), ('e', 18), ('MM', 2)]" << 1
            << QStringList {"FAIL  client check pipelining: 1 time", "sent `M` before"} << 1;
    QTest::newRow("reading short is caught over TCP")
            << connect << QStringList {"--port", "tcp:0"}
            << "[('V', 3), ('e', 17), ('sleep', 1), ('e', 18), ('sleep', 1), ('e', 18)]" << 1
            << QStringList {"FAIL  client check short-read",
                            "left 1 bytes of the replies unread for"}
            << 1;
    QTest::newRow("a silence the client does not outlast")
            << QByteArray(R"(name = "silence"
time_limit = "20s"
[emulator]
profile = "full"
[[step]]
name = "quiet"
when = "V"
request = "fault"
add = "silent:3s"
[[expect]]
sends = "V"
within = "1s"
after = "quiet"
)") << QStringList()
            << "[('V', 3), ('e', 18), ('e', 18)]" << 1
            << QStringList {"FAIL  sends `V`: the client did not send it within 1.000 s", "e -> ",
                            "silent"}
            << 1;
    QTest::newRow("a drop and the client back")
            << QByteArray(R"(time_limit = "20s"
[emulator]
profile = "full"
[[step]]
name = "drop"
when = "V"
request = "drop"
[[expect]]
reconnects_within = "5s"
after = "drop"
)") << QStringList {"--port", "tcp:0"}
            << "[('V', 3)]" << 1 << QStringList {"FAIL  the client connects again"} << 1;
    QTest::newRow("checks alone, nothing found")
            << QByteArray() << QStringList() << "[('e', 10), ('E', 10)]" << 0
            << QStringList {"PASSED: 0 of 8"} << 0;
    QTest::newRow("checks alone, bytes that are no command")
            << QByteArray() << QStringList() << "[('Xhello', 0), ('sleep', 1.5), ('E', 10)]" << 1
            << QStringList {"client check not-a-command", "`Xhello`"} << 1;
}

void ScenarioRunTest::runs()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QStringList, options);
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    QFETCH(QStringList, printed);
    QFETCH(int, failures);

    const QString client = write("client.py", clientProgram);
    const QString junit = m_folder->filePath("results.xml");
    const QString json = m_folder->filePath("results.json");
    QStringList arguments = scenario.isEmpty()
            ? QStringList {"--check-client"}
            : QStringList {"--scenario", write("run.toml", scenario)};
    arguments << options << "--junit" << junit << "--report-json" << json << "--"
              << "python3" << client << "{port}" << script;
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_folder->path());
    run.setProcessEnvironment(environment);
    run.start(TQX_EXECUTABLE, arguments);
    QVERIFY(run.waitForFinished(deadlineMs));
    const QString output = QString::fromUtf8(run.readAllStandardOutput());
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(run.exitCode() == exitCode, qPrintable(output + errors));
    for (const QString &text : printed)
        QVERIFY2(output.contains(text), qPrintable(output + errors));

    const QByteArray xml = QFile(junit).exists() ? [&] {
        QFile file(junit);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }() : QByteArray();
    QVERIFY2(xml.contains(QStringLiteral("failures=\"%1\"").arg(failures).toUtf8()),
             xml.constData());
    QFile report(json);
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QJsonObject results = QJsonDocument::fromJson(report.readAll()).object();
    QCOMPARE(results.value("passed").toBool(), exitCode == 0);
    QCOMPARE(results.value("failures").toInt(), failures);
}

void ScenarioRunTest::refusedScenarioNamesItsLine()
{
    const QString path
            = write("bad.toml", "name = \"bad\"\n\n[[expect]]\nsends = \"e\"\nwithin = \"soon\"\n");
    QProcess run;
    run.start(TQX_EXECUTABLE, {"--scenario", path, "--", "true"});
    QVERIFY(run.waitForFinished(deadlineMs));
    QCOMPARE(run.exitCode(), 2);
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(errors.contains(path + ":5: expect 1: within must be a duration"), qPrintable(errors));
}

QTEST_GUILESS_MAIN(ScenarioRunTest)
#include "scenario_run_test.moc"
