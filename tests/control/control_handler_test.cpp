// The control channel's requests, one object in and one out, against a session of the full
// profile whose mount clock stands still at a fixed moment, so that every answer is the same on
// every run. Each good request is checked by what it answers and by what `state` says after it;
// each bad one by the error it names and by `state` being just as it was before.

#include "control/ControlAddress.h"
#include "control/ControlClient.h"
#include "control/ControlEvents.h"
#include "control/ControlHandler.h"
#include "session/EmulatorSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <cmath>

using namespace tqx;

namespace {

// 2026-03-20T12:00:00Z.
constexpr qint64 startUtcMs = 1774008000000;

QJsonObject parsed(const QByteArray &line) { return QJsonDocument::fromJson(line).object(); }

// The value at a dotted path ("clock.rate", "faults.0").
QJsonValue at(const QJsonValue &root, const QString &path)
{
    QJsonValue value = root;
    for (const QString &part : path.split(QLatin1Char('.'))) {
        bool isIndex = false;
        const int index = part.toInt(&isIndex);
        value = isIndex && value.isArray() ? value.toArray().at(index)
                                           : value.toObject().value(part);
    }
    return value;
}

// "PATH=JSON": the value at PATH is JSON; numbers agree to a millionth.
bool holds(const QJsonValue &root, const QString &expectation, QString *why)
{
    const qsizetype equals = expectation.indexOf(QLatin1Char('='));
    const QString path = expectation.left(equals);
    const QJsonValue expected
            = QJsonDocument::fromJson("[" + expectation.mid(equals + 1).toUtf8() + "]")
                      .array()
                      .first();
    const QJsonValue actual = at(root, path);
    const bool same = expected.isDouble() && actual.isDouble()
            ? std::abs(expected.toDouble() - actual.toDouble()) < 1e-6
            : expected == actual;
    if (!same)
        *why = QStringLiteral("%1 is %2, expected %3")
                       .arg(path,
                            QString::fromUtf8(QJsonDocument(QJsonArray {actual})
                                                      .toJson(QJsonDocument::Compact)),
                            expectation.mid(equals + 1));
    return same;
}

class Fixture
{
public:
    Fixture()
    {
        session.setProfile(Profile::Full);
        session.mountClock().setUtc(startUtcMs);
        session.mountClock().pause();
    }

    QJsonObject ask(const QByteArray &line)
    {
        return parsed(handler.handleLine(line, subscription));
    }

    EmulatorSession session;
    ControlHandler handler {session};
    ControlSubscription subscription;
};

} // namespace

class ControlHandlerTest : public QObject
{
    Q_OBJECT

private slots:
    void goodRequests_data();
    void goodRequests();
    void badRequests_data();
    void badRequests();
    void slewShowsTargetAndTimeToGo();
    void movingShowsEachMotorsRate_data();
    void movingShowsEachMotorsRate();
    void eventsSayWhatHappened();
    void addresses_data();
    void addresses();
    void ctlRequests_data();
    void ctlRequests();
};

