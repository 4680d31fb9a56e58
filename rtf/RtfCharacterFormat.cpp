#include "rtf/RtfCharacterFormat.h"

#include "rtf/RtfColorTable.h"
#include "rtf/RtfFontTable.h"

#include <QBrush>
#include <QFont>

#include <algorithm>

namespace tqx {

void RtfCharacterFormat::setHalfPoints(int value)
{
    // \fs0 and negative sizes are damage; a huge size would make rendering allocate huge glyphs.
    halfPoints = value <= 0 ? defaultHalfPoints
                            : std::clamp(value, smallestHalfPoints, largestHalfPoints);
}

QTextCharFormat RtfCharacterFormat::toCharFormat(const RtfFontTable &fonts,
                                                 const RtfColorTable &colors, int defaultFont) const
{
    QTextCharFormat format;
    fonts.applyTo(font >= 0 && fonts.contains(font) ? font : defaultFont, format);
    format.setFontPointSize(halfPoints / 2.0);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(italic);
    format.setFontStrikeOut(strikeOut);
    format.setUnderlineStyle(underline);

    switch (script) {
    case Script::Superscript:
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        break;
    case Script::Subscript:
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        break;
    case Script::Normal:
        break;
    }

    switch (capitals) {
    case Capitals::All:
        format.setFontCapitalization(QFont::AllUppercase);
        break;
    case Capitals::Small:
        format.setFontCapitalization(QFont::SmallCaps);
        break;
    case Capitals::Normal:
        break;
    }

    // The automatic colours are left unset so that the view's palette decides them.
    if (const auto color = colors.color(foreground))
        format.setForeground(*color);
    if (const auto color = colors.color(background))
        format.setBackground(*color);
    return format;
}

} // namespace tqx
