#pragma once

#include "Bytes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryFile>

#include <cstdint>

namespace tqx {

// Every exchange since the last Clear, commands and replies interleaved with their times, kept
// in a temporary file so that a long run can be saved whole while the on-screen logs keep only
// their latest lines.
class ExchangeJournal
{
public:
    ExchangeJournal();

    void record(const QDateTime &time, const Bytes &command, const Bytes &reply);
    void clear();
    // Writes the journal to a file, replacing it only once everything is written.
    bool saveTo(const QString &path, QString *errorText);

    std::uint64_t exchanges() const { return m_exchanges; }
    // The journal's text: a line per command and a line per reply, each
    // "<time>\t<command|reply>\t<bytes escaped as the console shows them>".
    QByteArray text();

private:
    void append(const QByteArray &line);

    QTemporaryFile m_file;
    bool m_onDisk = false;
    QByteArray m_memory; // used only when no temporary file can be made
    std::uint64_t m_exchanges = 0;
};

} // namespace tqx
