// The console window end to end: a client on the other side of a real pseudo-terminal.

#include "console/LogModel.h"
#include "console/MountSettingsDialog.h"
#include "console/frmMain.h"
#include "session/EmulatorSession.h"
#include "session/PortNames.h"
#include "support/PseudoTerminal.h"
#include "widgets/MessageBox.h"
#include "widgets/ScreenUnits.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <termios.h>

using tqx::frmMain;

class ConsoleWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstRunState();
    void endToEndExchange();
    void startSetsTheLineSettings();
    void clearAndReset();
    void versionEditAnsweredByNextV();
    void stopKeepsLogsCountsAndAHalfCommand();
    void bytesSentWhileStoppedAreNotSeen();
    void portHeldByAnotherOpener();
    void typedPortTextIsNoSelection();
    void otherEndClosedWhileRunning();
    void settingsRoundTrip();
    void badStoredValues_data();
    void badStoredValues();
    void closingWhileRunningClosesThePortBeforeSaving();
    void settingsThatCannotBeSavedAreReported();
    void unreadableLineIsNoSaveFailure();
    void mountMenuSwitchesProfilesWhileRunning();
    void mountSettingsGiveTheSiteRateAndCoordinates();
    void storedMountNumbersWithinBounds_data();
    void storedMountNumbersWithinBounds();
    void badStoredMountValues_data();
    void badStoredMountValues();
    void showMountOpensOneViewOfTheRunningMount();

private:
    std::unique_ptr<frmMain> makeWindow();
    void startOn(frmMain &window, PseudoTerminal &pty, int comIndex = 2);
    QByteArray exchange(PseudoTerminal &pty, const QByteArray &command, int replyLength);
    QString storedValue(const QString &key);
    void storeValue(const QString &key, const QString &value);

    std::unique_ptr<QTemporaryDir> m_config;
    QStringList m_messages;
};

void ConsoleWindowTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    m_messages.clear();
    tqx::setMessageSink([this](QWidget *, const QString &text) { m_messages << text; });
    tqx::setSystemPortLister([] { return QStringList(); });
}

void ConsoleWindowTest::cleanup() { tqx::setMessageSink({}); }

std::unique_ptr<frmMain> ConsoleWindowTest::makeWindow() { return std::make_unique<frmMain>(); }

// Maps "Com N" (index N-1) to the pseudo-terminal and presses Start.
void ConsoleWindowTest::startOn(frmMain &window, PseudoTerminal &pty, int comIndex)
{
    const QString path = pty.slavePath();
    const int portNumber = comIndex + 1;
    window.Comm->setPortNameMapper([path, portNumber](int number) {
        return number == portNumber ? path : tqx::platformPortName(number);
    });
    window.ComCombo->setCurrentIndex(comIndex);
    window.StartButton->click();
}

QByteArray ConsoleWindowTest::exchange(PseudoTerminal &pty, const QByteArray &command,
                                       int replyLength)
{
    pty.write(command);
    return pty.read(replyLength);
}

QString ConsoleWindowTest::storedValue(const QString &key)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "TQX_Emulator", "TQX_Emulator");
    return store.value("Defaults/" + key).toString();
}

void ConsoleWindowTest::storeValue(const QString &key, const QString &value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "TQX_Emulator", "TQX_Emulator");
    store.setValue("Defaults/" + key, value);
}