void ControlHandlerTest::goodRequests_data()
{
    QTest::addColumn<QList<QByteArray>>("setup");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QStringList>("response");
    QTest::addColumn<QStringList>("after"); // of `state` once it has been answered

    const QList<QByteArray> none;
    const QByteArray addFault = R"({"request":"fault","add":"noreply@cmd=e"})";
    QTest::newRow("state") << none << QByteArray(R"({"request":"state"})")
                           << QStringList {"ok=true",
                                           R"(profile="full")",
                                           "clock.paused=true",
                                           R"(clock.utc="2026-03-20T12:00:00.000Z")",
                                           R"(motion.state="at rest")",
                                           R"(pier_side="E")",
                                           "counts.commands=0",
                                           "client.connected=false",
                                           "faults=[]",
                                           R"(settings.slew_rate="4")"}
                           << QStringList {};
    QTest::newRow("state starts at Aldebaran, J2000")
            << none << QByteArray(R"({"request":"state"})")
            << QStringList {"pointing.j2000.ra_hours=4.598152",
                            "pointing.j2000.dec_degrees=16.496079"}
            << QStringList {};
    QTest::newRow("id echoed") << none << QByteArray(R"({"request":"state","id":[7,"x"]})")
                               << QStringList {R"(id=[7,"x"])"} << QStringList {};
    QTest::newRow("set time_rate")
            << none << QByteArray(R"({"request":"set","time_rate":100})") << QStringList {"ok=true"}
            << QStringList {"clock.rate=100", "clock.paused=false"};
    QTest::newRow("set clock")
            << none << QByteArray(R"({"request":"set","clock":"2030-01-02T03:04:05+01:00"})")
            << QStringList {"ok=true"} << QStringList {R"(clock.utc="2030-01-02T02:04:05.000Z")"};
    QTest::newRow("set clock without offset is UTC")
            << none << QByteArray(R"({"request":"set","clock":"2030-01-02T03:04:05"})")
            << QStringList {"ok=true"} << QStringList {R"(clock.utc="2030-01-02T03:04:05.000Z")"};
    QTest::newRow("set site")
            << none
            << QByteArray(R"({"request":"set","site":{"latitude":-33.5,"longitude":151.25}})")
            << QStringList {"ok=true"}
            << QStringList {"site.latitude=-33.5", "site.longitude=151.25"};
    QTest::newRow("set pointing of the date")
            << none
            << QByteArray(
                       R"({"request":"set","pointing":{"ra_hours":6.5,"dec_degrees":-20,"frame":"date"}})")
            << QStringList {"ok=true"}
            << QStringList {"pointing.of_date.ra_hours=6.5", "pointing.of_date.dec_degrees=-20",
                            R"(motion.state="at rest")", "counts.commands=0"};
    QTest::newRow("set pointing in J2000")
            << none
            << QByteArray(R"({"request":"set","pointing":{"ra_hours":12,"dec_degrees":45}})")
            << QStringList {"ok=true"}
            << QStringList {"pointing.j2000.ra_hours=12", "pointing.j2000.dec_degrees=45"};
    QTest::newRow("set settings by key")
            << none
            << QByteArray(
                       R"({"request":"set","settings":{"slew_rate":2.5,"aligned":false,"coordinates":"j2000"}})")
            << QStringList {"ok=true"}
            << QStringList {R"(settings.slew_rate="2.5")", R"(settings.aligned="0")",
                            R"(settings.coordinates="j2000")"};
    QTest::newRow("set profile") << none << QByteArray(R"({"request":"set","profile":"basic"})")
                                 << QStringList {"ok=true"}
                                 << QStringList {R"(profile="basic")", "pointing=null",
                                                 R"(settings.profile="basic")"};
    QTest::newRow("set several at once")
            << none << QByteArray(R"({"request":"set","time_rate":0.5,"settings":{"model":20}})")
            << QStringList {"ok=true"} << QStringList {"clock.rate=0.5", R"(settings.model="20")"};
    QTest::newRow("pause") << QList<QByteArray> {R"({"request":"set","time_rate":3})"}
                           << QByteArray(R"({"request":"pause"})")
                           << QStringList {"ok=true", "paused=true", "rate=0"}
                           << QStringList {"clock.paused=true"};
    QTest::newRow("resume at the rate it had")
            << QList<QByteArray> {R"({"request":"set","time_rate":3})", R"({"request":"pause"})"}
            << QByteArray(R"({"request":"resume"})") << QStringList {"ok=true", "rate=3"}
            << QStringList {"clock.paused=false"};
    QTest::newRow("step seconds") << none << QByteArray(R"({"request":"step","seconds":90})")
                                  << QStringList {R"(utc="2026-03-20T12:01:30.000Z")"}
                                  << QStringList {R"(clock.utc="2026-03-20T12:01:30.000Z")"};
    QTest::newRow("step ms") << none << QByteArray(R"({"request":"step","ms":1500})")
                             << QStringList {R"(utc="2026-03-20T12:00:01.500Z")"}
                             << QStringList {"clock.paused=true"};
    QTest::newRow("fault add") << none << addFault
                               << QStringList {"ok=true", R"(faults=["noreply@cmd=e"])"}
                               << QStringList {R"(faults=["noreply@cmd=e"])"};
    QTest::newRow("fault remove by index")
            << QList<QByteArray> {addFault, R"({"request":"fault","add":"twice"})"}
            << QByteArray(R"({"request":"fault","remove":0})")
            << QStringList {R"(faults=["twice"])"} << QStringList {R"(faults=["twice"])"};
    QTest::newRow("fault remove by text")
            << QList<QByteArray> {addFault, R"({"request":"fault","add":"twice"})"}
            << QByteArray(R"({"request":"fault","remove":"twice"})")
            << QStringList {R"(faults=["noreply@cmd=e"])"} << QStringList {};
    QTest::newRow("fault clear") << QList<QByteArray> {addFault}
                                 << QByteArray(R"({"request":"fault","clear":true})")
                                 << QStringList {"faults=[]"} << QStringList {"faults=[]"};
    QTest::newRow("reset")
            << QList<QByteArray> {addFault,
                                  R"({"request":"set","pointing":{"ra_hours":1,"dec_degrees":1}})"}
            << QByteArray(R"({"request":"reset"})") << QStringList {"ok=true"}
            << QStringList {"faults=[]", "pointing.j2000.ra_hours=4.598152"};
    QTest::newRow("subscribe")
            << none << QByteArray(R"({"request":"subscribe"})")
            << QStringList {R"(kinds=["exchange","unanswered","fault","client","slew"])"}
            << QStringList {};
    QTest::newRow("subscribe to some")
            << none << QByteArray(R"({"request":"subscribe","kinds":["slew","client"]})")
            << QStringList {R"(kinds=["client","slew"])"} << QStringList {};
    QTest::newRow("unsubscribe") << QList<QByteArray> {R"({"request":"subscribe"})"}
                                 << QByteArray(R"({"request":"unsubscribe"})")
                                 << QStringList {"ok=true"} << QStringList {};
}

