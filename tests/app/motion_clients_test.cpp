// Client software moving and guiding the mount, replayed in real time against the program run
// headless in the full profile, over the virtual port and over TCP, on both sides of the pier
// and in both hemispheres. Each client turns "north", "east" and so on into motor commands its
// own way; what counts is where the pointing went, read back with "e" as the client reads it.
// Every reply and every wait has a deadline, so a fault fails the test instead of hanging it.

#include "support/ChildProcess.h"
#include "support/RawTcpClient.h"
#include "support/SerialClient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <csignal>
#include <memory>

#include <unistd.h>

// Runs a helper that checks with QVERIFY/QCOMPARE and leaves the calling function when it failed.
#define CHECKED(call) \
    do { \
        call; \
        if (QTest::currentTestFailed()) \
            return; \
    } while (false)

namespace {

constexpr int deadlineMs = 10000;
// Within the 2 to 5 s clients wait for a reply.
constexpr int replyTimeoutMs = 3000;

constexpr double arcsecondsPerUnit = 1296000.0 / 4294967296.0; // of a 32-bit "e" position
constexpr double siderealRate = 15.041; // seconds of arc per second
constexpr int buttonRate = 7;
constexpr double buttonArcsecondsPerSecond = 3600; // rate 7 turns a motor 1 degree a second
constexpr int slewMs = 500;
constexpr int pulseCentiseconds = 100;
constexpr int timedGuideMs = 500;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

enum class Transport { VirtualPort, Tcp };
enum class Hemisphere { North, South };
enum class Way { North, South, East, West };

const char *nameOf(Way way)
{
    switch (way) {
    case Way::North:
        return "north";
    case Way::South:
        return "south";
    case Way::East:
        return "east";
    case Way::West:
        return "west";
    }
    return "";
}

Way opposite(Way way)
{
    switch (way) {
    case Way::North:
        return Way::South;
    case Way::South:
        return Way::North;
    case Way::East:
        return Way::West;
    case Way::West:
        break;
    }
    return Way::East;
}

// A motion of both axes at once, as a hand paddle or a guider makes it.
struct Move
{
    Way rightAscension; // east or west
    Way declination; // north or south
};

// North-east, then south-west: all four ways, and each axis's command differs in sign from the
// other's at least on one pier side, so that axes taken for each other show.
constexpr Move moves[] = {{Way::East, Way::North}, {Way::West, Way::South}};

// Which way each motor is to turn, positive or negative.
struct MotorSigns
{
    bool rightAscension;
    bool declination;
};

// How current clients choose the motor direction: positive right ascension motion turns the
// axis the way the mount tracks (west in the north, east in the south); positive declination
// motion is north while "p" answers "E" and south while it answers "W", mirrored in the south.
MotorSigns pierAwareSigns(Move move, char pierSide, Hemisphere hemisphere)
{
    const bool south = hemisphere == Hemisphere::South;
    return {(move.rightAscension == Way::West) != south,
            (move.declination == Way::North) == ((pierSide == 'E') != south)};
}

// An older client's: west is the negative right ascension command and north the positive
// declination one, whatever the pier side and the hemisphere.
MotorSigns olderClientSigns(Move move)
{
    return {move.rightAscension == Way::East, move.declination == Way::North};
}

// "P" with its seven bytes.
QByteArray passThrough(int length, int device, int command, int d1, int d2, int d3, int replyLength)
{
    QByteArray frame("P");
    for (int byte : {length, device, command, d1, d2, d3, replyLength})
        frame += char(byte);
    return frame;
}

QByteArray fixedRateSlew(int device, bool positive, int rate)
{
    return passThrough(2, device, positive ? 36 : 37, rate, 0, 0, 0);
}

QByteArray variableRateSlew(int device, bool positive, int quarterArcsecondsPerSecond)
{
    return passThrough(3, device, positive ? 6 : 7, quarterArcsecondsPerSecond >> 8,
                       quarterArcsecondsPerSecond & 0xFF, 0, 0);
}

// At 100 % of the sidereal rate; the negative rate goes as its two's complement byte.
QByteArray guidePulse(int device, bool positive)
{
    return passThrough(3, device, 38, positive ? 100 : 256 - 100, pulseCentiseconds, 0, 0);
}

QByteArray siteCommand(Hemisphere hemisphere)
{
    // 48 deg 51' 24" N, 2 deg 21' 8" E, or 33 deg 52' 8" S, 151 deg 12' 30" E.
    const QList<int> bytes = hemisphere == Hemisphere::North
            ? QList<int> {48, 51, 24, 0, 2, 21, 8, 0}
            : QList<int> {33, 52, 8, 1, 151, 12, 30, 0};
    QByteArray command("W");
    for (int byte : bytes)
        command += char(byte);
    return command;
}

// A 24-bit position, as the mount keeps it, in the 32-bit form of "s" and "e".
quint32 position32(double degrees)
{
    const qint64 units = std::llround(degrees / 360 * 16777216);
    return (static_cast<quint32>(units) & 0xFFFFFF) << 8;
}

QByteArray syncCommand(quint32 rightAscension, quint32 declination)
{
    return "s"
            + QStringLiteral("%1,%2")
                      .arg(rightAscension, 8, 16, QLatin1Char('0'))
                      .arg(declination, 8, 16, QLatin1Char('0'))
                      .toUpper()
                      .toLatin1();
}

QString describe(const QByteArray &command)
{
    return command.startsWith('P')
            ? QStringLiteral("P ") + QString::fromLatin1(command.mid(1).toHex(' '))
            : QString::fromLatin1(command);
}

struct Pointing
{
    quint32 rightAscension;
    quint32 declination;
};

// How far the pointing went the way, in seconds of arc (west is falling right ascension).
double toward(Way way, Pointing from, Pointing to)
{
    const double west
            = -static_cast<qint32>(to.rightAscension - from.rightAscension) * arcsecondsPerUnit;
    const double north = static_cast<qint32>(to.declination - from.declination) * arcsecondsPerUnit;
    switch (way) {
    case Way::North:
        return north;
    case Way::South:
        return -north;
    case Way::East:
        return -west;
    case Way::West:
        break;
    }
    return west;
}

// How long the motors may have turned: at least from the last start's reply to the first stop,
// at most from the first start to the last stop's reply.
struct Span
{
    qint64 leastMs = 0;
    qint64 mostMs = 0;
};

void addSessionColumns()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<Hemisphere>("hemisphere");
    QTest::addColumn<char>("pierSide");
}