void ConsoleWindowTest::firstRunState()
{
    auto window = makeWindow();
    QCOMPARE(window->windowTitle(), QString("TQX Orbivo Emulator  - Version 1.7"));
    QCOMPARE(window->ProgramVersion, QString("Version 1.7"));
    QCOMPARE(window->ComCombo->count(), 10);
    QCOMPARE(window->ComCombo->itemText(8), QString("Virtual port"));
    QCOMPARE(window->ComCombo->itemText(9), QString("Network (TCP)"));
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(window->ComCombo->itemText(i), QString("Com %1").arg(i + 1));
        QCOMPARE(window->ComCombo->itemData(i).toInt(), i + 1);
    }
    QCOMPARE(window->selectedPortIndex(), 0);
    QCOMPARE(window->ComCombo->currentText(), QString("Com 1"));
    QCOMPARE(window->VerText->text(), QString("22"));
    const tqx::Twips twips = tqx::Twips::forPrimaryScreen();
    QCOMPARE(window->pos(), QPoint(twips.toPixels(100), twips.toPixels(100)));
    QCOMPARE(window->InputList->model()->rowCount(), 0);
    QCOMPARE(window->RespList->model()->rowCount(), 0);
    QCOMPARE(window->InputLabel->text(), QString("0"));
    QCOMPARE(window->RespLabel->text(), QString("0"));
    QCOMPARE(window->StartButton->text(), QString("Start"));
    QCOMPARE(window->StartButton->palette().color(QPalette::Button), QColor(176, 255, 176));
    QVERIFY(window->ComCombo->isEnabled());
    QVERIFY(!window->PortIsOpen);
    QCOMPARE(window->ResetButton->toolTip(), QString("Reset input buffer"));
    QCOMPARE(window->CommandText->toolTip(), QString("Command input buffer"));
    QVERIFY(window->CommandText->isReadOnly());
    QCOMPARE(window->interpreter().mount().RaDec16, std::string("310C,0BBB#"));
}

void ConsoleWindowTest::endToEndExchange()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    auto window = makeWindow();
    startOn(*window, pty);
    QVERIFY2(window->PortIsOpen, qPrintable(m_messages.join('\n')));

    QCOMPARE(exchange(pty, "E", 10), QByteArray("310C,0BBB#"));
    QCOMPARE(exchange(pty, "e", 18), QByteArray("310C0500,0BBB0500#"));
    QCOMPARE(exchange(pty, "Z", 10), QByteArray("12AB,4000#"));
    QCOMPARE(exchange(pty, "z", 18), QByteArray("12AB0500,40000500#"));

    // A goto split across two writes.
    pty.write("R34AB");
    QCOMPARE(pty.readAvailable(100), QByteArray());
    window->refreshDisplay();
    QCOMPARE(window->CommandText->text(), QString("R34AB"));
    QCOMPARE(exchange(pty, ",12CE", 1), QByteArray("#"));
    QCOMPARE(exchange(pty, "E", 10), QByteArray("34AB,12CE#"));

    // A binary tracking mode, and the echo.
    QCOMPARE(exchange(pty, QByteArray("T\x02", 2), 1), QByteArray("#"));
    QCOMPARE(exchange(pty, "Kq", 2), QByteArray("q#"));

    window->refreshDisplay();
    QCOMPARE(window->InputLabel->text(), QString("8"));
    QCOMPARE(window->RespLabel->text(), QString("8"));
    const QAbstractItemModel *commands = window->InputList->model();
    QCOMPARE(commands->rowCount(), 8);
    QCOMPARE(commands->index(4, 0).data().toString(), QString("R34AB,12CE"));
    QCOMPARE(commands->index(6, 0).data().toString(), QString("T\\x02"));
    QCOMPARE(window->InputList->currentIndex().row(), 7);
    QCOMPARE(window->RespList->currentIndex().row(), 7);
    QCOMPARE(window->RespList->model()->index(7, 0).data().toString(), QString("q#"));
    QCOMPARE(window->CommandText->text(), QString());
}

