// A termination signal ends the desktop program even while a modal message box waits for the
// user. Its own program, because ending every event loop is what is tested.

#include "app/TerminationSignals.h"
#include "console/frmMain.h"
#include "session/PortNames.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

class SignalWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void sigtermWhileAMessageBoxIsOpen();
};

void SignalWindowTest::sigtermWhileAMessageBoxIsOpen()
{
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    tqx::setSystemPortLister([] { return QStringList(); });
    tqx::setMessageSink({}); // the real box

    tqx::frmMain console;
    console.show();
    // The emergency exit stays out of the way: the normal path is under test.
    tqx::TerminationSignals terminations(nullptr, std::chrono::minutes(10));
    connect(&terminations, &tqx::TerminationSignals::terminationRequested, &console,
            &tqx::frmMain::endOnSignal);

    bool boxReturned = false;
    QTimer::singleShot(0, &console, [&] {
        QTimer::singleShot(100, [] { ::raise(SIGTERM); });
        tqx::showMessage(&console, QStringLiteral("Waiting for the user"));
        boxReturned = true;
    });
    // Should the signal not end the box, this fails the test instead of hanging it.
    bool timedOut = false;
    QTimer::singleShot(20000, [&] {
        timedOut = true;
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
        QCoreApplication::exit(99);
    });

    const int exitCode = QCoreApplication::exec();
    QVERIFY(!timedOut);
    QCOMPARE(exitCode, 0);
    QVERIFY(boxReturned);
    QVERIFY(!console.isVisible());
    QVERIFY(QFileInfo::exists(config.filePath("TQX_Emulator/TQX_Emulator.ini")));
}

QTEST_MAIN(SignalWindowTest)
#include "signal_window_test.moc"
