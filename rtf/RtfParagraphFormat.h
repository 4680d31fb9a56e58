#pragma once

#include <QList>
#include <QTextBlockFormat>
#include <QTextOption>

namespace tqx {

// The paragraph properties of an RTF group, in twips, as the control words set them.
struct RtfParagraphFormat
{
    struct TabStop
    {
        int position = 0; // twips from the left margin
        QTextOption::TabType type = QTextOption::LeftTab;
        bool operator==(const TabStop &) const = default;
    };

    // A paragraph with more stops than this comes from a damaged file.
    static constexpr qsizetype mostTabStops = 64;

    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstLineIndent = 0; // relative to leftIndent; negative for a hanging indent
    int spaceBefore = 0;
    int spaceAfter = 0;
    // \sl: 0 single, > 0 at least (or a multiple with \slmult1), < 0 exactly; held within
    // +-largestTwips so that it can be negated.
    int lineSpacing = 0;
    bool lineSpacingMultiple = false;
    QList<TabStop> tabStops;
    QTextOption::TabType nextTabType = QTextOption::LeftTab; // set by \tqr, \tqc, used by \tx
    bool inTable = false;
    bool pageBreakBefore = false;

    // \txN: adds a stop of the type announced before it.
    void addTabStop(int position);

    QTextBlockFormat toBlockFormat() const;
};

} // namespace tqx
