// The checks of a client's behaviour on the line, fed what a session reports: each row a client's
// doings, and what the checks found.

#include "scenario/ClientChecks.h"

#include <QTest>

#include <functional>

using namespace tqx;

namespace {

DecodeContext full()
{
    DecodeContext context;
    context.profile = Profile::Full;
    return context;
}

Exchange answered(const QByteArray &command, const QByteArray &reply, bool pipelined = false)
{
    Exchange exchange;
    exchange.command = command.toStdString();
    exchange.reply = reply.toStdString();
    exchange.context = full();
    exchange.pipelined = pipelined;
    return exchange;
}

// A client's doings, as a script on the checks.
using Script = std::function<void(ClientChecks &)>;

QByteArray setTime(int hour, int minute, int second, int month, int day, int year, int offset,
                   int dst, char letter = 'H')
{
    QByteArray command(1, letter);
    for (const int value : {hour, minute, second, month, day, year, offset, dst})
        command += char(value & 0xff);
    return command;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class ClientChecksTest : public QObject
{
    Q_OBJECT

private slots:
    void findings_data();
    void findings();
    void findingsAreKeptFewButCounted();
    void findingSaysWhatWhenAndWhatIsExpected();
};

void ClientChecksTest::findings_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("check"); // empty: nothing found
    QTest::addColumn<int>("count");

    QTest::newRow("a well-behaved poll") << Script([](ClientChecks &c) {
        for (int second = 0; second < 10; ++second) {
            c.exchanged(second * 1000, answered("e", "34AB0500,12CE0500#"), false);
            c.exchanged(second * 1000 + 20, answered("L", "0#"), false);
        }
    }) << QString() << 0;
    QTest::newRow("MM in one write") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("M", "#"), false);
        c.exchanged(0, answered("M", "#", true), false);
    }) << "pipelining" << 1;
    QTest::newRow("reads one behind") << Script([](ClientChecks &c) {
        Exchange exchange = answered("e", "34AB0500,12CE0500#");
        exchange.clientUnreadBytes = 1;
        c.exchanged(0, exchange, false);
        exchange.clientUnreadBytes = 0;
        c.exchanged(1000, exchange, false);
    }) << "short-read" << 1;
    QTest::newRow("unknown letter") << Script([](ClientChecks &c) {
        c.unanswered(0, "Xhello", full(), "not a command: discarded without a reply");
    }) << "not-a-command" << 1;
    QTest::newRow("goto left half-sent") << Script([](ClientChecks &c) {
        c.unanswered(0, "R3AA", full(), "reset automatically after 1000 ms");
    }) << "half-sent" << 1;
    QTest::newRow("goto with a bad digit") << Script([](ClientChecks &c) {
        c.unanswered(0, "R3AAG,0E38", full(), "not a command: discarded without a reply");
    }) << "malformed" << 1;
    QTest::newRow("pass-through with the wrong length byte") << Script([](ClientChecks &c) {
        c.exchanged(0,
                    answered(QByteArray::fromHex("500210fe00000002"), QByteArray("\x04\x06#", 3)),
                    false);
    }) << "malformed" << 1;
    QTest::newRow("a whole command the line dropped is not the client's doing")
            << Script([](ClientChecks &c) {
                   c.unanswered(0, "e", full(), "silent for 3000 ms (fault)");
                   c.unanswered(10, "r40000000,00000000", full(),
                                "reset as the client left before it was answered");
               })
            << QString() << 0;
    QTest::newRow("newer firmware's letter to an older one") << Script([](ClientChecks &c) {
        c.unanswered(0, "v", full(), "not a command: discarded without a reply");
    }) << "not-a-command" << 1;
    QTest::newRow("polling twenty times a second") << Script([](ClientChecks &c) {
        for (int i = 0; i < 40; ++i)
            c.exchanged(i * 50, answered("e", "34AB0500,12CE0500#"), false);
    }) << "polling-rate" << 1;
    QTest::newRow("ten a second is allowed") << Script([](ClientChecks &c) {
        for (int i = 0; i < 40; ++i)
            c.exchanged(i * 100, answered("e", "34AB0500,12CE0500#"), false);
    }) << QString() << 0;
    QTest::newRow("a good time") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(21, 45, 30, 11, 12, 24, 256 - 5, 0), "#"), false);
    }) << QString() << 0;
    QTest::newRow("month 13") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(21, 45, 30, 13, 12, 24, 0, 0), "#"), false);
    }) << "impossible-time" << 1;
    QTest::newRow("February the 30th") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(1, 0, 0, 2, 30, 24, 0, 0), "#"), false);
    }) << "impossible-time" << 1;
    QTest::newRow("offset of 20 hours") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(1, 0, 0, 2, 3, 24, 20, 0), "#"), false);
    }) << "impossible-time" << 1;
    QTest::newRow("quarter hours beyond any zone") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(1, 0, 0, 2, 3, 24, 60, 1, 'I'), "#"), false);
    }) << "impossible-time" << 1;
    QTest::newRow("daylight saving 2") << Script([](ClientChecks &c) {
        c.exchanged(0, answered(setTime(1, 0, 0, 2, 3, 24, 1, 2), "#"), false);
    }) << "impossible-time" << 1;
    QTest::newRow("goto on goto") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("r40000000,00000000", "#"), false);
        c.exchanged(500, answered("r20000000,00000000", "#"), true);
    }) << "goto-during-goto" << 1;
    QTest::newRow("goto after M") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("r40000000,00000000", "#"), false);
        c.exchanged(400, answered("M", "#"), true);
        c.exchanged(500, answered("r20000000,00000000", "#"), true);
    }) << QString() << 0;
    QTest::newRow("goto after L said it ended") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("r40000000,00000000", "#"), false);
        c.exchanged(400, answered("L", "0#"), false);
        c.exchanged(500, answered("r20000000,00000000", "#"), true);
    }) << QString() << 0;
    QTest::newRow("goto once the mount stopped") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("r40000000,00000000", "#"), false);
        c.exchanged(30'000, answered("r20000000,00000000", "#"), false);
    }) << QString() << 0;
    QTest::newRow("a new client owes no goto") << Script([](ClientChecks &c) {
        c.exchanged(0, answered("r40000000,00000000", "#"), false);
        c.clientConnected();
        c.exchanged(500, answered("r20000000,00000000", "#"), true);
    }) << QString() << 0;
}

