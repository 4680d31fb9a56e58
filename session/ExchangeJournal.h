#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"
#include "session/Exchange.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <array>
#include <cstdint>
#include <memory>

namespace tqx {

// The latest exchanges since the last Clear, with their times, kept in temporary files so that a
// long run can be saved while the on-screen logs keep only their latest lines. Recording stores
// the raw bytes and the context they were answered in; the text and the meaning are made only
// when the journal is saved, so that an exchange costs little.
//
// It keeps at most `capacity` exchanges (about 45 bytes each on disk): in a soak of days the
// oldest go, half the capacity at a time, and a saved log says how many went.
class ExchangeJournal
{
public:
    static constexpr std::uint64_t defaultCapacity = 1'000'000;

    explicit ExchangeJournal(std::uint64_t capacity = defaultCapacity);
    ~ExchangeJournal();

    void record(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                DecodeContext context = {});
    // An exchange as the session reports it: a reply that was not sent leaves its command
    // unanswered. The reply stages' note, if any, ends the reply's line.
    void record(const Exchange &exchange);
    // Bytes that left the buffer without a reply; saved as a command with an empty reply.
    void recordUnanswered(std::int64_t msecsSinceEpoch, const Bytes &bytes,
                          DecodeContext context = {});
    void clear();

    // Writes the exchanges to a text file, a line for each command and each reply, in order:
    // "<local time to the millisecond>\t<command|reply>\t<bytes escaped as the console shows
    // them>\t<what they mean>", a reply's line ending in "\t<what the reply stages did>" when
    // they did something, after a first line saying how many earlier exchanges were dropped, if
    // any were. The file is replaced only once everything is written.
    bool saveTo(const QString &path, QString *errorText);

    // Exchanges recorded since the last Clear, those kept, and those dropped to stay within
    // the capacity.
    std::uint64_t exchanges() const { return m_exchanges; }
    std::uint64_t kept() const;
    std::uint64_t dropped() const { return m_dropped; }
    std::uint64_t capacity() const { return m_capacity; }

    class Segment;

private:
    void append(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                DecodeContext context, bool unanswered, const QString &note = {});

    std::uint64_t m_capacity;
    // The older and the newer half of what is kept; when the newer one is full, the older one
    // is emptied and takes its place.
    std::array<std::unique_ptr<Segment>, 2> m_segments;
    QByteArray m_record; // reused for each exchange
    std::uint64_t m_exchanges = 0;
    std::uint64_t m_dropped = 0;
};

} // namespace tqx