// Both pier sides in both hemispheres over the virtual port, both sides in the north over TCP.
void addSessionRows()
{
    addSessionColumns();
    QTest::newRow("virtual port, north, pier E")
            << Transport::VirtualPort << Hemisphere::North << 'E';
    QTest::newRow("virtual port, north, pier W")
            << Transport::VirtualPort << Hemisphere::North << 'W';
    QTest::newRow("virtual port, south, pier E")
            << Transport::VirtualPort << Hemisphere::South << 'E';
    QTest::newRow("virtual port, south, pier W")
            << Transport::VirtualPort << Hemisphere::South << 'W';
    QTest::newRow("TCP, north, pier E") << Transport::Tcp << Hemisphere::North << 'E';
    QTest::newRow("TCP, north, pier W") << Transport::Tcp << Hemisphere::North << 'W';
}

} // namespace

Q_DECLARE_METATYPE(Transport)
Q_DECLARE_METATYPE(Hemisphere)

class MotionClientsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pierAwareClientSlewsAndGuides_data();
    void pierAwareClientSlewsAndGuides();
    void hexClientGuidesWithTimedSlews_data();
    void hexClientGuidesWithTimedSlews();
    void olderClientIgnoresThePierSide_data();
    void olderClientIgnoresThePierSide();

private:
    void start(Transport transport, const QStringList &options);
    void finish();
    QByteArray exchange(const QByteArray &command, qsizetype replyLength);
    // The reply, `length` bytes with its "#".
    void ask(const QByteArray &command, qsizetype length, QByteArray &reply);
    void expect(const QByteArray &command, const QByteArray &reply);
    void readPointing(Pointing &pointing);
    void readPierSide(char &side);
    void setSite(Hemisphere hemisphere);
    void syncOnPierSide(char wanted, Hemisphere hemisphere);
    void checkMoved(const QByteArray &command, Way way, double moved, double least, double most);
    void runTimed(const QList<QByteArray> &starts, const QList<QByteArray> &stops, int ms,
                  Span &span);
    void slewAndCheck(MotorSigns signs, Move expected);
    void pulseAndCheck(MotorSigns signs, Move expected);
    void timedGuideAndCheck(MotorSigns signs, Move expected, int raRate, int decRate);

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<Pipe> m_output;
    std::unique_ptr<ChildProcess> m_process;
    std::unique_ptr<SerialClient> m_serial;
    std::unique_ptr<RawTcpClient> m_tcp;
};

void MotionClientsTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_output = std::make_unique<Pipe>();
}

void MotionClientsTest::cleanup()
{
    m_serial.reset();
    m_tcp.reset();
    m_process.reset(); // kills a program a failed test left running
}

void MotionClientsTest::start(Transport transport, const QStringList &options)
{
    const bool virtualPort = transport == Transport::VirtualPort;
    m_process = std::make_unique<ChildProcess>();
    QVERIFY(m_process->start(programUnderTest(),
                             QStringList {"--headless", "--port", virtualPort ? "virtual" : "tcp:0",
                                          "--profile", "full"}
                                     + options,
                             {"XDG_RUNTIME_DIR=" + m_runtime->path()}, m_output->writeEnd(),
                             STDERR_FILENO));
    m_output->closeWriteEnd();
    const QByteArray listening = m_output->readLine(deadlineMs);
    QVERIFY2(listening.startsWith("Listening"), listening.constData());
    if (virtualPort) {
        m_serial = std::make_unique<SerialClient>(m_runtime->filePath("tqx-orbivo-emulator.pty"));
        QVERIFY(m_serial->isOpen());
        return;
    }
    static const QRegularExpression where("^Listening on TCP 127\\.0\\.0\\.1:(\\d+)$");
    const QRegularExpressionMatch match = where.match(QString::fromUtf8(listening));
    QVERIFY2(match.hasMatch(), listening.constData());
    m_tcp = std::make_unique<RawTcpClient>();
    QVERIFY(m_tcp->connectTo(match.captured(1).toUShort()));
}

void MotionClientsTest::finish()
{
    m_serial.reset();
    m_tcp.reset();
    m_process->sendSignal(SIGTERM);
    QCOMPARE(m_process->waitForExit(deadlineMs), 0);
}

QByteArray MotionClientsTest::exchange(const QByteArray &command, qsizetype replyLength)
{
    if (m_serial)
        return m_serial->exchange(command, replyLength, replyTimeoutMs);
    if (!m_tcp->send(command))
        return {};
    return m_tcp->receive(replyLength, replyTimeoutMs);
}

void MotionClientsTest::ask(const QByteArray &command, qsizetype length, QByteArray &reply)
{
    reply = exchange(command, length);
    QVERIFY2(reply.size() == length && reply.endsWith('#'),
             qPrintable(describe(command) + " -> " + QString::fromLatin1(reply.toHex(' '))));
}

void MotionClientsTest::expect(const QByteArray &command, const QByteArray &reply)
{
    const QByteArray received = exchange(command, reply.size());
    QVERIFY2(received == reply,
             qPrintable(QStringLiteral("%1 -> %2, expected %3")
                                .arg(describe(command), QString(received.toHex(' ')),
                                     QString(reply.toHex(' ')))));
}

