// Scenario files: what a good one gives the runner, and how each mistake a user makes is named
// with its line.

#include "scenario/ScenarioReader.h"

#include <QTest>

using namespace tqx;

class ScenarioReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void fullScenario();
    void refused_data();
    void refused();
    void durations_data();
    void durations();
    void commandMatches_data();
    void commandMatches();
};

namespace {

Scenario read(const QByteArray &text)
{
    auto result = readScenarioText(text, QStringLiteral("test.toml"));
    if (const auto *error = std::get_if<ScenarioError>(&result))
        qWarning("%s", qPrintable(error->describe()));
    return std::get<Scenario>(result);
}

} // namespace

void ScenarioReaderTest::fullScenario()
{
    const Scenario scenario = read(R"(name = "goto and abort"
port = "tcp:0"
time_limit = "2m"
client = ["python3", "client.py", "--port", "{port}"]

[emulator]
profile = "full"
slew_rate = 8
start_time = "2024-11-12T21:45:30Z"
time_rate = 10
fault = ["noreply@cmd=V", "delay:3s@cmd=e,nth=2"]

[checks]
max_polls_per_second = 4
ignore = ["pipelining"]

[[step]]
name = "silence"
at = "5s"
request = "fault"
add = "silent:10s"

[[step]]
when = { meaning = "goto" }
request = "set"
time_rate = 1

[[expect]]
sends = "V"
within = 5

[[expect]]
not_sends = { hex = "50 02 11 24" }

[[expect]]
name = "lands on Betelgeuse"
mount_within = { ra = "05:55:10", dec = "+07:24:25", degrees = 0.5 }

[[expect]]
reconnects_within = "10s"
after = "silence"
)");
    QCOMPARE(scenario.name, QStringLiteral("goto and abort"));
    QCOMPARE(scenario.port, QStringLiteral("tcp:0"));
    QCOMPARE(scenario.timeLimitMs, 120'000);
    QCOMPARE(scenario.client, (QStringList {"python3", "client.py", "--port", "{port}"}));
    // By option name, in the file's order, a list giving each of its values.
    const std::vector<std::pair<QString, QString>> settings {
            {"profile", "full"}, {"slew-rate", "8"},         {"start-time", "2024-11-12T21:45:30Z"},
            {"time-rate", "10"}, {"fault", "noreply@cmd=V"}, {"fault", "delay:3s@cmd=e,nth=2"}};
    QCOMPARE(scenario.settings, settings);
    QCOMPARE(scenario.checks.maxPollsPerSecond, 4.0);
    QCOMPARE(scenario.checks.ignored, QStringList {"pipelining"});

    QCOMPARE(scenario.steps.size(), 2u);
    QCOMPARE(scenario.steps[0].name, QStringLiteral("silence"));
    QCOMPARE(scenario.steps[0].atMountMs, 5000);
    QCOMPARE(scenario.steps[0].request.value("request").toString(), QStringLiteral("fault"));
    QCOMPARE(scenario.steps[0].request.value("add").toString(), QStringLiteral("silent:10s"));
    QCOMPARE(scenario.steps[0].line, 17);
    QVERIFY(scenario.steps[1].when);
    QVERIFY(scenario.steps[1].when->matches("r1234", "goto RA 05h30m"));
    QCOMPARE(scenario.steps[1].request.value("time_rate").toDouble(), 1.0);

    QCOMPARE(scenario.expectations.size(), 4u);
    QCOMPARE(scenario.expectations[0].kind, Expectation::Kind::Sends);
    QCOMPARE(scenario.expectations[0].withinMs, 5000);
    QCOMPARE(scenario.expectations[0].name, QStringLiteral("sends `V`"));
    QCOMPARE(scenario.expectations[1].kind, Expectation::Kind::DoesNotSend);
    QVERIFY(scenario.expectations[1].command->matches(QByteArray::fromHex("50021124"), {}));
    QCOMPARE(scenario.expectations[2].name, QStringLiteral("lands on Betelgeuse"));
    QVERIFY(qAbs(scenario.expectations[2].targetRaHours - (5 + 55 / 60.0 + 10 / 3600.0)) < 1e-9);
    QVERIFY(qAbs(scenario.expectations[2].targetDecDegrees - (7 + 24 / 60.0 + 25 / 3600.0)) < 1e-9);
    QCOMPARE(scenario.expectations[3].kind, Expectation::Kind::Reconnects);
    QCOMPARE(scenario.expectations[3].after, QStringLiteral("silence"));
}

void ScenarioReaderTest::refused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message"); // the whole of describe(), or its start

    QTest::newRow("not TOML") << QByteArray("name = \"a\"\nport = \n") << "test.toml:2: ";
    QTest::newRow("unknown top-level key") << QByteArray("name = \"a\"\ncolour = \"blue\"\n")
                                           << "test.toml:2: The scenario has no key \"colour\"";
    QTest::newRow("unknown setting") << QByteArray("[emulator]\nprofile = \"full\"\nwarp = 9\n")
                                     << "test.toml:3: emulator has no setting \"warp\"";
    QTest::newRow("setting out of bounds")
            << QByteArray("[emulator]\n\nslew_rate = 200\n")
            << "test.toml:3: emulator.slew_rate: The slew rate must be from 0.1 to 90";
    QTest::newRow("bad start time") << QByteArray("[emulator]\nstart_time = \"soon\"\n")
                                    << "test.toml:2: emulator.start_time must be an ISO 8601";
    QTest::newRow("bad fault in a list")
            << QByteArray("[emulator]\nfault = [\n  \"noreply\",\n  \"explode\",\n]\n")
            << "test.toml:4: emulator.fault: ";
    QTest::newRow("bad duration") << QByteArray("time_limit = \"soon\"\n")
                                  << "test.toml:1: time_limit must be a duration such as 5s or "
                                     "250ms, not \"soon\".";
    QTest::newRow("client not a list")
            << QByteArray("client = \"my-client\"\n") << "test.toml:1: client must be a list";
    QTest::newRow("step without a time or command")
            << QByteArray("[[step]]\nrequest = \"reset\"\n")
            << "test.toml:1: step 1 needs either at (a time on the mount's clock) or when (a "
               "command of the client), not neither.";
    QTest::newRow("step with both") << QByteArray("[[step]]\nat = 1\nwhen = \"e\"\nrequest = "
                                                  "\"reset\"\n")
                                    << "test.toml:1: step 1 needs either at";
    QTest::newRow("step without a request")
            << QByteArray("[[step]]\nat = \"1s\"\n") << "test.toml:1: step 1 needs request";
    QTest::newRow("empty command match") << QByteArray("[[step]]\nwhen = \"\"\nrequest = "
                                                       "\"reset\"\n")
                                         << "test.toml:2: step 1: when must say which commands";
    QTest::newRow("bad hex") << QByteArray("[[expect]]\nsends = { hex = \"5G\" }\n")
                             << "test.toml:2: expect 1: sends.hex must be pairs of hexadecimal";
    QTest::newRow("expectation of no kind") << QByteArray("[[expect]]\nwithin = \"5s\"\n")
                                            << "test.toml:1: expect 1 needs one of sends";
    QTest::newRow("expectation of two kinds")
            << QByteArray("[[expect]]\nsends = \"e\"\nnot_sends = \"x\"\n")
            << "test.toml:1: expect 1 needs one of sends, not_sends, mount_within or "
               "reconnects_within, not several.";
    QTest::newRow("mount target incomplete")
            << QByteArray("[[expect]]\nmount_within = { ra = 5.5, degrees = 1 }\n")
            << "test.toml:2: expect 1: mount_within needs ra";
    QTest::newRow("mount target out of range")
            << QByteArray("[[expect]]\nmount_within = { ra = 25, dec = 0, degrees = 1 }\n")
            << "test.toml:2: expect 1: mount_within: ra must be from 0 to 24";
    QTest::newRow("bad sexagesimal")
            << QByteArray("[[expect]]\nmount_within = { ra = \"5h3x\", dec = 0, degrees = 1 }\n")
            << "test.toml:2: expect 1: mount_within.ra must be a number or sexagesimal";
    QTest::newRow("after names no step")
            << QByteArray("[[expect]]\nreconnects_within = \"5s\"\nafter = \"drop\"\n")
            << "test.toml:3: expect 1: after names no step: \"drop\".";
    QTest::newRow("reconnect without a drop") << QByteArray("[[expect]]\nreconnects_within = 5\n")
                                              << "test.toml:1: expect 1: reconnects_within "
                                                 "needs after";
    QTest::newRow("unknown expectation key") << QByteArray("[[expect]]\nsends = \"e\"\nwithn = 5\n")
                                             << "test.toml:3: expect 1 has no key \"withn\"";
    QTest::newRow("what is wrong where the parser points")
            << QByteArray("[[step]]\nwhen = { meaning =thin = 5\n")
            << "test.toml:2: the next token is not a boolean";
    QTest::newRow("not UTF-8") << QByteArray("name = \"a\"\nclient = ['''x\xee y''']\n")
                               << "test.toml:2: the file is not UTF-8, as TOML files are: the "
                                  "byte 0xee begins no character.";
    QTest::newRow("UTF-8 is taken")
            << QByteArray("name = \"B\xc3\xa9telgeuse \xe2\x86\x92\"\ncolour = 1\n")
            << "test.toml:2: The scenario has no key \"colour\"";
    QTest::newRow("nested too deep")
            << QByteArray("name = \"a\"\nx = " + QByteArray(65, '[') + "\n")
            << "test.toml:2: lists and tables are nested more than 64";
    QTest::newRow("brackets in strings are not nesting")
            << QByteArray("name = \"" + QByteArray(80, '[') + "\"\ncolour = 1\n")
            << "test.toml:2: The scenario has no key \"colour\"";
    QTest::newRow("poll rate zero") << QByteArray("[checks]\nmax_polls_per_second = 0\n")
                                    << "test.toml:2: checks.max_polls_per_second must be more "
                                       "than 0.";
}