void ConsoleWindowTest::startSetsTheLineSettings()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty, 2);
    QVERIFY(window->PortIsOpen);
    QCOMPARE(window->Comm->portName(), pty.slavePath());
    QCOMPARE(window->StartButton->text(), QString("Stop"));
    QCOMPARE(window->StartButton->palette().color(QPalette::Button), QColor(255, 176, 176));
    QVERIFY(!window->ComCombo->isEnabled());

    termios settings {};
    QCOMPARE(tcgetattr(pty.slaveFd(), &settings), 0);
    QCOMPARE(cfgetispeed(&settings), speed_t(B9600));
    QCOMPARE(cfgetospeed(&settings), speed_t(B9600));
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void ConsoleWindowTest::clearAndReset()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(exchange(pty, "L", 2), QByteArray("0#"));
    pty.write("R34");
    pty.readAvailable(50);

    window->ClearButton->click();
    QCOMPARE(window->InputList->model()->rowCount(), 0);
    QCOMPARE(window->RespList->model()->rowCount(), 0);
    QCOMPARE(window->InputLabel->text(), QString("0"));
    QCOMPARE(window->RespLabel->text(), QString("0"));
    QCOMPARE(window->CommandText->text(), QString("R34"));

    QCOMPARE(exchange(pty, "AB,12CE", 1), QByteArray("#"));
    window->refreshDisplay();
    QCOMPARE(window->InputList->model()->index(0, 0).data().toString(), QString("R34AB,12CE"));
    QCOMPARE(window->InputList->currentIndex().row(), 0);
    QCOMPARE(window->InputLabel->text(), QString("1"));

    pty.write("XE");
    QCOMPARE(pty.readAvailable(100), QByteArray());
    window->refreshDisplay();
    QCOMPARE(window->CommandText->text(), QString("XE"));
    window->ResetButton->click();
    QCOMPARE(window->CommandText->text(), QString());
    QCOMPARE(exchange(pty, "E", 10), QByteArray("34AB,12CE#"));
    window->refreshDisplay();
    QCOMPARE(window->InputLabel->text(), QString("2"));
}

void ConsoleWindowTest::versionEditAnsweredByNextV()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty);
    QCOMPARE(exchange(pty, "V", 2), QByteArray("22"));
    window->VerText->setText("41 beta");
    QCOMPARE(exchange(pty, "V", 7), QByteArray("41 beta"));
}

void ConsoleWindowTest::stopKeepsLogsCountsAndAHalfCommand()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty);
    QCOMPARE(exchange(pty, "J", 2), QByteArray("1#"));
    pty.write("R34AB");
    pty.readAvailable(50);

    window->StartButton->click();
    QVERIFY(!window->PortIsOpen);
    QVERIFY(!window->Comm->isOpen());
    QCOMPARE(window->StartButton->text(), QString("Start"));
    QCOMPARE(window->StartButton->palette().color(QPalette::Button), QColor(176, 255, 176));
    QVERIFY(window->ComCombo->isEnabled());
    window->refreshDisplay();
    QCOMPARE(window->InputLabel->text(), QString("1"));
    QCOMPARE(window->InputList->model()->rowCount(), 1);

    window->StartButton->click();
    QVERIFY(window->PortIsOpen);
    QCOMPARE(exchange(pty, ",12CE", 1), QByteArray("#"));
    window->refreshDisplay();
    QCOMPARE(window->InputList->model()->index(1, 0).data().toString(), QString("R34AB,12CE"));
}

void ConsoleWindowTest::bytesSentWhileStoppedAreNotSeen()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    pty.write("E");
    QTest::qWait(20);
    startOn(*window, pty);
    // Had the E been seen, the buffer would read "EZ" and the reply would be the E's.
    QCOMPARE(exchange(pty, "Z", 10), QByteArray("12AB,4000#"));
}

void ConsoleWindowTest::portHeldByAnotherOpener()
{
    PseudoTerminal pty;
    QSerialPort other;
    other.setPortName(pty.slavePath());
    QVERIFY(other.open(QIODevice::ReadWrite));

    auto window = makeWindow();
    startOn(*window, pty);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(!m_messages.first().isEmpty());
    QVERIFY(!window->PortIsOpen);
    QCOMPARE(window->StartButton->text(), QString("Start"));
    QCOMPARE(window->StartButton->palette().color(QPalette::Button), QColor(176, 255, 176));
    QVERIFY(window->ComCombo->isEnabled());
}