void ClientChecksTest::findings()
{
    QFETCH(Script, script);
    QFETCH(QString, check);
    QFETCH(int, count);
    ClientChecks checks;
    script(checks);
    QStringList found;
    for (const Finding &finding : checks.findings())
        found << finding.check + QStringLiteral(": ") + finding.what;
    QCOMPARE(checks.total(), count);
    if (!check.isEmpty())
        QVERIFY2(checks.count(check) == count, qPrintable(found.join('\n')));
}

void ClientChecksTest::findingsAreKeptFewButCounted()
{
    ClientChecks checks;
    for (int i = 0; i < 1000; ++i)
        checks.unanswered(i, "Xhello", full(), "not a command");
    QCOMPARE(checks.count("not-a-command"), 1000);
    QCOMPARE(int(checks.findings().size()), ClientChecks::keptPerCheck);
}

void ClientChecksTest::findingSaysWhatWhenAndWhatIsExpected()
{
    ClientChecks checks;
    checks.exchanged(1234, answered("M", "#", true), false);
    QCOMPARE(checks.findings().size(), 1u);
    const Finding &finding = checks.findings().front();
    QCOMPARE(finding.check, QStringLiteral("pipelining"));
    QCOMPARE(finding.atMs, 1234);
    QCOMPARE(finding.what,
             QStringLiteral("sent `M` before it had the reply to the command before"));
    QVERIFY(finding.expected.contains("waits for the reply"));
}

QTEST_GUILESS_MAIN(ClientChecksTest)
#include "client_checks_test.moc"
