// The reply path: every reply goes through the session's reply stages, in order, and what they
// made of it is what goes out and what every record of the exchange holds.

#include "ScriptedTransport.h"

#include "session/EmulatorSession.h"
#include "session/ReplyChain.h"
#include "support/AppendingStage.h"
#include <algorithm>
#include <chrono>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using tqx::Bytes;
using tqx::EmulatorSession;
using tqx::Exchange;
using tqx::Profile;

Q_DECLARE_METATYPE(Profile)

namespace {

// The stages of a chain given as suffixes, each an AppendingStage ("" for one that does nothing).
void appendStages(tqx::ReplyChain &chain, const QStringList &suffixes,
                  std::vector<AppendingStage::Seen> *seen = nullptr)
{
    for (const QString &suffix : suffixes)
        chain.append(std::make_unique<AppendingStage>(suffix.toStdString(), seen));
}

QString text(const Bytes &bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// A session on a scripted transport that keeps every exchange it reports.
struct RecordedSession
{
    EmulatorSession session;
    ScriptedTransport *transport = new ScriptedTransport;
    std::vector<Exchange> exchanges;

    explicit RecordedSession(Profile profile = Profile::Basic)
    {
        session.setTransport(transport);
        session.setProfile(profile);
        QObject::connect(&session, &EmulatorSession::exchanged,
                         [this](const Exchange &exchange) { exchanges.push_back(exchange); });
        session.open(nullptr);
    }

    QStringList replies() const
    {
        QStringList list;
        for (const Exchange &exchange : exchanges)
            list << text(exchange.reply);
        return list;
    }

    // The journal as saved, each line split into its columns.
    QList<QList<QByteArray>> savedJournal()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("log.txt");
        QList<QList<QByteArray>> lines;
        if (!session.journal()->saveTo(path, nullptr))
            return lines;
        QFile saved(path);
        if (!saved.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray &line : saved.readAll().split('\n')) {
            if (!line.isEmpty())
                lines << line.split('\t');
        }
        return lines;
    }
};

} // namespace

class ReplyChainTest : public QObject
{
    Q_OBJECT

private slots:
    void stagesRunInOrder_data();
    void stagesRunInOrder();
    void emptyChainPassesRepliesThrough_data();
    void emptyChainPassesRepliesThrough();
    void everyRecordHoldsTheReplyThatWentOut();
    void repliesKeepTheirOrder();
    void stagesSeeTheExchange();
    void replyWithNobodyToGoToKeepsItsNote();
    void pacedLineFallsBehindBoundedly();
};

void ReplyChainTest::stagesRunInOrder_data()
{
    QTest::addColumn<QStringList>("suffixes");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("no stage") << QStringList() << "x#"
                              << "" << QStringList();
    QTest::newRow("one stage") << QStringList {"1"} << "x#1"
                               << "appended 1" << QStringList {"x#"};
    QTest::newRow("two, the second on the first's output")
            << QStringList {"1", "2"} << "x#12"
            << "appended 1; appended 2" << QStringList {"x#", "x#1"};
    QTest::newRow("a stage with nothing to say leaves no gap in the notes")
            << QStringList {"1", "", "3"} << "x#13"
            << "appended 1; appended 3" << QStringList {"x#", "x#1", "x#1"};
}

void ReplyChainTest::stagesRunInOrder()
{
    QFETCH(QStringList, suffixes);
    QFETCH(QString, reply);
    QFETCH(QString, note);
    QFETCH(QStringList, seen);
    tqx::ReplyChain chain;
    std::vector<AppendingStage::Seen> stagesSaw;
    appendStages(chain, suffixes, &stagesSaw);
    QCOMPARE(chain.isEmpty(), suffixes.isEmpty());

    Bytes bytes = "x#";
    const Bytes command = "Kx";
    QCOMPARE(chain.run(bytes, {command, 0, {}}), note);
    QCOMPARE(text(bytes), reply);
    QStringList saw;
    for (const AppendingStage::Seen &one : stagesSaw)
        saw << text(one.reply);
    QCOMPARE(saw, seen);
}

void ReplyChainTest::emptyChainPassesRepliesThrough_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("replies");
    QTest::newRow("a position") << Profile::Basic << QByteArray("E") << QStringList {"310C,0BBB#"};
    QTest::newRow("an echo of a binary byte")
            << Profile::Basic << QByteArray("K\x01", 2) << QStringList {QString("\x01#")};
    QTest::newRow("the version box emptied: nothing goes out")
            << Profile::Basic << QByteArray("V") << QStringList {""};
    QTest::newRow("several commands in one write")
            << Profile::Full << QByteArray("KaMKb") << QStringList {"a#", "#", "b#"};
}

// With no stage the interpreter's replies go out as they are, and are recorded as they are.
void ReplyChainTest::emptyChainPassesRepliesThrough()
{
    QFETCH(Profile, profile);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, replies);
    RecordedSession recorded(profile);
    if (sent == "V")
        recorded.session.setVersionReply("");
    QVERIFY(recorded.session.replyChain().isEmpty());
    recorded.transport->deliver(sent);

    QCOMPARE(QString::fromLatin1(recorded.transport->written), replies.join(QString()));
    QCOMPARE(recorded.replies(), replies);
    for (const Exchange &exchange : recorded.exchanges) {
        QVERIFY(exchange.sent);
        QCOMPARE(exchange.note, QString());
    }
    const QList<QList<QByteArray>> journal = recorded.savedJournal();
    QCOMPARE(journal.size(), 2 * replies.size());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const QList<QByteArray> &replyLine = journal.at(2 * i + 1);
        QCOMPARE(replyLine.value(1), QByteArray("reply"));
        // No stage, no note: the reply line keeps its four columns.
        QCOMPARE(replyLine.size(), 4);
    }
}

