// The shipped scenarios and the scripted client they run, as CI runs them: the client is a real
// Python process on the virtual port and over TCP, the program a real process. Every scenario
// file must read; the client must do each of its actions against the headless program, and
// misbehave the way its flags say; and, where the program runs scenarios, every example must
// end as its file says, with a JUnit report that names each expectation.
// Every wait has a deadline, so a client or a run that hangs fails instead.

#include "scenario/ScenarioReader.h"
#include "support/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace tqx;

namespace {

constexpr int startMs = 10000;
// Beyond the longest client run here (a goto followed to its end, three timeouts in a row).
constexpr int clientMs = 40000;
// Beyond a scenario's own time limit: the program's start and its reports.
constexpr int reportMs = 20000;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

QString examplesDir() { return QStringLiteral(TQX_EXAMPLES_DIR); }

QString scriptedClient() { return QStringLiteral(TQX_SCRIPTED_CLIENT); }

QStringList exampleFiles()
{
    return QDir(examplesDir()).entryList({QStringLiteral("*.toml")}, QDir::Files, QDir::Name);
}

// The examples that fail on purpose: a silence the client does not survive, and clients whose
// behaviour the checks catch.
int expectedRunExit(const QString &file)
{
    static const QStringList failing {QStringLiteral("silence-10s.toml"),
                                      QStringLiteral("pipelining-client.toml"),
                                      QStringLiteral("short-read-client.toml")};
    return failing.contains(file) ? 1 : 0;
}

// Those a TCP run tells something more of than the virtual port: how a drop, doubled or extra
// bytes and pieces look to a client that cannot flush, and the operations themselves.
bool worthTcpRun(const QString &file)
{
    static const QStringList files {
            QStringLiteral("connect-and-poll.toml"),  QStringLiteral("goto-and-wait.toml"),
            QStringLiteral("abort-during-goto.toml"), QStringLiteral("park-and-unpark.toml"),
            QStringLiteral("fault-drop.toml"),        QStringLiteral("drop.toml"),
            QStringLiteral("fault-twice.toml"),       QStringLiteral("fault-extra-after.toml"),
            QStringLiteral("fault-pieces.toml"),      QStringLiteral("silence-10s.toml")};
    return files.contains(file);
}

Scenario readExample(const QString &file)
{
    auto result = readScenario(QDir(examplesDir()).filePath(file));
    if (const auto *error = std::get_if<ScenarioError>(&result)) {
        qWarning("%s", qPrintable(error->describe()));
        return {};
    }
    return std::get<Scenario>(result);
}

// The client's arguments after its script, as the file gives them.
QStringList clientArguments(const Scenario &scenario)
{
    const qsizetype script = scenario.client.indexOf(QRegularExpression(".*scripted_client\\.py$"));
    return script < 0 ? QStringList {} : scenario.client.mid(script + 1);
}

QString python() { return QStandardPaths::findExecutable(QStringLiteral("python3")); }

int openOutput(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
}

QString excerpt(const QByteArray &text) { return QString::fromUtf8(text.right(3000)); }

struct JUnitReport
{
    bool parsed = false;
    QString error;
    QStringList testcases;
    QStringList failed;
};

JUnitReport readJUnit(const QByteArray &text)
{
    JUnitReport report;
    QXmlStreamReader xml(text);
    QString current;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testcase")) {
            current = xml.attributes().value(QLatin1String("name")).toString();
            report.testcases << current;
        } else if (xml.name() == QLatin1String("failure") || xml.name() == QLatin1String("error")) {
            report.failed << current;
        }
    }
    report.parsed = !xml.hasError();
    report.error = xml.errorString();
    return report;
}

} // namespace

class ExampleScenariosTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyExampleReads_data();
    void everyExampleReads();
    void clientActions_data();
    void clientActions();
    void scenarioRuns_data();
    void scenarioRuns();

private:
    bool runnerExists();
    void startEmulator(bool tcp, const QStringList &options, QString &clientPort);
    void runClient(const QString &port, const QStringList &arguments, int &exitCode,
                   QByteArray &output);
    QByteArray stopEmulator();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ChildProcess> m_emulator;
    std::optional<bool> m_runnerExists;
};

void ExampleScenariosTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (python().isEmpty())
        QSKIP("python3 is not installed: the scripted client cannot run");
}

void ExampleScenariosTest::cleanup()
{
    m_emulator.reset(); // kills a program a failed test left running
    m_dir.reset();
}

