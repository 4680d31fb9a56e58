// The writer that keeps output from holding up the answering.

#include "app/LineWriter.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

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

class LineWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void dropsCountsAndReportsWhenNotRead();
    void reportsAClosedPipeOnce();
    void reportsAFileThatCannotBeOpened();
    void countsWhatItCouldNotWriteByTheEnd_data();
    void countsWhatItCouldNotWriteByTheEnd();
};

// A reader that does not keep up costs lines, never the writer's caller; every line is either
// written whole and in order or counted, and the count is reported once the reader catches up.
void LineWriterTest::dropsCountsAndReportsWhenNotRead()
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

void LineWriterTest::reportsAClosedPipeOnce()
{
    int fds[2];
    QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    Reports reports;
    {
        tqx::LineWriter writer(fds[1], "standard output", reports.reporter());
        writer.write("a line\n");
        QTRY_VERIFY_WITH_TIMEOUT(writer.failed(), 10000);
        // Later lines are discarded without another report.
        for (int i = 0; i < 100; ++i)
            writer.write("a line\n");
        QVERIFY(writer.finish(std::chrono::seconds(10)));
        QVERIFY(writer.failed());
    }
    ::close(fds[1]);
    const QStringList texts = reports.taken();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].startsWith("standard output could not be written"), qPrintable(texts[0]));
}

void LineWriterTest::reportsAFileThatCannotBeOpened()
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

QTEST_GUILESS_MAIN(LineWriterTest)
#include "line_writer_test.moc"

void LineWriterTest::countsWhatItCouldNotWriteByTheEnd_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("capacity");
    QTest::newRow("queued lines") << 5000 << 100 << 1024 * 1024;
    QTest::newRow("lines longer than a pipe's piece") << 300 << 10000 << 16 * 1024 * 1024;
    QTest::newRow("dropped and never reported") << 20000 << 50 << 100 * 1024;
}

// A reader that stops reading for good: when the time to finish is up, every line either is in
// the pipe, whole, or is counted as not written. (Here the piece the writer was blocked in goes
// out once the test reads the pipe; in a program that ends, it does not.)
void LineWriterTest::countsWhatItCouldNotWriteByTheEnd()
{
    QFETCH(int, lineCount);
    QFETCH(int, lineLength);
    QFETCH(int, capacity);
    int fds[2];
    QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
    std::uint64_t notWritten = 0;
    {
        tqx::LineWriter writer(fds[1], "the pipe", {}, std::size_t(capacity));
        const std::string line = std::string(std::size_t(lineLength - 1), 'x') + '\n';
        for (int i = 0; i < lineCount; ++i)
            writer.write(line);
        QVERIFY(!writer.finish(std::chrono::milliseconds(200)));
        notWritten = writer.linesNotWritten();
        writer.write(line); // taken no more, and counted
        QCOMPARE(writer.linesNotWritten(), notWritten + 1);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    qint64 arrived = 0;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        arrived += std::count(buffer, buffer + n, '\n');
    ::close(fds[0]);
    QVERIFY(notWritten > 0);
    const qint64 oneBlockedPiece = PIPE_BUF / lineLength + 1;
    QVERIFY2(arrived + qint64(notWritten) >= lineCount
                     && arrived + qint64(notWritten) <= lineCount + oneBlockedPiece,
             qPrintable(QString("%1 arrived, %2 counted of %3")
                                .arg(arrived)
                                .arg(notWritten)
                                .arg(lineCount)));
}
