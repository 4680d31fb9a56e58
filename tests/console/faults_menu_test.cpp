// The window's Faults menu: the line's pace and fault rules switched while running, and shown in
// the status bar.

#include "console/frmMain.h"
#include "session/EmulatorSession.h"
#include "session/PortNames.h"
#include "support/PseudoTerminal.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using tqx::frmMain;
using tqx::LineTiming;

namespace {

// Starts the window on "Com 3", which is the pseudo-terminal's other end.
void startOn(frmMain &window, const PseudoTerminal &pty)
{
    const QString path = pty.slavePath();
    window.Comm->setPortNameMapper(
            [path](int number) { return number == 3 ? path : tqx::platformPortName(number); });
    window.ComCombo->setCurrentIndex(2);
    window.StartButton->click();
}

} // namespace

class FaultsMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void menuSitsBetweenMountAndHelp();
    void lineTimingIsShownWhileReal();
    void switchingWhileRunningKeepsTheReplies();
    void choicesOutliveTheRun();
    void faultRulesAreAddedAndRefused_data();
    void faultRulesAreAddedAndRefused();
    void faultsSwitchOnAndOffWhileRunning();

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

void FaultsMenuTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    tqx::setMessageSink([](QWidget *, const QString &) {});
    tqx::setSystemPortLister([] { return QStringList(); });
}

void FaultsMenuTest::cleanup() { tqx::setMessageSink({}); }

void FaultsMenuTest::menuSitsBetweenMountAndHelp()
{
    frmMain window;
    QStringList titles;
    for (const QAction *action : window.menuBar()->actions())
        titles << action->text();
    QCOMPARE(titles, QStringList({"Exit", "Mount", "Faults", "Help"}));
    QVERIFY(window.FastTimingButton->isChecked());
    QCOMPARE(window.Comm->lineTiming(), LineTiming::Fast);
}

// Fast timing leaves the window as it was; real timing says so below the logs, with the delay.
void FaultsMenuTest::lineTimingIsShownWhileReal()
{
    frmMain window;
    const int height = window.height();
    QVERIFY(window.statusBar()->isHidden());

    window.RealTimingButton->trigger();
    QCOMPARE(window.Comm->lineTiming(), LineTiming::Real);
    QVERIFY(!window.statusBar()->isHidden());
    QVERIFY(!window.LineTimingText->isHidden());
    QCOMPARE(window.LineTimingText->text(), QString("Line at 9600 bit/s, bus delay 50 ms"));
    QVERIFY(window.height() > height);

    window.setBusDelay(3500);
    QCOMPARE(window.Comm->busDelay(), std::chrono::milliseconds(3500));
    QCOMPARE(window.LineTimingText->text(), QString("Line at 9600 bit/s, bus delay 3500 ms"));
    window.setBusDelay(20000);
    QCOMPARE(window.Comm->busDelay(), std::chrono::milliseconds(10000));

    window.FastTimingButton->trigger();
    QCOMPARE(window.Comm->lineTiming(), LineTiming::Fast);
    QVERIFY(window.statusBar()->isHidden());
    QCOMPARE(window.height(), height);
}

// Replies on their way when the pace changes arrive whole and in order.
void FaultsMenuTest::switchingWhileRunningKeepsTheReplies()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    frmMain window;
    startOn(window, pty);
    QVERIFY(window.PortIsOpen);

    window.RealTimingButton->trigger();
    pty.write("Ka");
    QCOMPARE(pty.read(1), QByteArray("a"));
    // The rest of that reply may still be on its way.
    window.FastTimingButton->trigger();
    pty.write("Kb");
    QCOMPARE(pty.read(3), QByteArray("#b#"));
    window.RealTimingButton->trigger();
    pty.write("Kc");
    QCOMPARE(pty.read(2), QByteArray("c#"));
    window.StartButton->click();
}

void FaultsMenuTest::choicesOutliveTheRun()
{
    {
        frmMain window;
        window.frmMain_Form_Load();
        window.RealTimingButton->trigger();
        window.setBusDelay(400);
        window.frmMain_Form_Unload();
    }
    frmMain window;
    window.frmMain_Form_Load();
    QVERIFY(window.RealTimingButton->isChecked());
    QCOMPARE(window.Comm->lineTiming(), LineTiming::Real);
    QCOMPARE(window.Comm->busDelay(), std::chrono::milliseconds(400));
    QVERIFY(!window.statusBar()->isHidden());
}

void FaultsMenuTest::faultRulesAreAddedAndRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("added");
    QTest::addColumn<QString>("problem"); // a part of the message when refused
    QTest::newRow("cut") << "cut:4@every=3" << true << "";
    QTest::newRow("spaces around") << "  noreply@cmd=e  " << true << "";
    QTest::newRow("unknown effect") << "explode" << false << "explode";
    QTest::newRow("bad argument") << "cut:x" << false << "\"x\"";
    QTest::newRow("empty") << "" << false << "";
}

void FaultsMenuTest::faultRulesAreAddedAndRefused()
{
    QFETCH(QString, text);
    QFETCH(bool, added);
    QFETCH(QString, problem);
    frmMain window;
    QString errorText;
    QCOMPARE(window.addFault(text, &errorText), added);
    QCOMPARE(window.activeFaults(), added ? QStringList {text.trimmed()} : QStringList());
    QCOMPARE(window.RemoveFaultsButton->isEnabled(), added);
    QCOMPARE(!window.statusBar()->isHidden(), added);
    if (added) {
        QCOMPARE(window.FaultsText->text(), "Faults: " + text.trimmed());
        QVERIFY(window.Comm->faults());
    } else {
        QVERIFY(!errorText.isEmpty());
        QVERIFY2(errorText.contains(problem), qPrintable(errorText));
    }
}

// A client sees a fault from the next reply on, and whole replies again once it is switched off
// or removed.
void FaultsMenuTest::faultsSwitchOnAndOffWhileRunning()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    frmMain window;
    startOn(window, pty);
    QVERIFY(window.PortIsOpen);

    QString errorText;
    QVERIFY2(window.addFault("extra-after:X@cmd=K", &errorText), qPrintable(errorText));
    pty.write("Ka");
    QCOMPARE(pty.read(3), QByteArray("a#X"));
    QAction *entry = window.FaultsMenu->actions().last();
    QCOMPARE(entry->text(), QString("extra-after:X@cmd=K"));
    entry->trigger(); // off
    QVERIFY(window.activeFaults().isEmpty());
    pty.write("Kb");
    QCOMPARE(pty.read(2), QByteArray("b#"));
    entry->trigger(); // on again
    pty.write("Kc");
    QCOMPARE(pty.read(3), QByteArray("c#X"));
    window.RemoveFaultsButton->trigger();
    QVERIFY(window.activeFaults().isEmpty());
    QVERIFY(window.statusBar()->isHidden());
    pty.write("Kd");
    QCOMPARE(pty.read(2), QByteArray("d#"));
    window.StartButton->click();
}

QTEST_MAIN(FaultsMenuTest)
#include "faults_menu_test.moc"
