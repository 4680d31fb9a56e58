// Headless mode's JSON lines: every line parses as one JSON object and carries back exactly what
// went over the line, whatever bytes it held.

#include "app/JsonLine.h"
#include "session/DisplayText.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

#include <optional>

class JsonLineTest : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void event_data();
    void event();
    void timesFollowTheSecond();
};

namespace {

QJsonObject parsed(const std::string &line)
{
    if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1)
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

QString isoTime(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc())
            .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

} // namespace

void JsonLineTest::exchange_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("meaning"); // null: none given
    QTest::addColumn<QString>("instance");

    QTest::newRow("plain") << QByteArray("E") << QByteArray("310C,0BBB#") << QString() << QString();
    QTest::newRow("binary bytes") << QByteArray("T\x02\x00", 3) << QByteArray("#") << QString()
                                  << QString("a");
    QTest::newRow("quotes, backslashes, control and high bytes")
            << QByteArray("K\"\\\n\t") << QByteArray("\\\xff\x7f#") << QString() << QString("b.1");
    QTest::newRow("meaning with quotes and degrees")
            << QByteArray("E") << QByteArray("310C,0BBB#")
            << QString::fromUtf8("RA 04h36m, Dec 16\u00b0 \"pointing\"\tnow") << QString("b_2");
    QTest::newRow("empty meaning") << QByteArray("") << QByteArray("") << QString("") << QString();
}

void JsonLineTest::exchange()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, meaning);
    QFETCH(QString, instance);
    const qint64 msecs = 1'765'300'000'123;
    tqx::JsonLine lines(instance.toStdString());
    const std::string meaningText = meaning.toStdString();
    const std::optional<std::string_view> given
            = meaning.isNull() ? std::nullopt : std::optional<std::string_view>(meaningText);
    const QJsonObject object
            = parsed(lines.exchange(msecs, command.toStdString(), reply.toStdString(), given));
    QVERIFY(!object.isEmpty());
    QCOMPARE(object.value("time").toString(), isoTime(msecs));
    QCOMPARE(object.value("command").toString(), tqx::displayText(command.toStdString()));
    QCOMPARE(object.value("reply").toString(), tqx::displayText(reply.toStdString()));
    QCOMPARE(QByteArray::fromHex(object.value("command_hex").toString().toLatin1()), command);
    QCOMPARE(QByteArray::fromHex(object.value("reply_hex").toString().toLatin1()), reply);
    QCOMPARE(object.contains("meaning"), !meaning.isNull());
    QCOMPARE(object.value("meaning").toString(), meaning);
    QCOMPARE(object.contains("instance"), !instance.isEmpty());
    QCOMPARE(object.value("instance").toString(), instance);
    QVERIFY(!object.contains("event"));
}

void JsonLineTest::event_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("fields"); // more members, as JSON
    QTest::addColumn<QString>("instance");

    QTest::newRow("client") << "client-connected"
                            << "a client connected from 127.0.0.1:5000" << QByteArray()
                            << QString();
    QTest::newRow("unanswered with escapes")
            << "unanswered"
            << "unanswered: \\x01 (\"reset\" after 1 ms)" << QByteArray() << QString("a");
    QTest::newRow("listening with where to connect")
            << "listening"
            << "Listening on TCP 127.0.0.1:4030"
            << QByteArray("\"connect\":{\"address\":\"127.0.0.1\",\"port\":4030}") << QString("b");
}

void JsonLineTest::event()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QByteArray, fields);
    QFETCH(QString, instance);
    const qint64 msecs = 1'765'300'000'007;
    tqx::JsonLine lines(instance.toStdString());
    const QJsonObject object = parsed(
            lines.event(msecs, kind.toStdString(), text.toStdString(), fields.toStdString()));
    QVERIFY(!object.isEmpty());
    QCOMPARE(object.value("time").toString(), isoTime(msecs));
    QCOMPARE(object.value("event").toString(), kind);
    QCOMPARE(object.value("text").toString(), text);
    QCOMPARE(object.value("instance").toString(), instance);
    QVERIFY(!object.contains("command"));
    if (!fields.isEmpty()) {
        const QJsonObject more = QJsonDocument::fromJson("{" + fields + "}").object();
        for (auto it = more.begin(); it != more.end(); ++it)
            QCOMPARE(object.value(it.key()), it.value());
    }
}

// The second's text is cached: a line in the next second, or back before it, is not given the
// cached one.
void JsonLineTest::timesFollowTheSecond()
{
    tqx::JsonLine lines;
    for (const qint64 msecs : {qint64(1'765'300'000'999), qint64(1'765'300'001'000),
                               qint64(1'765'299'999'000), qint64(-1)}) {
        const QJsonObject object = parsed(lines.event(msecs, "e", "t"));
        QCOMPARE(object.value("time").toString(), isoTime(msecs));
    }
}

QTEST_GUILESS_MAIN(JsonLineTest)
#include "json_line_test.moc"
