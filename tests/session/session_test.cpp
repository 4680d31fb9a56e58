// The session's signals, driven through a scripted transport.

#include "ScriptedTransport.h"
#include "session/EmulatorSession.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tqx::Bytes;
using tqx::EmulatorSession;

namespace {

// Every signal of the session, in order, as text.
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(EmulatorSession &session)
    {
        auto text = [](const Bytes &bytes) {
            return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
        };
        // An exchange reports its command and its reply at once, after the reply went out.
        connect(&session, &EmulatorSession::exchanged, this,
                [this, text](const tqx::Exchange &exchange) {
                    events << "command " + text(exchange.command);
                    if (!exchange.sent) {
                        events << "not sent " + text(exchange.command) + " -> "
                                        + text(exchange.reply);
                        return;
                    }
                    events << "reply " + text(exchange.command) + " -> " + text(exchange.reply);
                    times << exchange.msecsSinceEpoch;
                });
        connect(&session, &EmulatorSession::commandSelected, this,
                [this](quint64 index) { events << QString("command selected %1").arg(index); });
        connect(&session, &EmulatorSession::commandCountChanged, this,
                [this](const QString &count) { events << "commands " + count; });
        connect(&session, &EmulatorSession::commandLogCleared, this,
                [this] { events << "commands cleared"; });
        connect(&session, &EmulatorSession::replySelected, this,
                [this](quint64 index) { events << QString("reply selected %1").arg(index); });
        connect(&session, &EmulatorSession::replyCountChanged, this,
                [this](const QString &count) { events << "replies " + count; });
        connect(&session, &EmulatorSession::replyLogCleared, this,
                [this] { events << "replies cleared"; });
        connect(&session, &EmulatorSession::bufferChanged, this,
                [this, text](const Bytes &buffer, quint64) { events << "buffer " + text(buffer); });
        connect(&session, &EmulatorSession::clientLeft, this, [this] { events << "client left"; });
        connect(&session, &EmulatorSession::portFailed, this,
                [this](const QString &error) { events << "failed " + error; });
    }

    QStringList taken() { return std::exchange(events, {}); }

    QStringList events;
    QList<qint64> times;
};

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void exchangeIsReportedInOrder();
    void versionReplyFollowsTheSetter();
    void clientLeavingEmptiesTheBuffer();
    void resetAndClear();
    void savedLogSaysWhatEachExchangeMeant();
    void failures_data();
    void failures();
    void replyWithNobodyToGoToIsNotLoggedAsSent();
    void journalKeepsTheLatestExchanges_data();
    void journalKeepsTheLatestExchanges();
};

void SessionTest::exchangeIsReportedInOrder()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    SignalRecorder recorder(session);
    QVERIFY(session.open(nullptr));
    QVERIFY(session.isOpen());
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    transport->deliver("E");
    QCOMPARE(transport->written, QByteArray("310C,0BBB#"));
    QCOMPARE(recorder.taken(),
             QStringList({"command selected 0", "commands 1", "command E", "reply E -> 310C,0BBB#",
                          "reply selected 0", "replies 1", "buffer "}));
    QVERIFY(recorder.times.at(0) >= before);
    QCOMPARE(session.journal()->exchanges(), quint64(1));
}

void SessionTest::versionReplyFollowsTheSetter()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    QVERIFY(session.open(nullptr));
    transport->deliver("V");
    session.setVersionReply("41");
    transport->deliver("V");
    QCOMPARE(transport->written, QByteArray("2241"));
}

// A client that leaves in the middle of a command leaves nothing for the next one.
void SessionTest::clientLeavingEmptiesTheBuffer()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    SignalRecorder recorder(session);
    QVERIFY(session.open(nullptr));
    transport->deliver("R34A");
    QCOMPARE(session.interpreter().CommandBuffer(), Bytes("R34A"));
    recorder.taken();
    emit transport->clientLeft();
    QCOMPARE(recorder.taken(), QStringList({"buffer ", "client left"}));
    transport->deliver("Kx");
    QCOMPARE(transport->written, QByteArray("x#"));
}

void SessionTest::resetAndClear()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    QVERIFY(session.open(nullptr));
    transport->deliver("E");
    transport->deliver("?");
    SignalRecorder recorder(session);
    session.resetBuffer();
    QCOMPARE(recorder.taken(), QStringList({"buffer "}));
    session.clearLogs();
    const QStringList cleared = recorder.taken();
    QVERIFY(cleared.contains("commands cleared") && cleared.contains("replies cleared"));
    QCOMPARE(session.journal()->exchanges(), quint64(0));
}

