// The console's own pieces: how bytes are shown, the capped logs and the mount settings dialog.

#include "console/LogModel.h"
#include "console/MountSettingsDialog.h"
#include "session/DisplayText.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
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
    void dialogNamesTheModel_data();
    void dialogNamesTheModel();
    void dialogMountNumbers_data();
    void dialogMountNumbers();
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

void ConsoleUnitTest::dialogNamesTheModel_data()
{
    QTest::addColumn<int>("format"); // the version format box's index: 0 binary, 1 hex
    QTest::addColumn<int>("model"); // -1: the default
    QTest::addColumn<QString>("name");

    QTest::newRow("binary default") << 0 << -1 << "medium German equatorial mount";
    QTest::newRow("binary newer model") << 0 << 23 << "German equatorial mount with home switches";
    QTest::newRow("binary alt-azimuth") << 0 << 9 << "dual fork-arm alt-azimuth mount with GPS";
    QTest::newRow("binary unlisted") << 0 << 2 << "unknown fork mount";
    QTest::newRow("hex default") << 1 << -1 << "equatorial mount";
    QTest::newRow("hex alt-azimuth") << 1 << 0x80 << "alt-azimuth mount";
    QTest::newRow("hex unlisted") << 1 << 6 << "unknown equatorial mount";
}

// The name follows the number and the version format, whichever changes last: the two formats
// number their mounts differently.
void ConsoleUnitTest::dialogNamesTheModel()
{
    QFETCH(int, format);
    QFETCH(int, model);
    QFETCH(QString, name);
    tqx::MountSettingsDialog dialog({});
    dialog.versionFormatBox->setCurrentIndex(1 - format);
    dialog.modelBox->setValue(model);
    dialog.versionFormatBox->setCurrentIndex(format);
    QCOMPARE(dialog.modelNameLabel->text(), name);

    dialog.modelBox->setValue(model == -1 ? 0 : -1);
    dialog.modelBox->setValue(model);
    QCOMPARE(dialog.modelNameLabel->text(), name);
}

void ConsoleUnitTest::dialogMountNumbers_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("current"); // in the settings the dialog is opened with
    QTest::addColumn<QString>("typed"); // then typed over the box's number; empty: nothing
    QTest::addColumn<double>("chosen");

    using Bounds = tqx::HandControlSettings;
    QTest::newRow("periodic error typed") << "periodic error" << 0.0 << "42.5" << 42.5;
    QTest::newRow("periodic error above its largest")
            << "periodic error" << 2 * Bounds::maxPeriodicError << "" << Bounds::maxPeriodicError;
    QTest::newRow("periodic error not a number") << "periodic error" << 12.0 << "abc" << 12.0;
    QTest::newRow("worm period typed") << "worm period" << 480.0 << "600" << 600.0;
    QTest::newRow("worm period below its shortest")
            << "worm period" << Bounds::minWormPeriod / 2 << "" << Bounds::minWormPeriod;
    QTest::newRow("worm period not a number") << "worm period" << 480.0 << "slow" << 480.0;
    QTest::newRow("switch position typed") << "switch position" << 0.0 << "359.5" << 359.5;
    QTest::newRow("switch position a full turn is its start")
            << "switch position" << 360.0 << "" << 0.0;
    QTest::newRow("switch position not a number") << "switch position" << 90.0 << "east" << 90.0;
}

namespace {

// A number of the mount settings and the dialog's box for it.
struct MountNumberBox
{
    double tqx::HandControlSettings::*field;
    QDoubleSpinBox *tqx::MountSettingsDialog::*box;
};

MountNumberBox mountNumberBox(const QString &name)
{
    using Settings = tqx::HandControlSettings;
    using Dialog = tqx::MountSettingsDialog;
    if (name == "periodic error")
        return {&Settings::periodicError, &Dialog::periodicErrorBox};
    if (name == "worm period")
        return {&Settings::wormPeriod, &Dialog::wormPeriodBox};
    return {&Settings::switchPosition, &Dialog::switchPositionBox};
}

} // namespace

// What the dialog gives back is always something the hand control takes.
void ConsoleUnitTest::dialogMountNumbers()
{
    QFETCH(QString, box);
    QFETCH(double, current);
    QFETCH(QString, typed);
    QFETCH(double, chosen);
    const MountNumberBox number = mountNumberBox(box);
    tqx::MountSettings settings;
    settings.handControl.*number.field = current;
    tqx::MountSettingsDialog dialog(settings);
    QDoubleSpinBox *spinBox = dialog.*number.box;
    if (!typed.isEmpty()) {
        spinBox->selectAll();
        QTest::keyClicks(spinBox, typed);
        spinBox->interpretText();
    }
    const tqx::HandControlSettings given = dialog.settings().handControl;
    QCOMPARE(given.*number.field, chosen);
    QVERIFY2(given.mountError().empty(), given.mountError().c_str());
}

QTEST_MAIN(ConsoleUnitTest)
#include "console_unit_test.moc"