void ControlHandlerTest::goodRequests()
{
    QFETCH(QList<QByteArray>, setup);
    QFETCH(QByteArray, request);
    QFETCH(QStringList, response);
    QFETCH(QStringList, after);

    Fixture fixture;
    for (const QByteArray &line : setup)
        QVERIFY2(fixture.ask(line).value("ok").toBool(), line.constData());
    const QJsonObject answer = fixture.ask(request);
    const QByteArray answerText = QJsonDocument(answer).toJson(QJsonDocument::Compact);
    QVERIFY2(answer.value("ok").toBool(), answerText.constData());
    QString why;
    for (const QString &expectation : response)
        QVERIFY2(holds(answer, expectation, &why), qPrintable(why + "\n" + answerText));
    const QJsonObject state = fixture.ask(R"({"request":"state"})");
    for (const QString &expectation : after)
        QVERIFY2(holds(state, expectation, &why), qPrintable(why));
    const bool subscribed = request.contains("\"subscribe\"");
    QCOMPARE(fixture.subscription.active, subscribed);
}

void ControlHandlerTest::badRequests_data()
{
    QTest::addColumn<QList<QByteArray>>("setup");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("error"); // a part of the error text

    const QList<QByteArray> none;
    QTest::newRow("not JSON") << none << QByteArray(R"({"request":)") << "not JSON";
    QTest::newRow("not an object") << none << QByteArray("[1,2]") << "must be a JSON object";
    QTest::newRow("no request") << none << QByteArray("{}") << R"("request" is missing)";
    QTest::newRow("request not a string")
            << none << QByteArray(R"({"request":3})") << R"("request" must be a string)";
    QTest::newRow("unknown request")
            << none << QByteArray(R"({"request":"fly","id":1})") << R"(unknown request "fly")";
    QTest::newRow("drop without a client")
            << none << QByteArray(R"({"request":"drop"})") << "no client connection to drop";
    QTest::newRow("drop with a field")
            << none << QByteArray(R"({"request":"drop","now":true})") << "now";
    QTest::newRow("state with a field")
            << none << QByteArray(R"({"request":"state","all":true})") << R"(unknown field "all")";
    QTest::newRow("set nothing") << none << QByteArray(R"({"request":"set"})") << "at least one";
    QTest::newRow("set unknown field")
            << none << QByteArray(R"({"request":"set","colour":1})") << R"(unknown field "colour")";
    QTest::newRow("time_rate above bound")
            << none << QByteArray(R"({"request":"set","time_rate":20000})")
            << "time_rate must be from 0 to 10000";
    QTest::newRow("time_rate negative")
            << none << QByteArray(R"({"request":"set","time_rate":-1})") << "time_rate must be";
    QTest::newRow("time_rate text") << none << QByteArray(R"({"request":"set","time_rate":"fast"})")
                                    << "time_rate must be a number";
    QTest::newRow("clock not a time")
            << none << QByteArray(R"({"request":"set","clock":"tomorrow"})")
            << "clock must be an ISO";
    QTest::newRow("site latitude beyond the pole")
            << none << QByteArray(R"({"request":"set","site":{"latitude":91,"longitude":0}})")
            << "site.latitude";
    QTest::newRow("site missing longitude")
            << none << QByteArray(R"({"request":"set","site":{"latitude":10}})")
            << "site.longitude must be a number";
    QTest::newRow("pointing ra of 24 hours")
            << none << QByteArray(R"({"request":"set","pointing":{"ra_hours":24,"dec_degrees":0}})")
            << "pointing.ra_hours must be from 0";
    QTest::newRow("pointing bad frame")
            << none
            << QByteArray(
                       R"({"request":"set","pointing":{"ra_hours":1,"dec_degrees":0,"frame":"b1950"}})")
            << "pointing.frame";
    QTest::newRow("pointing in the basic profile")
            << QList<QByteArray> {R"({"request":"set","profile":"basic"})"}
            << QByteArray(R"({"request":"set","pointing":{"ra_hours":1,"dec_degrees":0}})")
            << "basic profile";
    QTest::newRow("unknown setting")
            << none << QByteArray(R"({"request":"set","settings":{"colour":"red"}})")
            << "settings.colour: unknown setting";
    QTest::newRow("a port setting is not the channel's")
            << none << QByteArray(R"({"request":"set","settings":{"com_port":2}})")
            << "settings.com_port: unknown setting";
    QTest::newRow("slew_rate beyond its bound")
            << none << QByteArray(R"({"request":"set","settings":{"slew_rate":1000}})")
            << "settings.slew_rate";
    QTest::newRow("setting of the wrong type")
            << none << QByteArray(R"({"request":"set","settings":{"slew_rate":[1]}})")
            << "must be a string, a number or true/false";
    QTest::newRow("profile unknown") << none << QByteArray(R"({"request":"set","profile":"pro"})")
                                     << "profile must be basic or full";
    QTest::newRow("all or nothing")
            << none
            << QByteArray(
                       R"({"request":"set","time_rate":5,"settings":{"slew_rate":3},"site":{"latitude":100,"longitude":0}})")
            << "site.latitude";
    QTest::newRow("step negative")
            << none << QByteArray(R"({"request":"step","seconds":-5})") << "seconds must be from 0";
    QTest::newRow("step without amount")
            << none << QByteArray(R"({"request":"step"})") << "one of seconds and ms";
    QTest::newRow("step both amounts")
            << none << QByteArray(R"({"request":"step","seconds":1,"ms":1})")
            << "one of seconds and ms";
    QTest::newRow("fault rule wrong")
            << none << QByteArray(R"({"request":"fault","add":"explode"})") << "add: ";
    QTest::newRow("fault two actions")
            << none << QByteArray(R"({"request":"fault","add":"twice","clear":true})")
            << "exactly one";
    QTest::newRow("fault remove beyond the list")
            << QList<QByteArray> {R"({"request":"fault","add":"twice"})"}
            << QByteArray(R"({"request":"fault","remove":1})") << "index must be from 0 to 0";
    QTest::newRow("fault remove unknown text")
            << none << QByteArray(R"({"request":"fault","remove":"twice"})") << "no fault";
    QTest::newRow("fault clear false")
            << none << QByteArray(R"({"request":"fault","clear":false})") << "clear must be true";
    QTest::newRow("subscribe unknown kind")
            << none << QByteArray(R"({"request":"subscribe","kinds":["weather"]})")
            << R"(kinds: "weather" is not an event kind)";
    QTest::newRow("subscribe kinds not a list")
            << none << QByteArray(R"({"request":"subscribe","kinds":"slew"})")
            << "kinds must be an array";
    QTest::newRow("pause with a field")
            << none << QByteArray(R"({"request":"pause","for":3})") << R"(unknown field "for")";
}

