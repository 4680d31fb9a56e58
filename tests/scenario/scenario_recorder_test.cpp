// Recording a good run of a client as a scenario: from each form of log, the expectations are
// what the client did, and the scenario reads back as the runner will read it.

#include "scenario/ScenarioRecorder.h"

#include "emulation/ExchangeDecoder.h"
#include "support/ChildProcess.h"
#include "support/SerialClient.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tqx;

class ScenarioRecorderTest : public QObject
{
    Q_OBJECT

private slots:
    void forms_data();
    void forms();
    void recorded_data();
    void recorded();
    void margins_data();
    void margins();
    void unreadable_data();
    void unreadable();
    void recordsTheProgramsOwnLog();
};

namespace {

constexpr int deadlineMs = 10000;

// What the client sent in the session every form below logs.
const QList<QByteArray> &sessionCommands()
{
    static const QList<QByteArray> commands {"V",
                                             "e",
                                             "e",
                                             "e",
                                             "r3AAAAA00,0E38E300",
                                             QByteArray("P\x01\x10\xfe\x00\x00\x00\x02", 8)};
    return commands;
}

const QByteArray textLog = "# 2026-12-09 18:00:00.000 a client opened the virtual port\n"
                           "2026-12-09 18:00:00.100\tV\t\\x04\\x15#\n"
                           "2026-12-09 18:00:00.300\te\t34AB0500,12CE0500#\n"
                           "2026-12-09 18:00:01.300\te\t34AB0500,12CE0500#\tget RA/Dec -> ...\n"
                           "2026-12-09 18:00:02.300\te\t34AB0500,12CE0500#\n"
                           "2026-12-09 18:00:03.100\tr3AAAAA00,0E38E300\t#\n"
                           "2026-12-09 18:00:04.100\tP\\x01\\x10\\xFE\\x00\\x00\\x00\\x02\t"
                           "\\x07\\x0F#\n"
                           "# 2026-12-09 18:00:05.100 unanswered: Q (an unknown command)\n";

const QByteArray jsonLog
        = R"log({"time":"2026-12-09T18:00:00.000Z","event":"client-connected","text":"a client opened the virtual port"}
{"time":"2026-12-09T18:00:00.100Z","command":"V","reply":"\\x04\\x15#","command_hex":"56","reply_hex":"041523"}
{"time":"2026-12-09T18:00:00.300Z","command":"e","reply":"","command_hex":"65","reply_hex":""}
{"time":"2026-12-09T18:00:01.300Z","command":"e","reply":"","command_hex":"65","reply_hex":"","meaning":"get RA/Dec"}
{"time":"2026-12-09T18:00:02.300Z","command":"e","reply":"","command_hex":"65","reply_hex":""}
{"time":"2026-12-09T18:00:03.100Z","command":"r3AAAAA00,0E38E300","reply":"#","command_hex":"7233414141414130302c3045333845333030","reply_hex":"23"}
{"time":"2026-12-09T18:00:04.100Z","command":"","reply":"","command_hex":"500110fe00000002","reply_hex":"070f23"}
{"time":"2026-12-09T18:00:05.100Z","event":"unanswered","text":"unanswered: Q (an unknown command)"}
)log";

const QByteArray savedLog = "2026-12-09 18:00:00.100\tcommand\tV\tget version\n"
                            "2026-12-09 18:00:00.100\treply\t\\x04\\x15#\tversion 4.21\n"
                            "2026-12-09 18:00:00.300\tcommand\te\tget RA/Dec\n"
                            "2026-12-09 18:00:00.300\treply\t34AB0500,12CE0500#\tRA ...\n"
                            "2026-12-09 18:00:01.300\tcommand\te\tget RA/Dec\n"
                            "2026-12-09 18:00:01.300\treply\t34AB0500,12CE0500#\tRA ...\n"
                            "2026-12-09 18:00:02.300\tcommand\te\tget RA/Dec\n"
                            "2026-12-09 18:00:02.300\treply\t34AB0500,12CE0500#\tRA ...\n"
                            "2026-12-09 18:00:03.100\tcommand\tr3AAAAA00,0E38E300\tgoto\n"
                            "2026-12-09 18:00:03.100\treply\t#\tdone\n"
                            "2026-12-09 18:00:04.100\tcommand\tP\\x01\\x10\\xFE\\x00\\x00\\x00"
                            "\\x02\tpass-through\n"
                            "2026-12-09 18:00:04.100\treply\t\\x07\\x0F#\tversion 7.15\n"
                            "2026-12-09 18:00:05.100\tcommand\tQ\tunknown command\n"
                            "2026-12-09 18:00:05.100\treply\t\tno reply\n";

