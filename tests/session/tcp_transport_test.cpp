// The session over the network listener, with real client sockets on 127.0.0.1. The session
// answers in this thread, so every wait runs the event loop, with a deadline.

#include "session/EmulatorSession.h"
#include "session/TcpTransport.h"

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

private:
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

QTEST_GUILESS_MAIN(TcpTransportTest)
#include "tcp_transport_test.moc"
