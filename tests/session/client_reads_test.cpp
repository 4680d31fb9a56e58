// What a session records of how the client reads its replies, over a real socket on 127.0.0.1:
// commands sent before the previous reply, and replies read short.

#include "session/EmulatorSession.h"
#include "session/PortChoice.h"
#include "support/RawTcpClient.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>
#include <vector>

using namespace tqx;

struct ClientDoings
{
    QByteArray firstCommand;
    qsizetype firstRead; // bytes of its reply the client reads
    QByteArray secondCommand;
    std::vector<bool> pipelined; // of the exchanges after the first
    std::optional<long long> unread; // recorded with the second command
};
Q_DECLARE_METATYPE(ClientDoings)

class ClientReadsTest : public QObject
{
    Q_OBJECT

private slots:
    void recorded_data();
    void recorded();
    void notWatchedNotAsked();
};

void ClientReadsTest::recorded_data()
{
    QTest::addColumn<ClientDoings>("doings");
    // The basic profile's E answers "310C,0BBB#", ten bytes.
    QTest::newRow("waits and reads whole") << ClientDoings {"E", 10, "E", {false}, 0};
    QTest::newRow("reads one byte short") << ClientDoings {"E", 9, "E", {false}, 1};
    QTest::newRow("reads nothing") << ClientDoings {"E", 0, "E", {false}, 10};
    QTest::newRow("two in one write") << ClientDoings {"E", 10, "EE", {false, true}, 0};
}

void ClientReadsTest::recorded()
{
    QFETCH(ClientDoings, doings);
    EmulatorSession session;
    session.setPort(PortChoice::tcp(QHostAddress::LocalHost, 0));
    session.setProfile(Profile::Full);
    session.setWatchingClientReads(true);
    QString error;
    QVERIFY2(session.open(&error), qPrintable(error));
    auto *transport = qobject_cast<TcpTransport *>(session.transport());
    QVERIFY(transport);
    std::vector<Exchange> exchanges;
    connect(&session, &EmulatorSession::exchanged, this,
            [&exchanges](const Exchange &exchange) { exchanges.push_back(exchange); });

    RawTcpClient client([] { QCoreApplication::processEvents(); });
    QVERIFY(client.connectTo(transport->listeningPort()));
    QVERIFY(client.send(doings.firstCommand));
    QVERIFY(QTest::qWaitFor([&] { return exchanges.size() == 1; }, 5000));
    if (doings.firstRead > 0)
        QCOMPARE(client.receive(doings.firstRead).size(), doings.firstRead);
    QVERIFY(client.send(doings.secondCommand));
    const std::size_t expected = 1 + doings.pipelined.size();
    QVERIFY(QTest::qWaitFor([&] { return exchanges.size() == expected; }, 5000));

    QVERIFY(!exchanges[0].pipelined);
    for (std::size_t i = 0; i < doings.pipelined.size(); ++i)
        QCOMPARE(exchanges[1 + i].pipelined, doings.pipelined[i]);
    QCOMPARE(exchanges[1].clientUnreadBytes, doings.unread);
    if (exchanges.size() > 2)
        QVERIFY2(!exchanges[2].clientUnreadBytes, "it came with the one before");
    session.close(nullptr);
}

void ClientReadsTest::notWatchedNotAsked()
{
    EmulatorSession session;
    session.setPort(PortChoice::tcp(QHostAddress::LocalHost, 0));
    QString error;
    QVERIFY2(session.open(&error), qPrintable(error));
    std::vector<Exchange> exchanges;
    connect(&session, &EmulatorSession::exchanged, this,
            [&exchanges](const Exchange &exchange) { exchanges.push_back(exchange); });
    RawTcpClient client([] { QCoreApplication::processEvents(); });
    QVERIFY(client.connectTo(qobject_cast<TcpTransport *>(session.transport())->listeningPort()));
    QVERIFY(client.send("E"));
    QVERIFY(QTest::qWaitFor([&] { return exchanges.size() == 1; }, 5000));
    QVERIFY(!exchanges[0].clientUnreadBytes);
    session.close(nullptr);
}

QTEST_GUILESS_MAIN(ClientReadsTest)
#include "client_reads_test.moc"
