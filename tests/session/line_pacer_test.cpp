// The line pacer on a clock the test drives: when each byte goes out, in what order, and what
// is dropped.

#include "session/LinePacer.h"
#include "session/LineTiming.h"

#include <QTest>

using namespace std::chrono_literals;
using std::chrono::nanoseconds;
using tqx::LinePacer;
using tqx::SerialLine;

namespace {

// One reply handed to the pacer: its bytes, the bus delay before it, and when it is handed over.
struct Given
{
    QByteArray bytes;
    std::chrono::milliseconds delay;
    nanoseconds at;
};

} // namespace

Q_DECLARE_METATYPE(QList<Given>)

class LinePacerTest : public QObject
{
    Q_OBJECT

private slots:
    void bytesGoOutAtTheLinesPace_data();
    void bytesGoOutAtTheLinesPace();
    void clearDropsWhatHasNotGoneOut();
    void aFailedWriteDropsTheRest();
};

void LinePacerTest::bytesGoOutAtTheLinesPace_data()
{
    QTest::addColumn<QList<Given>>("replies");
    // What has gone out by then, at each of these times.
    QTest::addColumn<QList<nanoseconds>>("times");
    QTest::addColumn<QList<QByteArray>>("sent");

    constexpr nanoseconds byte = SerialLine::byteTime;
    QTest::newRow("nothing before the first byte has crossed the line")
            << QList<Given> {{"x#", 0ms, 0ns}} << QList<nanoseconds> {byte - 1ns}
            << QList<QByteArray> {""};
    QTest::newRow("one byte a byte time")
            << QList<Given> {{"x#", 0ms, 0ns}} << QList<nanoseconds> {byte, 2 * byte}
            << QList<QByteArray> {"x", "x#"};
    QTest::newRow("an 18-byte reply takes 18 byte times")
            << QList<Given> {{"34AB0500,12CE0500#", 0ms, 0ns}}
            << QList<nanoseconds> {17 * byte, 18 * byte - 1ns, 18 * byte}
            << QList<QByteArray> {"34AB0500,12CE0500", "34AB0500,12CE0500", "34AB0500,12CE0500#"};
    QTest::newRow("a late timer sends all that is due, in order")
            << QList<Given> {{"ab#", 0ms, 0ns}} << QList<nanoseconds> {10 * byte}
            << QList<QByteArray> {"ab#"};
    QTest::newRow("a second reply waits for the line")
            << QList<Given> {{"a#", 0ms, 0ns}, {"b#", 0ms, 0ns}}
            << QList<nanoseconds> {2 * byte, 3 * byte, 4 * byte}
            << QList<QByteArray> {"a#", "a#b", "a#b#"};
    QTest::newRow("the bus delay holds the first byte back")
            << QList<Given> {{"12#", 50ms, 0ns}}
            << QList<nanoseconds> {nanoseconds(50ms), 50ms + byte, 50ms + 3 * byte}
            << QList<QByteArray> {"", "1", "12#"};
    QTest::newRow("a reply behind a delayed one keeps its place")
            << QList<Given> {{"1#", 20ms, 0ns}, {"x#", 0ms, 0ns}}
            << QList<nanoseconds> {nanoseconds(10ms), 20ms + 2 * byte, 20ms + 4 * byte}
            << QList<QByteArray> {"", "1#", "1#x#"};
    QTest::newRow("an idle line starts the next reply when it comes")
            << QList<Given> {{"a#", 0ms, 0ns}, {"b#", 0ms, nanoseconds(1s)}}
            << QList<nanoseconds> {nanoseconds(1s), 1s + byte, 1s + 2 * byte}
            << QList<QByteArray> {"a#", "a#b", "a#b#"};
}

void LinePacerTest::bytesGoOutAtTheLinesPace()
{
    QFETCH(QList<Given>, replies);
    QFETCH(QList<nanoseconds>, times);
    QFETCH(QList<QByteArray>, sent);

    QByteArray written;
    LinePacer pacer([&written](const QByteArray &bytes) {
        written += bytes;
        return true;
    });
    nanoseconds now {0};
    pacer.setClock([&now] { return now; });
    qsizetype given = 0;
    for (qsizetype i = 0; i < times.size(); ++i) {
        // Replies are handed over in time order, between the checks.
        while (given < replies.size() && replies[given].at <= times[i]) {
            now = replies[given].at;
            pacer.sendDue();
            pacer.send(replies[given].bytes, replies[given].delay);
            ++given;
        }
        now = times[i];
        pacer.sendDue();
        QCOMPARE(written, sent[i]);
    }
}

void LinePacerTest::clearDropsWhatHasNotGoneOut()
{
    QByteArray written;
    LinePacer pacer([&written](const QByteArray &bytes) {
        written += bytes;
        return true;
    });
    nanoseconds now {0};
    pacer.setClock([&now] { return now; });
    pacer.send("34AB0500,12CE0500#");
    now = 4 * SerialLine::byteTime;
    pacer.sendDue();
    QCOMPARE(pacer.pendingBytes(), 14);
    pacer.clear();
    QVERIFY(pacer.isIdle());
    now = 100 * SerialLine::byteTime;
    pacer.sendDue();
    QCOMPARE(written, QByteArray("34AB"));
}

void LinePacerTest::aFailedWriteDropsTheRest()
{
    int writes = 0;
    LinePacer pacer([&writes](const QByteArray &) {
        ++writes;
        return false;
    });
    nanoseconds now {0};
    pacer.setClock([&now] { return now; });
    pacer.send("x#");
    pacer.send("y#");
    now = SerialLine::byteTime;
    pacer.sendDue();
    QVERIFY(pacer.isIdle());
    now = 10 * SerialLine::byteTime;
    pacer.sendDue();
    QCOMPARE(writes, 1);
}

QTEST_GUILESS_MAIN(LinePacerTest)
#include "line_pacer_test.moc"
