#include "rtf/RtfParser.h"

#include "rtf/RtfCodePage1252.h"
#include "rtf/RtfUnits.h"

#include <QTextDocument>

#include <algorithm>

namespace tqx {

namespace {

bool toggleValue(const RtfToken &token) { return !token.hasParameter || token.parameter != 0; }

// \u may deliver half a surrogate pair that its other half never follows; such halves would make
// the text invalid UTF-16.
void replaceLoneSurrogates(QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
}

} // namespace

RtfParser::RtfParser(std::string_view rtf, QTextDocument *document,
                     const std::atomic<bool> *cancelled)
    : m_cancelled(cancelled)
    , m_tokenizer(rtf)
    , m_builder(document)
{
}

bool RtfParser::parse(QString *error)
{
    bool documentEnded = false;
    unsigned tokensToCancelCheck = 1; // a read cancelled before it starts stops at once
    while (!documentEnded) {
        if (m_cancelled && --tokensToCancelCheck == 0) {
            tokensToCancelCheck = tokensBetweenCancelChecks;
            if (m_cancelled->load(std::memory_order_relaxed)) {
                if (error)
                    *error = QStringLiteral("The reading of the RTF document was stopped.");
                return false;
            }
        }
        const RtfToken token = m_tokenizer.next();
        if (token.type == RtfTokenType::End)
            break;
        // Whatever precedes the document's group is not part of it.
        if (m_savedStates.empty() && token.type != RtfTokenType::GroupStart)
            continue;

        switch (token.type) {
        case RtfTokenType::GroupStart:
            m_fallbackToSkip = 0;
            if (m_savedStates.size() >= deepestNesting) {
                if (error)
                    *error = QStringLiteral(
                                     "The RTF document nests groups more than %1 levels deep.")
                                     .arg(deepestNesting);
                return false;
            }
            m_savedStates.push_back(m_state);
            break;
        case RtfTokenType::GroupEnd:
            m_fallbackToSkip = 0;
            // The document's own group ends the document; anything after it is ignored. Its
            // state stays in force for the last paragraph.
            if (m_savedStates.size() == 1)
                documentEnded = true;
            else
                endGroup();
            break;
        case RtfTokenType::Text:
            handleText(token.text);
            break;
        default:
            // A control word, symbol, hex byte or binary data each count as one character of the
            // fallback text that follows \u.
            if (m_fallbackToSkip > 0)
                --m_fallbackToSkip;
            else if (token.type == RtfTokenType::ControlWord)
                handleControlWord(token);
            else if (token.type == RtfTokenType::ControlSymbol)
                handleControlSymbol(token.symbol);
            else if (token.type == RtfTokenType::HexByte)
                addCharacter(windows1252ToUnicode(static_cast<unsigned char>(token.parameter)));
            break;
        }
    }
    flushText();
    m_builder.finish(m_state.paragraph.toBlockFormat(), currentCharFormat());
    return true;
}

void RtfParser::endGroup()
{
    if (m_state.destination == RtfDestination::FontTable) {
        m_fonts.endFont();
        tablesChanged();
    }
    m_state = m_savedStates.back();
    m_savedStates.pop_back();
}

void RtfParser::handleControlWord(const RtfToken &token)
{
    const RtfKeywordInfo info = lookUpRtfKeyword(token.text);
    switch (info.keyword) {
    case RtfKeyword::SkippedDestination:
        m_state.destination = RtfDestination::Skipped;
        return;
    case RtfKeyword::FontTable:
        m_state.destination = RtfDestination::FontTable;
        return;
    case RtfKeyword::ColorTable:
        m_state.destination = RtfDestination::ColorTable;
        return;
    default:
        break;
    }

    switch (m_state.destination) {
    case RtfDestination::Body:
        handleBodyWord(info, token);
        break;
    case RtfDestination::FontTable:
        handleFontTableWord(info, token);
        break;
    case RtfDestination::ColorTable:
        handleColorTableWord(info, token);
        break;
    case RtfDestination::Skipped:
        break;
    }
}

void RtfParser::handleFontTableWord(RtfKeywordInfo info, const RtfToken &token)
{
    tablesChanged();
    switch (info.keyword) {
    case RtfKeyword::Font:
        m_fonts.beginFont(token.parameter);
        break;
    case RtfKeyword::FontFamily:
        m_fonts.setFamily(RtfFontFamily(info.value));
        break;
    case RtfKeyword::Unicode:
        handleUnicode(token.parameter);
        break;
    case RtfKeyword::UnicodeFallbackLength:
        m_state.unicodeFallbackLength = std::clamp(token.parameter, 0, 255);
        break;
    default:
        break;
    }
}

void RtfParser::handleColorTableWord(RtfKeywordInfo info, const RtfToken &token)
{
    tablesChanged();
    switch (info.keyword) {
    case RtfKeyword::Red:
        m_colors.setRed(token.parameter);
        break;
    case RtfKeyword::Green:
        m_colors.setGreen(token.parameter);
        break;
    case RtfKeyword::Blue:
        m_colors.setBlue(token.parameter);
        break;
    default:
        break;
    }
}

void RtfParser::handleBodyWord(RtfKeywordInfo info, const RtfToken &token)
{
    if (handleCharacterWord(info, token) || handleParagraphWord(info, token)
        || handleBreakOrTableWord(info, token))
        return;
    switch (info.keyword) {
    case RtfKeyword::DefaultFont:
        m_defaultFont = token.parameter;
        tablesChanged();
        break;
    case RtfKeyword::Unicode:
        handleUnicode(token.parameter);
        break;
    case RtfKeyword::UnicodeFallbackLength:
        m_state.unicodeFallbackLength = std::clamp(token.parameter, 0, 255);
        break;
    case RtfKeyword::Character:
        addCharacter(char32_t(info.value));
        break;
    default:
        break;
    }
}

bool RtfParser::handleCharacterWord(RtfKeywordInfo info, const RtfToken &token)
{
    RtfCharacterFormat &format = m_state.character;
    switch (info.keyword) {
    case RtfKeyword::Plain:
        format = RtfCharacterFormat {};
        break;
    case RtfKeyword::Bold:
        format.bold = toggleValue(token);
        break;
    case RtfKeyword::Italic:
        format.italic = toggleValue(token);
        break;
    case RtfKeyword::Underline:
        format.underline = toggleValue(token) ? QTextCharFormat::UnderlineStyle(info.value)
                                              : QTextCharFormat::NoUnderline;
        break;
    case RtfKeyword::UnderlineNone:
        format.underline = QTextCharFormat::NoUnderline;
        break;
    case RtfKeyword::StrikeOut:
        format.strikeOut = toggleValue(token);
        break;
    case RtfKeyword::Hidden:
        format.hidden = toggleValue(token);
        break;
    case RtfKeyword::Font:
        format.font = token.parameter;
        break;
    case RtfKeyword::FontSize:
        format.setHalfPoints(token.hasParameter ? token.parameter : 0);
        break;
    case RtfKeyword::Foreground:
        format.foreground = token.parameter;
        break;
    case RtfKeyword::Background:
        format.background = token.parameter;
        break;
    case RtfKeyword::Script:
        format.script = toggleValue(token) ? RtfCharacterFormat::Script(info.value)
                                           : RtfCharacterFormat::Script::Normal;
        break;
    case RtfKeyword::Capitals:
        format.capitals = toggleValue(token) ? RtfCharacterFormat::Capitals(info.value)
                                             : RtfCharacterFormat::Capitals::Normal;
        break;
    default:
        return false;
    }
    return true;
}

bool RtfParser::handleParagraphWord(RtfKeywordInfo info, const RtfToken &token)
{
    RtfParagraphFormat &format = m_state.paragraph;
    switch (info.keyword) {
    case RtfKeyword::ParagraphDefaults:
        format = RtfParagraphFormat {};
        break;
    case RtfKeyword::Alignment:
        format.alignment = Qt::Alignment(info.value);
        break;
    case RtfKeyword::LeftIndent:
        format.leftIndent = clampTwips(token.parameter);
        break;
    case RtfKeyword::RightIndent:
        format.rightIndent = clampTwips(token.parameter);
        break;
    case RtfKeyword::FirstLineIndent:
        format.firstLineIndent = clampTwips(token.parameter);
        break;
    case RtfKeyword::SpaceBefore:
        format.spaceBefore = std::clamp(token.parameter, 0, largestTwips);
        break;
    case RtfKeyword::SpaceAfter:
        format.spaceAfter = std::clamp(token.parameter, 0, largestTwips);
        break;
    case RtfKeyword::LineSpacing:
        format.lineSpacing = clampTwips(token.parameter);
        break;
    case RtfKeyword::LineSpacingMultiple:
        format.lineSpacingMultiple = toggleValue(token);
        break;
    case RtfKeyword::TabStop:
        format.addTabStop(token.parameter);
        break;
    case RtfKeyword::TabType:
        format.nextTabType = QTextOption::TabType(info.value);
        break;
    case RtfKeyword::InTable:
        format.inTable = true;
        break;
    case RtfKeyword::TableNesting:
        format.inTable = token.parameter > 0;
        break;
    case RtfKeyword::PageBreakBefore:
        format.pageBreakBefore = toggleValue(token);
        break;
    default:
        return false;
    }
    return true;
}

bool RtfParser::handleBreakOrTableWord(RtfKeywordInfo info, const RtfToken &token)
{
    RtfTableBuilder &table = m_builder.table();
    switch (info.keyword) {
    case RtfKeyword::Paragraph:
    case RtfKeyword::Page:
        flushText();
        m_builder.endParagraph(m_state.paragraph.toBlockFormat(), currentCharFormat(),
                               m_state.paragraph.inTable);
        if (info.keyword == RtfKeyword::Page)
            m_builder.breakPage();
        break;
    case RtfKeyword::Cell:
        flushText();
        m_builder.endCell(m_state.paragraph.toBlockFormat(), currentCharFormat());
        break;
    case RtfKeyword::Row:
        flushText();
        m_builder.endRow();
        break;
    case RtfKeyword::RowDefaults:
        table.beginRowDefinition();
        break;
    case RtfKeyword::CellBoundary:
        table.addCellBoundary(token.parameter);
        break;
    case RtfKeyword::CellGap:
        table.setCellGap(token.parameter);
        break;
    case RtfKeyword::RowLeft:
        table.setRowLeft(token.parameter);
        break;
    case RtfKeyword::TableBorderSide:
        m_borderBelongsToTable = true;
        break;
    case RtfKeyword::OtherBorderSide:
        m_borderBelongsToTable = false;
        break;
    case RtfKeyword::BorderStyle:
        if (m_borderBelongsToTable)
            table.setBordered();
        break;
    default:
        return false;
    }
    return true;
}

void RtfParser::handleControlSymbol(char symbol)
{
    switch (symbol) {
    case '*':
        // Marks a destination that readers may skip when they do not know it; none that this
        // reader shows is ever marked so.
        m_state.destination = RtfDestination::Skipped;
        break;
    case '~':
        addCharacter(0x00A0); // non-breaking space
        break;
    case '-':
        addCharacter(0x00AD); // optional hyphen
        break;
    case '_':
        addCharacter(0x2011); // non-breaking hyphen
        break;
    case '{':
    case '}':
    case '\\':
        addCharacter(char32_t(symbol));
        break;
    default:
        break;
    }
}

void RtfParser::handleText(std::string_view bytes)
{
    const std::size_t skipped = std::min(bytes.size(), std::size_t(m_fallbackToSkip));
    m_fallbackToSkip -= int(skipped);
    for (const char byte : bytes.substr(skipped))
        addCharacter(windows1252ToUnicode(static_cast<unsigned char>(byte)));
}

void RtfParser::handleUnicode(int parameter)
{
    // \u takes a signed 16-bit value, so characters above U+7FFF arrive negative.
    const int codePoint = parameter < 0 ? parameter + 0x10000 : parameter;
    addCharacter(codePoint < 0 || codePoint > 0x10FFFF ? char32_t(QChar::ReplacementCharacter)
                                                       : char32_t(codePoint));
    m_fallbackToSkip = m_state.unicodeFallbackLength;
}

void RtfParser::addCharacter(char32_t character)
{
    switch (m_state.destination) {
    case RtfDestination::Body:
        if (!m_state.character.hidden)
            appendToText(character);
        break;
    case RtfDestination::FontTable:
        m_fonts.addCharacter(character);
        tablesChanged();
        break;
    case RtfDestination::ColorTable:
        m_colors.addCharacter(character);
        tablesChanged();
        break;
    case RtfDestination::Skipped:
        break;
    }
}

void RtfParser::appendToText(char32_t character)
{
    // Control characters have no place in the text, and a paragraph separator would end the
    // paragraph behind the reader's back. Qt reserves U+FDD0 - U+FDEF for its own frame marks and
    // U+FFFC for embedded objects.
    if (character == 0x2029) {
        character = 0x2028;
    } else if ((character < 0x20 && character != U'\t')
               || (character >= 0x7F && character <= 0x9F)) {
        return;
    } else if ((character >= 0xFDD0 && character <= 0xFDEF) || (character & 0xFFFE) == 0xFFFE
               || character == 0xFFFC) {
        character = QChar::ReplacementCharacter;
    }

    if (!m_text.isEmpty()
        && (m_textFormat != m_state.character || m_textInTable != m_state.paragraph.inTable))
        flushText();
    if (m_text.isEmpty()) {
        m_textFormat = m_state.character;
        m_textInTable = m_state.paragraph.inTable;
    }
    if (QChar::requiresSurrogates(character)) {
        m_text.append(QChar::highSurrogate(character));
        m_text.append(QChar::lowSurrogate(character));
    } else {
        m_text.append(QChar(char16_t(character)));
    }
}

void RtfParser::flushText()
{
    if (m_text.isEmpty())
        return;
    replaceLoneSurrogates(m_text);
    m_builder.insertText(m_text, charFormat(m_textFormat), m_textInTable);
    // Emptied but not freed: the next run of text reuses the space.
    m_text.resize(0);
}

QTextCharFormat RtfParser::charFormat(const RtfCharacterFormat &format)
{
    for (const auto &[properties, converted] : m_formats) {
        if (properties == format)
            return converted;
    }
    if (m_formats.size() >= mostFormatsKept)
        m_formats.erase(m_formats.begin());
    m_formats.emplace_back(format, format.toCharFormat(m_fonts, m_colors, m_defaultFont));
    return m_formats.back().second;
}

} // namespace tqx
