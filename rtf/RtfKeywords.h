#pragma once

#include <string_view>

namespace tqx {

// What a control word does. Words that only differ in a value (the alignment of \qc and \qr, the
// character of \emdash and \bullet...) share one keyword and carry the value beside it.
enum class RtfKeyword {
    Unknown,
    // Destinations
    SkippedDestination,
    FontTable,
    ColorTable,
    // Font and colour tables
    DefaultFont,
    Font,
    FontFamily, // value: RtfFontFamily
    Red,
    Green,
    Blue,
    // Character formatting
    Plain,
    Bold,
    Italic,
    Underline, // value: QTextCharFormat::UnderlineStyle
    UnderlineNone,
    StrikeOut,
    Hidden,
    FontSize,
    Foreground,
    Background,
    Script, // value: RtfCharacterFormat::Script
    Capitals, // value: RtfCharacterFormat::Capitals
    // Paragraph formatting
    ParagraphDefaults,
    Alignment, // value: Qt::Alignment
    LeftIndent,
    RightIndent,
    FirstLineIndent,
    SpaceBefore,
    SpaceAfter,
    LineSpacing,
    LineSpacingMultiple,
    TabStop,
    TabType, // value: QTextOption::TabType
    InTable,
    TableNesting,
    PageBreakBefore,
    // Breaks
    Paragraph,
    Page,
    Cell,
    Row,
    // Table rows
    RowDefaults,
    CellBoundary,
    CellGap,
    RowLeft,
    TableBorderSide,
    OtherBorderSide,
    BorderStyle,
    // Characters
    Unicode,
    UnicodeFallbackLength,
    Character, // value: the Unicode character
};

struct RtfKeywordInfo
{
    RtfKeyword keyword = RtfKeyword::Unknown;
    int value = 0;
};

// The meaning of a control word's name; Unknown for the many words this reader ignores.
RtfKeywordInfo lookUpRtfKeyword(std::string_view word);

} // namespace tqx
