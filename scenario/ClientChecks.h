#pragma once

#include "emulation/ExchangeDecoder.h"
#include "scenario/Scenario.h"
#include "session/Exchange.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <deque>
#include <map>
#include <vector>

namespace tqx {

// One thing the client did on the line that the hand control does not expect.
struct Finding
{
    QString check; // one of ClientChecks::checkNames()
    qint64 atMs = 0; // since the start of the run
    QString what; // what the client did
    QString expected; // what the hand control expects of it
};

// Watches how the client under test behaves on the line, whatever the scenario checks besides:
// commands sent before the previous reply (pipelining), bytes that are no command, commands left
// half-sent, malformed positions and frames, polling faster than a set rate, impossible dates
// and offsets, a goto sent while one is under way without M, and replies read short. Each
// finding says what the client did, when, and what the hand control expects.
//
// It keeps the first few findings of each check and counts the rest, so that a client that
// does the same wrong thing all night costs no more than one that does it once.
class ClientChecks
{
public:
    static constexpr int keptPerCheck = 10;
    static constexpr std::size_t maxQueriesWatched = 256;

    explicit ClientChecks(ClientCheckSettings settings = {});

    static const QStringList &checkNames();

    // An answered command, at `atMs` since the start; `gotoUnderWay` is whether the mount was
    // in a goto just before the command came.
    void exchanged(qint64 atMs, const Exchange &exchange, bool gotoUnderWay);
    // Bytes that left the buffer without a reply.
    void unanswered(qint64 atMs, const QByteArray &bytes, const DecodeContext &context,
                    const QString &reason);
    // The client has left `unread` bytes of the replies unread for `idleMs` since the reply to
    // `lastCommand` went out, while sending nothing: it reads its replies short.
    void repliesLeftUnread(qint64 atMs, long long unread, const QByteArray &lastCommand,
                           qint64 idleMs);
    // A new client starts with nothing owed to it.
    void clientConnected();

    // The findings kept, in the order they were made.
    const std::vector<Finding> &findings() const { return m_findings; }
    // How many times each check found something, kept or not.
    int count(const QString &check) const { return m_counts.value(check); }
    int total() const;
    const ClientCheckSettings &settings() const { return m_settings; }

private:
    void find(const QString &check, qint64 atMs, const QString &what);
    void checkPolling(qint64 atMs, const QByteArray &command);
    void checkDateTime(qint64 atMs, const QByteArray &command);
    void checkGoto(qint64 atMs, const QByteArray &command, const DecodeContext &context,
                   bool gotoUnderWay);

    ClientCheckSettings m_settings;
    std::vector<Finding> m_findings;
    QHash<QString, int> m_counts;
    // When each query was last sent, over the last second, to tell its polling rate.
    std::map<QByteArray, std::deque<qint64>> m_queryTimes;
    QHash<QByteArray, bool> m_pollingReported;
    // The client's last goto, until it aborted it or saw it end.
    bool m_gotoOwed = false;
    QByteArray m_lastGoto;
    qint64 m_lastGotoMs = 0;
};

// A command or reply as a report shows it: printable bytes as they are, others as \xNN.
QString shownBytes(const QByteArray &bytes);

} // namespace tqx
