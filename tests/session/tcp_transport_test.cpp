// The session over the network listener, with real client sockets on 127.0.0.1. The session
// answers in this thread, so every wait runs the event loop, with a deadline.

#include "session/EmulatorSession.h"
#include "session/TcpTransport.h"
#include "support/RawTcpClient.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using tqx::EmulatorSession;

namespace {

constexpr int deadlineMs = 5000;

// Reads until `count` bytes arrived or the time is up, letting the session answer meanwhile.
QByteArray receive(QTcpSocket &socket, qsizetype count, int timeoutMs = deadlineMs)
{
    QSignalSpy arrived(&socket, &QTcpSocket::readyRead);
    QByteArray received = socket.read(count);
    QDeadlineTimer deadline(timeoutMs);
    while (received.size() < count && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0)
            arrived.wait(int(std::max<qint64>(1, deadline.remainingTime())));
        received += socket.read(count - received.size());
    }
    return received;
}

QByteArray exchange(QTcpSocket &socket, const QByteArray &command, qsizetype replyLength)
{
    socket.write(command);
    return receive(socket, replyLength);
}

// A raw client whose waits let the session, in this thread, answer meanwhile.
std::unique_ptr<RawTcpClient> rawClient()
{
    return std::make_unique<RawTcpClient>([] { QCoreApplication::processEvents(); });
}

bool connectTo(QTcpSocket &socket, quint16 port)
{
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.state() == QAbstractSocket::ConnectedState || connected.wait(deadlineMs);
}

} // namespace

class TcpTransportTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exchangeOverLoopback();
    void secondClientIsRefused();
    void clientLeavingMidCommand_data();
    void clientLeavingMidCommand();
    void portInUseIsReported();
    void halfClosedClientIsAnsweredThenLetGo();
    void reconnectionAtOnceIsServed();
    void refusedPeerIsNamedThoughItHasGone();
    void silentClientGivesWay_data();
    void silentClientGivesWay();
    void clientThatDoesNotReadIsHeldBack();

private:
    tqx::TcpTransport &transport()
    {
        return *qobject_cast<tqx::TcpTransport *>(m_session->transport());
    }

    std::unique_ptr<EmulatorSession> m_session;
    quint16 m_port = 0;
};

void TcpTransportTest::init()
{
    m_session = std::make_unique<EmulatorSession>();
    m_session->setTcpPort(QHostAddress(QHostAddress::LocalHost), 0);
    QString errorText;
    QVERIFY2(m_session->open(&errorText), qPrintable(errorText));
    auto *transport = qobject_cast<tqx::TcpTransport *>(m_session->transport());
    QVERIFY(transport);
    m_port = transport->listeningPort();
    QVERIFY(m_port != 0);
}

void TcpTransportTest::cleanup() { m_session.reset(); }

void TcpTransportTest::exchangeOverLoopback()
{
    QCOMPARE(m_session->description(), QString("TCP 127.0.0.1:%1").arg(m_port));
    QSignalSpy connected(m_session.get(), &EmulatorSession::clientConnected);
    QTcpSocket client;
    QVERIFY(connectTo(client, m_port));
    QCOMPARE(exchange(client, "E", 10), QByteArray("310C,0BBB#"));
    QCOMPARE(exchange(client, "R34AB,12CE", 1), QByteArray("#"));
    // Split across writes, as a slow client sends it.
    client.write("Ka");
    QCOMPARE(exchange(client, "", 2), QByteArray("a#"));
    QCOMPARE(connected.size(), 1);
    QVERIFY(connected.at(0).at(0).toString().startsWith("127.0.0.1:"));
}

// One client at a time, like the serial line: a second one is closed at once and told nothing;
// the first one goes on.
void TcpTransportTest::secondClientIsRefused()
{
    QSignalSpy refused(m_session.get(), &EmulatorSession::clientRefused);
    QTcpSocket first;
    QVERIFY(connectTo(first, m_port));
    QCOMPARE(exchange(first, "E", 10), QByteArray("310C,0BBB#"));

    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, m_port);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QAbstractSocket::UnconnectedState, deadlineMs);
    QCOMPARE(second.readAll(), QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, deadlineMs);
    QCOMPARE(exchange(first, "Kb", 2), QByteArray("b#"));
}

