#pragma once

#include <QTextCharFormat>

namespace tqx {

class RtfColorTable;
class RtfFontTable;

// The character properties of an RTF group, as the control words set them. Kept in RTF's own
// terms (table indexes, half-points) and turned into a QTextCharFormat only for each run of text.
struct RtfCharacterFormat
{
    enum class Script { Normal, Superscript, Subscript };
    enum class Capitals { Normal, All, Small };

    // 1 638 points is the largest size word processors offer. Qt shrinks super- and subscripts to
    // two thirds in whole points, which turns anything below 2 points into an invalid 0.
    static constexpr int defaultHalfPoints = 24;
    static constexpr int smallestHalfPoints = 4;
    static constexpr int largestHalfPoints = 3276;

    bool bold = false;
    bool italic = false;
    bool strikeOut = false;
    bool hidden = false; // \v: text that is not displayed
    QTextCharFormat::UnderlineStyle underline = QTextCharFormat::NoUnderline;
    Script script = Script::Normal;
    Capitals capitals = Capitals::Normal;
    int font = -1; // font table number; -1 is the document's default font (\deff)
    int halfPoints = defaultHalfPoints;
    int foreground = 0; // colour table indexes; 0 is the automatic colour
    int background = 0;

    bool operator==(const RtfCharacterFormat &) const = default;

    void setHalfPoints(int value);

    QTextCharFormat toCharFormat(const RtfFontTable &fonts, const RtfColorTable &colors,
                                 int defaultFont) const;
};

} // namespace tqx