bool ExampleScenariosTest::runnerExists()
{
    if (!m_runnerExists) {
        const QString out = m_dir->filePath(QStringLiteral("help.txt"));
        const int fd = openOutput(out);
        ChildProcess help;
        const bool started = help.start(programUnderTest(), {QStringLiteral("--help")}, {}, fd, fd);
        ::close(fd);
        m_runnerExists
                = started && help.waitForExit(startMs) == 0 && fileText(out).contains("--scenario");
    }
    return *m_runnerExists;
}

void ExampleScenariosTest::startEmulator(bool tcp, const QStringList &options, QString &clientPort)
{
    const QString out = m_dir->filePath(QStringLiteral("emulator.txt"));
    const int fd = openOutput(out);
    m_emulator = std::make_unique<ChildProcess>();
    const bool started
            = m_emulator->start(programUnderTest(),
                                QStringList {"--headless", "--port", tcp ? "tcp:0" : "virtual",
                                             "--profile", "full", "--control", "off"}
                                        + options,
                                {"XDG_RUNTIME_DIR=" + m_dir->path()}, fd, STDERR_FILENO);
    ::close(fd);
    QVERIFY(started);
    QVERIFY2(waitUntil([&] { return fileText(out).contains('\n'); }, startMs),
             "the program did not say where it listens");
    const QString listening = QString::fromUtf8(fileText(out).split('\n').first());
    if (!tcp) {
        QVERIFY2(listening.startsWith(QLatin1String("Listening on a virtual port")),
                 qPrintable(listening));
        clientPort = m_dir->filePath(QStringLiteral("tqx-orbivo-emulator.pty"));
        return;
    }
    static const QRegularExpression where(
            QStringLiteral("^Listening on TCP (127\\.0\\.0\\.1:\\d+)$"));
    const QRegularExpressionMatch match = where.match(listening);
    QVERIFY2(match.hasMatch(), qPrintable(listening));
    clientPort = match.captured(1);
}

void ExampleScenariosTest::runClient(const QString &port, const QStringList &arguments,
                                     int &exitCode, QByteArray &output)
{
    // As the runner starts it: "{port}" filled in, or else given as --port.
    QStringList filled = arguments;
    filled.replaceInStrings(QStringLiteral("{port}"), port);
    if (filled == arguments)
        filled = QStringList {"--port", port} + arguments;
    const QString out = m_dir->filePath(QStringLiteral("client.txt"));
    const int fd = openOutput(out);
    ChildProcess client;
    const bool started
            = client.start(python(), QStringList {scriptedClient()} + filled, {}, fd, fd);
    ::close(fd);
    QVERIFY(started);
    exitCode = client.waitForExit(clientMs);
    output = fileText(out);
    QVERIFY2(exitCode != -1, qPrintable("the client did not finish:\n" + excerpt(output)));
}

QByteArray ExampleScenariosTest::stopEmulator()
{
    m_emulator->sendSignal(SIGTERM);
    const int exitCode = m_emulator->waitForExit(startMs);
    m_emulator.reset();
    if (exitCode != 0)
        qWarning("the program ended with %d", exitCode);
    return fileText(m_dir->filePath(QStringLiteral("emulator.txt")));
}

void ExampleScenariosTest::everyExampleReads_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = exampleFiles();
    QVERIFY2(files.size() >= 20, qPrintable(examplesDir()));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file;
}

// Each file reads, runs the scripted client with actions it knows, says how to run it, and is
// listed where users look for it.
void ExampleScenariosTest::everyExampleReads()
{
    QFETCH(QString, file);
    auto result = readScenario(QDir(examplesDir()).filePath(file));
    if (const auto *error = std::get_if<ScenarioError>(&result))
        QFAIL(qPrintable(error->describe()));
    const Scenario scenario = std::get<Scenario>(result);
    QVERIFY(!scenario.name.isEmpty());
    QVERIFY(!scenario.expectations.empty());
    QVERIFY2(scenario.timeLimitMs <= 15000, "CI runs every example: keep it short");
    QVERIFY2(!clientArguments(scenario).isEmpty() && scenario.client.contains("{port}"),
             qPrintable(scenario.client.join(' ')));

    const QByteArray text = fileText(QDir(examplesDir()).filePath(file));
    QVERIFY2(text.startsWith("# "), "the file begins with what it tests");
    QVERIFY2(text.contains("--scenario examples/" + file.toUtf8()), "and how to run it");
    QVERIFY2(fileText(QDir(examplesDir()).filePath(QStringLiteral("README.md")))
                     .contains("`" + file.toUtf8() + "`"),
             "examples/README.md lists it");

    // The client checks its actions before it opens anything: wrong ones end it with 2.
    const QStringList arguments = clientArguments(scenario);
    const qsizetype actions = arguments.indexOf(QStringLiteral("--do"));
    QVERIFY(actions >= 0 && actions + 1 < arguments.size());
    int exitCode = -1;
    QByteArray output;
    QTemporaryDir nowhere;
    runClient(nowhere.filePath(QStringLiteral("no-such-port")),
              {QStringLiteral("--do"), arguments.at(actions + 1)}, exitCode, output);
    QVERIFY2(exitCode == 1 && output.contains("gave up: cannot open"), output.constData());
}