QByteArray recordOrFail(const QByteArray &log, const RecordingMargins &margins = {})
{
    const auto recorded = recordScenario(log, QStringLiteral("run.log"), margins);
    if (const auto *error = std::get_if<ScenarioError>(&recorded)) {
        qWarning("%s", qPrintable(error->describe()));
        return {};
    }
    return std::get<QByteArray>(recorded);
}

// As the runner reads it; an error fails the test where it is called, with the text shown.
std::optional<Scenario> readBack(const QByteArray &text)
{
    const auto read = readScenarioText(text, QStringLiteral("recorded.toml"));
    if (const auto *error = std::get_if<ScenarioError>(&read)) {
        qWarning("%s\n%s", qPrintable(error->describe()), text.constData());
        return std::nullopt;
    }
    return std::get<Scenario>(read);
}

QString meaningOf(const QByteArray &command)
{
    return QString::fromStdString(
            ExchangeDecoder(DecodeContext {Profile::Full}).command(command.toStdString()));
}

} // namespace

void ScenarioRecorderTest::forms_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("headless text") << textLog;
    QTest::newRow("headless jsonl") << jsonLog;
    QTest::newRow("saved by the window") << savedLog;
}

// Each form of the same session gives the same expectations: each distinct command once, at its
// first time, in order, the binary one as hex, the unanswered byte a comment only.
void ScenarioRecorderTest::forms()
{
    QFETCH(QByteArray, log);
    const QByteArray text = recordOrFail(log);
    QVERIFY(!text.isEmpty());
    const std::optional<Scenario> scenario = readBack(text);
    QVERIFY(scenario);
    QCOMPARE(scenario->name, QStringLiteral("recorded from run.log"));
    QCOMPARE(scenario->timeLimitMs, 20'000); // 2 x 5 s + 10 s
    QVERIFY(scenario->steps.empty());

    const QStringList described {"`V`", "`e`", "`r3AAAAA00,0E38E300`",
                                 "the bytes 50 01 10 fe 00 "
                                 "00 00 02"};
    const QList<qint64> within {2000, 2400, 8000, 10'000}; // 2 x the time since `V` + 2 s
    QCOMPARE(scenario->expectations.size(), std::size_t(described.size()));
    for (std::size_t i = 0; i < scenario->expectations.size(); ++i) {
        const Expectation &expectation = scenario->expectations[i];
        QCOMPARE(expectation.kind, Expectation::Kind::Sends);
        QCOMPARE(expectation.command->describe(), described[qsizetype(i)]);
        QCOMPARE(expectation.withinMs, within[qsizetype(i)]);
    }
    QVERIFY2(text.contains("{ hex = \"50 01 10 fe 00 00 00 02\" }"), text.constData());
    QVERIFY2(text.contains("3 times in all"), text.constData());
    // The unanswered byte is in a comment, not an expectation.
    QVERIFY2(text.contains("#   +5.000s  \"Q\"  ("), text.constData());

    // Every command of the log meets an expectation, and every expectation a command.
    for (const QByteArray &command : sessionCommands()) {
        const bool met = std::any_of(scenario->expectations.begin(), scenario->expectations.end(),
                                     [&](const Expectation &e) {
                                         return e.command->matches(command, meaningOf(command));
                                     });
        QVERIFY2(met, command.toHex(' ').constData());
    }
    for (const Expectation &expectation : scenario->expectations) {
        const bool met = std::any_of(
                sessionCommands().begin(), sessionCommands().end(), [&](const QByteArray &command) {
                    return expectation.command->matches(command, meaningOf(command));
                });
        QVERIFY2(met, qPrintable(expectation.name));
    }
}

void ScenarioRecorderTest::recorded_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("present"); // in the scenario's text
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<int>("steps");

    QTest::newRow("setting the time is matched by its letter and meaning")
            << QByteArray("2026-12-09 18:00:00.000\tH\\x15\\x2D\\x1E\\x0B\\x0C\\x18\\x01\\x00\t#\n"
                          "2026-12-09 18:00:05.000\tH\\x15\\x2D\\x23\\x0B\\x0C\\x18\\x01\\x00\t#\n")
            << QStringList {"sends = { starts = \"H\", meaning = \"set date and time\" }",
                            "2 times in all"}
            << QStringList {"hex"} << 0;
    QTest::newRow("quotes and backslashes stay text")
            << QByteArray("2026-12-09 18:00:00.000\tK\"\t\"#\n"
                          "2026-12-09 18:00:00.500\tK\\\\\t\\\\#\n")
            << QStringList {"sends = { bytes = \"K\\\"\" }", "sends = { bytes = \"K\\\\\" }"}
            << QStringList {"hex"} << 0;
    QTest::newRow("a dropped client that comes back is a step and a reconnection")
            << QByteArray("# 2026-12-09 18:00:00.000 a client opened the virtual port\n"
                          "2026-12-09 18:00:00.000\te\t34AB0500,12CE0500#\n"
                          "2026-12-09 18:00:01.000\te\t\n"
                          "# 2026-12-09 18:00:01.000 the reply to e went through the reply "
                          "stages: no reply: the client's connection dropped\n"
                          "# 2026-12-09 18:00:01.001 the client closed the virtual port\n"
                          "# 2026-12-09 18:00:02.501 a client opened the virtual port\n"
                          "2026-12-09 18:00:02.600\te\t34AB0500,12CE0500#\n")
            << QStringList {"request = \"drop\"", "at = \"1000ms\"", "reconnects_within = \"5s\"",
                            "after = \"drop 1\""}
            << QStringList {"Noted"} << 1;
    QTest::newRow("a drop on a command's first time is a step on that command")
            << QByteArray("{\"time\":\"2026-12-09T18:00:00.000Z\",\"command\":\"e\","
                          "\"command_hex\":\"65\"}\n"
                          "{\"time\":\"2026-12-09T18:00:00.100Z\",\"command\":\"L\","
                          "\"command_hex\":\"4c\"}\n"
                          "{\"time\":\"2026-12-09T18:00:00.100Z\",\"event\":\"reply-stages\","
                          "\"text\":\"the reply to L went through the reply stages: no reply: "
                          "the client's connection dropped\"}\n"
                          "{\"time\":\"2026-12-09T18:00:00.200Z\",\"event\":\"client-left\","
                          "\"text\":\"the client disconnected\"}\n"
                          "{\"time\":\"2026-12-09T18:00:03.200Z\",\"event\":\"client-connected\","
                          "\"text\":\"a client connected from 127.0.0.1:5000\"}\n")
            << QStringList {"when = { bytes = \"L\" }", "reconnects_within = \"8s\""}
            << QStringList {} << 1;
    QTest::newRow("the run's faults, with the drop fault left to the step")
            << QByteArray("# 2026-12-09 18:00:00.000 faults: drop@cmd=L,nth=1, delay:1s@cmd=e "
                          "(--seed 7 repeats them)\n"
                          "2026-12-09 18:00:00.100\tL\t\n"
                          "# 2026-12-09 18:00:00.100 the reply to L went through the reply "
                          "stages: no reply: the client's connection dropped\n"
                          "# 2026-12-09 18:00:00.101 the client disconnected\n"
                          "# 2026-12-09 18:00:00.601 a client connected from 127.0.0.1:1\n")
            << QStringList {"# fault \"drop@cmd=L,nth=1\" is left out",
                            "fault = [\"delay:1s@cmd=e\"]", "seed = \"7\""}
            << QStringList {} << 1;
    QTest::newRow("a client that closes the line itself is a comment")
            << QByteArray("2026-12-09 18:00:00.000\tV\t\\x04\\x15#\n"
                          "# 2026-12-09 18:00:00.500 the client closed the virtual port\n"
                          "# 2026-12-09 18:00:01.000 a client opened the virtual port\n")
            << QStringList {"# Noted, not expected",
                            "closed the line at +0.500s and came back 0.5s"}
            << QStringList {"reconnects_within", "[[step]]"} << 0;
    QTest::newRow("a drop the log does not show the end of is a comment")
            << QByteArray("2026-12-09 18:00:00.000\tcommand\tL\tgoto in progress?\n"
                          "2026-12-09 18:00:00.000\treply\t\tnothing\tno reply: the client's "
                          "connection dropped\n")
            << QStringList {"the emulator dropped the client at +0.000s"}
            << QStringList {"reconnects_within", "[[step]]"} << 0;
    QTest::newRow("the mount clock and the port, standard error between")
            << QByteArray("tqx-orbivo-emulator: running on without a control channel\n"
                          "Listening on a virtual port: clients open /run/x.pty\n"
                          "# 2026-12-09 18:00:00.000 mount clock: 2024-11-12T21:45:30.000Z at "
                          "10 times real time\n"
                          "2026-12-09 18:00:00.100\tV\t\\x04\\x15#\n")
            << QStringList {"port = \"virtual\"", "start_time = \"2024-11-12T21:45:30.000Z\"",
                            "time_rate = 10", "# profile = \"full\""}
            << QStringList {} << 0;
}

void ScenarioRecorderTest::recorded()
{
    QFETCH(QByteArray, log);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QFETCH(int, steps);
    const QByteArray text = recordOrFail(log);
    QVERIFY(!text.isEmpty());
    for (const QString &part : present)
        QVERIFY2(text.contains(part.toUtf8()), qPrintable(part + "\n" + text));
    for (const QString &part : absent)
        QVERIFY2(!text.contains(part.toUtf8()), qPrintable(part + "\n" + text));
    const std::optional<Scenario> scenario = readBack(text);
    QVERIFY(scenario);
    QCOMPARE(int(scenario->steps.size()), steps);
    for (const ScenarioStep &step : scenario->steps)
        QCOMPARE(step.request.value("request").toString(), QStringLiteral("drop"));
}

void ScenarioRecorderTest::margins_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<qint64>("extraMs");
    QTest::addColumn<qint64>("within"); // of `E`, 1234 ms after `V`
    QTest::addColumn<qint64>("timeLimit"); // the run lasting 1234 ms
    QTest::newRow("default: twice plus 2 s, up to a tenth")
            << 2.0 << qint64(2000) << qint64(4500) << qint64(13'000);
    QTest::newRow("three times, no allowance")
            << 3.0 << qint64(0) << qint64(3800) << qint64(14'000);
    QTest::newRow("the time as it was") << 1.0 << qint64(0) << qint64(1300) << qint64(12'000);
}

void ScenarioRecorderTest::margins()
{
    QFETCH(double, factor);
    QFETCH(qint64, extraMs);
    QFETCH(qint64, within);
    QFETCH(qint64, timeLimit);
    RecordingMargins margins;
    margins.factor = factor;
    margins.extraMs = extraMs;
    const QByteArray text = recordOrFail("2026-12-09 18:00:00.000\tV\t\\x04\\x15#\n"
                                         "2026-12-09 18:00:01.234\tE\t34AB,12CE#\n",
                                         margins);
    const std::optional<Scenario> scenario = readBack(text);
    QVERIFY(scenario);
    QCOMPARE(scenario->expectations.size(), 2u);
    QCOMPARE(scenario->expectations[0].withinMs, extraMs);
    QCOMPARE(scenario->expectations[1].withinMs, within);
    QCOMPARE(scenario->timeLimitMs, timeLimit);
}

void ScenarioRecorderTest::unreadable_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("message"); // the start of describe()
    QTest::newRow("text line without tabs")
            << QByteArray("2026-12-09 18:00:00.000\tV\t41\nhello there\n")
            << "run.log:2: not an exchange";
    QTest::newRow("text line without a time")
            << QByteArray("V\t41\tversion\n") << "run.log:1: not an exchange";
    QTest::newRow("a backslash that is no escape")
            << QByteArray("\n2026-12-09 18:00:00.000\tK\\q\tq#\n")
            << "run.log:2: \"K\\q\" has a "
               "backslash";
    QTest::newRow("event without a time") << QByteArray("# soon a client opened the virtual port\n")
                                          << "run.log:1: an event line must begin with its time";
    QTest::newRow("jsonl that is no object")
            << QByteArray("{\"time\":\"2026-12-09T18:00:00.000Z\",\"command_hex\":\"56\"}\n{oops\n")
            << "run.log:2: not a JSON object";
    QTest::newRow("jsonl without a time")
            << QByteArray("{\"command_hex\":\"56\"}\n") << "run.log:1: the line has no \"time\"";
    QTest::newRow("jsonl neither exchange nor event")
            << QByteArray("{\"time\":\"2026-12-09T18:00:00.000Z\",\"x\":1}\n")
            << "run.log:1: a JSON line must be an exchange";
    QTest::newRow("jsonl bad hex")
            << QByteArray("{\"time\":\"2026-12-09T18:00:00.000Z\",\"command_hex\":\"5\"}\n")
            << "run.log:1: command_hex is not pairs";
    QTest::newRow("saved reply without its command")
            << QByteArray("2026-12-09 18:00:00.000\treply\t41\tversion\n")
            << "run.log:1: a reply line needs its command line";
    QTest::newRow("saved command without its reply")
            << QByteArray("2026-12-09 18:00:00.000\tcommand\tV\tget version\n")
            << "run.log:1: the command has no reply line";
    QTest::newRow("saved log with a stray line")
            << QByteArray("2026-12-09 18:00:00.000\tcommand\tV\tget version\n"
                          "2026-12-09 18:00:00.000\treply\t41\tversion\n"
                          "2026-12-09 18:00:00.000\tV\t41\n")
            << "run.log:3: not a line of a saved log";
    QTest::newRow("no command at all")
            << QByteArray("# 2026-12-09 18:00:00.000 a client opened the virtual port\n")
            << "run.log: the log has no command";
}

void ScenarioRecorderTest::unreadable()
{
    QFETCH(QByteArray, log);
    QFETCH(QString, message);
    const auto recorded = recordScenario(log, QStringLiteral("run.log"));
    QVERIFY(std::holds_alternative<ScenarioError>(recorded));
    const QString described = std::get<ScenarioError>(recorded).describe();
    QVERIFY2(described.startsWith(message), qPrintable(described));
}

// The program's own log of a short session, recorded with --record-scenario, reads back with an
// expectation for each distinct command.
void ScenarioRecorderTest::recordsTheProgramsOwnLog()
{
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    const QString log = runtime.filePath("run.log");
    const QString recorded = runtime.filePath("recorded.toml");
    const QStringList environment {"XDG_RUNTIME_DIR=" + runtime.path()};
    {
        Pipe output;
        Pipe errors;
        ChildProcess emulator;
        QVERIFY(emulator.start(
                TQX_EXECUTABLE,
                {"--headless", "--port", "virtual", "--log", log, "--control", "off"}, environment,
                output.writeEnd(), errors.writeEnd()));
        output.closeWriteEnd();
        errors.closeWriteEnd();
        QVERIFY(output.readLine(deadlineMs).startsWith("Listening on a virtual port"));
        SerialClient client(runtime.filePath("tqx-orbivo-emulator.pty"));
        QVERIFY(client.isOpen());
        QCOMPARE(client.exchange("Kx", 2), QByteArray("x#"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(client.exchange("E", 10).size(), 10);
        QCOMPARE(client.exchange("L", 2), QByteArray("0#"));
        client.close();
        QVERIFY(!output.readLineContaining("closed the virtual port", deadlineMs).isEmpty());
        emulator.sendSignal(SIGTERM);
        QCOMPARE(emulator.waitForExit(deadlineMs), 0);
    }

    struct Run
    {
        QStringList arguments;
        int exitCode;
    };
    const QList<Run> runs {{{"--record-scenario", log, "--output", recorded}, 0},
                           {{"--record-scenario", runtime.filePath("none.log")}, 1},
                           {{"--output", recorded}, 2}};
    for (const Run &run : runs) {
        Pipe output;
        ChildProcess recorder;
        QVERIFY(recorder.start(TQX_EXECUTABLE, run.arguments, environment, output.writeEnd(),
                               output.writeEnd()));
        output.closeWriteEnd();
        QCOMPARE(recorder.waitForExit(deadlineMs), run.exitCode);
    }
    const auto read = readScenario(recorded);
    if (const auto *error = std::get_if<ScenarioError>(&read))
        QFAIL(qPrintable(error->describe() + "\n" + fileText(recorded)));
    const Scenario &scenario = std::get<Scenario>(read);
    QStringList described;
    for (const Expectation &expectation : scenario.expectations)
        described << expectation.command->describe();
    QCOMPARE(described, (QStringList {"`Kx`", "`E`", "`L`"}));
}

QTEST_GUILESS_MAIN(ScenarioRecorderTest)
#include "scenario_recorder_test.moc"