void MotionClientsTest::readPointing(Pointing &pointing)
{
    QByteArray reply;
    CHECKED(ask("e", 18, reply));
    bool rightAscensionOk = false, declinationOk = false;
    pointing = {reply.left(8).toUInt(&rightAscensionOk, 16),
                reply.mid(9, 8).toUInt(&declinationOk, 16)};
    QVERIFY2(rightAscensionOk && declinationOk && reply.at(8) == ',', reply.constData());
}

void MotionClientsTest::readPierSide(char &side)
{
    QByteArray reply;
    CHECKED(ask("p", 2, reply));
    side = reply.at(0);
    QVERIFY2(side == 'E' || side == 'W', reply.constData());
}

// The client sets the site, then tracking for its hemisphere (2 north, 3 south).
void MotionClientsTest::setSite(Hemisphere hemisphere)
{
    CHECKED(expect(siteCommand(hemisphere), "#"));
    CHECKED(expect(QByteArray("T") + char(hemisphere == Hemisphere::North ? 2 : 3), "#"));
}

// A sync puts the tube on the side of the pier the object's hour angle calls for: "E" east of
// the meridian, "W" west of it. Without the sidereal time at hand, the test syncs round the
// sky in 3 h steps; half the sky must come out on each side, as one run of four syncs each (so
// a sync 12 h away gives the other side). The second sync of the run is at least 3 h from both
// the meridian and its opposite, where no motion here can change the side.
void MotionClientsTest::syncOnPierSide(char wanted, Hemisphere hemisphere)
{
    const quint32 declination = position32(hemisphere == Hemisphere::North ? 20 : -20);
    const auto rightAscension = [](int step) { return static_cast<quint32>(step % 8) << 29; };
    QByteArray sides;
    for (int step = 0; step < 8; ++step) {
        CHECKED(expect(syncCommand(rightAscension(step), declination), "#"));
        char side = 0;
        CHECKED(readPierSide(side));
        sides += side;
    }
    int changes = 0;
    int runStart = -1;
    for (int step = 0; step < 8; ++step) {
        if (sides.at(step) != sides.at((step + 7) % 8)) {
            ++changes;
            if (sides.at(step) == wanted)
                runStart = step;
        }
    }
    QVERIFY2(changes == 2 && sides.count(wanted) == 4,
             ("pier sides of syncs 3 h apart: " + sides).constData());
    CHECKED(expect(syncCommand(rightAscension(runStart + 1), declination), "#"));
    char side = 0;
    CHECKED(readPierSide(side));
    QCOMPARE(side, wanted);
}

// The pointing went `way` by `moved` seconds of arc: from `least` to `most` is right.
void MotionClientsTest::checkMoved(const QByteArray &command, Way way, double moved, double least,
                                   double most)
{
    QVERIFY2(moved >= least && moved <= most,
             qPrintable(QStringLiteral("after %1 the pointing went %2\" %3 (expected %4\" to "
                                       "%5\" %6)")
                                .arg(describe(command))
                                .arg(std::abs(moved), 0, 'f', 2)
                                .arg(nameOf(moved >= 0 ? way : opposite(way)))
                                .arg(least, 0, 'f', 2)
                                .arg(most, 0, 'f', 2)
                                .arg(nameOf(way))));
}

// The client's own timing: it starts the motors, lets them turn for `ms` and stops them.
void MotionClientsTest::runTimed(const QList<QByteArray> &starts, const QList<QByteArray> &stops,
                                 int ms, Span &span)
{
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray &command : starts)
        CHECKED(expect(command, "#"));
    const qint64 started = clock.elapsed();
    QThread::msleep(static_cast<unsigned long>(ms)); // the mount moves meanwhile
    const qint64 stopping = clock.elapsed();
    for (const QByteArray &command : stops)
        CHECKED(expect(command, "#"));
    span = {stopping - started, clock.elapsed()};
}

