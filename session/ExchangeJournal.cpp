#include "session/ExchangeJournal.h"

#include "session/DisplayText.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>

namespace tqx {

namespace {

// How each exchange is stored: this header, then the command's bytes, then the reply's.
struct RecordHeader
{
    std::int64_t msecsSinceEpoch;
    std::uint32_t commandSize;
    std::uint32_t replySize;
    std::uint8_t context; // DecodeContext::packed()
    std::uint8_t unanswered;
};

QByteArray fromStd(const std::string &text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Reads the stored exchanges from `in` and writes them as text to `out`.
bool writeText(QIODevice &in, QIODevice &out)
{
    RecordHeader header {};
    while (in.read(reinterpret_cast<char *>(&header), sizeof header) == sizeof header) {
        const QByteArray command = in.read(header.commandSize);
        const QByteArray reply = in.read(header.replySize);
        if (command.size() != qsizetype(header.commandSize)
            || reply.size() != qsizetype(header.replySize))
            return false;
        const QByteArray when
                = exchangeTimeText(QDateTime::fromMSecsSinceEpoch(header.msecsSinceEpoch)).toUtf8();
        const Bytes commandBytes = command.toStdString();
        const Bytes replyBytes = reply.toStdString();
        const ExchangeDecoder decoder(DecodeContext::unpacked(header.context));
        const QByteArray commandMeaning
                = fromStd(header.unanswered ? decoder.unanswered(commandBytes)
                                            : decoder.command(commandBytes));
        const QByteArray replyMeaning
                = fromStd(header.unanswered ? "no reply" : decoder.reply(commandBytes, replyBytes));
        const QByteArray lines = when + "\tcommand\t" + displayText(commandBytes).toUtf8() + '\t'
                + commandMeaning + '\n' + when + "\treply\t" + displayText(replyBytes).toUtf8()
                + '\t' + replyMeaning + '\n';
        if (out.write(lines) != lines.size())
            return false;
    }
    return true;
}

} // namespace

ExchangeJournal::ExchangeJournal()
{
    m_file.setFileTemplate(QDir::tempPath() + QStringLiteral("/tqx-orbivo-journal-XXXXXX"));
    m_onDisk = m_file.open();
}

void ExchangeJournal::record(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                             DecodeContext context)
{
    append(msecsSinceEpoch, command, reply, context, false);
}

void ExchangeJournal::recordUnanswered(std::int64_t msecsSinceEpoch, const Bytes &bytes,
                                       DecodeContext context)
{
    append(msecsSinceEpoch, bytes, Bytes(), context, true);
}

void ExchangeJournal::append(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                             DecodeContext context, bool unanswered)
{
    RecordHeader header {};
    header.msecsSinceEpoch = msecsSinceEpoch;
    header.commandSize = static_cast<std::uint32_t>(command.size());
    header.replySize = static_cast<std::uint32_t>(reply.size());
    header.context = context.packed();
    header.unanswered = unanswered ? 1 : 0;
    m_record.clear();
    m_record.append(reinterpret_cast<const char *>(&header), sizeof header);
    m_record.append(command.data(), static_cast<qsizetype>(command.size()));
    m_record.append(reply.data(), static_cast<qsizetype>(reply.size()));
    // Once the file has refused a write, everything from there on is kept in memory, so that
    // the records stay in order.
    if (!m_onDisk || !m_memory.isEmpty() || m_file.write(m_record) != m_record.size())
        m_memory.append(m_record);
    ++m_exchanges;
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

bool ExchangeJournal::saveTo(const QString &path, QString *errorText)
{
    QSaveFile out(path);
    bool written = out.open(QIODevice::WriteOnly);
    if (written && m_onDisk) {
        const qint64 end = m_file.pos();
        m_file.seek(0);
        written = writeText(m_file, out);
        m_file.seek(end);
    }
    if (written) {
        QBuffer memory(&m_memory);
        written = memory.open(QIODevice::ReadOnly) && writeText(memory, out);
    }
    written = written && out.commit();
    if (!written && errorText)
        *errorText = out.errorString();
    return written;
}

} // namespace tqx