void TcpTransportTest::clientLeavingMidCommand_data()
{
    QTest::addColumn<QByteArray>("leftBehind");
    QTest::newRow("half a command") << QByteArray("R34A");
    QTest::newRow("a reply nobody read") << QByteArray("E");
    QTest::newRow("a byte that blocks the buffer") << QByteArray("?");
}

// The listener keeps listening when a client leaves, and the next client starts afresh.
void TcpTransportTest::clientLeavingMidCommand()
{
    QFETCH(QByteArray, leftBehind);
    QSignalSpy left(m_session.get(), &EmulatorSession::clientLeft);
    {
        QTcpSocket first;
        QVERIFY(connectTo(first, m_port));
        first.write(leftBehind);
        QVERIFY(first.waitForBytesWritten(deadlineMs));
        first.disconnectFromHost();
    }
    QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, deadlineMs);
    QCOMPARE(m_session->interpreter().CommandBuffer(), tqx::Bytes());

    QTcpSocket next;
    QVERIFY(connectTo(next, m_port));
    QCOMPARE(exchange(next, "Kx", 2), QByteArray("x#"));
    QCOMPARE(receive(next, 1, 100), QByteArray());
}

void TcpTransportTest::portInUseIsReported()
{
    EmulatorSession second;
    second.setTcpPort(QHostAddress(QHostAddress::LocalHost), m_port);
    QString errorText;
    QVERIFY(!second.open(&errorText));
    QVERIFY(!errorText.isEmpty());
}

// A client that shuts down its sending side right after its command gets the reply, then the end
// of the connection, and the listener is free for the next client.
void TcpTransportTest::halfClosedClientIsAnsweredThenLetGo()
{
    QSignalSpy left(m_session.get(), &EmulatorSession::clientLeft);
    auto client = rawClient();
    QVERIFY(client->connectTo(m_port));
    QVERIFY(client->send("E"));
    client->shutdownSending();
    QCOMPARE(client->receive(11), QByteArray("310C,0BBB#"));
    QVERIFY(client->ended());
    QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, deadlineMs);
    QVERIFY(!transport().hasClient());
}

// The end of the old connection is noticed before a new one is judged, whatever order the
// system reports them in.
void TcpTransportTest::reconnectionAtOnceIsServed()
{
    QSignalSpy refused(m_session.get(), &EmulatorSession::clientRefused);
    for (int i = 0; i < 50; ++i) {
        auto client = rawClient();
        QVERIFY(client->connectTo(m_port));
        QVERIFY(client->send("E"));
        QCOMPARE(client->receive(10), QByteArray("310C,0BBB#"));
    }
    QCOMPARE(refused.size(), 0);
}

// The refused peer is named by the address it connected from, even when it is gone by the time
// the listener looks at it.
void TcpTransportTest::refusedPeerIsNamedThoughItHasGone()
{
    QSignalSpy refused(m_session.get(), &EmulatorSession::clientRefused);
    auto first = rawClient();
    QVERIFY(first->connectTo(m_port));
    QVERIFY(first->send("E"));
    QCOMPARE(first->receive(10), QByteArray("310C,0BBB#"));
    RawTcpClient second;
    QVERIFY(second.connectTo(m_port));
    second.reset();
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, deadlineMs);
    const QString peer = refused.at(0).at(0).toString();
    QVERIFY2(QRegularExpression("^127\\.0\\.0\\.1:[1-9][0-9]*$").match(peer).hasMatch(),
             qPrintable(peer));
}