void ControlHandlerTest::badRequests()
{
    QFETCH(QList<QByteArray>, setup);
    QFETCH(QByteArray, request);
    QFETCH(QString, error);

    Fixture fixture;
    for (const QByteArray &line : setup)
        QVERIFY2(fixture.ask(line).value("ok").toBool(), line.constData());
    const QJsonObject before = fixture.ask(R"({"request":"state"})");
    const QJsonObject answer = fixture.ask(request);
    QCOMPARE(answer.value("ok"), QJsonValue(false));
    QVERIFY2(answer.value("error").toString().contains(error),
             qPrintable(answer.value("error").toString()));
    const QJsonValue id = parsed(request).value("id");
    QCOMPARE(answer.value("id"), id);
    // Nothing changed, not even a part of the request that was right.
    QCOMPARE(fixture.ask(R"({"request":"state"})"), before);
    QVERIFY(!fixture.subscription.active);
}

// A goto given on the line, then read back while the paused clock is stepped through it.
void ControlHandlerTest::slewShowsTargetAndTimeToGo()
{
    Fixture fixture;
    fixture.session.interpreter().handControl().mount().gotoAzmAlt({0x40000000, 0x10000000});
    QJsonObject state = fixture.ask(R"({"request":"state"})");
    QString why;
    QVERIFY2(holds(state, R"(motion.state="slewing")", &why), qPrintable(why));
    QVERIFY2(holds(state, R"(motion.frame="az/alt")", &why), qPrintable(why));
    QVERIFY2(holds(state, "motion.target.az_degrees=90", &why), qPrintable(why));
    QVERIFY2(holds(state, "motion.target.alt_degrees=22.5", &why), qPrintable(why));
    QVERIFY2(holds(state, "motion.seconds_to_go=null", &why), qPrintable(why)); // paused
    const double toGo = at(state, "motion.mount_seconds_to_go").toDouble();
    QVERIFY2(toGo > 1, qPrintable(QString::number(toGo)));

    QVERIFY(fixture.ask(R"({"request":"set","time_rate":10})").value("ok").toBool());
    state = fixture.ask(R"({"request":"state"})");
    QVERIFY(std::abs(at(state, "motion.seconds_to_go").toDouble() - toGo / 10) < 0.05);

    QVERIFY(fixture.ask(R"({"request":"pause"})").value("ok").toBool());
    const QByteArray step = R"({"request":"step","seconds":)" + QByteArray::number(toGo + 1) + "}";
    QVERIFY(fixture.ask(step).value("ok").toBool());
    state = fixture.ask(R"({"request":"state"})");
    QVERIFY2(holds(state, R"(motion.state="at rest")", &why), qPrintable(why));
    QVERIFY2(holds(state, "pointing.horizon.az_degrees=90", &why), qPrintable(why));
}