// Each exchange is read in the context it was answered in, even after the profile changed.
void SessionTest::savedLogSaysWhatEachExchangeMeant()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    QVERIFY(session.open(nullptr));
    const QByteArray versionQuery("P\x01\x10\xfe\x00\x00\x00\x02", 8);
    transport->deliver(versionQuery);
    session.setProfile(tqx::Profile::Full);
    transport->deliver(versionQuery);
    // An unknown command in the full profile is dropped when the profile changes.
    transport->deliver("Qx");
    session.setProfile(tqx::Profile::Basic);

    QTemporaryDir folder;
    const QString path = folder.filePath("log.txt");
    QString errorText;
    QVERIFY2(session.journal()->saveTo(path, &errorText), qPrintable(errorText));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QStringList meanings;
    for (const QByteArray &line : saved.readAll().split('\n')) {
        if (!line.isEmpty())
            meanings << QString::fromUtf8(line.split('\t').value(3));
    }
    QCOMPARE(meanings,
             QStringList({"pass-through to the RA motor: get firmware version (2 bytes)",
                          "acknowledged; the basic profile sends no data",
                          "pass-through to the RA motor: get firmware version (2 bytes)",
                          "version 7.15", "unanswered: unknown command", "no reply"}));
}

void SessionTest::failures_data()
{
    QTest::addColumn<bool>("onWrite");
    QTest::newRow("the transport fails") << false;
    QTest::newRow("a reply cannot be written") << true;
}

void SessionTest::failures()
{
    QFETCH(bool, onWrite);
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    SignalRecorder recorder(session);
    QVERIFY(session.open(nullptr));
    if (onWrite) {
        transport->refuseWrites = true;
        transport->deliver("E");
    } else {
        transport->close(nullptr);
        emit transport->failed("the line is gone");
    }
    QVERIFY(recorder.taken().contains("failed the line is gone"));
    QVERIFY(!session.isOpen());
}

// A reply the transport had nobody to send to is not an answered exchange: the session says it
// was not sent, and the journal keeps the command as unanswered.
void SessionTest::replyWithNobodyToGoToIsNotLoggedAsSent()
{
    EmulatorSession session;
    auto *transport = new ScriptedTransport;
    session.setTransport(transport);
    QVERIFY(session.open(nullptr));
    SignalRecorder recorder(session);
    transport->deliver("E");
    transport->clientGone = true;
    transport->deliver("Kx");
    const QStringList events = recorder.taken();
    QVERIFY2(events.contains("reply E -> 310C,0BBB#"), qPrintable(events.join(", ")));
    QVERIFY2(events.contains("not sent Kx -> x#"), qPrintable(events.join(", ")));
    QVERIFY(!events.contains("reply Kx -> x#"));
    QCOMPARE(transport->written, QByteArray("310C,0BBB#"));

    QTemporaryDir folder;
    const QString path = folder.filePath("log.txt");
    QVERIFY(session.journal()->saveTo(path, nullptr));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines.value(2).split('\t').value(2), QByteArray("Kx"));
    QCOMPARE(lines.value(3).split('\t').value(3), QByteArray("no reply"));
}

void SessionTest::journalKeepsTheLatestExchanges_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("recorded");
    QTest::addColumn<int>("dropped");
    QTest::newRow("within the capacity") << 10 << 10 << 0;
    QTest::newRow("one past it") << 10 << 11 << 5;
    QTest::newRow("many times over") << 10 << 103 << 95;
    QTest::newRow("an odd capacity") << 7 << 20 << 15;
}

// A soak of days does not fill the disk: the journal drops its oldest half when full, and a saved
// log says how many went.
void SessionTest::journalKeepsTheLatestExchanges()
{
    QFETCH(int, capacity);
    QFETCH(int, recorded);
    QFETCH(int, dropped);
    tqx::ExchangeJournal journal {quint64(capacity)};
    for (int i = 0; i < recorded; ++i)
        journal.record(i, "K" + std::to_string(i), std::to_string(i) + "#");
    QCOMPARE(journal.exchanges(), quint64(recorded));
    QCOMPARE(journal.dropped(), quint64(dropped));
    QCOMPARE(journal.kept(), quint64(recorded - dropped));
    QVERIFY(journal.kept() <= quint64(capacity));

    QTemporaryDir folder;
    const QString path = folder.filePath("log.txt");
    QVERIFY(journal.saveTo(path, nullptr));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = saved.readAll().split('\n');
    lines.removeAll(QByteArray());
    if (dropped > 0) {
        QCOMPARE(lines.takeFirst(),
                 QString("# %1 earlier exchanges were dropped: the log keeps at most the latest %2")
                         .arg(dropped)
                         .arg(capacity)
                         .toUtf8());
    }
    QCOMPARE(lines.size(), 2 * (recorded - dropped));
    QCOMPARE(lines.first().split('\t').value(2), "K" + QByteArray::number(dropped));
    QCOMPARE(lines.last().split('\t').value(2), QByteArray::number(recorded - 1) + "#");

    journal.clear();
    QCOMPARE(journal.dropped(), quint64(0));
    QCOMPARE(journal.kept(), quint64(0));
}

QTEST_GUILESS_MAIN(SessionTest)
#include "session_test.moc"
