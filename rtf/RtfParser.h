#pragma once

#include "rtf/RtfColorTable.h"
#include "rtf/RtfDocumentBuilder.h"
#include "rtf/RtfFontTable.h"
#include "rtf/RtfGroupState.h"
#include "rtf/RtfKeywords.h"
#include "rtf/RtfTokenizer.h"

#include <QString>

#include <atomic>
#include <string_view>
#include <utility>
#include <vector>

class QTextDocument;

namespace tqx {

// Reads one RTF document into a QTextDocument: keeps the stack of group states, routes text to
// its destination and applies control words. Unknown control words are ignored, as RTF requires
// of readers, so documents from newer writers still show their text.
class RtfParser
{
public:
    // Word processors nest a few dozen levels at most; far deeper nesting is damage or an attack
    // on the stack of saved states.
    static constexpr std::size_t deepestNesting = 1000;

    // Reading stops early when `*cancelled` is set (see RtfReader::read).
    RtfParser(std::string_view rtf, QTextDocument *document,
              const std::atomic<bool> *cancelled = nullptr);

    // Returns false with a description in `error` when the document cannot be read or the read
    // was cancelled; a damaged or truncated document is read as far as it goes.
    bool parse(QString *error);

private:
    void endGroup();
    void handleControlWord(const RtfToken &token);
    void handleFontTableWord(RtfKeywordInfo info, const RtfToken &token);
    void handleColorTableWord(RtfKeywordInfo info, const RtfToken &token);
    void handleBodyWord(RtfKeywordInfo info, const RtfToken &token);
    bool handleCharacterWord(RtfKeywordInfo info, const RtfToken &token);
    bool handleParagraphWord(RtfKeywordInfo info, const RtfToken &token);
    bool handleBreakOrTableWord(RtfKeywordInfo info, const RtfToken &token);
    void handleControlSymbol(char symbol);
    void handleText(std::string_view bytes);
    void handleUnicode(int parameter);
    void addCharacter(char32_t character);
    void appendToText(char32_t character);
    void flushText();
    QTextCharFormat charFormat(const RtfCharacterFormat &format);
    QTextCharFormat currentCharFormat() { return charFormat(m_state.character); }
    void tablesChanged() { m_formats.clear(); }

    // The flag is looked at every so many tokens: often enough to stop within milliseconds,
    // seldom enough to cost nothing.
    static constexpr unsigned tokensBetweenCancelChecks = 4096;
    const std::atomic<bool> *m_cancelled = nullptr;

    RtfTokenizer m_tokenizer;
    RtfDocumentBuilder m_builder;
    RtfFontTable m_fonts;
    RtfColorTable m_colors;
    int m_defaultFont = 0;

    RtfGroupState m_state;
    std::vector<RtfGroupState> m_savedStates;
    int m_fallbackToSkip = 0; // characters left to skip after \u
    bool m_borderBelongsToTable = false; // whether the last border side named was a table's

    // Text waiting to be inserted, all in one format.
    QString m_text;
    RtfCharacterFormat m_textFormat;
    bool m_textInTable = false;

    // Recent conversions of character properties to QTextCharFormats. Documents switch between a
    // handful of formats, and each conversion takes a dozen property writes. They depend on the
    // font and colour tables, so any change to those empties the list.
    static constexpr std::size_t mostFormatsKept = 16;
    std::vector<std::pair<RtfCharacterFormat, QTextCharFormat>> m_formats;
};

} // namespace tqx
