#include "console/LogModel.h"

#include "session/DisplayText.h"

namespace tqx {

LogModel::LogModel(QObject *parent, std::size_t maxLines)
    : QAbstractListModel(parent)
    , m_maxLines(maxLines)
{
}

QColor LogModel::changedReplyColour() { return QColor(0xB0, 0x3A, 0x00); }

int LogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return displayText(line(index.row()));
    if (role == Qt::ToolTipRole) {
        const QString meaning = this->meaning(index.row());
        QString tip = displayText(line(index.row()));
        if (!meaning.isEmpty())
            tip.prepend(meaning + QLatin1Char('\n'));
        if (const QString note = this->note(index.row()); !note.isEmpty())
            tip += QLatin1Char('\n') + note;
        return tip;
    }
    if (role == Qt::ForegroundRole && m_lines[std::size_t(index.row())].noteKey != 0)
        return changedReplyColour();
    return {};
}

QString LogModel::meaning(int row) const
{
    const Line &entry = m_lines[static_cast<std::size_t>(row)];
    const ExchangeDecoder decoder(DecodeContext::unpacked(entry.context));
    switch (entry.kind) {
    case Kind::Plain:
        break;
    case Kind::Command:
        return QString::fromStdString(decoder.command(entry.bytes));
    case Kind::Reply:
        return QString::fromStdString(decoder.reply(entry.command, entry.bytes));
    }
    return {};
}

QString LogModel::note(int row) const
{
    const std::uint32_t key = m_lines[static_cast<std::size_t>(row)].noteKey;
    const auto found = key == 0 ? m_notes.end() : m_notes.find(key);
    return found == m_notes.end() ? QString() : found->second;
}

QString LogModel::copyText(int row) const
{
    const qint64 msecs = msecsSinceEpoch(row);
    QString text = msecs == 0 ? QString() : exchangeTimeText(QDateTime::fromMSecsSinceEpoch(msecs));
    text += QLatin1Char('\t') + displayText(line(row)) + QLatin1Char('\t') + meaning(row);
    if (const QString note = this->note(row); !note.isEmpty())
        text += QStringLiteral("; ") + note;
    return text;
}

void LogModel::append(const Bytes &line) { m_pending.push_back({line, {}, Kind::Plain, 0, 0, 0}); }

void LogModel::appendCommand(const Bytes &command, DecodeContext context, qint64 msecsSinceEpoch)
{
    m_pending.push_back({command, {}, Kind::Command, context.packed(), 0, msecsSinceEpoch});
}

void LogModel::appendReply(const Bytes &reply, const Bytes &command, DecodeContext context,
                           const QString &note, qint64 msecsSinceEpoch)
{
    std::uint32_t key = 0;
    if (!note.isEmpty()) {
        // Skips 0, which means no note, when the count wraps.
        key = ++m_lastNoteKey == 0 ? ++m_lastNoteKey : m_lastNoteKey;
        m_notes[key] = note;
    }
    m_pending.push_back({reply, command, Kind::Reply, context.packed(), key, msecsSinceEpoch});
}

template<typename Iterator>
void LogModel::dropNotes(Iterator first, Iterator last)
{
    if (m_notes.empty())
        return;
    for (; first != last; ++first) {
        if (first->noteKey != 0)
            m_notes.erase(first->noteKey);
    }
}

void LogModel::publish()
{
    if (m_pending.empty())
        return;

    // Only the newest lines of a batch larger than the whole log can survive it.
    std::size_t skip = 0;
    if (m_pending.size() > m_maxLines) {
        skip = m_pending.size() - m_maxLines;
        m_droppedLines += skip;
        dropNotes(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(skip));
    }
    const std::size_t incoming = m_pending.size() - skip;
    const std::size_t total = m_lines.size() + incoming;
    if (total > m_maxLines) {
        const std::size_t excess = total - m_maxLines;
        beginRemoveRows({}, 0, static_cast<int>(excess) - 1);
        dropNotes(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(excess));
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(excess));
        m_droppedLines += excess;
        endRemoveRows();
    }

    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(incoming) - 1);
    for (std::size_t i = skip; i < m_pending.size(); ++i)
        m_lines.push_back(std::move(m_pending[i]));
    endInsertRows();
    m_pending.clear();
}

void LogModel::clear()
{
    beginResetModel();
    m_lines.clear();
    m_pending.clear();
    m_notes.clear();
    m_droppedLines = 0;
    endResetModel();
}

int LogModel::rowOfLine(std::uint64_t lineIndex) const
{
    if (lineIndex < m_droppedLines || lineIndex - m_droppedLines >= m_lines.size())
        return -1;
    return static_cast<int>(lineIndex - m_droppedLines);
}

} // namespace tqx
