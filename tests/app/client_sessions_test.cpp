// Client software's own sequences, replayed over the virtual port against the program run
// headless in the full profile: every command waits for its reply, as the clients do, and a reply
// that does not come in time fails the test instead of hanging it. A blocked buffer with nobody to
// press Reset is reset by itself.

#include "support/ChildProcess.h"
#include "support/SerialClient.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

constexpr int deadlineMs = 10000;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

// "P" with its seven bytes.
QByteArray passThrough(int length, int device, int command, int d1, int d2, int d3, int replyLength)
{
    QByteArray frame("P");
    for (int byte : {length, device, command, d1, d2, d3, replyLength})
        frame += char(byte);
    return frame;
}

struct Step
{
    QByteArray command;
    int replyLength; // with its "#"
};

// The length of the reply each command gets from the full profile.
QList<Step> steps(const QList<QByteArray> &commands, int versionLength)
{
    QList<Step> result;
    for (const QByteArray &command : commands) {
        int length = 1;
        switch (command.at(0)) {
        case 'K':
        case 'm':
        case 't':
        case 'p':
        case 'J':
        case 'L':
            length = 2;
            break;
        case 'V':
            length = versionLength;
            break;
        case 'h':
        case 'w':
        case 'i':
            length = 9;
            break;
        case 'e':
        case 'z':
            length = 18;
            break;
        case 'P': {
            const int device = static_cast<unsigned char>(command.at(2));
            const int asked = static_cast<unsigned char>(command.at(7));
            // The focuser is absent: its reply has the error byte too.
            length = asked + 1 + (device == 18 ? 1 : 0);
            break;
        }
        default:
            break;
        }
        result.append({command, length});
    }
    return result;
}

} // namespace

class ClientSessionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void clientSequences_data();
    void clientSequences();
    void blockedBufferIsResetWithoutAPerson();
    void ninetyDegreeGotoSeenByAPollingClient();

private:
    bool start(ChildProcess &process, const QStringList &arguments);
    QString link() const { return m_runtime->filePath("tqx-orbivo-emulator.pty"); }

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<Pipe> m_output;
};

void ClientSessionsTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_output = std::make_unique<Pipe>();
}

bool ClientSessionsTest::start(ChildProcess &process, const QStringList &arguments)
{
    if (!process.start(
                programUnderTest(), QStringList {"--headless", "--port", "virtual"} + arguments,
                {"XDG_RUNTIME_DIR=" + m_runtime->path()}, m_output->writeEnd(), STDERR_FILENO))
        return false;
    m_output->closeWriteEnd();
    return m_output->readLine(deadlineMs).startsWith("Listening");
}

void ClientSessionsTest::clientSequences_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("versionLength");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QList<QByteArray>>("commands");

    const QList<QByteArray> client1 {
            "Kx", "V", "m", passThrough(1, 16, 254, 0, 0, 0, 2),
            passThrough(1, 17, 254, 0, 0, 0, 2), passThrough(1, 18, 254, 0, 0, 0, 4), "t",
            passThrough(1, 16, 71, 0, 0, 0, 1), passThrough(1, 17, 71, 0, 0, 0, 1), "h", "w", "e",
            "p", passThrough(1, 18, 1, 0, 0, 0, 3), "J", passThrough(1, 18, 44, 0, 0, 0, 8),
            // polls, then a goto, an abort, a sync, park and unpark
            "e", "p", "r34AB0500,12CE0500", "L", QByteArray("T\x02", 2),
            passThrough(2, 17, 36, 0, 0, 0, 0), passThrough(2, 16, 36, 0, 0, 0, 0),
            QByteArray("T\x00", 2), "M", "s34AB0500,12CE0500", "b00000000,20000000",
            QByteArray("T\x03", 2), passThrough(2, 16, 36, 9, 0, 0, 0),
            passThrough(2, 16, 36, 0, 0, 0, 0), QByteArray("H\x0c\x1e\x00\x0c\x08\x1a\xfb\x00", 9),
            QByteArray("W\x33\x0f\x00\x00\x00\x1e\x00\x01", 9)};
    const QList<QByteArray> client2 {"Ka", "J", "L", "p",  "t", "e", "Ka", "w", "h", "J",
                                     "V",  "m", "t", "Ka", "J", "L", "p",  "t", "e"};
    const QList<QByteArray> client3 {"Kx", "J", "m", "V", "t", "w", "h", "L", "p", "t", "e", "z"};

    QTest::newRow("client 1, binary version")
            << QStringList {"--version-reply", "4.39"} << 3 << QByteArray("\x04\x27#") << client1;
    QTest::newRow("client 2, hex version")
            << QStringList {"--version-format", "hex", "--version-reply", "4.39.07"} << 7
            << QByteArray("042707#") << client2;
    QTest::newRow("client 3, hex version")
            << QStringList {"--version-format", "hex", "--version-reply", "4.39.07"} << 7
            << QByteArray("042707#") << client3;
    QTest::newRow("client 3, binary version")
            << QStringList {} << 3 << QByteArray("\x04\x15#") << client3;
}

