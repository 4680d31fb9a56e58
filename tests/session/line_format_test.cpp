// What a byte becomes on a line whose two ends are set differently, and the virtual port that
// garbles a client's bytes when the client's settings are not the hand control's.

#include "session/LineFormat.h"
#include "session/VirtualPort.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using tqx::LineFormat;
using Parity = tqx::LineFormat::Parity;

Q_DECLARE_METATYPE(tqx::LineFormat)

namespace {

const LineFormat line = LineFormat::handControl();

LineFormat format(int baudRate, int dataBits, Parity parity, int stopBits)
{
    return {baudRate, dataBits, parity, stopBits};
}

// What the client reads within a few seconds, up to `count` bytes.
QByteArray readUpTo(int fd, qsizetype count)
{
    QByteArray bytes;
    while (bytes.size() < count) {
        pollfd state {fd, POLLIN, 0};
        if (::poll(&state, 1, 5000) <= 0)
            break;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

} // namespace

class LineFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bytesAsTheReceiverReadsThem_data();
    void bytesAsTheReceiverReadsThem();
    void garbling_data();
    void garbling();
    void virtualPortGarblesAMismatchedClient_data();
    void virtualPortGarblesAMismatchedClient();

private:
    QTemporaryDir m_runtime; // where the port publishes its link
};

void LineFormatTest::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void LineFormatTest::bytesAsTheReceiverReadsThem_data()
{
    QTest::addColumn<LineFormat>("sender");
    QTest::addColumn<LineFormat>("receiver");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("read");

    QTest::newRow("matching ends")
            << line << line << QByteArray("Ka#\xff") << QByteArray("Ka#\xff");
    QTest::newRow("a second stop bit is only a longer pause")
            << format(9600, 8, Parity::None, 2) << line << QByteArray("Ka") << QByteArray("Ka");
    // The receiver samples twice in each of the sender's bits, the start bit first.
    QTest::newRow("a receiver twice as fast") << line << format(19200, 8, Parity::None, 1)
                                              << QByteArray("x#") << QByteArray("\x80\x1e");
    // It samples every other bit, and past the frame the quiet line's ones.
    QTest::newRow("a sender twice as fast") << format(19200, 8, Parity::None, 1) << line
                                            << QByteArray("Ka") << QByteArray("\xfc\xfc");
    QTest::newRow("a receiver half as fast")
            << format(4800, 8, Parity::None, 1) << line << QByteArray("K") << QByteArray("\x9e");
    // Seven data bits and even parity: the parity bit arrives as the eighth data bit.
    QTest::newRow("7E1 into 8N1, even count of ones")
            << format(9600, 7, Parity::Even, 1) << line << QByteArray("KA") << QByteArray("KA");
    QTest::newRow("7E1 into 8N1, odd count of ones")
            << format(9600, 7, Parity::Even, 1) << line << QByteArray("C") << QByteArray("\xc3");
    QTest::newRow("7O1 into 8N1") << format(9600, 7, Parity::Odd, 1) << line << QByteArray("KC")
                                  << QByteArray("\xcb\x43");
    QTest::newRow("8N1 into 7E1 drops the top bit")
            << line << format(9600, 7, Parity::Even, 1) << QByteArray("\xc3K") << QByteArray("CK");
    QTest::newRow("an unknown rate leaves the bytes")
            << line << format(0, 8, Parity::None, 1) << QByteArray("Ka") << QByteArray("Ka");
}

void LineFormatTest::bytesAsTheReceiverReadsThem()
{
    QFETCH(LineFormat, sender);
    QFETCH(LineFormat, receiver);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, read);
    QCOMPARE(tqx::carriedBytes(sent, sender, receiver).toHex(), read.toHex());
}

void LineFormatTest::garbling_data()
{
    QTest::addColumn<LineFormat>("client");
    QTest::addColumn<bool>("garbled");
    QTest::addColumn<QString>("text");
    QTest::newRow("9600 8N1") << line << false << "9600 8N1";
    QTest::newRow("9600 8N2") << format(9600, 8, Parity::None, 2) << false << "9600 8N2";
    QTest::newRow("19200 8N1") << format(19200, 8, Parity::None, 1) << true << "19200 8N1";
    QTest::newRow("9600 7E1") << format(9600, 7, Parity::Even, 1) << true << "9600 7E1";
    QTest::newRow("4800 8O1") << format(4800, 8, Parity::Odd, 1) << true << "4800 8O1";
}

void LineFormatTest::garbling()
{
    QFETCH(LineFormat, client);
    QFETCH(bool, garbled);
    QFETCH(QString, text);
    QCOMPARE(tqx::garbles(client, line), garbled);
    QCOMPARE(client.text(), text);
}

void LineFormatTest::virtualPortGarblesAMismatchedClient_data()
{
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("framing"); // CSIZE, PARENB, PARODD and CSTOPB bits
    QTest::addColumn<QByteArray>("reply"); // as the client reads "x#"
    QTest::addColumn<QByteArray>("command"); // as the port reads "Ka"
    QTest::addColumn<QString>("notice"); // empty: none

    QTest::newRow("9600 8N1 is untouched")
            << speed_t(B9600) << tcflag_t(CS8) << QByteArray("x#") << QByteArray("Ka") << "";
    QTest::newRow("19200 8N1 is garbled both ways")
            << speed_t(B19200) << tcflag_t(CS8) << QByteArray("\x80\x1e") << QByteArray("\xfc\xfc")
            << "the client's line is 19200 8N1, not 9600 8N1: bytes are garbled both ways, as on "
               "a real line";
    QTest::newRow("9600 8N2 passes, and is said")
            << speed_t(B9600) << tcflag_t(CS8 | CSTOPB) << QByteArray("x#") << QByteArray("Ka")
            << "the client's line is 9600 8N2, not 9600 8N1: bytes still pass unchanged";
    // Linux holds a pseudo-terminal at eight data bits without parity, whatever the client asks.
    QTest::newRow("7E1 is kept at 8N1 by the device") << speed_t(B9600) << tcflag_t(CS7 | PARENB)
                                                      << QByteArray("x#") << QByteArray("Ka") << "";
}

// The client sets its end as client software does; the port reads those settings when bytes
// come or go.
void LineFormatTest::virtualPortGarblesAMismatchedClient()
{
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, framing);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, command);
    QFETCH(QString, notice);

    tqx::VirtualPort port;
    QString errorText;
    QVERIFY2(port.open(&errorText), qPrintable(errorText));
    QSignalSpy notices(&port, &tqx::Transport::clientNotice);
    const int client = ::open(QFile::encodeName(port.clientDevice()).constData(),
                              O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(client >= 0);
    termios settings {};
    QCOMPARE(::tcgetattr(client, &settings), 0);
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | framing;
    // A device may refuse part of them (Linux keeps a pseudo-terminal at eight data bits without
    // parity, and says so); the client goes on with what it has.
    ::tcsetattr(client, TCSANOW, &settings);

    QCOMPARE(::write(client, "Ka", 2), ssize_t(2));
    QByteArray received;
    QTRY_VERIFY((received += port.readAll()).size() >= 2);
    QCOMPARE(received.toHex(), command.toHex());
    QVERIFY(port.write("x#", &errorText));
    QCOMPARE(readUpTo(client, 2).toHex(), reply.toHex());

    if (notice.isEmpty()) {
        QCOMPARE(notices.size(), 0);
    } else {
        // Once for the change, not once a byte.
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.at(0).at(0).toString(), notice);
    }
    ::close(client);
}

QTEST_GUILESS_MAIN(LineFormatTest)
#include "line_format_test.moc"
