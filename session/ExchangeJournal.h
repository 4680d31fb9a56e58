#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <cstdint>

namespace tqx {

// Every exchange since the last Clear, with its time, kept in a temporary file so that a long run
// can be saved whole while the on-screen logs keep only their latest lines. Recording stores the
// raw bytes and the context they were answered in; the text and the meaning are made only when
// the journal is saved, so that an exchange costs little.
class ExchangeJournal
{
public:
    ExchangeJournal();

    void record(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                DecodeContext context = {});
    // Bytes that left the buffer without a reply; saved as a command with an empty reply.
    void recordUnanswered(std::int64_t msecsSinceEpoch, const Bytes &bytes,
                          DecodeContext context = {});
    void clear();

    // Writes the exchanges to a text file, a line for each command and each reply, in order:
    // "<local time to the millisecond>\t<command|reply>\t<bytes escaped as the console shows
    // them>\t<what they mean>". The file is replaced only once everything is written.
    bool saveTo(const QString &path, QString *errorText);

    std::uint64_t exchanges() const { return m_exchanges; }

private:
    void append(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                DecodeContext context, bool unanswered);

    QTemporaryFile m_file;
    bool m_onDisk = false;
    QByteArray m_memory; // used only when the temporary file cannot be written
    QByteArray m_record; // reused for each exchange
    std::uint64_t m_exchanges = 0;
};

} // namespace tqx
