// The mount's clock as a harness sets it: a start time and a rate on the command line give the
// same bytes run after run, and a goto that ends in a fraction of its real time.

#include "support/ChildProcess.h"
#include "support/SerialClient.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <unistd.h>

namespace {

constexpr int deadlineMs = 10000;

struct Step
{
    QByteArray command;
    qsizetype replyLength;
};

// A client's first minute against the full profile: positions, the clock, the site, a goto and
// the queries that follow it.
const QList<Step> clientScript {
        {"e", 18},
        {"E", 10},
        {"z", 18},
        {"Z", 10},
        {"h", 9},
        {"w", 9},
        {"t", 2},
        {"p", 2},
        {"r40000000,20000000", 1},
        {"L", 2},
        {"e", 18},
        {"z", 18},
        {QByteArray::fromHex("500110fe00000002"), 3},
        {"e", 18},
};

} // namespace

class MountTimeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startTimeGivesTheStarOfThatDate();
    void sameRunGivesTheSameBytes();
    void fastClockEndsAGotoSoon();
    void sameStepsGiveTheSameBytes();
    void refusedValues_data();
    void refusedValues();

private:
    void start(const QStringList &options);
    void stop();
    QByteArray run(const QList<Step> &script);
    void control(const QStringList &request);

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<Pipe> m_output;
    std::unique_ptr<ChildProcess> m_process;
    std::unique_ptr<SerialClient> m_serial;
};

void MountTimeTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(m_runtime->path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void MountTimeTest::cleanup()
{
    m_serial.reset();
    m_process.reset(); // kills a program a failed test left running
    m_output.reset();
}

void MountTimeTest::start(const QStringList &options)
{
    m_output = std::make_unique<Pipe>();
    m_process = std::make_unique<ChildProcess>();
    QVERIFY(m_process->start(
            TQX_EXECUTABLE,
            QStringList {"--headless", "--port", "virtual", "--profile", "full"} + options,
            {"XDG_RUNTIME_DIR=" + m_runtime->path()}, m_output->writeEnd(), STDERR_FILENO));
    m_output->closeWriteEnd();
    const QByteArray listening = m_output->readLine(deadlineMs);
    QVERIFY2(listening.startsWith("Listening"), listening.constData());
    m_serial = std::make_unique<SerialClient>(m_runtime->filePath("tqx-orbivo-emulator.pty"));
    QVERIFY(m_serial->isOpen());
}

void MountTimeTest::stop()
{
    m_serial.reset();
    m_process->sendSignal(SIGTERM);
    QCOMPARE(m_process->waitForExit(deadlineMs), 0);
}

QByteArray MountTimeTest::run(const QList<Step> &script)
{
    QByteArray replies;
    for (const Step &step : script) {
        const QByteArray reply = m_serial->exchange(step.command, step.replyLength);
        if (reply.size() != step.replyLength)
            return replies + "<no full reply to " + step.command.toHex() + ": " + reply.toHex()
                    + ">";
        replies += reply + '\n';
    }
    return replies;
}

void MountTimeTest::startTimeGivesTheStarOfThatDate()
{
    // The start star (J2000) carried to 2024-11-12 21:45:30 UTC, for a client in coordinates of
    // the date: the vector the emulation's own tests are checked with against ERFA.
    start({"--start-time", "2024-11-12T22:45:30+01:00", "--time-rate", "0"});
    QCOMPARE(m_serial->exchange("e", 18), QByteArray("314CD100,0BC46600#"));
    stop();
}

void MountTimeTest::sameRunGivesTheSameBytes()
{
    const QStringList options {"--start-time", "2024-11-12T21:45:30Z", "--time-rate", "0"};
    start(options);
    const QByteArray first = run(clientScript);
    stop();
    start(options);
    const QByteArray second = run(clientScript);
    stop();
    QVERIFY2(!first.contains("<no full reply"), first.toHex().constData());
    QCOMPARE(second, first);
}

void MountTimeTest::fastClockEndsAGotoSoon()
{
    // A quarter turn takes about 23.5 s of mount time: at 1000 times real time, a few tens of
    // milliseconds. At real time it would outlast the deadline.
    start({"--time-rate", "1000"});
    QCOMPARE(m_serial->exchange("r40000000,00000000", 1), QByteArray("#"));
    QVERIFY(waitUntil([this] { return m_serial->exchange("L", 2) == "0#"; }, deadlineMs / 2));
    stop();
}

void MountTimeTest::control(const QStringList &request)
{
    QProcess ctl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtime->path());
    ctl.setProcessEnvironment(environment);
    ctl.start(TQX_EXECUTABLE, QStringList {"ctl"} + request);
    QVERIFY(ctl.waitForFinished(deadlineMs));
    QVERIFY2(ctl.exitCode() == 0, ctl.readAllStandardError().constData());
}

// The mount moves only when the harness steps its clock: a goto followed step by step, and the
// sky turning under the tracking mount, give the same bytes run after run.
void MountTimeTest::sameStepsGiveTheSameBytes()
{
    const QList<Step> poll {{"e", 18}, {"z", 18}, {"L", 2}, {"h", 9}};
    QByteArray runs[2];
    for (QByteArray &replies : runs) {
        start({"--start-time", "2024-11-12T21:45:30Z", "--time-rate", "0"});
        replies += run({{"r40000000,20000000", 1}});
        for (int second = 0; second < 6; ++second) {
            replies += run(poll);
            control({"step", "seconds=5"});
        }
        replies += run(poll);
        stop();
    }
    QVERIFY2(!runs[0].contains("<no full reply"), runs[0].toHex().constData());
    QVERIFY2(runs[0].contains("40000000,20000000#"), "the goto ended after its steps");
    QCOMPARE(runs[1], runs[0]);
}

void MountTimeTest::refusedValues_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("negative rate") << QStringList {"--time-rate", "-1"}
                                   << "--time-rate must be a rate from 0 (paused) to 10000";
    QTest::newRow("rate too high") << QStringList {"--time-rate", "10001"}
                                   << "--time-rate must be a rate from 0 (paused) to 10000";
    QTest::newRow("rate not a number") << QStringList {"--time-rate", "fast"} << "not \"fast\"";
    QTest::newRow("no date") << QStringList {"--start-time", "yesterday"}
                             << "--start-time must be an ISO 8601 date and time";
    QTest::newRow("no such day") << QStringList {"--start-time", "2024-02-30T12:00:00Z"}
                                 << "not \"2024-02-30T12:00:00Z\"";
}

void MountTimeTest::refusedValues()
{
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QProcess process;
    process.start(TQX_EXECUTABLE, QStringList {"--headless", "--port", "virtual"} + options);
    QVERIFY(process.waitForFinished(deadlineMs));
    QCOMPARE(process.exitCode(), 2);
    const QString printed = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(printed.contains(message), qPrintable(printed));
}

QTEST_GUILESS_MAIN(MountTimeTest)
#include "mount_time_test.moc"