void ControlHandlerTest::movingShowsEachMotorsRate_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<int>("trackingMode");
    QTest::addColumn<QList<double>>("degreesPerSecond"); // first motor, second; 0 stands still
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("absent");

    QTest::newRow("equatorial, right ascension only")
            << QByteArray("5") << 0 << QList<double> {0.5, 0}
            << QStringList {R"(motion.state="moving")", "motion.rates.ra.degrees_per_second=0.5"}
            << QString("motion.rates.dec");
    // The tracking drift is the mount's, not the motor's rate.
    QTest::newRow("equatorial, tracking, both motors")
            << QByteArray("5") << 2 << QList<double> {-2, 0.25}
            << QStringList {"motion.rates.ra.degrees_per_second=-2",
                            "motion.rates.dec.degrees_per_second=0.25"}
            << QString("motion.rates.azimuth");
    QTest::newRow("alt-azimuth, altitude only")
            << QByteArray("3") << 1 << QList<double> {0, -1.5}
            << QStringList {"motion.rates.altitude.degrees_per_second=-1.5"}
            << QString("motion.rates.azimuth");
}

void ControlHandlerTest::movingShowsEachMotorsRate()
{
    QFETCH(QByteArray, model);
    QFETCH(int, trackingMode);
    QFETCH(QList<double>, degreesPerSecond);
    QFETCH(QStringList, expected);
    QFETCH(QString, absent);

    Fixture fixture;
    const QByteArray setModel = R"({"request":"set","settings":{"model":)" + model + "}}";
    QVERIFY(fixture.ask(setModel).value("ok").toBool());
    MountPosition &mount = fixture.session.interpreter().handControl().mount();
    mount.setTrackingMode(std::uint8_t(trackingMode));
    const MountPosition::Axis axes[]
            = {MountPosition::Axis::Azimuth, MountPosition::Axis::Altitude};
    for (int i = 0; i < 2; ++i) {
        if (degreesPerSecond[i] != 0)
            mount.slewAxis(axes[i], degreesPerSecond[i] * M_PI / 180);
    }
    const QJsonObject state = fixture.ask(R"({"request":"state"})");
    for (const QString &expectation : expected) {
        QString why;
        QVERIFY2(holds(state, expectation, &why), qPrintable(why));
    }
    QVERIFY2(at(state, absent).isUndefined(), qPrintable(absent));
}