// Button rate 7 on both motors for half a second, stopped with rate 0 by the same command.
void MotionClientsTest::slewAndCheck(MotorSigns signs, Move expected)
{
    Pointing before {}, after {};
    CHECKED(readPointing(before));
    const QByteArray ra = fixedRateSlew(16, signs.rightAscension, buttonRate);
    const QByteArray dec = fixedRateSlew(17, signs.declination, buttonRate);
    Span span;
    CHECKED(runTimed(
            {ra, dec},
            {fixedRateSlew(16, signs.rightAscension, 0), fixedRateSlew(17, signs.declination, 0)},
            slewMs, span));
    CHECKED(readPointing(after));
    // At least half the expected size: the motors turned at least that long.
    const double least = 0.5 * buttonArcsecondsPerSecond * span.leastMs / 1000;
    const double most = 1.5 * buttonArcsecondsPerSecond * span.mostMs / 1000;
    CHECKED(checkMoved(ra, expected.rightAscension, toward(expected.rightAscension, before, after),
                       least, most));
    CHECKED(checkMoved(dec, expected.declination, toward(expected.declination, before, after),
                       least, most));
}

// Guide pulses on both axes at once, polled as the client polls them until both have ended.
void MotionClientsTest::pulseAndCheck(MotorSigns signs, Move expected)
{
    Pointing before {}, after {};
    CHECKED(readPointing(before));
    const QByteArray ra = guidePulse(16, signs.rightAscension);
    const QByteArray dec = guidePulse(17, signs.declination);
    CHECKED(expect(ra, "#"));
    CHECKED(expect(dec, "#"));
    const QDeadlineTimer deadline(pulseCentiseconds * 10 + 3000);
    for (;;) {
        QByteArray raRunning, decRunning;
        CHECKED(ask(passThrough(1, 16, 39, 0, 0, 0, 1), 2, raRunning));
        CHECKED(ask(passThrough(1, 17, 39, 0, 0, 0, 1), 2, decRunning));
        if (raRunning.at(0) == 0 && decRunning.at(0) == 0)
            break;
        QVERIFY2(!deadline.hasExpired(), "a guide pulse was still running long after its end");
        QThread::msleep(50); // the client's polling interval
    }
    CHECKED(readPointing(after));
    // The mount times the pulse itself; 30 % leaves room for a loaded machine.
    const double size = siderealRate * pulseCentiseconds / 100;
    CHECKED(checkMoved(ra, expected.rightAscension, toward(expected.rightAscension, before, after),
                       0.7 * size, 1.3 * size));
    CHECKED(checkMoved(dec, expected.declination, toward(expected.declination, before, after),
                       0.7 * size, 1.3 * size));
}

// Older motor controllers know no guide pulse: the client slews at the guide rate and stops
// after the guide time it has timed itself.
void MotionClientsTest::timedGuideAndCheck(MotorSigns signs, Move expected, int raRate, int decRate)
{
    Pointing before {}, after {};
    CHECKED(readPointing(before));
    const QByteArray ra = variableRateSlew(16, signs.rightAscension, raRate);
    const QByteArray dec = variableRateSlew(17, signs.declination, decRate);
    Span span;
    CHECKED(runTimed({ra, dec},
                     {variableRateSlew(16, signs.rightAscension, 0),
                      variableRateSlew(17, signs.declination, 0)},
                     timedGuideMs, span));
    CHECKED(readPointing(after));
    // The rate is in quarters of a second of arc per second; half a second of arc more for the
    // 24-bit resolution of the readings.
    CHECKED(checkMoved(ra, expected.rightAscension, toward(expected.rightAscension, before, after),
                       0.5 * raRate / 4.0 * span.leastMs / 1000,
                       1.5 * raRate / 4.0 * span.mostMs / 1000 + 0.5));
    CHECKED(checkMoved(dec, expected.declination, toward(expected.declination, before, after),
                       0.5 * decRate / 4.0 * span.leastMs / 1000,
                       1.5 * decRate / 4.0 * span.mostMs / 1000 + 0.5));
}