void ConsoleWindowTest::typedPortTextIsNoSelection()
{
    auto window = makeWindow();
    window->ComCombo->setCurrentIndex(2);
    window->ComCombo->setEditText("Com 33");
    QCOMPARE(window->selectedPortIndex(), -1);
    window->StartButton->click();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(!window->PortIsOpen);
    QCOMPARE(window->StartButton->text(), QString("Start"));
}

void ConsoleWindowTest::otherEndClosedWhileRunning()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty);
    QCOMPARE(exchange(pty, "E", 10), QByteArray("310C,0BBB#"));
    pty.closeSlave();
    pty.closeMaster();

    QTRY_VERIFY(!window->PortIsOpen);
    QVERIFY(!window->Comm->isOpen());
    QCOMPARE(window->StartButton->text(), QString("Start"));
    QVERIFY(window->ComCombo->isEnabled());
    QTest::qWait(200);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(!m_messages.first().isEmpty());
    window->refreshDisplay();
    QCOMPARE(window->InputLabel->text(), QString("1"));
}

void ConsoleWindowTest::settingsRoundTrip()
{
    const tqx::Twips twips = tqx::Twips::forPrimaryScreen();
    const QPoint moved(twips.toPixels(2250), twips.toPixels(1800));
    {
        auto window = makeWindow();
        window->ComCombo->setCurrentIndex(3);
        window->VerText->setText("41");
        window->move(moved);
        window->ExitButton->trigger();
    }
    QCOMPARE(storedValue("com_port"), QString("3"));
    QCOMPARE(storedValue("hc_version"), QString("41"));
    QCOMPARE(storedValue("left_position"), QString::number(qRound(twips.fromPixels(moved.x()))));
    QCOMPARE(storedValue("top_position"), QString::number(qRound(twips.fromPixels(moved.y()))));

    auto window = makeWindow();
    QCOMPARE(window->selectedPortIndex(), 3);
    QCOMPARE(window->ComCombo->currentText(), QString("Com 4"));
    QCOMPARE(window->VerText->text(), QString("41"));
    QCOMPARE(window->pos(), moved);
    QVERIFY(!window->PortIsOpen);
}

void ConsoleWindowTest::badStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("comPort");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("leftTwips");

    QTest::newRow("port not a number") << "com_port"
                                       << "abc" << 0 << "22" << 100;
    QTest::newRow("port past the list") << "com_port"
                                        << "8" << 0 << "22" << 100;
    QTest::newRow("port below no selection") << "com_port"
                                             << "-2" << 0 << "22" << 100;
    QTest::newRow("port past 16 bits") << "com_port"
                                       << "70000" << 0 << "22" << 100;
    QTest::newRow("no selection kept") << "com_port"
                                       << "-1" << -1 << "22" << 100;
    QTest::newRow("left not a number") << "left_position"
                                       << "left" << 0 << "22" << 100;
    QTest::newRow("left off every screen") << "left_position"
                                           << "9000000" << 0 << "22" << 100;
    QTest::newRow("left huge") << "left_position"
                               << "1e40" << 0 << "22" << 100;
    QTest::newRow("left valid") << "left_position"
                                << "1500" << 0 << "22" << 1500;
    QTest::newRow("version with spaces and case") << "hc_version"
                                                  << "  v2.2 Beta " << 0 << "  v2.2 Beta " << 100;
    QTest::newRow("version empty") << "hc_version"
                                   << "" << 0 << "" << 100;
}

void ConsoleWindowTest::badStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, comPort);
    QFETCH(QString, version);
    QFETCH(int, leftTwips);

    storeValue(key, stored);
    auto window = makeWindow();
    const tqx::Twips twips = tqx::Twips::forPrimaryScreen();
    QCOMPARE(window->selectedPortIndex(), comPort);
    QCOMPARE(window->VerText->text(), version);
    QCOMPARE(window->pos().x(), twips.toPixels(leftTwips));
}