void ControlHandlerTest::eventsSayWhatHappened()
{
    Exchange exchange;
    exchange.msecsSinceEpoch = startUtcMs;
    exchange.command = "V";
    exchange.reply = "\x04\x15#";
    exchange.context.profile = Profile::Full;
    exchange.note = QStringLiteral("sent twice");
    QJsonObject event = parsed(ControlEvents::exchangeLine(exchange));
    QCOMPARE(event.value("event"), QJsonValue("exchange"));
    QCOMPARE(event.value("time"), QJsonValue("2026-03-20T12:00:00.000Z"));
    QCOMPARE(event.value("command"), QJsonValue("V"));
    QCOMPARE(event.value("reply"), QJsonValue("\\x04\\x15#"));
    QVERIFY2(event.value("meaning").toString().contains("4.21"),
             qPrintable(event.value("meaning").toString()));
    QCOMPARE(event.value("note"), QJsonValue("sent twice"));
    QCOMPARE(event.value("sent"), QJsonValue(true));
    // Written by hand for speed: what JSON must escape still is.
    exchange.command = "K\"";
    exchange.reply = "\\#";
    exchange.note = QStringLiteral("a \"quoted\"\tnote");
    exchange.sent = false;
    event = parsed(ControlEvents::exchangeLine(exchange));
    QCOMPARE(event.value("command"), QJsonValue("K\""));
    QCOMPARE(event.value("reply"), QJsonValue("\\\\#"));
    QCOMPARE(event.value("note"), QJsonValue("a \"quoted\"\tnote"));
    QCOMPARE(event.value("sent"), QJsonValue(false));
    event = ControlEvents::faultEvent(exchange);
    QCOMPARE(event.value("event"), QJsonValue("fault"));
    QCOMPARE(event.value("note"), QJsonValue("a \"quoted\"\tnote"));

    event = ControlEvents::unansweredEvent("Q", "not a command", exchange.context);
    QCOMPARE(event.value("event"), QJsonValue("unanswered"));
    QCOMPARE(event.value("bytes"), QJsonValue("Q"));
    QCOMPARE(event.value("reason"), QJsonValue("not a command"));
    QCOMPARE(ControlEvents::lostEvent(12), (QJsonObject {{"event", "lost"}, {"count", 12}}));
    QCOMPARE(ControlEvents::clientEvent("connected", "127.0.0.1:5000").value("client"),
             QJsonValue("127.0.0.1:5000"));
}