void MotionClientsTest::pierAwareClientSlewsAndGuides_data() { addSessionRows(); }

// A client of the binary version family: it reads the pier side before it moves, slews with
// the buttons' fixed rates, and guides with guide pulses because both motor controllers report
// 6.12 or later.
void MotionClientsTest::pierAwareClientSlewsAndGuides()
{
    QFETCH(Transport, transport);
    QFETCH(Hemisphere, hemisphere);
    QFETCH(char, pierSide);
    CHECKED(start(transport, {"--version-reply", "4.39"}));

    QByteArray reply;
    CHECKED(expect("Kx", "x#"));
    CHECKED(ask("V", 3, reply));
    // It reads "p" from firmware 4.15 on.
    QVERIFY2(uchar(reply.at(0)) * 100 + uchar(reply.at(1)) >= 415, reply.toHex(' ').constData());
    CHECKED(ask("m", 2, reply));
    // German equatorial models: the ones it reads the pier side of.
    QVERIFY2(QByteArray("\x05\x06\x0d\x0e\x14\x17\x18").contains(reply.at(0)),
             reply.toHex(' ').constData());
    for (int device : {16, 17}) {
        CHECKED(ask(passThrough(1, device, 254, 0, 0, 0, 2), 3, reply));
        QVERIFY2(uchar(reply.at(0)) * 100 + uchar(reply.at(1)) >= 612,
                 qPrintable(QStringLiteral("motor controller %1 reports %2.%3, too old for guide "
                                           "pulses")
                                    .arg(device)
                                    .arg(uchar(reply.at(0)))
                                    .arg(uchar(reply.at(1)))));
    }
    CHECKED(ask("t", 2, reply));
    CHECKED(expect("J", QByteArray("\x01#", 2)));
    Pointing pointing {};
    CHECKED(readPointing(pointing));
    char side = 0;
    CHECKED(readPierSide(side));

    CHECKED(setSite(hemisphere));
    CHECKED(syncOnPierSide(pierSide, hemisphere));
    for (const Move &move : moves) {
        CHECKED(readPierSide(side));
        CHECKED(slewAndCheck(pierAwareSigns(move, side, hemisphere), move));
    }
    for (const Move &move : moves) {
        CHECKED(readPierSide(side));
        CHECKED(pulseAndCheck(pierAwareSigns(move, side, hemisphere), move));
    }
    CHECKED(readPierSide(side));
    QCOMPARE(side, pierSide);
    finish();
}

void MotionClientsTest::hexClientGuidesWithTimedSlews_data() { addSessionRows(); }

