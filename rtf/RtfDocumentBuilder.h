#pragma once

#include "rtf/RtfTableBuilder.h"

#include <QTextCursor>

class QString;
class QTextBlockFormat;
class QTextCharFormat;
class QTextDocument;

namespace tqx {

// Appends formatted text, paragraphs and tables to a QTextDocument in reading order.
//
// An RTF paragraph ends with \par, and its properties are those in force at that point, so a
// block is formatted when it ends. The new block is only opened when more content arrives: that
// way the \par closing a document or preceding a table adds no empty paragraph.
class RtfDocumentBuilder
{
public:
    explicit RtfDocumentBuilder(QTextDocument *document);

    RtfTableBuilder &table() { return m_table; }

    void insertText(const QString &text, const QTextCharFormat &format, bool inTable);
    // `marker` is the format of the paragraph mark, which sets the height of an empty paragraph.
    void endParagraph(const QTextBlockFormat &format, const QTextCharFormat &marker, bool inTable);
    // The paragraph after the current one starts a new page.
    void breakPage();
    void endCell(const QTextBlockFormat &format, const QTextCharFormat &marker);
    void endRow();
    // Formats the last paragraph if no \par ended it.
    void finish(const QTextBlockFormat &format, const QTextCharFormat &marker);

private:
    void enter(bool inTable);
    void openParagraph();
    void formatParagraph(QTextBlockFormat format, const QTextCharFormat &marker);

    QTextCursor m_cursor;
    RtfTableBuilder m_table;
    bool m_paragraphEnded = false;
    bool m_pageBreakPending = false;
};

} // namespace tqx
