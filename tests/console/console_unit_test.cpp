// The console's own pieces: how bytes are shown, and the capped logs.

#include "DisplayText.h"
#include "LineWriter.h"
#include "LogModel.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

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
    void writerDropsCountsAndReportsWhenNotRead();
    void writerReportsAClosedPipeOnce();
    void writerReportsAFileThatCannotBeOpened();
};

namespace {

// What a writer reported, gathered from its thread.
struct Reports
{
    std::mutex mutex;
    QStringList texts;

    tqx::LineWriter::Reporter reporter()
    {
        return [this](const std::string &text) {
            std::lock_guard lock(mutex);
            texts << QString::fromStdString(text);
        };
    }
    QStringList taken()
    {
        std::lock_guard lock(mutex);
        return texts;
    }
};

} // namespace

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

// A reader that does not keep up costs lines, never the writer's caller; every line is either
// written whole and in order or counted, and the count is reported once the reader catches up.
void ConsoleUnitTest::writerDropsCountsAndReportsWhenNotRead()
{
    int fds[2];
    QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
    Reports reports;
    constexpr int lineCount = 20000;
    QByteArray received;
    std::uint64_t dropped = 0;
    {
        tqx::LineWriter writer(fds[1], "the pipe", reports.reporter(), 4096);
        // Nobody reads while the lines come: the pipe fills, then the queue.
        for (int i = 0; i < lineCount; ++i)
            writer.write("line " + std::to_string(i) + "\n");
        dropped = writer.droppedLines();
        QVERIFY(dropped > 0);

        // Then the reader catches up.
        std::thread reader([&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
        });
        const bool finished = writer.finish(std::chrono::seconds(10));
        ::close(fds[1]);
        reader.join();
        QVERIFY(finished);
        QCOMPARE(writer.droppedLines(), dropped);
    }
    ::close(fds[0]);

    // A report each time the writer caught up after dropping; together they count every line.
    const QRegularExpression report(
            "^(\\d+) lines? (was|were) not written to the pipe because it was not read in time$");
    std::uint64_t reported = 0;
    for (const QString &text : reports.taken()) {
        const QRegularExpressionMatch match = report.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        reported += match.captured(1).toULongLong();
    }
    QCOMPARE(reported, dropped);
    QVERIFY(received.endsWith('\n'));
    const QList<QByteArray> lines = received.trimmed().split('\n');
    QCOMPARE(lines.size() + dropped, quint64(lineCount));
    int previous = -1;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.startsWith("line "), line.constData());
        const int number = line.mid(5).toInt();
        QVERIFY(number > previous);
        previous = number;
    }
}

void ConsoleUnitTest::writerReportsAClosedPipeOnce()
{
    int fds[2];
    QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    Reports reports;
    {
        tqx::LineWriter writer(fds[1], "standard output", reports.reporter());
        for (int i = 0; i < 100; ++i) {
            writer.write("a line\n");
            QThread::usleep(100);
        }
        QVERIFY(writer.finish(std::chrono::seconds(10)));
        QVERIFY(writer.failed());
    }
    ::close(fds[1]);
    const QStringList texts = reports.taken();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].startsWith("standard output could not be written"), qPrintable(texts[0]));
}

void ConsoleUnitTest::writerReportsAFileThatCannotBeOpened()
{
    QTemporaryDir folder;
    const std::string path = folder.filePath("missing/log.txt").toStdString();
    Reports reports;
    auto writer = tqx::LineWriter::openFile(path, reports.reporter());
    writer->write("a line\n");
    QVERIFY(writer->finish(std::chrono::seconds(10)));
    QVERIFY(writer->failed());
    const QStringList texts = reports.taken();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(
            texts[0].startsWith(QString::fromStdString("the log " + path + " could not be opened")),
            qPrintable(texts[0]));
}

QTEST_MAIN(ConsoleUnitTest)
#include "console_unit_test.moc"
