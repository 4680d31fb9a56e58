// Faults on a session over a scripted transport and a clock the test steps: what the client gets
// from each effect under each condition, when it gets it, and what the records say was done.

#include "ScriptedTransport.h"
#include "session/EmulatorSession.h"
#include "session/FaultRule.h"

#include <QTest>

#include <vector>

using tqx::EmulatorSession;
using tqx::Exchange;
using tqx::FaultRule;
using tqx::Profile;

Q_DECLARE_METATYPE(Profile)

namespace {

using Steps = QList<QByteArray>;

// A session with faults on a scripted transport, its clock in the test's hands.
struct FaultySession
{
    EmulatorSession session;
    ScriptedTransport *transport = new ScriptedTransport;
    std::vector<Exchange> exchanges;
    QStringList unanswered;
    qint64 nowMs = 1000;

    FaultySession(Profile profile, const QStringList &rules, std::uint64_t seed = 1)
    {
        session.setClock([this] { return nowMs; });
        // The mount stands still: two sessions started a moment apart answer alike.
        session.mountClock().setUtc(1'731'447'930'000);
        session.mountClock().pause();
        session.setTransport(transport);
        session.setProfile(profile);
        QObject::connect(&session, &EmulatorSession::exchanged,
                         [this](const Exchange &exchange) { exchanges.push_back(exchange); });
        QObject::connect(
                &session, &EmulatorSession::unanswered,
                [this](const tqx::Bytes &, const QString &reason) { unanswered << reason; });
        std::vector<FaultRule> parsed;
        for (const QString &text : rules) {
            QString error;
            const std::optional<FaultRule> rule = FaultRule::parse(text, &error);
            if (!rule)
                qFatal("%s: %s", qPrintable(text), qPrintable(error));
            parsed.push_back(*rule);
        }
        session.setFaults(parsed, seed);
        session.open(nullptr);
    }

    // A step is bytes the client sends, or "+MS": the clock moves on and what is due goes out.
    void take(const QByteArray &step)
    {
        if (step.startsWith('+') && step.size() > 1) {
            nowMs += step.mid(1).toLongLong();
            session.sendHeldReplies();
        } else {
            transport->deliver(step);
        }
    }

    QStringList notes() const
    {
        QStringList list;
        for (const Exchange &exchange : exchanges) {
            if (!exchange.note.isEmpty())
                list << exchange.note;
        }
        return list;
    }
};

// A pass-through frame to a bus device: 'P' length device command data... reply length.
QByteArray passThrough(char device, char command, char replyLength)
{
    return QByteArray("P\x01", 2) + device + command + QByteArray(3, '\0') + replyLength;
}

} // namespace

class FaultSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void effectsAndConditions_data();
    void effectsAndConditions();
    void errorFormAddsAByteBeforeTheEnd();
    void corruptionFlipsOneBit();
    void theSeedGivesTheSameFaults();
    void powerCycleForgetsTheFullProfilesSite();
    void droppingTheClientAsksTheTransport();
    void removingTheFaultsLeavesRepliesAlone();
    void delayedRepliesBeyondTheLinesBoundAreReported();
};

