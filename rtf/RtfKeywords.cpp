#include "rtf/RtfKeywords.h"

#include "rtf/RtfCharacterFormat.h"
#include "rtf/RtfFontTable.h"

#include <QTextCharFormat>
#include <QTextOption>

#include <unordered_map>

namespace tqx {

namespace {

using K = RtfKeyword;
using Table = std::unordered_map<std::string_view, RtfKeywordInfo>;

RtfKeywordInfo skipped() { return {K::SkippedDestination}; }

RtfKeywordInfo family(RtfFontFamily value) { return {K::FontFamily, int(value)}; }

RtfKeywordInfo underline(QTextCharFormat::UnderlineStyle style)
{
    return {K::Underline, int(style)};
}

RtfKeywordInfo character(char32_t value) { return {K::Character, int(value)}; }

Table makeTable()
{
    using Script = RtfCharacterFormat::Script;
    using Capitals = RtfCharacterFormat::Capitals;
    return Table {
            // Destinations whose content is not part of the document's text. Every destination
            // marked \* is skipped too, so only those that may come without the mark are listed.
            {"info", skipped()},
            {"stylesheet", skipped()},
            {"pict", skipped()},
            {"object", skipped()},
            {"header", skipped()},
            {"headerl", skipped()},
            {"headerr", skipped()},
            {"headerf", skipped()},
            {"footer", skipped()},
            {"footerl", skipped()},
            {"footerr", skipped()},
            {"footerf", skipped()},
            {"footnote", skipped()},
            {"annotation", skipped()},
            {"fldinst", skipped()},
            {"filetbl", skipped()},
            {"listtable", skipped()},
            {"listoverridetable", skipped()},
            {"revtbl", skipped()},
            {"rsidtbl", skipped()},
            {"xmlnstbl", skipped()},
            {"nonshppict", skipped()},
            {"themedata", skipped()},
            {"colorschememapping", skipped()},
            {"latentstyles", skipped()},
            {"datastore", skipped()},
            {"pn", skipped()},
            {"ftnsep", skipped()},
            {"ftnsepc", skipped()},
            {"ftncn", skipped()},
            {"aftnsep", skipped()},
            {"aftnsepc", skipped()},
            {"aftncn", skipped()},
            {"template", skipped()},
            {"xe", skipped()},
            {"tc", skipped()},
            {"fonttbl", {K::FontTable}},
            {"colortbl", {K::ColorTable}},

            {"deff", {K::DefaultFont}},
            {"f", {K::Font}},
            {"fnil", family(RtfFontFamily::Any)},
            {"froman", family(RtfFontFamily::Serif)},
            {"fswiss", family(RtfFontFamily::SansSerif)},
            {"fmodern", family(RtfFontFamily::Monospace)},
            {"fscript", family(RtfFontFamily::Script)},
            {"fdecor", family(RtfFontFamily::Decorative)},
            {"red", {K::Red}},
            {"green", {K::Green}},
            {"blue", {K::Blue}},

            {"plain", {K::Plain}},
            {"b", {K::Bold}},
            {"i", {K::Italic}},
            {"ul", underline(QTextCharFormat::SingleUnderline)},
            {"uldb", underline(QTextCharFormat::SingleUnderline)},
            {"ulth", underline(QTextCharFormat::SingleUnderline)},
            {"ulw", underline(QTextCharFormat::SingleUnderline)},
            {"uld", underline(QTextCharFormat::DotLine)},
            {"uldash", underline(QTextCharFormat::DashUnderline)},
            {"uldashd", underline(QTextCharFormat::DashDotLine)},
            {"uldashdd", underline(QTextCharFormat::DashDotDotLine)},
            {"ulwave", underline(QTextCharFormat::WaveUnderline)},
            {"ulnone", {K::UnderlineNone}},
            {"strike", {K::StrikeOut}},
            {"striked", {K::StrikeOut}},
            {"v", {K::Hidden}},
            {"fs", {K::FontSize}},
            {"cf", {K::Foreground}},
            {"cb", {K::Background}},
            {"highlight", {K::Background}},
            {"chcbpat", {K::Background}},
            {"super", {K::Script, int(Script::Superscript)}},
            {"sub", {K::Script, int(Script::Subscript)}},
            {"nosupersub", {K::Script, int(Script::Normal)}},
            {"caps", {K::Capitals, int(Capitals::All)}},
            {"scaps", {K::Capitals, int(Capitals::Small)}},

            {"pard", {K::ParagraphDefaults}},
            {"ql", {K::Alignment, int(Qt::AlignLeft)}},
            {"qc", {K::Alignment, int(Qt::AlignHCenter)}},
            {"qr", {K::Alignment, int(Qt::AlignRight)}},
            {"qj", {K::Alignment, int(Qt::AlignJustify)}},
            {"qd", {K::Alignment, int(Qt::AlignJustify)}},
            {"li", {K::LeftIndent}},
            {"lin", {K::LeftIndent}},
            {"ri", {K::RightIndent}},
            {"rin", {K::RightIndent}},
            {"fi", {K::FirstLineIndent}},
            {"sb", {K::SpaceBefore}},
            {"sa", {K::SpaceAfter}},
            {"sl", {K::LineSpacing}},
            {"slmult", {K::LineSpacingMultiple}},
            {"tx", {K::TabStop}},
            {"tqr", {K::TabType, int(QTextOption::RightTab)}},
            {"tqc", {K::TabType, int(QTextOption::CenterTab)}},
            {"tqdec", {K::TabType, int(QTextOption::DelimiterTab)}},
            {"intbl", {K::InTable}},
            {"itap", {K::TableNesting}},
            {"pagebb", {K::PageBreakBefore}},

            {"par", {K::Paragraph}},
            {"sect", {K::Paragraph}},
            {"page", {K::Page}},
            {"cell", {K::Cell}},
            {"row", {K::Row}},

            {"trowd", {K::RowDefaults}},
            {"cellx", {K::CellBoundary}},
            {"trgaph", {K::CellGap}},
            {"trleft", {K::RowLeft}},
            {"clbrdrt", {K::TableBorderSide}},
            {"clbrdrl", {K::TableBorderSide}},
            {"clbrdrb", {K::TableBorderSide}},
            {"clbrdrr", {K::TableBorderSide}},
            {"trbrdrt", {K::TableBorderSide}},
            {"trbrdrl", {K::TableBorderSide}},
            {"trbrdrb", {K::TableBorderSide}},
            {"trbrdrr", {K::TableBorderSide}},
            {"trbrdrh", {K::TableBorderSide}},
            {"trbrdrv", {K::TableBorderSide}},
            {"brdrt", {K::OtherBorderSide}},
            {"brdrl", {K::OtherBorderSide}},
            {"brdrb", {K::OtherBorderSide}},
            {"brdrr", {K::OtherBorderSide}},
            {"box", {K::OtherBorderSide}},
            {"brdrs", {K::BorderStyle}},
            {"brdrth", {K::BorderStyle}},
            {"brdrsh", {K::BorderStyle}},
            {"brdrdb", {K::BorderStyle}},
            {"brdrdot", {K::BorderStyle}},
            {"brdrdash", {K::BorderStyle}},
            {"brdrhair", {K::BorderStyle}},
            {"brdrtriple", {K::BorderStyle}},

            {"u", {K::Unicode}},
            {"uc", {K::UnicodeFallbackLength}},
            {"tab", character(U'\t')},
            {"line", character(0x2028)}, // Qt's line break within a paragraph
            {"nestcell", character(U'\t')}, // nested tables are flattened into their cell
            {"emdash", character(0x2014)},
            {"endash", character(0x2013)},
            {"bullet", character(0x2022)},
            {"lquote", character(0x2018)},
            {"rquote", character(0x2019)},
            {"ldblquote", character(0x201C)},
            {"rdblquote", character(0x201D)},
            {"emspace", character(0x2003)},
            {"enspace", character(0x2002)},
            {"qmspace", character(0x2005)},
            {"zwj", character(0x200D)},
            {"zwnj", character(0x200C)},
            {"ltrmark", character(0x200E)},
            {"rtlmark", character(0x200F)},
    };
}

} // namespace

RtfKeywordInfo lookUpRtfKeyword(std::string_view word)
{
    static const Table table = makeTable();
    const auto found = table.find(word);
    return found == table.end() ? RtfKeywordInfo {} : found->second;
}

} // namespace tqx