void ClientSessionsTest::clientSequences()
{
    QFETCH(QStringList, options);
    QFETCH(int, versionLength);
    QFETCH(QByteArray, version);
    QFETCH(QList<QByteArray>, commands);

    ChildProcess process;
    QVERIFY(start(process, QStringList {"--profile", "full"} + options));
    SerialClient client(link());
    QVERIFY(client.isOpen());
    for (const Step &step : steps(commands, versionLength)) {
        const QByteArray reply = client.exchange(step.command, step.replyLength, 3000);
        QVERIFY2(reply.size() == step.replyLength && reply.endsWith('#'),
                 qPrintable(QString("%1 -> %2")
                                    .arg(QString(step.command.toHex(' ')),
                                         QString(reply.toHex(' ')))));
        if (step.command == "V")
            QCOMPARE(reply, version);
        if (step.command == "J")
            QCOMPARE(reply, QByteArray("\x01#", 2));
        if (step.command.startsWith('K'))
            QCOMPARE(reply, step.command.mid(1) + '#');
    }
    // Nothing more than the replies counted for.
    QCOMPARE(client.receive(1, 200), QByteArray());
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

void ClientSessionsTest::blockedBufferIsResetWithoutAPerson()
{
    ChildProcess process;
    QVERIFY(start(process, {"--reset-after", "300"}));
    SerialClient client(link());
    client.send("QE");
    QCOMPARE(client.receive(1, 100), QByteArray()); // blocked: the basic profile knows no "Q"
    const QByteArray logged = m_output->readLineContaining("unanswered: QE", deadlineMs);
    QVERIFY2(logged.startsWith("# ") && logged.contains("reset"), logged.constData());
    QCOMPARE(client.exchange("E", 10), QByteArray("310C,0BBB#"));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

// A client doing what client software does during a goto: it polls "L" and reads the position
// until the mount has arrived. A fast slew rate keeps the test short.
void ClientSessionsTest::ninetyDegreeGotoSeenByAPollingClient()
{
    ChildProcess process;
    QVERIFY(start(process, {"--profile", "full", "--slew-rate", "30", "--site", "48.86,2.35"}));
    SerialClient client(link());
    QVERIFY(client.isOpen());
    QCOMPARE(client.exchange("s00000000,00000000", 1), QByteArray("#"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.exchange("r40000000,00000000", 1), QByteArray("#"));

    QList<uint> rightAscensions;
    QByteArray slewing;
    while ((slewing = client.exchange("L", 2)) == "1#") {
        QVERIFY2(clock.elapsed() < deadlineMs, "the goto never ended");
        const QByteArray position = client.exchange("e", 18);
        QVERIFY2(position.size() == 18 && position.endsWith("00#"), position.constData());
        rightAscensions.append(position.left(8).toUInt(nullptr, 16));
        QThread::msleep(50); // the client's own polling interval
    }
    const qint64 slewMs = clock.elapsed();
    QCOMPARE(slewing, QByteArray("0#"));
    QCOMPARE(client.exchange("e", 18), QByteArray("40000000,00000000#"));
    QVERIFY2(rightAscensions.size() >= 5, "L answered 1# too briefly to follow the goto");
    for (qsizetype i = 1; i < rightAscensions.size(); ++i)
        QVERIFY(rightAscensions[i] >= rightAscensions[i - 1]);
    QVERIFY(rightAscensions.first() < 0x40000000u);
    qInfo("90 degrees at 30 deg/s: \"1#\" for %lld ms, %lld positions read on the way", slewMs,
          static_cast<long long>(rightAscensions.size()));
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
}

QTEST_GUILESS_MAIN(ClientSessionsTest)
#include "client_sessions_test.moc"