void ExampleScenariosTest::clientActions_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QStringList>("options"); // the program's
    QTest::addColumn<QStringList>("arguments"); // the client's
    QTest::addColumn<QString>("clientSays"); // a line of the client's output, as a pattern
    QTest::addColumn<QString>("onTheWire"); // an exchange line of the program's, as a pattern

    const QStringList fast {"--time-rate", "50", "--site", "48.8567,2.3522"};
    for (const bool tcp : {false, true}) {
        const char *way = tcp ? "TCP" : "virtual port";
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(way, name))) << tcp;
        };
        row("connect and poll")
                << QStringList {} << QStringList {"--do", "connect,poll:2"}
                << "^P\\\\x01\\\\x12\\\\xfe\\\\x00\\\\x00\\\\x00\\\\x04 -> .*# \\d+ ms \\(error "
                   "form\\)$"
                << "\tp\tE#$";
        row("goto and wait") << fast
                             << QStringList {"--do", "connect,goto:5.919444:7.406944,wait-goto"}
                             << "^L -> 0# "
                             << "\tT\\\\x02\t#$";
        row("abort") << QStringList {} << QStringList {"--do", "connect,goto:3:60,poll:1,abort"}
                     << "^M -> # "
                     << "\tP\\\\x02\\\\x10\\$\\\\x00\\\\x00\\\\x00\\\\x00\t#$";
        row("sync") << QStringList {}
                    << QStringList {"--do", "connect,sync:5.919444:7.406944,poll:1"}
                    << "^e -> 3F24[0-9A-F]{4},0544[0-9A-F]{4}# "
                    << "\ts3F240700,05446500\t#$";
        row("park and unpark") << fast << QStringList {"--do", "connect,park:0:0,unpark"}
                               << "^T\\\\x02 -> # "
                               << "\tb00000000,00000000\t#$";
        // UTC-5 goes as 256 - 5, south and west as 1.
        row("time and site") << QStringList {}
                             << QStringList {"--do", "connect,time:-5,site:-33.8:-151.2"}
                             << "^W!0\\\\x00\\\\x01\\\\x97\\\\x0c\\\\x00\\\\x01 -> # "
                             << "\tH(\\\\x[0-9A-F]{2}|[^\\\\\t]){5}\\\\x\\w\\w\\\\xFB\\\\x00\t#$";
        row("reconnect") << QStringList {} << QStringList {"--do", "connect,reconnect,poll:1"}
                         << "^reconnected to "
                         << "\tKx\tx#$";
        row("dropped and reconnected")
                << QStringList {"--fault", "drop@nth=18"}
                << QStringList {"--reconnect", "--do", "connect,poll:2"} << "^lost: .*sending p"
                << "\tKx\tx#$";
        // e and p in one write, both replies in one read; MM in one write, one # read.
        row("pipeline") << QStringList {}
                        << QStringList {"--pipeline", "--do", "connect,poll:1,abort"}
                        << "^ep -> [0-9A-F]{8},[0-9A-F]{8}#E# \\d+ ms \\(pipelined\\)$"
                        << "\tp\tE#$";
        // Each reply read one byte short: the next one is read starting with the last "#".
        row("short read") << QStringList {}
                          << QStringList {"--short-read", "--do", "connect,poll:2"}
                          << "^e -> #[0-9A-F]{8},[0-9A-F]{7} "
                          << "\te\t[0-9A-F,]{17}#$";
    }
}

