#include "rtf/RtfParagraphSplitter.h"

#include <QStringView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <vector>

namespace tqx {

namespace {

// Where the pieces of `text` after the first one start.
std::vector<int> cutPositions(const QString &text, int longest)
{
    std::vector<int> cuts;
    qsizetype from = 0;
    while (text.size() - from > longest) {
        qsizetype cut = from + longest;
        // Only the second half is searched: a text without spaces is not searched all over again
        // for each piece.
        const qsizetype half = from + longest / 2;
        const qsizetype space = QStringView(text).sliced(half, cut - half).lastIndexOf(u' ');
        if (space >= 0)
            cut = half + space + 1;
        else if (text.at(cut - 1).isHighSurrogate() && cut - 1 > from)
            --cut; // never between the halves of a surrogate pair
        cuts.push_back(int(cut));
        from = cut;
    }
    return cuts;
}

void splitBlock(QTextCursor &cursor, const QTextBlock &block, int longest)
{
    const std::vector<int> cuts = cutPositions(block.text(), longest);
    const int start = block.position();

    const QTextBlockFormat whole = block.blockFormat();
    QTextBlockFormat first = whole;
    first.setBottomMargin(0);
    QTextBlockFormat middle = first;
    middle.setTopMargin(0);
    middle.setTextIndent(0);
    middle.clearProperty(QTextFormat::PageBreakPolicy);
    QTextBlockFormat last = middle;
    last.setBottomMargin(whole.bottomMargin());
    const QTextCharFormat marker = block.charFormat();

    // From the end, so that the positions of the cuts still to make stay where they were.
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
        cursor.setPosition(start + *cut);
        cursor.insertBlock(cut == cuts.rbegin() ? last : middle, marker);
    }
    cursor.setPosition(start);
    cursor.setBlockFormat(first);
}

} // namespace

bool splitLongParagraphs(QTextDocument *document, int longest, const std::atomic<bool> *cancelled)
{
    if (longest < 2)
        return true;
    // Cutting is no edit to undo, and leaves the document as unmodified as it was.
    const bool undoWasEnabled = document->isUndoRedoEnabled();
    const bool wasModified = document->isModified();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    // As in the reader: outside an edit block each insertion would lay the paragraph out.
    cursor.beginEditBlock();
    bool finished = true;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            finished = false;
            break;
        }
        if (block.length() - 1 > longest)
            splitBlock(cursor, block, longest);
    }
    cursor.endEditBlock();
    document->setModified(wasModified);
    document->setUndoRedoEnabled(undoWasEnabled);
    return finished;
}

} // namespace tqx
