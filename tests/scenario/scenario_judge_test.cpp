// The judge of a scenario's expectations and steps, fed a run's events on a clock the test
// moves, and the reports it makes of them.

#include "scenario/ScenarioJudge.h"
#include "scenario/ScenarioReader.h"
#include "scenario/ScenarioReport.h"

#include <QJsonArray>
#include <QTest>
#include <QXmlStreamReader>

#include <functional>

using namespace tqx;

namespace {

Scenario scenarioOf(const QByteArray &text)
{
    auto read = readScenarioText(text, QStringLiteral("judged.toml"));
    if (const auto *error = std::get_if<ScenarioError>(&read))
        qFatal("%s", qPrintable(error->describe()));
    return std::get<Scenario>(std::move(read));
}

// What happens in a run, on the judge.
using Run = std::function<void(ScenarioJudge &)>;

void send(ScenarioJudge &judge, qint64 atMs, const QByteArray &command, const QString &meaning = {})
{
    judge.commandSent(atMs, command, meaning, QStringLiteral("%1 %2").arg(atMs).arg(command));
}

} // namespace

Q_DECLARE_METATYPE(Run)

class ScenarioJudgeTest : public QObject
{
    Q_OBJECT

private slots:
    void expectations_data();
    void expectations();
    void stepsComeOnceInTheirOrder();
    void settledOnlyWhenNothingCanChange();
    void separation_data();
    void separation();
    void reports();
};

void ScenarioJudgeTest::expectations_data()
{
    QTest::addColumn<QByteArray>("expect"); // one [[expect]] table's lines
    QTest::addColumn<Run>("run");
    QTest::addColumn<QString>("result"); // passed or failed
    QTest::addColumn<QString>("message"); // part of it

    QTest::newRow("sent in time") << QByteArray("sends = \"V\"\nwithin = \"2s\"")
                                  << Run([](ScenarioJudge &j) {
                                         send(j, 1500, "V");
                                         j.finish(3000, std::nullopt, "the client ended");
                                     })
                                  << "passed"
                                  << "sent at 1.500 s";
    QTest::newRow("sent too late")
            << QByteArray("sends = \"V\"\nwithin = \"2s\"") << Run([](ScenarioJudge &j) {
                   j.tick(2100);
                   send(j, 2500, "V");
                   j.finish(3000, std::nullopt, "the client ended");
               })
            << "failed"
            << "did not send it within 2.000 s";
    QTest::newRow("never sent")
            << QByteArray("sends = \"V\"") << Run([](ScenarioJudge &j) {
                   send(j, 100, "e");
                   j.finish(3000, std::nullopt, "the client ended with exit code 1");
               })
            << "failed"
            << "not by the end of the run at 3.000 s (the client ended with exit code 1)";
    QTest::newRow("by meaning") << QByteArray("sends = { meaning = \"goto\" }")
                                << Run([](ScenarioJudge &j) {
                                       send(j, 100, "e", "get RA/Dec");
                                       send(j, 200, "r1", "goto RA 05h");
                                       j.finish(3000, std::nullopt, "");
                                   })
                                << "passed"
                                << "sent at 0.200 s";
    QTest::newRow("not sent") << QByteArray("not_sends = \"x\"") << Run([](ScenarioJudge &j) {
        send(j, 100, "e");
        j.finish(3000, std::nullopt, "");
    }) << "passed"
                              << "never sent";
    QTest::newRow("sent what it must not")
            << QByteArray("not_sends = \"x\"") << Run([](ScenarioJudge &j) {
                   send(j, 700, "xyz");
                   j.finish(3000, std::nullopt, "");
               })
            << "failed"
            << "the client sent it at 0.700 s";
    QTest::newRow("mount on target")
            << QByteArray("mount_within = { ra = 6, dec = 30, degrees = 0.1 }")
            << Run([](ScenarioJudge &j) {
                   j.finish(3000, SkyPointing {6.001, 30.02}, "");
               })
            << "passed"
            << "degrees away";
    QTest::newRow("mount off target")
            << QByteArray("mount_within = { ra = 6, dec = 30, degrees = 0.1 }")
            << Run([](ScenarioJudge &j) {
                   j.finish(3000, SkyPointing {6.1, 30}, "");
               })
            << "failed"
            << "1.299 degrees away";
    QTest::newRow("mount unknown in the basic profile")
            << QByteArray("mount_within = { ra = 6, dec = 30, degrees = 0.1 }")
            << Run([](ScenarioJudge &j) { j.finish(3000, std::nullopt, ""); }) << "failed"
            << "full profile only";
}