void ControlHandlerTest::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // as toString() gives it back; empty: refused
    QTest::addColumn<QString>("error");

    QTest::newRow("path") << "/run/user/1000/harness.control"
                          << "/run/user/1000/harness.control"
                          << "";
    QTest::newRow("off") << " OFF "
                         << "off"
                         << "";
    QTest::newRow("tcp port") << "tcp:5001"
                              << "tcp:127.0.0.1:5001"
                              << "";
    QTest::newRow("tcp any free port") << "tcp:0"
                                       << "tcp:127.0.0.1:0"
                                       << "";
    QTest::newRow("tcp loopback address") << "tcp:127.0.0.2:5001"
                                          << "tcp:127.0.0.2:5001"
                                          << "";
    QTest::newRow("tcp IPv6 loopback") << "tcp:[::1]:5001"
                                       << "tcp:[::1]:5001"
                                       << "";
    QTest::newRow("tcp other address") << "tcp:0.0.0.0:5001"
                                       << ""
                                       << "loopback address only";
    QTest::newRow("tcp port too large") << "tcp:70000"
                                        << ""
                                        << "not a port number";
    QTest::newRow("tcp no port") << "tcp:"
                                 << ""
                                 << "not a port number";
    QTest::newRow("tcp bad address") << "tcp:here:5001"
                                     << ""
                                     << "not an IP address";
    QTest::newRow("empty") << "  "
                           << ""
                           << "empty";
}

void ControlHandlerTest::addresses()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    QFETCH(QString, error);

    QString why;
    const std::optional<ControlAddress> address = ControlAddress::parse(text, &why);
    QCOMPARE(address.has_value(), !read.isEmpty());
    if (address)
        QCOMPARE(address->toString(), read);
    else
        QVERIFY2(why.contains(error), qPrintable(why));
}

void ControlHandlerTest::ctlRequests_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("request"); // compact JSON; empty: refused
    QTest::addColumn<QString>("error");

    QTest::newRow("name only") << QStringList {"state"} << QByteArray(R"({"request":"state"})")
                               << "";
    QTest::newRow("numbers and text")
            << QStringList {"set", "time_rate=100", "clock=2026-12-09T21:30:00Z"}
            << QByteArray(R"({"clock":"2026-12-09T21:30:00Z","request":"set","time_rate":100})")
            << "";
    QTest::newRow("dotted keys")
            << QStringList {"set", "settings.slew_rate=3", "settings.aligned=false"}
            << QByteArray(R"({"request":"set","settings":{"aligned":false,"slew_rate":3}})") << "";
    QTest::newRow("value with equals signs")
            << QStringList {"fault", "add=noreply@cmd=e"}
            << QByteArray(R"({"add":"noreply@cmd=e","request":"fault"})") << "";
    QTest::newRow("JSON value") << QStringList {"subscribe", R"(kinds=["slew"])"}
                                << QByteArray(R"({"kinds":["slew"],"request":"subscribe"})") << "";
    QTest::newRow("raw JSON") << QStringList {R"({"request":"state","id":3})"}
                              << QByteArray(R"({"id":3,"request":"state"})") << "";
    QTest::newRow("nothing") << QStringList {} << QByteArray() << "no request";
    QTest::newRow("not key=value")
            << QStringList {"set", "fast"} << QByteArray() << "not KEY=VALUE";
    QTest::newRow("empty key part")
            << QStringList {"set", "settings..x=1"} << QByteArray() << "empty part";
    QTest::newRow("into a value") << QStringList {"set", "time_rate=1", "time_rate.x=2"}
                                  << QByteArray() << "is not an object";
    QTest::newRow("raw JSON broken")
            << QStringList {R"({"request":)"} << QByteArray() << "not a JSON object";
}

void ControlHandlerTest::ctlRequests()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, request);
    QFETCH(QString, error);

    QString why;
    const std::optional<QJsonObject> made = ControlClient::request(words, &why);
    QCOMPARE(made.has_value(), !request.isEmpty());
    if (made)
        QCOMPARE(QJsonDocument(*made).toJson(QJsonDocument::Compact), request);
    else
        QVERIFY2(why.contains(error), qPrintable(why));
}

QTEST_GUILESS_MAIN(ControlHandlerTest)
#include "control_handler_test.moc"
