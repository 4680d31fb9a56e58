#include "ExchangeJournal.h"

#include "DisplayText.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>

namespace tqx {

ExchangeJournal::ExchangeJournal()
{
    m_file.setFileTemplate(QDir::tempPath() + QStringLiteral("/tqx-orbivo-journal-XXXXXX"));
    m_onDisk = m_file.open();
}

void ExchangeJournal::record(const QDateTime &time, const Bytes &command, const Bytes &reply)
{
    const QByteArray when = exchangeTimeText(time).toUtf8();
    append(when + "\tcommand\t" + displayText(command).toUtf8() + '\n');
    append(when + "\treply\t" + displayText(reply).toUtf8() + '\n');
    ++m_exchanges;
}

void ExchangeJournal::append(const QByteArray &line)
{
    if (m_onDisk && m_file.write(line) == line.size())
        return;
    m_memory += line;
}

void ExchangeJournal::clear()
{
    m_memory.clear();
    m_exchanges = 0;
    if (m_onDisk) {
        m_file.resize(0);
        m_file.seek(0);
    }
}

QByteArray ExchangeJournal::text()
{
    QByteArray all;
    if (m_onDisk) {
        m_file.flush();
        const qint64 end = m_file.pos();
        m_file.seek(0);
        all = m_file.read(end);
        m_file.seek(end);
    }
    return all + m_memory;
}

bool ExchangeJournal::saveTo(const QString &path, QString *errorText)
{
    QSaveFile out(path);
    bool written = out.open(QIODevice::WriteOnly);
    if (written && m_onDisk) {
        // Copied in pieces: a long run's journal need not fit in memory twice.
        m_file.flush();
        const qint64 end = m_file.pos();
        m_file.seek(0);
        while (written && m_file.pos() < end) {
            const QByteArray piece = m_file.read(std::min<qint64>(1 << 20, end - m_file.pos()));
            written = !piece.isEmpty() && out.write(piece) == piece.size();
        }
        m_file.seek(end);
    }
    written = written && out.write(m_memory) == m_memory.size() && out.commit();
    if (!written && errorText)
        *errorText = out.errorString();
    return written;
}

} // namespace tqx