void ConsoleWindowTest::closingWhileRunningClosesThePortBeforeSaving()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    startOn(*window, pty, 5);
    QVERIFY(window->PortIsOpen);
    bool portOpenWhenSaving = true;
    connect(window.get(), &frmMain::unloading, this,
            [&] { portOpenWhenSaving = window->Comm->isOpen(); });
    window->close();
    QVERIFY(!portOpenWhenSaving);
    QCOMPARE(storedValue("com_port"), QString("5"));

    auto next = makeWindow();
    QVERIFY(!next->PortIsOpen);
    QCOMPARE(next->selectedPortIndex(), 5);
}

void ConsoleWindowTest::settingsThatCannotBeSavedAreReported()
{
    // A folder that is a file cannot be created, not even by root.
    QFile blocker(m_config->filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, blocker.fileName() + "/config");
    auto window = makeWindow();
    window->close();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains("could not be saved"), qPrintable(m_messages[0]));
}

// A line the store cannot read is skipped when the settings are loaded; saving rewrites the file
// whole, and that is no failure to report.
void ConsoleWindowTest::unreadableLineIsNoSaveFailure()
{
    const QString folder = m_config->filePath("TQX_Emulator");
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + "/TQX_Emulator.ini");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Defaults]\ncom_port=3\nthis line has no equals sign\nhc_version=31\n");
    file.close();
    {
        auto window = makeWindow();
        QCOMPARE(window->VerText->text(), QString("31"));
        window->VerText->setText("44");
        window->close();
    }
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QCOMPARE(storedValue("hc_version"), QString("44"));
    QCOMPARE(storedValue("com_port"), QString("3"));
}

// The profile changes at the next command; the version box holds each profile's own version, a
// version the full profile cannot send is refused, and all of it is remembered.
void ConsoleWindowTest::mountMenuSwitchesProfilesWhileRunning()
{
    PseudoTerminal pty;
    {
        auto window = makeWindow();
        startOn(*window, pty);
        QVERIFY(window->PortIsOpen);
        QVERIFY(window->BasicProfileButton->isChecked());
        QCOMPARE(exchange(pty, "V", 2), QByteArray("22"));

        window->FullProfileButton->trigger();
        QCOMPARE(window->VerText->text(), QString("4.21"));
        QCOMPARE(exchange(pty, "V", 3), QByteArray("\x04\x15#"));
        QCOMPARE(exchange(pty, "MM", 2), QByteArray("##"));

        window->VerText->setText("4.x");
        emit window->VerText->editingFinished();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains("is not a version"), qPrintable(m_messages[0]));
        QCOMPARE(window->VerText->text(), QString("4.21"));
        window->VerText->setText("5.2");
        emit window->VerText->editingFinished();
        QCOMPARE(exchange(pty, "V", 3), QByteArray("\x05\x02#"));

        tqx::MountSettingsDialog::setSink([](const tqx::MountSettings &current) {
            tqx::MountSettings chosen = current;
            chosen.handControl.versionFormat = tqx::VersionFormat::Hex;
            chosen.handControl.aligned = false;
            return std::optional<tqx::MountSettings>(chosen);
        });
        window->MountSettingsButton->trigger();
        tqx::MountSettingsDialog::setSink({});
        QCOMPARE(exchange(pty, "V", 7), QByteArray("050200#"));
        QCOMPARE(exchange(pty, "J", 2), QByteArray("\x00#", 2));

        window->BasicProfileButton->trigger();
        QCOMPARE(window->VerText->text(), QString("22"));
        QCOMPARE(exchange(pty, "V", 2), QByteArray("22"));
        window->FullProfileButton->trigger();
        window->close();
    }
    QCOMPARE(storedValue("profile"), QString("full"));
    QCOMPARE(storedValue("full_version"), QString("5.2"));
    QCOMPARE(storedValue("hc_version"), QString("22"));
    QCOMPARE(storedValue("version_format"), QString("hex"));
    QCOMPARE(storedValue("aligned"), QString("0"));

    auto next = makeWindow();
    QVERIFY(next->FullProfileButton->isChecked());
    QCOMPARE(next->VerText->text(), QString("5.2"));
}