void FaultSessionTest::effectsAndConditions_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<Steps>("steps");
    // What the client has received after each step.
    QTest::addColumn<Steps>("received");
    QTest::addColumn<QStringList>("notes");
    // Why bytes were dropped unanswered.
    QTest::addColumn<QStringList>("unanswered");
    const Profile basic = Profile::Basic;
    const Profile full = Profile::Full;

    QTest::newRow("cut") << basic << QStringList {"cut:4"} << Steps {"E"} << Steps {"310C"}
                         << QStringList {"reply cut after 4 of 10 bytes (fault)"} << QStringList();
    QTest::newRow("no reply") << basic << QStringList {"noreply@cmd=K"} << Steps {"Kx", "E"}
                              << Steps {"", "310C,0BBB#"} << QStringList {"no reply (fault)"}
                              << QStringList();
    QTest::newRow("extra before") << basic << QStringList {"extra-before:AB"} << Steps {"Kx"}
                                  << Steps {"ABx#"}
                                  << QStringList {"2 bytes added before the reply (fault)"}
                                  << QStringList();
    QTest::newRow("extra after") << basic << QStringList {"extra-after:%0D"} << Steps {"Kx"}
                                 << Steps {"x#\r"}
                                 << QStringList {"1 byte added after the reply (fault)"}
                                 << QStringList();
    QTest::newRow("twice") << basic << QStringList {"twice"} << Steps {"Kx"} << Steps {"x#x#"}
                           << QStringList {"reply sent twice (fault)"} << QStringList();
    QTest::newRow("one letter only")
            << basic << QStringList {"cut:1@cmd=E"} << Steps {"Kx", "E"} << Steps {"x#", "x#3"}
            << QStringList {"reply cut after 1 of 10 bytes (fault)"} << QStringList();
    QTest::newRow("the nth") << full << QStringList {"noreply@nth=2"} << Steps {"KaKbKc"}
                             << Steps {"a#c#"} << QStringList {"no reply (fault)"} << QStringList();
    QTest::newRow("every nth") << full << QStringList {"noreply@every=2"} << Steps {"KaKbKcKd"}
                               << Steps {"a#c#"}
                               << QStringList {"no reply (fault)", "no reply (fault)"}
                               << QStringList();
    QTest::newRow("a count") << full << QStringList {"noreply@count=2"} << Steps {"KaKbKc"}
                             << Steps {"c#"} << QStringList {"no reply (fault)", "no reply (fault)"}
                             << QStringList();
    QTest::newRow("after a time") << basic << QStringList {"noreply@after=30s"}
                                  << Steps {"Ka", "+29999", "Kb", "+1", "Kc"}
                                  << Steps {"a#", "a#", "a#b#", "a#b#", "a#b#"}
                                  << QStringList {"no reply (fault)"} << QStringList();
    QTest::newRow("delay holds later replies behind")
            << basic << QStringList {"delay:3000@cmd=E"} << Steps {"E", "Kx", "+2999", "+1"}
            << Steps {"", "", "", "310C,0BBB#x#"}
            << QStringList {"reply delayed by 3000 ms (fault)"} << QStringList();
    QTest::newRow("pieces with gaps")
            << basic << QStringList {"pieces:3:200"} << Steps {"E", "+199", "+1", "+200"}
            << Steps {"310", "310", "310C,0", "310C,0BBB#"}
            << QStringList {"reply sent in 3 pieces 200 ms apart (fault)"} << QStringList();
    QTest::newRow("a busy mount") << basic << QStringList {"busy:5000@cmd=M"}
                                  << Steps {"M", "L", "+5000", "L"}
                                  << Steps {"#", "#1#", "#1#", "#1#0#"}
                                  << QStringList {"the mount busy for 5000 ms (fault)",
                                                  "busy mount: a goto in progress (fault)"}
                                  << QStringList();
    QTest::newRow("a busy mount's goto is not done")
            << full << QStringList {"busy:5000@count=1"} << Steps {passThrough(16, 19, 1)}
            << Steps {QByteArray("\0#", 2)}
            << QStringList {"the mount busy for 5000 ms (fault); busy mount: the goto not done "
                            "(fault)"}
            << QStringList();
    QTest::newRow("a silent line")
            << full << QStringList {"silent:10s@nth=1"} << Steps {"KaKb", "Kc", "+10000", "Kd"}
            << Steps {"", "", "", "d#"}
            << QStringList {"no reply: the line silent for 10000 ms (fault)",
                            "no reply: the line is silent (fault)"}
            << QStringList {"the line is silent (fault)"};
    QTest::newRow("a power cycle forgets the goto")
            << basic << QStringList {"power-cycle:5000@cmd=R"}
            << Steps {"R34AB,12CE", "E", "+5000", "E"} << Steps {"", "", "", "310C,0BBB#"}
            << QStringList {"no reply: the hand control switched off for 5000 ms and on again "
                            "(fault)"}
            << QStringList {"the hand control is switched off (fault)"};
}

void FaultSessionTest::effectsAndConditions()
{
    QFETCH(Profile, profile);
    QFETCH(QStringList, rules);
    QFETCH(Steps, steps);
    QFETCH(Steps, received);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, unanswered);
    FaultySession faulty(profile, rules);
    for (qsizetype i = 0; i < steps.size(); ++i) {
        faulty.take(steps.at(i));
        QCOMPARE(faulty.transport->written.toHex(' '), received.at(i).toHex(' '));
    }
    QCOMPARE(faulty.notes(), notes);
    QCOMPARE(faulty.unanswered, unanswered);
}

// The pass-through's error form: the device's answer with one byte more before its '#'; only the
// device and command the rule names.
void FaultSessionTest::errorFormAddsAByteBeforeTheEnd()
{
    FaultySession plain(Profile::Full, {});
    FaultySession faulty(Profile::Full, {"error-form@bus=16:1"});
    for (FaultySession *one : {&plain, &faulty}) {
        one->take(passThrough(16, 1, 3));
        one->take(passThrough(17, 1, 3));
    }
    const QByteArray right = plain.transport->written;
    QCOMPARE(right.size(), 8);
    QCOMPARE(faulty.transport->written.toHex(' '),
             (right.left(3) + '\0' + right.mid(3)).toHex(' '));
    QCOMPARE(faulty.notes(), QStringList {"the error form in place of the answer (fault)"});
}