void ScenarioJudgeTest::expectations()
{
    QFETCH(QByteArray, expect);
    QFETCH(Run, run);
    QFETCH(QString, result);
    QFETCH(QString, message);
    const Scenario scenario = scenarioOf("[[expect]]\n" + expect + "\n");
    ScenarioJudge judge(scenario);
    run(judge);
    const ScenarioResult &decided = judge.expectations().at(0);
    QCOMPARE(decided.state == ScenarioResult::State::Passed ? QStringLiteral("passed")
                                                            : QStringLiteral("failed"),
             result);
    QVERIFY2(decided.message.contains(message), qPrintable(decided.message));
    if (result == QLatin1String("failed") && !scenario.expectations[0].command)
        return;
    QCOMPARE(judge.passed(), result == QLatin1String("passed"));
}

void ScenarioJudgeTest::stepsComeOnceInTheirOrder()
{
    const Scenario scenario = scenarioOf(R"(
[[step]]
at = "10s"
request = "reset"
[[step]]
at = "2s"
request = "pause"
[[step]]
name = "drop"
when = "r"
request = "drop"
[[expect]]
reconnects_within = "5s"
after = "drop"
)");
    ScenarioJudge judge(scenario);
    QCOMPARE(judge.stepsDue(1000).size(), 0u);
    QCOMPARE(judge.stepsDue(12'000), (std::vector<std::size_t> {1, 0}));
    QCOMPARE(judge.stepsDue(20'000).size(), 0u);
    QCOMPARE(judge.stepsTriggeredBy("e", {}).size(), 0u);
    QCOMPARE(judge.stepsTriggeredBy("r1", {}), std::vector<std::size_t> {2});
    QCOMPARE(judge.stepsTriggeredBy("r1", {}).size(), 0u);
    judge.stepRan(2, 4000, {});
    judge.clientConnected(3000); // before the drop: not a reconnection
    judge.tick(8000);
    QCOMPARE(judge.expectations()[0].state, ScenarioResult::State::Pending);
    judge.clientConnected(8500);
    QCOMPARE(judge.expectations()[0].state, ScenarioResult::State::Passed);
    QVERIFY(judge.expectations()[0].message.contains("4.500 s after the step drop"));
}

void ScenarioJudgeTest::settledOnlyWhenNothingCanChange()
{
    const Scenario sends
            = scenarioOf("[[expect]]\nsends = \"V\"\n[[step]]\nat = 5\nrequest = \"reset\"\n");
    ScenarioJudge judge(sends);
    send(judge, 100, "V");
    QVERIFY2(!judge.isSettled(), "a step is still to come");
    judge.stepsDue(5000);
    QVERIFY(judge.isSettled());

    const Scenario atTheEnd = scenarioOf("[[expect]]\nnot_sends = \"x\"\n");
    ScenarioJudge waiting(atTheEnd);
    QVERIFY2(!waiting.isSettled(), "only the end of the run decides it");

    const Scenario refused = scenarioOf("[[step]]\nat = 0\nrequest = \"warp\"\n");
    ScenarioJudge steps(refused);
    steps.stepsDue(0);
    steps.stepRan(0, 10, QStringLiteral("unknown request"));
    steps.finish(100, std::nullopt, "");
    QCOMPARE(steps.stepFailures().size(), 1u);
    QVERIFY(!steps.passed());

    const Scenario never = scenarioOf("[[step]]\nat = \"1h\"\nrequest = \"reset\"\n");
    ScenarioJudge late(never);
    late.finish(100, std::nullopt, "the time limit");
    QCOMPARE(late.stepFailures().size(), 1u);
    QVERIFY(late.stepFailures()[0].message.contains("never came"));
}

void ScenarioJudgeTest::separation_data()
{
    QTest::addColumn<double>("ra1");
    QTest::addColumn<double>("dec1");
    QTest::addColumn<double>("ra2");
    QTest::addColumn<double>("dec2");
    QTest::addColumn<double>("degrees");
    QTest::newRow("same point") << 5.5 << 20.0 << 5.5 << 20.0 << 0.0;
    QTest::newRow("one hour on the equator") << 1.0 << 0.0 << 2.0 << 0.0 << 15.0;
    QTest::newRow("across 0 h") << 23.5 << 0.0 << 0.5 << 0.0 << 15.0;
    QTest::newRow("to the pole") << 3.0 << 45.0 << 17.0 << 90.0 << 45.0;
    QTest::newRow("opposite") << 0.0 << 0.0 << 12.0 << 0.0 << 180.0;
}

void ScenarioJudgeTest::separation()
{
    QFETCH(double, ra1);
    QFETCH(double, dec1);
    QFETCH(double, ra2);
    QFETCH(double, dec2);
    QFETCH(double, degrees);
    QVERIFY(qAbs(ScenarioJudge::separationDegrees({ra1, dec1}, {ra2, dec2}) - degrees) < 1e-9);
}

void ScenarioJudgeTest::reports()
{
    const Scenario scenario = scenarioOf(R"(name = "a <run> & more"
[checks]
ignore = ["polling-rate"]
[[expect]]
sends = "V"
within = 1
[[expect]]
sends = "e"
)");
    ScenarioJudge judge(scenario);
    ClientChecks checks(scenario.checks);
    Exchange pipelined;
    pipelined.command = "M";
    pipelined.reply = "#";
    pipelined.pipelined = true;
    checks.exchanged(200, pipelined, false);
    Exchange poll;
    poll.command = "e";
    poll.context.profile = Profile::Full;
    for (int i = 0; i < 20; ++i)
        checks.exchanged(300 + i, poll, false);
    send(judge, 300, "e");
    judge.tick(1500);
    judge.finish(2000, std::nullopt, "the client ended");
    const ScenarioReport report {
            scenario, judge, checks, 2000, "the client ended", "2026-12-09T18:00:00Z"};

    // The sends of V failed, the pipelining failed, the polling was ignored.
    QCOMPARE(report.failures(), 2);
    QVERIFY(!report.passed());

    // Read back as a CI service reads it.
    QXmlStreamReader xml(report.junitXml());
    QString suiteName, suiteFailures, firstCase, firstFailure;
    int cases = 0, failed = 0, skipped = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testsuite")) {
            suiteName = xml.attributes().value("name").toString();
            suiteFailures = xml.attributes().value("failures").toString();
        } else if (xml.name() == QLatin1String("testcase")) {
            if (cases++ == 0)
                firstCase = xml.attributes().value("name").toString();
        } else if (xml.name() == QLatin1String("failure")) {
            const bool first = failed++ == 0;
            const QString text = xml.readElementText();
            if (first)
                firstFailure = text;
        } else if (xml.name() == QLatin1String("skipped")) {
            ++skipped;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(suiteName, QStringLiteral("a <run> & more"));
    QCOMPARE(suiteFailures, QStringLiteral("2"));
    QCOMPARE(cases, report.testCount());
    QCOMPARE(failed, 2);
    QCOMPARE(skipped, 1);
    QCOMPARE(firstCase, QStringLiteral("sends `V`"));
    QVERIFY2(firstFailure.contains("300 e"), "the exchange before the failure is shown");

    const QJsonObject json = report.json();
    QCOMPARE(json.value("passed").toBool(), false);
    QCOMPARE(json.value("expectations").toArray().size(), 2);
    QCOMPARE(json.value("client_checks")
                     .toObject()
                     .value("counts")
                     .toObject()
                     .value("pipelining")
                     .toInt(),
             1);
    QVERIFY(report.summary().contains("FAIL  sends `V`"));
    QVERIFY(report.summary().contains("SKIP  client check polling-rate"));
    QVERIFY(report.summary().endsWith("FAILED: 2 of 10 tests failed\n"));
}

QTEST_GUILESS_MAIN(ScenarioJudgeTest)
#include "scenario_judge_test.moc"