void ConsoleWindowTest::mountSettingsGiveTheSiteRateAndCoordinates()
{
    PseudoTerminal pty;
    {
        auto window = makeWindow();
        window->FullProfileButton->trigger();
        startOn(*window, pty);
        tqx::MountSettingsDialog::setSink([](const tqx::MountSettings &current) {
            tqx::MountSettings chosen = current;
            chosen.handControl.siteLatitude = -33.865;
            chosen.handControl.siteLongitude = 151.21;
            chosen.handControl.slewRate = 12.5;
            chosen.handControl.periodicError = 42.5;
            chosen.handControl.wormPeriod = 600;
            chosen.handControl.switchPosition = 359.5;
            chosen.handControl.epoch = tqx::CoordinateEpoch::J2000;
            return std::optional<tqx::MountSettings>(chosen);
        });
        window->MountSettingsButton->trigger();
        tqx::MountSettingsDialog::setSink({});
        QCOMPARE(exchange(pty, "w", 9), QByteArray("\x21\x33\x36\x01\x97\x0C\x24\x00#", 9));
        window->close();
    }
    QCOMPARE(storedValue("site_latitude"), QString("-33.865"));
    QCOMPARE(storedValue("site_longitude"), QString("151.21"));
    QCOMPARE(storedValue("slew_rate"), QString("12.5"));
    QCOMPARE(storedValue("periodic_error"), QString("42.5"));
    QCOMPARE(storedValue("worm_period"), QString("600"));
    QCOMPARE(storedValue("switch_position"), QString("359.5"));
    QCOMPARE(storedValue("coordinates"), QString("j2000"));

    auto next = makeWindow();
    const tqx::HandControlSettings &loaded = next->interpreter().handControlSettings();
    QCOMPARE(loaded.siteLatitude, -33.865);
    QCOMPARE(loaded.siteLongitude, 151.21);
    QCOMPARE(loaded.slewRate, 12.5);
    QCOMPARE(loaded.periodicError, 42.5);
    QCOMPARE(loaded.wormPeriod, 600.0);
    QCOMPARE(loaded.switchPosition, 359.5);
    QVERIFY(loaded.epoch == tqx::CoordinateEpoch::J2000);
}

namespace {

using Bounds = tqx::HandControlSettings;

// The stored number of the keys that hold one of the mount's numbers.
double mountNumber(const tqx::HandControlSettings &settings, const QString &key)
{
    if (key == "periodic_error")
        return settings.periodicError;
    if (key == "worm_period")
        return settings.wormPeriod;
    if (key == "switch_position")
        return settings.switchPosition;
    return std::nan("");
}

} // namespace

void ConsoleWindowTest::storedMountNumbersWithinBounds_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("loaded");

    QTest::newRow("periodic error") << "periodic_error"
                                    << " 12.5 " << 12.5;
    QTest::newRow("periodic error at its largest")
            << "periodic_error" << QString::number(Bounds::maxPeriodicError)
            << Bounds::maxPeriodicError;
    QTest::newRow("worm period at its shortest")
            << "worm_period" << QString::number(Bounds::minWormPeriod) << Bounds::minWormPeriod;
    QTest::newRow("worm period at its longest")
            << "worm_period" << QString::number(Bounds::maxWormPeriod) << Bounds::maxWormPeriod;
    QTest::newRow("switch position just short of a turn") << "switch_position"
                                                          << "359.99" << 359.99;
}

void ConsoleWindowTest::storedMountNumbersWithinBounds()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(double, loaded);
    storeValue(key, stored);
    auto window = makeWindow();
    QCOMPARE(mountNumber(window->interpreter().handControlSettings(), key), loaded);
}

