#include "rtf/RtfDocumentBuilder.h"

#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>

namespace tqx {

RtfDocumentBuilder::RtfDocumentBuilder(QTextDocument *document)
    : m_cursor(document)
{
}

void RtfDocumentBuilder::enter(bool inTable)
{
    if (inTable) {
        if (!m_table.isOpen())
            // A table starts after the ended paragraph; it is not a paragraph of its own.
            m_paragraphEnded = false;
        m_table.enterCell(m_cursor);
    } else if (m_table.isOpen()) {
        m_table.close(m_cursor);
        m_paragraphEnded = false;
    }
}

void RtfDocumentBuilder::openParagraph()
{
    if (m_paragraphEnded) {
        m_cursor.insertBlock();
        m_paragraphEnded = false;
    }
}

void RtfDocumentBuilder::formatParagraph(QTextBlockFormat format, const QTextCharFormat &marker)
{
    if (m_pageBreakPending) {
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        m_pageBreakPending = false;
    }
    m_cursor.setBlockFormat(format);
    // The first block of a table cell carries the cell's own format (its padding) in its
    // character format, which must survive.
    if (m_cursor.blockCharFormat().isTableCellFormat())
        m_cursor.mergeBlockCharFormat(marker);
    else
        m_cursor.setBlockCharFormat(marker);
}

void RtfDocumentBuilder::insertText(const QString &text, const QTextCharFormat &format,
                                    bool inTable)
{
    enter(inTable);
    openParagraph();
    m_cursor.insertText(text, format);
}

void RtfDocumentBuilder::endParagraph(const QTextBlockFormat &format, const QTextCharFormat &marker,
                                      bool inTable)
{
    enter(inTable);
    openParagraph();
    formatParagraph(format, marker);
    m_paragraphEnded = true;
}

void RtfDocumentBuilder::breakPage() { m_pageBreakPending = true; }

void RtfDocumentBuilder::endCell(const QTextBlockFormat &format, const QTextCharFormat &marker)
{
    enter(true);
    openParagraph();
    formatParagraph(format, marker);
    if (!m_table.endCell())
        m_cursor.insertText(QStringLiteral("\t"), marker);
}

void RtfDocumentBuilder::endRow()
{
    m_table.endRow();
    m_paragraphEnded = false;
}

void RtfDocumentBuilder::finish(const QTextBlockFormat &format, const QTextCharFormat &marker)
{
    if (!m_paragraphEnded && !m_table.isOpen())
        formatParagraph(format, marker);
}

} // namespace tqx