// A stage that changes the reply: the client gets the changed bytes, and the record the session
// reports and the saved journal hold them with the stage's note.
void ReplyChainTest::everyRecordHoldsTheReplyThatWentOut()
{
    RecordedSession recorded;
    appendStages(recorded.session.replyChain(), {"!"});
    recorded.transport->deliver("E");

    QCOMPARE(recorded.transport->written, QByteArray("310C,0BBB#!"));
    QCOMPARE(recorded.exchanges.size(), std::size_t(1));
    const Exchange &exchange = recorded.exchanges.front();
    QCOMPARE(text(exchange.command), QString("E"));
    QCOMPARE(text(exchange.reply), QString("310C,0BBB#!"));
    QCOMPARE(exchange.note, QString("appended !"));
    QVERIFY(exchange.sent);

    const QList<QList<QByteArray>> journal = recorded.savedJournal();
    QCOMPARE(journal.size(), 2);
    QCOMPARE(journal.at(0).value(2), QByteArray("E"));
    QCOMPARE(journal.at(0).size(), 4);
    QCOMPARE(journal.at(1).value(1), QByteArray("reply"));
    QCOMPARE(journal.at(1).value(2), QByteArray("310C,0BBB#!"));
    QCOMPARE(journal.at(1).value(4), QByteArray("appended !"));
}

// Commands answered in one arrival go out, and are recorded, in the order they were answered,
// each through the whole chain.
void ReplyChainTest::repliesKeepTheirOrder()
{
    RecordedSession recorded(Profile::Full);
    std::vector<AppendingStage::Seen> seen;
    appendStages(recorded.session.replyChain(), {"1", "2"}, &seen);
    recorded.transport->deliver("KaKbKc");

    QCOMPARE(recorded.transport->written, QByteArray("a#12b#12c#12"));
    QCOMPARE(recorded.replies(), QStringList({"a#12", "b#12", "c#12"}));
    QStringList stageOrder;
    for (const AppendingStage::Seen &one : seen)
        stageOrder << text(one.command) + " " + text(one.reply);
    QCOMPARE(stageOrder, QStringList({"Ka a#", "Ka a#1", "Kb b#", "Kb b#1", "Kc c#", "Kc c#1"}));
    QStringList journalReplies;
    for (const QList<QByteArray> &line : recorded.savedJournal()) {
        if (line.value(1) == "reply")
            journalReplies << QString::fromLatin1(line.value(2));
    }
    QCOMPARE(journalReplies, recorded.replies());
}

// A stage knows which exchange it handles: the command, when it was answered, in which profile.
void ReplyChainTest::stagesSeeTheExchange()
{
    RecordedSession recorded(Profile::Full);
    std::vector<AppendingStage::Seen> seen;
    appendStages(recorded.session.replyChain(), {""}, &seen);
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    recorded.transport->deliver("Kq");
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(text(seen.front().command), QString("Kq"));
    QCOMPARE(seen.front().profile, Profile::Full);
    QVERIFY(seen.front().msecsSinceEpoch >= before && seen.front().msecsSinceEpoch <= after);
    QCOMPARE(recorded.exchanges.front().msecsSinceEpoch, seen.front().msecsSinceEpoch);
    QCOMPARE(recorded.exchanges.front().profile(), Profile::Full);
}

// A reply the stages made for a client that had gone: nothing goes out, the record says it was
// not sent, and the journal keeps the command as unanswered with the stages' note.
void ReplyChainTest::replyWithNobodyToGoToKeepsItsNote()
{
    RecordedSession recorded;
    appendStages(recorded.session.replyChain(), {"!"});
    recorded.transport->clientGone = true;
    recorded.transport->deliver("Kx");

    QCOMPARE(recorded.transport->written, QByteArray());
    QCOMPARE(recorded.exchanges.size(), std::size_t(1));
    QVERIFY(!recorded.exchanges.front().sent);
    QCOMPARE(text(recorded.exchanges.front().reply), QString("x#!"));
    const QList<QList<QByteArray>> journal = recorded.savedJournal();
    QCOMPARE(journal.size(), 2);
    QCOMPARE(journal.at(0).value(2), QByteArray("Kx"));
    QCOMPARE(journal.at(1).value(3), QByteArray("no reply"));
    QCOMPARE(journal.at(1).value(4), QByteArray("appended !"));
}

// A client that writes faster than a paced line carries: the line falls behind by at most the
// bound, and the replies beyond it are recorded as not sent instead of piling up.
void ReplyChainTest::pacedLineFallsBehindBoundedly()
{
    RecordedSession x;
    x.session.setLineTiming(tqx::LineTiming::Real);
    // The pacer's clock never moves, so nothing leaves the queue.
    x.session.pacer().setClock([] { return std::chrono::nanoseconds(0); });
    const int exchanges = int(EmulatorSession::maxPacedBytes / 2) + 100;
    for (int i = 0; i < exchanges; ++i)
        x.transport->deliver("Ka");
    QCOMPARE(int(x.exchanges.size()), exchanges);
    QVERIFY(x.session.pacer().pendingBytes() <= EmulatorSession::maxPacedBytes);
    const auto notSent
            = std::count_if(x.exchanges.begin(), x.exchanges.end(),
                            [](const tqx::Exchange &exchange) { return !exchange.sent; });
    QCOMPARE(int(notSent), exchanges - int(EmulatorSession::maxPacedBytes / 2));
    QVERIFY(x.exchanges.front().sent);
    QVERIFY(!x.exchanges.back().sent);
}

QTEST_GUILESS_MAIN(ReplyChainTest)
#include "reply_chain_test.moc"