void TcpTransportTest::silentClientGivesWay_data()
{
    QTest::addColumn<qint64>("silentMs");
    QTest::addColumn<qint64>("takeoverAfterMs");
    QTest::addColumn<bool>("takenOver");
    QTest::newRow("silent for the takeover time") << qint64(10000) << qint64(10000) << true;
    QTest::newRow("silent a little less") << qint64(9999) << qint64(10000) << false;
    QTest::newRow("takeover switched off") << qint64(3600000) << qint64(0) << false;
}

// A client that has sent and read nothing for the takeover time gives way to a new one, which
// is told nothing stale; a client silent for less keeps the line.
void TcpTransportTest::silentClientGivesWay()
{
    QFETCH(qint64, silentMs);
    QFETCH(qint64, takeoverAfterMs);
    QFETCH(bool, takenOver);
    std::int64_t now = 1'000'000;
    transport().setClock([&now] { return now; });
    transport().setTakeoverAfter(takeoverAfterMs);
    QSignalSpy refused(m_session.get(), &EmulatorSession::clientRefused);
    QSignalSpy notices(m_session.get(), &EmulatorSession::clientNotice);

    QTcpSocket first;
    QVERIFY(connectTo(first, m_port));
    QCOMPARE(exchange(first, "E", 10), QByteArray("310C,0BBB#"));
    first.write("R34A"); // half a command, which the newcomer must not inherit
    QVERIFY(first.waitForBytesWritten(deadlineMs));
    QTRY_COMPARE_WITH_TIMEOUT(m_session->interpreter().CommandBuffer(), tqx::Bytes("R34A"),
                              deadlineMs);
    now += silentMs;

    QTcpSocket second;
    QVERIFY(connectTo(second, m_port));
    if (takenOver) {
        QTRY_COMPARE_WITH_TIMEOUT(first.state(), QAbstractSocket::UnconnectedState, deadlineMs);
        QCOMPARE(exchange(second, "Kx", 2), QByteArray("x#"));
        QCOMPARE(refused.size(), 0);
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices.at(0).at(0).toString().contains("had been silent for 10.0 s"),
                 qPrintable(notices.at(0).at(0).toString()));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, deadlineMs);
        QCOMPARE(exchange(first, "B,12CE", 1), QByteArray("#"));
        QCOMPARE(notices.size(), 0);
    }
}

// A client that sends without reading is held back as a stalled line would be: what waits for
// it stays bounded, its commands are taken again once it reads, and its unread replies go with it.
void TcpTransportTest::clientThatDoesNotReadIsHeldBack()
{
    m_session->setProfile(tqx::Profile::Full);
    QSignalSpy left(m_session.get(), &EmulatorSession::clientLeft);
    QSignalSpy notices(m_session.get(), &EmulatorSession::clientNotice);
    auto client = rawClient();
    QVERIFY(client->connectTo(m_port));
    const qint64 sent = client->sendWithoutReading(64 * 1024 * 1024, 300);
    QVERIFY(sent > 0);
    // The client's send may stall while a slow server (a sanitizer build on a loaded machine)
    // is still answering; what is already on its way fills the reply queue.
    QTRY_VERIFY_WITH_TIMEOUT(transport().isReadingPaused(), deadlineMs);
    constexpr qsizetype longestReplyToOneByte = 18;
    QVERIFY2(transport().pendingReplyBytes() <= tqx::ReplyQueue::pauseReadingAt
                             + tqx::ReplyQueue::readChunk * longestReplyToOneByte,
             qPrintable(QString::number(transport().pendingReplyBytes())));

    // Reading the replies lets the commands in again.
    const quint64 answeredBefore = m_session->interpreter().RespCount();
    QVERIFY(client->receive(4 * 1024 * 1024, 2000).size() > 0);
    QVERIFY(m_session->interpreter().RespCount() > answeredBefore);

    client->close();
    QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, deadlineMs);
    QCOMPARE(transport().pendingReplyBytes(), qsizetype(0));
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices.at(0).at(0).toString().contains("were not sent"),
             qPrintable(notices.at(0).at(0).toString()));
}

QTEST_GUILESS_MAIN(TcpTransportTest)
#include "tcp_transport_test.moc"
