// The console's own pieces: how bytes are shown, and the capped logs.

#include "console/LogModel.h"
#include "session/DisplayText.h"

#include <QSignalSpy>
#include <QTest>

class ConsoleUnitTest : public QObject
{
    Q_OBJECT

private slots:
    void displayText_data();
    void displayText();
    void droppedBytesAreMentioned();
    void logShowsNothingUntilPublished();
    void logKeepsTheNewestLines();
    void batchLargerThanTheLog();
    void clearRestartsLineIndexes();
    void tooltipsSayWhatLinesMean();
};

void ConsoleUnitTest::displayText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    QTest::newRow("printable") << QByteArray("R34AB,12CE#") << "R34AB,12CE#";
    QTest::newRow("space and tilde") << QByteArray(" ~") << " ~";
    QTest::newRow("tracking mode byte") << QByteArray("T\x02", 2) << "T\\x02";
    QTest::newRow("nul") << QByteArray("K\0", 2) << "K\\x00";
    QTest::newRow("backslash") << QByteArray("a\\b") << "a\\\\b";
    QTest::newRow("delete") << QByteArray("\x7f") << "\\x7F";
    QTest::newRow("high bytes") << QByteArray("\x80\xff\xe9") << "\\x80\\xFF\\xE9";
    QTest::newRow("line breaks") << QByteArray("\r\n") << "\\x0D\\x0A";
    QTest::newRow("escape-looking text") << QByteArray("\\x41") << "\\\\x41";
}

void ConsoleUnitTest::displayText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(tqx::displayText(bytes.toStdString()), shown);
}

void ConsoleUnitTest::droppedBytesAreMentioned()
{
    QCOMPARE(tqx::bufferText("XE", 0), QString("XE"));
    const QString text = tqx::bufferText("XE", 905);
    QVERIFY(text.startsWith("XE"));
    QVERIFY(text.contains("905"));
}

void ConsoleUnitTest::logShowsNothingUntilPublished()
{
    tqx::LogModel log;
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 50; ++i)
        log.append("E");
    QCOMPARE(log.rowCount(), 0);
    QVERIFY(log.hasPending());
    log.publish();
    QCOMPARE(log.rowCount(), 50);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(log.rowOfLine(49), 49);
    QCOMPARE(log.rowOfLine(50), -1);
}

void ConsoleUnitTest::logKeepsTheNewestLines()
{
    tqx::LogModel log(nullptr, 10);
    for (int i = 0; i < 25; ++i) {
        log.append(std::to_string(i));
        if (i % 4 == 0)
            log.publish();
    }
    log.publish();
    QCOMPARE(log.rowCount(), 10);
    QCOMPARE(log.index(0).data().toString(), QString("15"));
    QCOMPARE(log.index(9).data().toString(), QString("24"));
    QCOMPARE(log.rowOfLine(24), 9);
    QCOMPARE(log.rowOfLine(15), 0);
    QCOMPARE(log.rowOfLine(14), -1);
}

void ConsoleUnitTest::batchLargerThanTheLog()
{
    tqx::LogModel log(nullptr, 10);
    for (int i = 0; i < 3; ++i)
        log.append("old");
    log.publish();
    for (int i = 0; i < 30; ++i)
        log.append(std::to_string(i));
    log.publish();
    QCOMPARE(log.rowCount(), 10);
    QCOMPARE(log.index(0).data().toString(), QString("20"));
    QCOMPARE(log.rowOfLine(32), 9);
    QCOMPARE(log.rowOfLine(23), 0);
}

void ConsoleUnitTest::clearRestartsLineIndexes()
{
    tqx::LogModel log(nullptr, 5);
    for (int i = 0; i < 12; ++i)
        log.append("x");
    log.publish();
    log.append("pending");
    log.clear();
    QCOMPARE(log.rowCount(), 0);
    QVERIFY(!log.hasPending());
    log.append("first");
    log.publish();
    QCOMPARE(log.rowOfLine(0), 0);
    QCOMPARE(log.index(0).data().toString(), QString("first"));
}

// Each line is read in the context it was logged in, and a reply as the answer to its command;
// the lines that leave the top of a capped log take their meaning with them.
void ConsoleUnitTest::tooltipsSayWhatLinesMean()
{
    tqx::LogModel log(nullptr, 3);
    const tqx::DecodeContext basic {tqx::Profile::Basic, true, false, false};
    const tqx::DecodeContext fullAltAz {tqx::Profile::Full, false, false, false};
    const tqx::Bytes versionQuery("P\x01\x10\xfe\x00\x00\x00\x02", 8);
    log.append("plain");
    log.appendCommand("R3AAA,0E38", basic);
    log.appendReply("#", versionQuery, basic);
    log.appendReply(tqx::Bytes("\x07\x0f#", 3), versionQuery, fullAltAz);
    log.publish();
    QCOMPARE(log.rowCount(), 3);
    const auto tip = [&](int row) { return log.index(row).data(Qt::ToolTipRole).toString(); };
    QCOMPARE(tip(0), QString("goto RA 05h30m00s Dec +20 00'00\"\nR3AAA,0E38"));
    QCOMPARE(tip(1), QString("acknowledged; the basic profile sends no data\n#"));
    QCOMPARE(tip(2), QString("version 7.15\n\\x07\\x0F#"));
    QCOMPARE(log.index(2).data(Qt::DisplayRole).toString(), QString("\\x07\\x0F#"));

    tqx::LogModel plain;
    plain.append("E");
    plain.publish();
    QCOMPARE(plain.meaning(0), QString());
    QCOMPARE(plain.index(0).data(Qt::ToolTipRole).toString(), QString("E"));
}

QTEST_MAIN(ConsoleUnitTest)
#include "console_unit_test.moc"
