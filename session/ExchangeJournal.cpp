#include "session/ExchangeJournal.h"

#include "session/DisplayText.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <limits>

namespace tqx {

namespace {

// How each exchange is stored: this header, then the command's bytes, the reply's and the reply
// stages' note (UTF-8, mostly none: it fits in the header's padding).
struct RecordHeader
{
    std::int64_t msecsSinceEpoch;
    std::uint32_t commandSize;
    std::uint32_t replySize;
    std::uint8_t context; // DecodeContext::packed()
    std::uint8_t unanswered;
    std::uint16_t noteSize;
};
static_assert(sizeof(RecordHeader) == 24, "a note costs an exchange without one nothing");

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
        const QByteArray note = in.read(header.noteSize);
        if (command.size() != qsizetype(header.commandSize)
            || reply.size() != qsizetype(header.replySize)
            || note.size() != qsizetype(header.noteSize))
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
                + '\t' + replyMeaning + (note.isEmpty() ? QByteArray() : '\t' + note) + '\n';
        if (out.write(lines) != lines.size())
            return false;
    }
    return true;
}

} // namespace

// Half of what the journal keeps: a temporary file, or memory once the file refused a write
// (a full temporary folder), so that the records stay in order.
class ExchangeJournal::Segment
{
public:
    Segment()
    {
        m_file.setFileTemplate(QDir::tempPath() + QStringLiteral("/tqx-orbivo-journal-XXXXXX"));
        m_onDisk = m_file.open();
    }

    void append(const QByteArray &record)
    {
        if (!m_onDisk || !m_memory.isEmpty() || m_file.write(record) != record.size())
            m_memory.append(record);
        ++m_records;
    }

    void clear()
    {
        m_memory = QByteArray();
        m_records = 0;
        if (m_onDisk) {
            m_file.resize(0);
            m_file.seek(0);
        }
    }

    bool writeTextTo(QIODevice &out)
    {
        bool written = true;
        if (m_onDisk) {
            const qint64 end = m_file.pos();
            m_file.seek(0);
            written = writeText(m_file, out);
            m_file.seek(end);
        }
        QBuffer memory(&m_memory);
        return written && memory.open(QIODevice::ReadOnly) && writeText(memory, out);
    }

    std::uint64_t records() const { return m_records; }

private:
    QTemporaryFile m_file;
    bool m_onDisk = false;
    QByteArray m_memory;
    std::uint64_t m_records = 0;
};

ExchangeJournal::ExchangeJournal(std::uint64_t capacity)
    : m_capacity(std::max<std::uint64_t>(capacity, 2))
{
    for (auto &segment : m_segments)
        segment = std::make_unique<Segment>();
}

ExchangeJournal::~ExchangeJournal() = default;

void ExchangeJournal::record(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                             DecodeContext context)
{
    append(msecsSinceEpoch, command, reply, context, false);
}

void ExchangeJournal::record(const Exchange &exchange)
{
    append(exchange.msecsSinceEpoch, exchange.command, exchange.sent ? exchange.reply : Bytes(),
           exchange.context, !exchange.sent, exchange.note);
}

void ExchangeJournal::recordUnanswered(std::int64_t msecsSinceEpoch, const Bytes &bytes,
                                       DecodeContext context)
{
    append(msecsSinceEpoch, bytes, Bytes(), context, true);
}

void ExchangeJournal::append(std::int64_t msecsSinceEpoch, const Bytes &command, const Bytes &reply,
                             DecodeContext context, bool unanswered, const QString &note)
{
    // A note longer than the header can say is cut: it is a few words for the log.
    const QByteArray noteText = note.isEmpty()
            ? QByteArray()
            : note.toUtf8().left(std::numeric_limits<std::uint16_t>::max());
    RecordHeader header {};
    header.msecsSinceEpoch = msecsSinceEpoch;
    header.commandSize = static_cast<std::uint32_t>(command.size());
    header.replySize = static_cast<std::uint32_t>(reply.size());
    header.context = context.packed();
    header.unanswered = unanswered ? 1 : 0;
    header.noteSize = static_cast<std::uint16_t>(noteText.size());
    m_record.clear();
    m_record.append(reinterpret_cast<const char *>(&header), sizeof header);
    m_record.append(command.data(), static_cast<qsizetype>(command.size()));
    m_record.append(reply.data(), static_cast<qsizetype>(reply.size()));
    m_record.append(noteText);

    if (m_segments[1]->records() >= m_capacity / 2) {
        m_dropped += m_segments[0]->records();
        m_segments[0]->clear();
        std::swap(m_segments[0], m_segments[1]);
    }
    m_segments[1]->append(m_record);
    ++m_exchanges;
}

std::uint64_t ExchangeJournal::kept() const
{
    return m_segments[0]->records() + m_segments[1]->records();
}

void ExchangeJournal::clear()
{
    for (auto &segment : m_segments)
        segment->clear();
    m_exchanges = 0;
    m_dropped = 0;
}

bool ExchangeJournal::saveTo(const QString &path, QString *errorText)
{
    QSaveFile out(path);
    bool written = out.open(QIODevice::WriteOnly);
    if (written && m_dropped > 0) {
        const QByteArray note = QStringLiteral("# %1 earlier exchanges were dropped: the log "
                                               "keeps at most the latest %2\n")
                                        .arg(m_dropped)
                                        .arg(m_capacity)
                                        .toUtf8();
        written = out.write(note) == note.size();
    }
    for (auto &segment : m_segments)
        written = written && segment->writeTextTo(out);
    written = written && out.commit();
    if (!written && errorText)
        *errorText = out.errorString();
    return written;
}

} // namespace tqx