// A corrupted byte differs from the right one in one bit, and only that byte differs.
void FaultSessionTest::corruptionFlipsOneBit()
{
    for (const QString &rule : {QStringLiteral("corrupt:3"), QStringLiteral("corrupt")}) {
        FaultySession faulty(Profile::Basic, {rule});
        faulty.take("E");
        const QByteArray right = "310C,0BBB#";
        const QByteArray got = faulty.transport->written;
        QCOMPARE(got.size(), right.size());
        int bits = 0, at = -1;
        for (qsizetype i = 0; i < got.size(); ++i) {
            const int differing = static_cast<unsigned char>(got[i] ^ right[i]);
            if (differing)
                at = int(i);
            bits += qPopulationCount(quint32(differing));
        }
        QCOMPARE(bits, 1);
        if (rule == QLatin1String("corrupt:3"))
            QCOMPARE(at, 2);
        QCOMPARE(faulty.notes(),
                 QStringList {QStringLiteral("byte %1 of 10 corrupted (fault)").arg(at + 1)});
    }
}

// A failing client test can be run again with the same faults: the same seed, the same choices.
void FaultSessionTest::theSeedGivesTheSameFaults()
{
    const QStringList rules {"noreply@p=0.3", "corrupt@p=0.2", "delay:10+90@p=0.5"};
    const auto run = [&](std::uint64_t seed) {
        FaultySession faulty(Profile::Full, rules, seed);
        for (int i = 0; i < 60; ++i) {
            faulty.take(QByteArray("K") + char('a' + i % 26));
            faulty.take("+100");
        }
        return std::make_pair(faulty.transport->written, faulty.notes());
    };
    const auto first = run(42);
    QCOMPARE(run(42), first);
    QVERIFY(run(43) != first);
    QVERIFY(first.second.size() > 10);
}

// The full hand control, switched off and on, has the site of its settings again, not the one a
// client stored.
void FaultSessionTest::powerCycleForgetsTheFullProfilesSite()
{
    FaultySession faulty(Profile::Full, {"power-cycle:1000@cmd=M"});
    faulty.take("w");
    const QByteArray startSite = faulty.transport->written;
    QCOMPARE(startSite.size(), 9);
    const QByteArray newSite("W\x30\x0A\x00\x00\x02\x10\x00\x00", 9);
    faulty.take(newSite);
    faulty.transport->written.clear();
    faulty.take("w");
    QVERIFY(faulty.transport->written != startSite);
    faulty.take("M");
    faulty.take("+1000");
    faulty.transport->written.clear();
    faulty.take("w");
    QCOMPARE(faulty.transport->written.toHex(' '), startSite.toHex(' '));
}

void FaultSessionTest::droppingTheClientAsksTheTransport()
{
    FaultySession faulty(Profile::Basic, {"drop@nth=2"});
    faulty.take("Ka");
    faulty.take("Kb");
    QCOMPARE(faulty.transport->written, QByteArray("a#"));
    QCOMPARE(faulty.transport->drops, 1);
    QCOMPARE(faulty.notes(), QStringList {"no reply: the client's connection dropped (fault)"});
}

void FaultSessionTest::removingTheFaultsLeavesRepliesAlone()
{
    FaultySession faulty(Profile::Basic, {"noreply"});
    QVERIFY(faulty.session.faults());
    faulty.session.setFaults({}, 0);
    QVERIFY(!faulty.session.faults());
    QVERIFY(faulty.session.replyChain().isEmpty());
    faulty.take("Kx");
    QCOMPARE(faulty.transport->written, QByteArray("x#"));
}

// Delayed replies that meet a paced line already as far behind as it may fall: they are not
// sent, and the client's notice says how many bytes went, rather than nothing at all.
void FaultSessionTest::delayedRepliesBeyondTheLinesBoundAreReported()
{
    FaultySession faulty(Profile::Basic, {"delay:100"});
    faulty.session.setLineTiming(tqx::LineTiming::Real);
    // The line's clock never moves, so nothing leaves its queue.
    faulty.session.pacer().setClock([] { return std::chrono::nanoseconds(0); });
    QStringList notices;
    QObject::connect(&faulty.session, &EmulatorSession::clientNotice,
                     [&](const QString &text) { notices << text; });
    const int fitting = int(EmulatorSession::maxPacedBytes / 2);
    const int beyond = 50;
    for (int i = 0; i < fitting + beyond; ++i)
        faulty.take("Ka");
    QVERIFY(notices.isEmpty());
    faulty.take("+100");

    QCOMPARE(faulty.session.pacer().pendingBytes(), EmulatorSession::maxPacedBytes);
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices.front().startsWith(QString::number(2 * beyond)
                                        + " bytes of delayed replies "
                                          "were not sent"),
             qPrintable(notices.front()));
    // Nothing is left to send later, out of its order.
    faulty.take("+100");
    QCOMPARE(notices.size(), 1);
    QCOMPARE(faulty.session.pacer().pendingBytes(), EmulatorSession::maxPacedBytes);
}

QTEST_GUILESS_MAIN(FaultSessionTest)
#include "fault_session_test.moc"
