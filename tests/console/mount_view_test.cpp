// The "Show mount" window: its texts and sky picture during and after a goto on clocks the test
// drives, that it redraws only what changed, the basic profile's rows, its frame timer and where
// it is placed beside the console.

#include "console/MountView.h"
#include "console/SkyPicture.h"
#include "emulation/FullExchange.h"
#include "emulation/MountReport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <cmath>
#include <memory>
#include <numbers>

using tqx::MountView;
using tqx::SkyPicture;

namespace {

constexpr double degree = std::numbers::pi / 180;

// The mount in Paris on a November evening, its clocks stopped until the test moves them.
struct ParisAtNight : FullExchange
{
    ParisAtNight()
    {
        send(tqx::bytesOf({'W', 48, 51, 24, 0, 2, 21, 8, 0}));
        send(tqx::bytesOf({'H', 21, 45, 30, 11, 12, 24, 1, 0}));
    }
};

// What is left of a goto, in degrees, from "slewing to ..., 12.34 deg to go".
double degreesToGo(const QString &motion)
{
    const qsizetype from = motion.lastIndexOf(QLatin1String(", ")) + 2;
    return motion.mid(from, motion.indexOf(QLatin1String(" deg")) - from).toDouble();
}

// Lets the view handle what it has posted (layouts, repaints), without waiting for a timer.
void handlePostedEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// A shown view whose first paint is done, so later paints can be counted.
void showAndSettle(MountView &view)
{
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTRY_VERIFY_WITH_TIMEOUT(view.skyPicture().paintCount() > 0, 5000);
    handlePostedEvents();
}

} // namespace

class MountViewTest : public QObject
{
    Q_OBJECT

private slots:
    void skyProjection_data();
    void skyProjection();
    void showsAGotoUnderWayAndItsArrival();
    void frozenClocksChangeNothing();
    void manyExchangesBetweenTwoLooksPaintOnce();
    void subPixelMotionChangesTextsNotThePicture();
    void basicProfileShowsTheStoredPositions();
    void profileSwitchRebuildsTheRows();
    void frameTimerRunsOnlyWhileShown();
    void isAWindowOfTheConsole();
    void besideWindow_data();
    void besideWindow();
};

void MountViewTest::skyProjection_data()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("altitude");
    // Where the direction lands, from the centre, in horizon radii.
    QTest::addColumn<QPointF>("expected");

    const double rim = (90 + SkyPicture::bandDepthDegrees) / 90;
    QTest::newRow("zenith in the middle") << 0.0 << 90.0 << QPointF(0, 0);
    QTest::newRow("north horizon at the top") << 0.0 << 0.0 << QPointF(0, -1);
    QTest::newRow("east horizon on the left") << 90.0 << 0.0 << QPointF(-1, 0);
    QTest::newRow("south horizon at the bottom") << 180.0 << 0.0 << QPointF(0, 1);
    QTest::newRow("west horizon on the right") << 270.0 << 0.0 << QPointF(1, 0);
    QTest::newRow("30 degrees up in the south-west")
            << 225.0 << 30.0 << QPointF(std::sqrt(0.5), std::sqrt(0.5)) * (2.0 / 3);
    QTest::newRow("band's rim in the north") << 0.0 << -20.0 << QPointF(0, -rim);
    QTest::newRow("below the band, on its rim") << 90.0 << -60.0 << QPointF(-rim, 0);
    QTest::newRow("nadir, on the rim") << 180.0 << -90.0 << QPointF(0, rim);
}

