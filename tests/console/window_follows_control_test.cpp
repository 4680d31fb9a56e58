// The window beside a control client: what the client changes in the session, the window shows
// and keeps, so that the user's next change in the window does not undo it.

#include "console/frmMain.h"
#include "control/ControlHandler.h"
#include "session/EmulatorSession.h"
#include "session/FaultStage.h"
#include "session/PortNames.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using tqx::ControlHandler;
using tqx::frmMain;

namespace {

// A window and a control handler on its session, joined as the program joins them.
struct WindowAndControl
{
    WindowAndControl()
    {
        QObject::connect(&handler, &ControlHandler::settingsChanged, &window,
                         &frmMain::followSessionSettings);
        QObject::connect(&handler, &ControlHandler::faultsChanged, &window,
                         &frmMain::followSessionFaults);
    }

    bool ask(const QByteArray &line)
    {
        tqx::ControlSubscription subscription;
        const QJsonObject answer
                = QJsonDocument::fromJson(handler.handleLine(line, subscription)).object();
        if (!answer.value(QStringLiteral("ok")).toBool())
            qWarning() << line << QJsonDocument(answer).toJson(QJsonDocument::Compact);
        return answer.value(QStringLiteral("ok")).toBool();
    }

    QStringList sessionFaults() const
    {
        QStringList texts;
        if (const tqx::FaultStage *faults = window.Comm->faults()) {
            for (const tqx::FaultRule &rule : faults->rules())
                texts << rule.text;
        }
        return texts;
    }

    // The Faults menu's rule entries, with "(off)" after those switched off.
    QStringList menuEntries() const
    {
        QStringList entries;
        for (const frmMain::AddedFault &fault : window.m_faults)
            entries << fault.rule.text + (fault.entry->isChecked() ? "" : " (off)");
        return entries;
    }

    frmMain window;
    ControlHandler handler {*window.Comm};
};

} // namespace

class WindowFollowsControlTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void settingsShowAndStay_data();
    void settingsShowAndStay();
    void faultsShowAndStay();

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

void WindowFollowsControlTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    tqx::setMessageSink([](QWidget *, const QString &) {});
    tqx::setSystemPortLister([] { return QStringList(); });
}

void WindowFollowsControlTest::cleanup() { tqx::setMessageSink({}); }

void WindowFollowsControlTest::settingsShowAndStay_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QString>("versionBox");
    QTest::addColumn<bool>("realTiming");
    QTest::addColumn<int>("autoResetMs");

    QTest::newRow("full profile, its version and a reset time")
            << QByteArray(R"({"request":"set","profile":"full",)"
                          R"("settings":{"full_version":"4.39.07","auto_reset_ms":750}})")
            << true << "4.39.07" << false << 750;
    QTest::newRow("basic profile's version text and real timing")
            << QByteArray(R"({"request":"set","settings":{"hc_version":"41",)"
                          R"("line_timing":"real"}})")
            << false << "41" << true << 0;
}

// The window shows the change, and a later choice in its own menus starts from it.
void WindowFollowsControlTest::settingsShowAndStay()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, full);
    QFETCH(QString, versionBox);
    QFETCH(bool, realTiming);
    QFETCH(int, autoResetMs);

    WindowAndControl both;
    frmMain &window = both.window;
    QVERIFY(both.ask(request));
    QCOMPARE(window.FullProfileButton->isChecked(), full);
    QCOMPARE(window.BasicProfileButton->isChecked(), !full);
    QCOMPARE(window.VerText->text(), versionBox);
    QCOMPARE(window.RealTimingButton->isChecked(), realTiming);

    // Choosing the profile again in the window pushes the window's settings to the session.
    (full ? window.FullProfileButton : window.BasicProfileButton)->trigger();
    QCOMPARE(int(window.Comm->interpreter().autoResetAfter()), autoResetMs);
    QCOMPARE(window.VerText->text(), versionBox);
    if (full)
        QCOMPARE(window.Comm->interpreter().handControlSettings().version,
                 versionBox.toStdString());
    else
        QCOMPARE(window.Comm->versionReply(), versionBox.toStdString());
}

void WindowFollowsControlTest::faultsShowAndStay()
{
    WindowAndControl both;
    frmMain &window = both.window;
    QString errorText;
    QVERIFY(window.addFault("noreply@cmd=e", &errorText));
    QVERIFY(window.addFault("corrupt@cmd=z", &errorText));
    window.m_faults.back().entry->setChecked(false);
    QCOMPARE(both.sessionFaults(), QStringList({"noreply@cmd=e"}));

    QVERIFY(both.ask(R"({"request":"fault","add":"cut:2@cmd=E"})"));
    QCOMPARE(both.sessionFaults(), QStringList({"noreply@cmd=e", "cut:2@cmd=E"}));
    QCOMPARE(both.menuEntries(),
             QStringList({"noreply@cmd=e", "cut:2@cmd=E", "corrupt@cmd=z (off)"}));
    QCOMPARE(window.activeFaults(), QStringList({"noreply@cmd=e", "cut:2@cmd=E"}));

    // Switching a rule on in the window keeps the one the control client added.
    window.m_faults.back().entry->setChecked(true);
    QCOMPARE(both.sessionFaults(), QStringList({"noreply@cmd=e", "cut:2@cmd=E", "corrupt@cmd=z"}));

    QVERIFY(both.ask(R"({"request":"fault","remove":"noreply@cmd=e"})"));
    QCOMPARE(both.menuEntries(), QStringList({"cut:2@cmd=E", "corrupt@cmd=z"}));
    for (const QAction *entry : window.FaultsMenu->actions())
        QVERIFY(entry->text() != QLatin1String("noreply@cmd=e"));

    QVERIFY(both.ask(R"({"request":"reset"})"));
    QCOMPARE(both.menuEntries(), QStringList());
    QVERIFY(!window.RemoveFaultsButton->isEnabled());
    QCOMPARE(both.sessionFaults(), QStringList());
}

QTEST_MAIN(WindowFollowsControlTest)
#include "window_follows_control_test.moc"
