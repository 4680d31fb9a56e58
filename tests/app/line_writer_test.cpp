// The writer that keeps output from holding up the answering.

#include "app/LineWriter.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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