void MountViewTest::skyProjection()
{
    QFETCH(double, azimuth);
    QFETCH(double, altitude);
    QFETCH(QPointF, expected);

    SkyPicture picture;
    picture.resize(400, 300);
    QCOMPARE_GT(picture.horizonRadius(), 50.0);
    QCOMPARE(picture.rimRadius(),
             picture.horizonRadius() * (90 + SkyPicture::bandDepthDegrees) / 90);
    const QPointF at = picture.pixelOf(azimuth * degree, altitude * degree);
    const QPointF wanted = picture.centre() + expected * picture.horizonRadius();
    QVERIFY2(QLineF(at, wanted).length() < 1e-6,
             qPrintable(QString("(%1, %2) instead of (%3, %4)")
                                .arg(at.x())
                                .arg(at.y())
                                .arg(wanted.x())
                                .arg(wanted.y())));
    // The whole band stays inside the widget, with room for the compass letters.
    QCOMPARE_LT(picture.rimRadius(), 150.0);
}

void MountViewTest::showsAGotoUnderWayAndItsArrival()
{
    ParisAtNight mount;
    MountView view(mount.interpreter);
    QCOMPARE(view.rowText("Site"), QString("48 51'24\" N, 2 21'08\" E"));
    QCOMPARE(view.rowText("Motion"), QString("tracking"));
    QVERIFY(!view.skyPicture().drawing().target);
    QVERIFY(view.rowText("No such row").isNull());

    QCOMPARE(mount.send("r6AAAAA00,0E38E300"), tqx::Bytes("#"));
    double lastToGo = 360;
    for (int step = 0; step < 5; ++step) {
        mount.wait(2000);
        const int changes = view.changeCount();
        view.refresh();
        QCOMPARE(view.changeCount(), changes + 1);
        const QString motion = view.rowText("Motion");
        QVERIFY2(motion.startsWith("slewing to RA 10h00m00s Dec +20 00'00\", "),
                 qPrintable(motion));
        QVERIFY2(motion.endsWith(" deg to go"), qPrintable(motion));
        const double toGo = degreesToGo(motion);
        QCOMPARE_LT(toGo, lastToGo);
        lastToGo = toGo;

        const SkyPicture::Drawing &drawing = view.skyPicture().drawing();
        QVERIFY(drawing.target.has_value());
        QCOMPARE_GE(drawing.path.size(), 2u);
        QCOMPARE(drawing.path.back(), drawing.target->at);
        QCOMPARE(drawing.pointings.size(), 1u);
        QCOMPARE(drawing.path.front(), drawing.pointings[0].at);
    }
    QCOMPARE(view.rowText("Clock"), QString("2024-11-12 21:45:40 UTC+01:00"));

    mount.wait(60'000);
    view.refresh();
    QCOMPARE(view.rowText("Motion"), QString("tracking"));
    QCOMPARE(view.rowText("Right ascension"), QString("10h00m00.0s"));
    QCOMPARE(view.rowText("Declination"), QString("+20 00'00\""));
    QVERIFY(!view.skyPicture().drawing().target);
    QVERIFY(view.skyPicture().drawing().path.empty());
}

void MountViewTest::frozenClocksChangeNothing()
{
    ParisAtNight mount;
    mount.send("r6AAAAA00,0E38E300");
    mount.wait(1000);
    MountView view(mount.interpreter);
    showAndSettle(view);
    view.refresh();
    handlePostedEvents();
    const int changes = view.changeCount();
    const int paints = view.skyPicture().paintCount();

    for (int i = 0; i < 100; ++i) {
        view.refresh();
        handlePostedEvents();
    }
    QCOMPARE(view.changeCount(), changes);
    QCOMPARE(view.skyPicture().paintCount(), paints);
}

void MountViewTest::manyExchangesBetweenTwoLooksPaintOnce()
{
    ParisAtNight mount;
    mount.send("r6AAAAA00,0E38E300");
    MountView view(mount.interpreter);
    showAndSettle(view);
    const int changes = view.changeCount();
    const int paints = view.skyPicture().paintCount();

    // A client polling the position while the mount slews, faster than the display's frames.
    for (int i = 0; i < 200; ++i) {
        mount.wait(10);
        QCOMPARE(mount.send("e").size(), 18u);
    }
    view.refresh();
    handlePostedEvents();
    QCOMPARE(view.changeCount(), changes + 1);
    QCOMPARE(view.skyPicture().paintCount(), paints + 1);

    // Several looks before the event loop runs still make a single paint.
    for (int i = 0; i < 5; ++i) {
        mount.wait(1000);
        view.refresh();
    }
    QCOMPARE(view.changeCount(), changes + 6);
    handlePostedEvents();
    QCOMPARE(view.skyPicture().paintCount(), paints + 2);
}

void MountViewTest::subPixelMotionChangesTextsNotThePicture()
{
    ParisAtNight mount;
    MountView view(mount.interpreter);
    showAndSettle(view);
    const SkyPicture::Drawing drawn = view.skyPicture().drawing();
    const QString azimuth = view.rowText("Azimuth");
    const QString clock = view.rowText("Clock");
    const int paints = view.skyPicture().paintCount();

    // Tracking for five seconds moves the pointing by about a minute of arc: new texts, the
    // same pixels.
    mount.wait(5000);
    const int changes = view.changeCount();
    view.refresh();
    handlePostedEvents();
    QCOMPARE(view.changeCount(), changes + 1);
    QCOMPARE_NE(view.rowText("Azimuth"), azimuth);
    QCOMPARE_NE(view.rowText("Clock"), clock);
    QVERIFY(view.skyPicture().drawing() == drawn);
    QCOMPARE(view.skyPicture().paintCount(), paints);
}

void MountViewTest::basicProfileShowsTheStoredPositions()
{
    Exchange basic;
    basic.send("R3AAA,0E38");
    basic.send("B8000,2000");
    // Stored 32-bit altitude 45 degrees below the horizon: below the band.
    basic.send("b40000000,E0000000");
    MountView view(basic.interpreter);
    QCOMPARE(view.rowText("RA/Dec (E)"), QString("RA 05h30m00s Dec +20 00'00\""));
    QCOMPARE(view.rowText("Az/Alt (Z)"), QString("Az 180 00'00\" Alt +45 00'00\""));
    QCOMPARE(view.rowText("Az/Alt (z)"), QString("Az 090 00'00\" Alt -45 00'00\""));
    QVERIFY(view.rowText("Site").isNull());
    QVERIFY(view.rowText("Clock").isNull());

    showAndSettle(view);
    const SkyPicture &picture = view.skyPicture();
    const SkyPicture::Drawing &drawing = picture.drawing();
    QCOMPARE(drawing.pointings.size(), 2u);
    QCOMPARE(drawing.pointings[0].label, QString("z"));
    QVERIFY(drawing.pointings[0].beyondRim);
    QCOMPARE(drawing.pointings[0].at, picture.pixelOf(90 * degree, -20 * degree).toPoint());
    QCOMPARE(drawing.pointings[1].label, QString("Z"));
    QVERIFY(!drawing.pointings[1].beyondRim);
    QCOMPARE(drawing.pointings[1].at, picture.pixelOf(180 * degree, 45 * degree).toPoint());
    QVERIFY(!drawing.target);
}

void MountViewTest::profileSwitchRebuildsTheRows()
{
    ParisAtNight mount;
    MountView view(mount.interpreter);
    // One label and one value for each row of the report.
    const qsizetype fullRows = qsizetype(tqx::MountReport::of(mount.interpreter).rows.size());
    QCOMPARE(view.rowText("Site"), QString("48 51'24\" N, 2 21'08\" E"));
    QCOMPARE(view.findChildren<QLabel *>().size(), fullRows);
    QCOMPARE(view.findChildren<QLineEdit *>().size(), fullRows);
    for (const QLineEdit *value : view.findChildren<QLineEdit *>())
        QVERIFY(value->isReadOnly());

    mount.interpreter.setProfile(tqx::Profile::Basic);
    view.refresh();
    QVERIFY(view.rowText("Site").isNull());
    QCOMPARE(view.rowText("Motion"), QString("none: a goto stores its position at once"));
    QVERIFY(!view.rowText("RA/Dec (E)").isEmpty());
    // The full profile's labels and values are gone, not hidden.
    QCOMPARE(view.findChildren<QLabel *>().size(), 5);
    QCOMPARE(view.findChildren<QLineEdit *>().size(), 5);

    mount.interpreter.setProfile(tqx::Profile::Full);
    view.refresh();
    QCOMPARE(view.rowText("Site"), QString("48 51'24\" N, 2 21'08\" E"));
    QVERIFY(view.rowText("RA/Dec (E)").isNull());
    QCOMPARE(view.findChildren<QLabel *>().size(), fullRows);
    QCOMPARE(view.findChildren<QLineEdit *>().size(), fullRows);
}

void MountViewTest::frameTimerRunsOnlyWhileShown()
{
    ParisAtNight mount;
    MountView view(mount.interpreter);
    QVERIFY(!view.frameTimer().isActive());

    showAndSettle(view);
    QVERIFY(view.frameTimer().isActive());
    QCOMPARE_GE(view.frameTimer().interval(), 1);
    QCOMPARE_LE(view.frameTimer().interval(), 100);
    // The frame timer looks by itself while the window is shown.
    int changes = view.changeCount();
    mount.wait(1000);
    QTRY_COMPARE_WITH_TIMEOUT(view.changeCount(), changes + 1, 5000);

    view.hide();
    QVERIFY(!view.frameTimer().isActive());
    changes = view.changeCount();
    mount.wait(1000);
    handlePostedEvents();
    QCOMPARE(view.changeCount(), changes);

    // Shown again, it catches up at once.
    view.show();
    QVERIFY(view.frameTimer().isActive());
    QCOMPARE(view.changeCount(), changes + 1);
}

void MountViewTest::isAWindowOfTheConsole()
{
    ParisAtNight mount;
    auto console = std::make_unique<QWidget>();
    QPointer<MountView> view = new MountView(mount.interpreter, console.get());
    QVERIFY(view->isWindow());
    QCOMPARE(view->windowTitle(), QString("Mount - TQX Orbivo Emulator"));
    console.reset();
    QVERIFY(view.isNull());
}

void MountViewTest::besideWindow_data()
{
    QTest::addColumn<QRect>("console");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("expected");

    const QRect screen(0, 0, 1920, 1040);
    QTest::newRow("room on the right")
            << QRect(100, 100, 600, 400) << QSize(500, 400) << screen << QPoint(700, 100);
    QTest::newRow("just fits on the right")
            << QRect(0, 0, 1420, 400) << QSize(500, 400) << screen << QPoint(1420, 0);
    QTest::newRow("no room on the right: on the left")
            << QRect(1300, 100, 600, 400) << QSize(500, 400) << screen << QPoint(800, 100);
    QTest::newRow("room on neither side: against the right edge")
            << QRect(200, 100, 1600, 400) << QSize(500, 400) << screen << QPoint(1420, 100);
    QTest::newRow("console low on the screen: raised to fit")
            << QRect(100, 900, 600, 400) << QSize(500, 400) << screen << QPoint(700, 640);
    QTest::newRow("console above the screen's top: lowered")
            << QRect(100, -50, 600, 400) << QSize(500, 400) << screen << QPoint(700, 0);
    QTest::newRow("larger than the screen: its top left corner")
            << QRect(100, 100, 600, 400) << QSize(2500, 1200) << screen << QPoint(0, 0);
    QTest::newRow("second screen to the right") << QRect(2000, 50, 600, 400) << QSize(500, 400)
                                                << QRect(1920, 0, 1280, 1024) << QPoint(2600, 50);
    QTest::newRow("free area below a top panel") << QRect(2600, 10, 600, 400) << QSize(500, 400)
                                                 << QRect(1920, 30, 1280, 994) << QPoint(2100, 30);
}

void MountViewTest::besideWindow()
{
    QFETCH(QRect, console);
    QFETCH(QSize, size);
    QFETCH(QRect, available);
    QFETCH(QPoint, expected);
    QCOMPARE(MountView::besideWindow(console, size, available), expected);
}

QTEST_MAIN(MountViewTest)
#include "mount_view_test.moc"
