#include "rtf/RtfReader.h"

#include "rtf/Logging.h"

#include "rtf/RtfParser.h"

#include <QFile>
#include <QTextCursor>
#include <QTextDocument>

#include <string_view>

namespace tqx {

namespace {

constexpr std::string_view whiteSpace = " \t\r\n";
constexpr std::string_view rtfStart = "{\\rtf";

bool startsLikeRtf(std::string_view data)
{
    const std::size_t start = data.find_first_not_of(whiteSpace);
    return start != std::string_view::npos && data.substr(start).starts_with(rtfStart);
}

QString notRtfError() { return QStringLiteral("The file is not an RTF document."); }

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

bool RtfReader::read(const QByteArray &rtf, QTextDocument *document, QString *error,
                     const std::atomic<bool> *cancelled)
{
    const bool undoWasEnabled = document->isUndoRedoEnabled();
    // Building a document records every edit for undo unless told not to; a read is not an edit.
    document->setUndoRedoEnabled(false);
    document->clear();

    const std::string_view data(rtf.constData(), std::size_t(rtf.size()));
    bool ok = false;
    if (!startsLikeRtf(data)) {
        setError(error, notRtfError());
    } else {
        // Outside an edit block every insertion makes the cursor find its place on the laid-out
        // line, which lays out the whole paragraph again: reading a long paragraph in many runs
        // of text would take time in the square of its length. Inside one, the document is only
        // told of the change at the end.
        QTextCursor edit(document);
        edit.beginEditBlock();
        RtfParser parser(data, document, cancelled);
        ok = parser.parse(error);
        edit.endEditBlock();
        if (!ok)
            document->clear();
    }
    document->setModified(false);
    document->setUndoRedoEnabled(undoWasEnabled);
    return ok;
}

bool RtfReader::readFile(const QString &path, QTextDocument *document, QString *error,
                         const std::atomic<bool> *cancelled)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        document->clear();
        setError(error, file.errorString());
        return false;
    }
    const QByteArray rtf = file.readAll();
    qCDebug(lcRtf).noquote() << "read" << rtf.size() << "bytes of" << path;
    if (file.error() != QFileDevice::NoError) {
        document->clear();
        setError(error, file.errorString());
        return false;
    }
    return read(rtf, document, error, cancelled);
}

bool RtfReader::mayStartRtf(QByteArrayView head, QString *error)
{
    const std::string_view data(head.data(), std::size_t(head.size()));
    const std::size_t start = data.find_first_not_of(whiteSpace);
    // White space alone says nothing yet; what follows it may still be the document.
    if (start == std::string_view::npos)
        return true;
    const std::string_view rest = data.substr(start, rtfStart.size());
    if (rtfStart.starts_with(rest))
        return true;
    setError(error, notRtfError());
    return false;
}

} // namespace tqx
