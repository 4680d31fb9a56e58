// Headless output records the replies that went out: with a reply stage on the session, the
// client's bytes, the exchange line and the stage's note agree.

#include "app/HeadlessEmulator.h"
#include "session/TcpTransport.h"
#include "support/AppendingStage.h"
#include "support/RawTcpClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

class HeadlessReplyStageTest : public QObject
{
    Q_OBJECT

private slots:
    void outputShowsTheReplyAsSent_data();
    void outputShowsTheReplyAsSent();
};

void HeadlessReplyStageTest::outputShowsTheReplyAsSent_data()
{
    QTest::addColumn<bool>("decode");
    QTest::addColumn<int>("columns");
    QTest::newRow("three columns") << false << 3;
    QTest::newRow("with --decode") << true << 4;
}

void HeadlessReplyStageTest::outputShowsTheReplyAsSent()
{
    QFETCH(bool, decode);
    QFETCH(int, columns);
    QTemporaryFile output;
    QTemporaryFile errors;
    QVERIFY(output.open() && errors.open());

    QByteArray received;
    {
        tqx::HeadlessOptions options;
        options.port = QStringLiteral("tcp:0");
        options.decode = decode;
        tqx::HeadlessEmulator headless(options, output.handle(), errors.handle());
        headless.session().replyChain().append(std::make_unique<AppendingStage>("!"));
        QCOMPARE(headless.start(), tqx::HeadlessEmulator::Success);
        const auto *listener = qobject_cast<tqx::TcpTransport *>(headless.session().transport());
        QVERIFY(listener);

        RawTcpClient client([] { QCoreApplication::processEvents(); });
        QVERIFY(client.connectTo(listener->listeningPort()));
        QVERIFY(client.send("E"));
        received = client.receive(11);
        client.close();
        // Ending the emulator writes out what its writers still hold.
    }
    QCOMPARE(received, QByteArray("310C,0BBB#!"));

    QFile written(output.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = written.readAll().split('\n');
    lines.removeAll(QByteArray());
    QList<QByteArray> exchanges;
    QList<QByteArray> events;
    for (const QByteArray &line : lines.mid(1))
        (line.startsWith("# ") ? events : exchanges) << line;
    QCOMPARE(exchanges.size(), 1);
    const QList<QByteArray> fields = exchanges.first().split('\t');
    QCOMPARE(fields.size(), columns);
    QCOMPARE(fields.value(1), QByteArray("E"));
    QCOMPARE(fields.value(2), QByteArray("310C,0BBB#!"));
    // The meaning of a changed reply says what was done to it.
    if (decode)
        QVERIFY2(fields.value(3).endsWith("; appended !"), fields.value(3).constData());
    // The note follows its exchange line at once.
    const qsizetype at = lines.indexOf(exchanges.first());
    QVERIFY2(lines.value(at + 1).startsWith("# ")
                     && lines.value(at + 1).endsWith(
                             " the reply to E went through the reply stages: appended !"),
             lines.value(at + 1).constData());
}

QTEST_GUILESS_MAIN(HeadlessReplyStageTest)
#include "headless_reply_stage_test.moc"
