// Headless mode's exchange lines: the fast formatting must read exactly as the console's.

#include "app/ExchangeLine.h"
#include "session/DisplayText.h"

#include <QDateTime>
#include <QTest>

class ExchangeLineTest : public QObject
{
    Q_OBJECT

private slots:
    void readsAsTheConsole_data();
    void readsAsTheConsole();
};

void ExchangeLineTest::readsAsTheConsole_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QTest::newRow("now") << now << QByteArray("E") << QByteArray("310C,0BBB#");
    QTest::newRow("same second") << now - now % 1000 + 999 << QByteArray("V") << QByteArray("22");
    QTest::newRow("next second") << now - now % 1000 + 1000 << QByteArray("L") << QByteArray("0#");
    QTest::newRow("binary bytes") << now << QByteArray("T\x02", 2) << QByteArray("#");
    QTest::newRow("backslash and high bytes") << now << QByteArray("K\\") << QByteArray("\\\xff#");
    QTest::newRow("millisecond zero")
            << qint64(1765000000000) << QByteArray("E") << QByteArray("x");
    QTest::newRow("before 1970") << qint64(-1500) << QByteArray("E") << QByteArray("x");
}

void ExchangeLineTest::readsAsTheConsole()
{
    QFETCH(qint64, msecs);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    static tqx::ExchangeLine line; // shared across rows, as in a run: the cache must not leak
    const tqx::Bytes commandBytes(command.constData(), std::size_t(command.size()));
    const tqx::Bytes replyBytes(reply.constData(), std::size_t(reply.size()));
    const QString expected = tqx::exchangeTimeText(QDateTime::fromMSecsSinceEpoch(msecs)) + '\t'
            + tqx::displayText(commandBytes) + '\t' + tqx::displayText(replyBytes) + '\n';
    QCOMPARE(QString::fromStdString(line.format(msecs, commandBytes, replyBytes)), expected);
}

QTEST_GUILESS_MAIN(ExchangeLineTest)
#include "exchange_line_test.moc"
