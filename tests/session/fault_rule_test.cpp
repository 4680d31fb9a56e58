// Fault rules as a user writes them: what each one means, and what a mistake is told as.

#include "session/FaultRule.h"

#include <QTest>

using tqx::FaultEffectKind;
using tqx::FaultRule;

Q_DECLARE_METATYPE(FaultEffectKind)

class FaultRuleTest : public QObject
{
    Q_OBJECT

private slots:
    void readsEffects_data();
    void readsEffects();
    void readsConditions();
    void namesTheBadPart_data();
    void namesTheBadPart();
};

void FaultRuleTest::readsEffects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<FaultEffectKind>("kind");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<qint64>("jitterMs");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("delay with jitter")
            << "delay:3000+500" << FaultEffectKind::Delay << 3000ll << 500ll << 0 << QByteArray();
    QTest::newRow("delay in seconds")
            << "delay:2.5s" << FaultEffectKind::Delay << 2500ll << 0ll << 0 << QByteArray();
    QTest::newRow("no reply") << "noreply" << FaultEffectKind::NoReply << 0ll << 0ll << 0
                              << QByteArray();
    QTest::newRow("cut") << "cut:4" << FaultEffectKind::Cut << 0ll << 0ll << 4 << QByteArray();
    QTest::newRow("corrupt a random byte")
            << "corrupt" << FaultEffectKind::Corrupt << 0ll << 0ll << 0 << QByteArray();
    QTest::newRow("corrupt the second byte")
            << "corrupt:2" << FaultEffectKind::Corrupt << 0ll << 0ll << 2 << QByteArray();
    QTest::newRow("extra before, an escaped byte and a colon")
            << "extra-before:A%00:" << FaultEffectKind::ExtraBefore << 0ll << 0ll << 0
            << QByteArray("A\0:", 3);
    QTest::newRow("extra after") << "extra-after:%%x" << FaultEffectKind::ExtraAfter << 0ll << 0ll
                                 << 0 << QByteArray("%x");
    QTest::newRow("pieces with a gap")
            << "pieces:3:200" << FaultEffectKind::Pieces << 200ll << 0ll << 3 << QByteArray();
    QTest::newRow("pieces, the gap left out")
            << "pieces:2" << FaultEffectKind::Pieces << 100ll << 0ll << 2 << QByteArray();
    QTest::newRow("twice") << "twice" << FaultEffectKind::Twice << 0ll << 0ll << 0 << QByteArray();
    QTest::newRow("error form, in capitals")
            << "Error-Form" << FaultEffectKind::ErrorForm << 0ll << 0ll << 0 << QByteArray();
    QTest::newRow("busy") << "busy:5000" << FaultEffectKind::Busy << 5000ll << 0ll << 0
                          << QByteArray();
    QTest::newRow("silent") << "silent:10s" << FaultEffectKind::Silent << 10000ll << 0ll << 0
                            << QByteArray();
    QTest::newRow("power cycle") << "power-cycle:5000" << FaultEffectKind::PowerCycle << 5000ll
                                 << 0ll << 0 << QByteArray();
    QTest::newRow("drop") << "drop" << FaultEffectKind::Drop << 0ll << 0ll << 0 << QByteArray();
}

void FaultRuleTest::readsEffects()
{
    QFETCH(QString, text);
    QFETCH(FaultEffectKind, kind);
    QFETCH(qint64, ms);
    QFETCH(qint64, jitterMs);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);
    QString error;
    const std::optional<FaultRule> rule = FaultRule::parse(text, &error);
    QVERIFY2(rule, qPrintable(error));
    QCOMPARE(rule->effect.kind, kind);
    QCOMPARE(rule->effect.ms, ms);
    QCOMPARE(rule->effect.jitterMs, jitterMs);
    QCOMPARE(rule->effect.count, count);
    QCOMPARE(QByteArray::fromStdString(rule->effect.bytes), bytes);
    QCOMPARE(rule->text, text);
}

void FaultRuleTest::readsConditions()
{
    QString error;
    const std::optional<FaultRule> rule
            = FaultRule::parse("noreply@cmd=E,every=3,nth=6,count=2,p=0.25,after=30s", &error);
    QVERIFY2(rule, qPrintable(error));
    QCOMPARE(rule->condition.letter, std::optional<char>('E'));
    QCOMPARE(rule->condition.every, 3u);
    QCOMPARE(rule->condition.nth, 6u);
    QCOMPARE(rule->condition.count, 2u);
    QCOMPARE(rule->condition.probability, std::optional<double>(0.25));
    QCOMPARE(rule->condition.afterMs, 30000);

    const std::optional<FaultRule> bus = FaultRule::parse("error-form@bus=16:1", &error);
    QVERIFY2(bus, qPrintable(error));
    QCOMPARE(bus->condition.letter, std::optional<char>('P'));
    QCOMPARE(bus->condition.busDevice, std::optional<int>(16));
    QCOMPARE(bus->condition.busCommand, std::optional<int>(1));

    const std::optional<FaultRule> always = FaultRule::parse("twice", &error);
    QVERIFY(always && !always->condition.letter && !always->condition.probability);
}

void FaultRuleTest::namesTheBadPart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown effect") << "slow:5"
                                    << "\"slow\" is no fault; the faults are delay:MS[+JITTER], ";
    QTest::newRow("missing argument") << "cut"
                                      << "\"cut\" is written cut:N";
    QTest::newRow("argument where none is taken") << "twice:2"
                                                  << "\"twice:2\" is written twice";
    QTest::newRow("bad delay") << "delay:soon"
                               << "\"soon\" in \"delay:soon\" must be MS or MS+JITTER";
    QTest::newRow("one piece") << "pieces:1"
                               << "\"1\" in \"pieces:1\" must be a number of pieces from 2";
    QTest::newRow("bad escape") << "extra-after:%G1"
                                << "\"%G1\" in \"extra-after:%G1\" must be bytes";
    QTest::newRow("unknown condition") << "noreply@when=3"
                                       << "\"when\" is no condition";
    QTest::newRow("probability out of range")
            << "noreply@p=1.5"
            << "the condition \"p=1.5\" must be p=PROBABILITY, more than 0 and at most 1";
    QTest::newRow("bus without an id") << "noreply@bus=16"
                                       << "the condition \"bus=16\" must be bus=DEVICE:ID";
    QTest::newRow("every zero") << "noreply@every=0"
                                << "the condition \"every=0\" must be every=N, N from 1";
    QTest::newRow("a word for a letter") << "noreply@cmd=Ee"
                                         << "the condition \"cmd=Ee\" must be cmd=LETTER";
}

void FaultRuleTest::namesTheBadPart()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString said;
    QVERIFY(!FaultRule::parse(text, &said));
    QVERIFY2(said.startsWith(error), qPrintable(said));
}

QTEST_GUILESS_MAIN(FaultRuleTest)
#include "fault_rule_test.moc"