// A client of the hexadecimal version family, in J2000 coordinates: it reads the pier side the
// same way and guides with variable-rate slews at the autoguide rate it reads from each motor
// controller.
void MotionClientsTest::hexClientGuidesWithTimedSlews()
{
    QFETCH(Transport, transport);
    QFETCH(Hemisphere, hemisphere);
    QFETCH(char, pierSide);
    CHECKED(start(transport, {"--version-format", "hex", "--version-reply", "4.39.07"}));

    QByteArray reply;
    CHECKED(expect("Ka", "a#"));
    CHECKED(expect("J", QByteArray("\x01#", 2)));
    CHECKED(expect("L", "0#"));
    char side = 0;
    CHECKED(readPierSide(side));
    CHECKED(ask("t", 2, reply));
    Pointing pointing {};
    CHECKED(readPointing(pointing));
    CHECKED(ask("V", 7, reply));
    bool ok = false;
    const int version = reply.left(2).toInt(&ok, 16) * 100 + reply.mid(2, 2).toInt(nullptr, 16);
    // Below 4.38 it warns that the firmware is too old.
    QVERIFY2(ok && version >= 438, reply.constData());
    CHECKED(ask("m", 2, reply));
    // The models it takes for an equatorial mount.
    QVERIFY2(QByteArray("\x00\x01\x04", 3).contains(reply.at(0)), reply.toHex(' ').constData());

    CHECKED(setSite(hemisphere));
    CHECKED(syncOnPierSide(pierSide, hemisphere));
    // The autoguide rate, 0 to 255 for 0 to 100 % of sidereal, as a variable rate.
    int rates[2] = {};
    for (int axis = 0; axis < 2; ++axis) {
        CHECKED(ask(passThrough(1, 16 + axis, 71, 0, 0, 0, 1), 2, reply));
        rates[axis] = qRound(uchar(reply.at(0)) / 255.0 * siderealRate * 4);
        QVERIFY2(rates[axis] > 0, reply.toHex(' ').constData());
    }
    for (const Move &move : moves) {
        CHECKED(readPierSide(side));
        CHECKED(timedGuideAndCheck(pierAwareSigns(move, side, hemisphere), move, rates[0],
                                   rates[1]));
    }
    CHECKED(readPierSide(side));
    QCOMPARE(side, pierSide);
    finish();
}

void MotionClientsTest::olderClientIgnoresThePierSide_data()
{
    addSessionColumns();
    QTest::addColumn<bool>("eastWestRight");
    QTest::addColumn<bool>("northSouthRight");
    // As on the hand control itself: with west sent as the negative command, east and west come
    // out reversed in the north; north and south come out right only on the side where positive
    // declination motion is north.
    QTest::newRow("virtual port, north, pier E: east/west reversed, north/south right")
            << Transport::VirtualPort << Hemisphere::North << 'E' << false << true;
    QTest::newRow("virtual port, north, pier W: east/west reversed, north/south reversed")
            << Transport::VirtualPort << Hemisphere::North << 'W' << false << false;
    QTest::newRow("TCP, north, pier E: east/west reversed, north/south right")
            << Transport::Tcp << Hemisphere::North << 'E' << false << true;
    QTest::newRow("TCP, north, pier W: east/west reversed, north/south reversed")
            << Transport::Tcp << Hemisphere::North << 'W' << false << false;
    // In the south the negative command turns the axis west, and positive declination motion is
    // north on the other side.
    QTest::newRow("virtual port, south, pier E: east/west right, north/south reversed")
            << Transport::VirtualPort << Hemisphere::South << 'E' << true << false;
    QTest::newRow("virtual port, south, pier W: east/west right, north/south right")
            << Transport::VirtualPort << Hemisphere::South << 'W' << true << true;
}

// An older client that never reads the pier side and sends the right ascension motor the other
// sign from current clients.
void MotionClientsTest::olderClientIgnoresThePierSide()
{
    QFETCH(Transport, transport);
    QFETCH(Hemisphere, hemisphere);
    QFETCH(char, pierSide);
    QFETCH(bool, eastWestRight);
    QFETCH(bool, northSouthRight);
    CHECKED(start(transport, {}));

    QByteArray reply;
    CHECKED(expect("Kx", "x#"));
    CHECKED(expect("J", QByteArray("\x01#", 2)));
    CHECKED(ask("m", 2, reply));
    CHECKED(ask("V", 3, reply));
    CHECKED(ask("t", 2, reply));

    CHECKED(setSite(hemisphere));
    CHECKED(syncOnPierSide(pierSide, hemisphere));
    for (const Move &move : moves) {
        const Move outcome {eastWestRight ? move.rightAscension : opposite(move.rightAscension),
                            northSouthRight ? move.declination : opposite(move.declination)};
        CHECKED(slewAndCheck(olderClientSigns(move), outcome));
    }
    finish();
}

QTEST_GUILESS_MAIN(MotionClientsTest)
#include "motion_clients_test.moc"
