// The libraries' logging categories: silent by default, and what the session does on standard
// error once a user switches them on.

#include "support/ChildProcess.h"

#include <QTest>

#include <csignal>

namespace {

constexpr int deadlineMs = 10000;

QString programUnderTest() { return qEnvironmentVariable("TQX_TEST_EXECUTABLE", TQX_EXECUTABLE); }

} // namespace

class LoggingTest : public QObject
{
    Q_OBJECT

private slots:
    void categories_data();
    void categories();
};

void LoggingTest::categories_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("offByDefault") << QString() << QStringList() << QStringList {"tqx."};
    QTest::newRow("everyLibrary") << QStringLiteral("tqx.*.debug=true")
                                  << QStringList {"tqx.app: headless on tcp:0",
                                                  "tqx.session: opened TCP 127.0.0.1:",
                                                  "tqx.session: closing TCP 127.0.0.1:"}
                                  << QStringList();
    QTest::newRow("theSessionAlone")
            << QStringLiteral("tqx.session.debug=true") << QStringList {"tqx.session: opened"}
            << QStringList {"tqx.app"};
}

void LoggingTest::categories()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, absent);
    Pipe output;
    Pipe errors;
    ChildProcess process;
    QVERIFY(process.start(programUnderTest(), {"--headless", "--port", "tcp:0"},
                          {QStringLiteral("QT_LOGGING_RULES=") + rules}, output.writeEnd(),
                          errors.writeEnd()));
    output.closeWriteEnd();
    errors.closeWriteEnd();
    QVERIFY(!output.readLine(deadlineMs).isEmpty());
    process.sendSignal(SIGTERM);
    QCOMPARE(process.waitForExit(deadlineMs), 0);
    QByteArray text;
    for (QByteArray line = errors.readLine(deadlineMs); !line.isEmpty();
         line = errors.readLine(deadlineMs))
        text += line + '\n';
    for (const QString &line : expected)
        QVERIFY2(text.contains(line.toUtf8()), text.constData());
    for (const QString &line : absent)
        QVERIFY2(!text.contains(line.toUtf8()), text.constData());
}

QTEST_GUILESS_MAIN(LoggingTest)
#include "logging_test.moc"