// The scripted client does each of its actions against the program as the scenarios run it,
// and what it says it did is what went over the line.
void ExampleScenariosTest::clientActions()
{
    QFETCH(bool, tcp);
    QFETCH(QStringList, options);
    QFETCH(QStringList, arguments);
    QFETCH(QString, clientSays);
    QFETCH(QString, onTheWire);

    QString port;
    startEmulator(tcp, options + QStringList {"--start-time", "2024-11-12T21:45:30Z"}, port);
    if (QTest::currentTestFailed())
        return;
    int exitCode = -1;
    QByteArray output;
    runClient(port, arguments, exitCode, output);
    if (QTest::currentTestFailed())
        return;
    const QByteArray exchanges = stopEmulator();
    QVERIFY2(exitCode == 0 && output.endsWith("done\n"), qPrintable(excerpt(output)));
    const QString actions = arguments.at(arguments.indexOf(QStringLiteral("--do")) + 1);
    for (const QString &action : actions.split(','))
        QVERIFY2(output.contains("action: " + action.toUtf8() + "\n"), qPrintable(action));
    QVERIFY2(!output.contains("timeout:"), qPrintable(excerpt(output)));
    const QRegularExpression says(clientSays, QRegularExpression::MultilineOption);
    QVERIFY2(says.match(QString::fromLatin1(output)).hasMatch(),
             qPrintable(clientSays + " in:\n" + excerpt(output)));
    const QRegularExpression wire(onTheWire, QRegularExpression::MultilineOption);
    QVERIFY2(wire.match(QString::fromLatin1(exchanges)).hasMatch(),
             qPrintable(onTheWire + " in:\n" + excerpt(exchanges)));
}

void ExampleScenariosTest::scenarioRuns_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("port"); // empty: the file's own
    for (const QString &file : exampleFiles()) {
        QTest::newRow(qPrintable(file)) << file << QString();
        if (worthTcpRun(file) && !readExample(file).port.startsWith(QLatin1String("tcp:")))
            QTest::newRow(qPrintable(file + ", TCP")) << file << QStringLiteral("tcp:0");
    }
}

// What CI does: each example run whole by the program, the scripted client started by it as a
// separate process, the run's exit code and its JUnit report checked.
void ExampleScenariosTest::scenarioRuns()
{
    QFETCH(QString, file);
    QFETCH(QString, port);
    QVERIFY2(runnerExists(), "the program runs scenarios (--help names --scenario)");
    const Scenario scenario = readExample(file);
    QVERIFY(!scenario.expectations.empty());

    // The scenario as the file gives it, on another port when the row says so.
    QString text = QString::fromUtf8(fileText(QDir(examplesDir()).filePath(file)));
    if (!port.isEmpty()) {
        static const QRegularExpression portLine(QStringLiteral("^port = .*$"),
                                                 QRegularExpression::MultilineOption);
        QVERIFY(text.contains(portLine));
        text.replace(portLine, QStringLiteral("port = \"%1\"").arg(port));
    }
    const QString scenarioPath = m_dir->filePath(file);
    {
        QFile copy(scenarioPath);
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(text.toUtf8());
    }
    const QString junit = m_dir->filePath(QStringLiteral("report.xml"));
    const QString out = m_dir->filePath(QStringLiteral("run.txt"));
    const int fd = openOutput(out);
    ChildProcess run;
    const bool started = run.start(programUnderTest(),
                                   QStringList {"--scenario", scenarioPath, "--junit", junit, "--",
                                                python(), scriptedClient()}
                                           + clientArguments(scenario),
                                   {"XDG_RUNTIME_DIR=" + m_dir->path()}, fd, fd);
    ::close(fd);
    QVERIFY(started);
    const int exitCode = run.waitForExit(int(scenario.timeLimitMs) + reportMs);
    const QByteArray said = fileText(out);
    QVERIFY2(exitCode != -1, qPrintable("the run did not end:\n" + excerpt(said)));
    QVERIFY2(exitCode == expectedRunExit(file),
             qPrintable(QStringLiteral("exit code %1:\n").arg(exitCode) + excerpt(said)));

    const JUnitReport report = readJUnit(fileText(junit));
    QVERIFY2(report.parsed, qPrintable(report.error));
    // A test case for each expectation, named after it (perhaps with the scenario's name too).
    for (const Expectation &expectation : scenario.expectations)
        QVERIFY2(!report.testcases.filter(expectation.name).isEmpty(),
                 qPrintable(QStringLiteral("no test case \"%1\" among: %2")
                                    .arg(expectation.name, report.testcases.join(", "))));
    if (file == QLatin1String("silence-10s.toml")) {
        // The failure is the one the silence causes, and its report shows the client's timeout.
        QVERIFY2(!report.failed.filter(scenario.expectations.front().name).isEmpty(),
                 qPrintable(report.failed.join(", ")));
        const QByteArray xml = fileText(junit);
        QVERIFY2(xml.contains("timeout") || xml.contains("unanswered") || xml.contains("silent"),
                 "the failure shows the commands the client timed out on");
    } else if (expectedRunExit(file) == 0) {
        QVERIFY2(report.failed.isEmpty(), qPrintable(report.failed.join(", ")));
    }
}

QTEST_GUILESS_MAIN(ExampleScenariosTest)
#include "example_scenarios_test.moc"
