// The desktop program as it is started from a shell: arguments it does not take end it with the
// usage error before any window opens, and --port PORT --start opens the window already
// answering on PORT.

#include "support/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

class WindowStartTest : public QObject
{
    Q_OBJECT

private slots:
    void refusedArguments_data();
    void refusedArguments();
    void startsOnTheVirtualPort();
};

void WindowStartTest::refusedArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // in standard error

    QTest::newRow("--bogus") << QStringList {"--bogus"} << "Unknown option 'bogus'.";
    QTest::newRow("-x") << QStringList {"-x"} << "Unknown option 'x'.";
    QTest::newRow("--bogus=1") << QStringList {"--bogus=1"} << "Unknown option 'bogus'.";
    QTest::newRow("unknown beside a good one")
            << QStringList {"--port", "virtual", "--bogus"} << "Unknown option 'bogus'.";
    QTest::newRow("an argument that is no option")
            << QStringList {"virtual"} << "Unexpected argument \"virtual\".";
    QTest::newRow("a headless setting without --headless")
            << QStringList {"--profile", "full"}
            << "--profile is for headless mode: --headless and --port PORT go together";
    QTest::newRow("a port named wrongly")
            << QStringList {"--port", "tcp:70000", "--start"}
            << "--port: \"70000\" is not a TCP port number (0 to 65535).";
    QTest::newRow("an empty port") << QStringList {"--port", ""} << "--port: a port name is needed";
}

// With a window that would open offscreen, a regression shows as a program that does not end by
// the deadline rather than as one that cannot find a display.
void WindowStartTest::refusedArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.path());
    process.setProcessEnvironment(environment);
    process.start(TQX_EXECUTABLE, arguments);
    QVERIFY(process.waitForStarted(10000));
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(3000);
        QFAIL("the program did not end: it opened its window");
    }
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString printed = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(printed.startsWith("tqx-orbivo-emulator: " + message), qPrintable(printed));
    QVERIFY2(printed.contains("Try --help."), qPrintable(printed));
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

namespace {

// The reply to `command` on a raw, non-blocking descriptor, or what came by the deadline.
QByteArray exchange(int fd, const QByteArray &command, int replyLength)
{
    if (::write(fd, command.constData(), size_t(command.size())) != command.size())
        return {};
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (reply.size() < replyLength && !deadline.hasExpired()) {
        pollfd waiting {fd, POLLIN, 0};
        if (::poll(&waiting, 1, int(std::max<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            reply.append(buffer, n);
    }
    return reply;
}

} // namespace

// A client opens the link the window publishes at start and is answered; the window then ends
// as it does on a signal, removing the link.
void WindowStartTest::startsOnTheVirtualPort()
{
#ifndef TQX_WITH_WIDGETS
    QSKIP("this build has no windows");
#endif
    QTemporaryDir home;
    const QString link = QDir(home.path()).filePath("tqx-orbivo-emulator.pty");
    ChildProcess program;
    QVERIFY(program.start(TQX_EXECUTABLE, {"--port", "virtual", "--start"},
                          {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + home.path(),
                           "XDG_RUNTIME_DIR=" + home.path()},
                          STDOUT_FILENO, STDERR_FILENO));
    QVERIFY2(waitUntil([&] { return QFileInfo(link).isSymLink() && QFileInfo::exists(link); },
                       15000),
             "the window did not publish the virtual port's link");

    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios settings {};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    ::tcsetattr(fd, TCSANOW, &settings);
    // The basic table answers V with the version box's text, "22" to begin with.
    const QByteArray reply = exchange(fd, "V", 2);
    ::close(fd);
    QCOMPARE(reply, QByteArray("22"));

    program.sendSignal(SIGTERM);
    QCOMPARE(program.waitForExit(10000), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(WindowStartTest)
#include "window_start_test.moc"