void ConsoleWindowTest::badStoredMountValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");

    QTest::newRow("latitude past the pole") << "site_latitude"
                                            << "91";
    QTest::newRow("latitude not a number") << "site_latitude"
                                           << "north";
    QTest::newRow("longitude past the date line") << "site_longitude"
                                                  << "-180.5";
    QTest::newRow("slew rate zero") << "slew_rate"
                                    << "0";
    QTest::newRow("slew rate too fast") << "slew_rate"
                                        << "1000";
    QTest::newRow("slew rate not a number") << "slew_rate"
                                            << "fast";
    QTest::newRow("coordinates unknown") << "coordinates"
                                         << "b1950";
    QTest::newRow("periodic error above its largest")
            << "periodic_error" << QString::number(Bounds::maxPeriodicError + 1);
    QTest::newRow("periodic error negative") << "periodic_error"
                                             << "-0.5";
    QTest::newRow("periodic error not a number") << "periodic_error"
                                                 << "lots";
    QTest::newRow("worm period below its shortest")
            << "worm_period" << QString::number(Bounds::minWormPeriod - 1);
    QTest::newRow("worm period not a number") << "worm_period"
                                              << "slow";
    QTest::newRow("switch position a full turn") << "switch_position"
                                                 << "360";
    QTest::newRow("switch position negative") << "switch_position"
                                              << "-1";
    QTest::newRow("switch position not a number") << "switch_position"
                                                  << "north";
}

// A damaged value gives the default and leaves the rest of the mount settings alone.
void ConsoleWindowTest::badStoredMountValues()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    storeValue("version_format", "hex");
    storeValue(key, stored);
    auto window = makeWindow();
    const tqx::HandControlSettings &loaded = window->interpreter().handControlSettings();
    const tqx::HandControlSettings defaults;
    QCOMPARE(loaded.siteLatitude, defaults.siteLatitude);
    QCOMPARE(loaded.siteLongitude, defaults.siteLongitude);
    QCOMPARE(loaded.slewRate, defaults.slewRate);
    QCOMPARE(loaded.periodicError, defaults.periodicError);
    QCOMPARE(loaded.wormPeriod, defaults.wormPeriod);
    QCOMPARE(loaded.switchPosition, defaults.switchPosition);
    QVERIFY(loaded.epoch == tqx::CoordinateEpoch::Automatic);
    QVERIFY(loaded.versionFormat == tqx::VersionFormat::Hex);
}

// "Show mount" opens one view beside the console; it follows a goto a client sends and the
// profile the menu chooses, and closes with the console.
void ConsoleWindowTest::showMountOpensOneViewOfTheRunningMount()
{
    PseudoTerminal pty;
    auto window = makeWindow();
    window->show();
    startOn(*window, pty);
    QVERIFY(window->PortIsOpen);
    QVERIFY(!window->mountView());
    window->ShowMountButton->trigger();
    QPointer<tqx::MountView> view = window->mountView();
    QVERIFY(view);
    QVERIFY(view->isVisible());
    QVERIFY(view->isWindow());
    QVERIFY(view->frameTimer().isActive());

    QCOMPARE(exchange(pty, "R3AAA,0E38", 1), QByteArray("#"));
    view->refresh();
    QCOMPARE(view->rowText("RA/Dec (E)"), QString("RA 05h30m00s Dec +20 00'00\""));

    window->FullProfileButton->trigger();
    QCOMPARE(exchange(pty, "r6AAAAA00,0E38E300", 1), QByteArray("#"));
    view->refresh();
    QVERIFY2(view->rowText("Motion").startsWith("slewing to RA 10h00m00s Dec +20 00'00\""),
             qPrintable(view->rowText("Motion")));
    QVERIFY(view->rowText("RA/Dec (E)").isNull());

    view->close();
    window->ShowMountButton->trigger();
    QCOMPARE(window->mountView(), view.data());
    QVERIFY(view->isVisible());
    window->close();
    window.reset();
    QVERIFY(!view);
}

QTEST_MAIN(ConsoleWindowTest)
#include "console_window_test.moc"