void ScenarioReaderTest::refused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    const auto result = readScenarioText(text, QStringLiteral("test.toml"));
    QVERIFY(std::holds_alternative<ScenarioError>(result));
    const QString described = std::get<ScenarioError>(result).describe();
    QVERIFY2(described.startsWith(message), qPrintable(described));
}

void ScenarioReaderTest::durations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms"); // -1: refused
    QTest::newRow("milliseconds") << "250ms" << qint64(250);
    QTest::newRow("seconds") << "90s" << qint64(90'000);
    QTest::newRow("fraction of a second") << "1.5s" << qint64(1500);
    QTest::newRow("plain number is seconds") << "3" << qint64(3000);
    QTest::newRow("minutes") << "2m" << qint64(120'000);
    QTest::newRow("hours") << "1h" << qint64(3'600'000);
    QTest::newRow("spaces") << " 5 s " << qint64(5000);
    QTest::newRow("negative") << "-1s" << qint64(-1);
    QTest::newRow("unit unknown") << "5d" << qint64(-1);
    QTest::newRow("word") << "soon" << qint64(-1);
    QTest::newRow("too long") << "99999999999999h" << qint64(-1);
}

void ScenarioReaderTest::durations()
{
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    const std::optional<qint64> read = durationMs(text);
    QCOMPARE(read.value_or(-1), ms);
}

void ScenarioReaderTest::commandMatches_data()
{
    QTest::addColumn<QByteArray>("match"); // a [[expect]] sends value, as TOML
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("meaning");
    QTest::addColumn<bool>("matches");
    QTest::newRow("letter") << QByteArray("\"e\"") << QByteArray("e") << "" << true;
    QTest::newRow("letter is case-sensitive")
            << QByteArray("\"e\"") << QByteArray("E") << "" << false;
    QTest::newRow("prefix") << QByteArray("\"r\"") << QByteArray("r40000000,00000000") << ""
                            << true;
    QTest::newRow("exact bytes") << QByteArray("{ bytes = \"Kx\" }") << QByteArray("Kxy") << ""
                                 << false;
    QTest::newRow("hex") << QByteArray("{ hex = \"50 01 10 fe 00 00 00 02\" }")
                         << QByteArray::fromHex("500110fe00000002") << "" << true;
    QTest::newRow("meaning in any case")
            << QByteArray("{ meaning = \"GOTO\" }") << QByteArray("r1") << "goto RA 05h" << true;
    QTest::newRow("prefix and meaning both needed")
            << QByteArray("{ starts = \"P\", meaning = \"slew\" }") << QByteArray("r1") << "slew"
            << false;
}

void ScenarioReaderTest::commandMatches()
{
    QFETCH(QByteArray, match);
    QFETCH(QByteArray, command);
    QFETCH(QString, meaning);
    QFETCH(bool, matches);
    const Scenario scenario = read("[[expect]]\nsends = " + match + "\n");
    QCOMPARE(scenario.expectations.at(0).command->matches(command, meaning), matches);
}

QTEST_GUILESS_MAIN(ScenarioReaderTest)
#include "scenario_reader_test.moc"
