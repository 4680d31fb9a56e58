#include "rtf/RtfParagraphFormat.h"

#include "rtf/RtfUnits.h"

#include <algorithm>

namespace tqx {

void RtfParagraphFormat::addTabStop(int position)
{
    const TabStop stop {std::clamp(position, 0, largestTwips), nextTabType};
    nextTabType = QTextOption::LeftTab;
    if (tabStops.size() >= mostTabStops)
        return;
    // Keep the stops sorted: Qt takes the first stop beyond the text, in list order.
    const auto at = std::lower_bound(
            tabStops.begin(), tabStops.end(), stop,
            [](const TabStop &a, const TabStop &b) { return a.position < b.position; });
    if (at != tabStops.end() && at->position == stop.position)
        *at = stop;
    else
        tabStops.insert(at, stop);
}

QTextBlockFormat RtfParagraphFormat::toBlockFormat() const
{
    QTextBlockFormat format;
    format.setAlignment(alignment);
    format.setLeftMargin(twipsToPixels(leftIndent));
    format.setRightMargin(twipsToPixels(rightIndent));
    format.setTextIndent(twipsToPixels(firstLineIndent));
    format.setTopMargin(twipsToPixels(spaceBefore));
    format.setBottomMargin(twipsToPixels(spaceAfter));

    if (lineSpacing > 0 && lineSpacingMultiple) {
        // \sl is then in 240ths of a line: 240 single, 360 one and a half, 480 double.
        format.setLineHeight(lineSpacing * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
    } else if (lineSpacing > 0) {
        format.setLineHeight(twipsToPixels(lineSpacing), QTextBlockFormat::MinimumHeight);
    } else if (lineSpacing < 0) {
        format.setLineHeight(twipsToPixels(-lineSpacing), QTextBlockFormat::FixedHeight);
    }

    if (!tabStops.isEmpty()) {
        QList<QTextOption::Tab> tabs;
        tabs.reserve(tabStops.size());
        for (const TabStop &stop : tabStops)
            tabs.append(QTextOption::Tab(twipsToPixels(stop.position), stop.type,
                                         stop.type == QTextOption::DelimiterTab ? QChar(u'.')
                                                                                : QChar()));
        format.setTabPositions(tabs);
    }
    if (pageBreakBefore)
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return format;
}

} // namespace tqx
