// Which characters reach the document: code page 1252, \u with its fallback, symbol control
// words, and text in destinations that are not shown.

#include "rtf_test_support.h"

#include "rtf/RtfCodePage1252.h"

#include <QTextDocument>

#include <gtest/gtest.h>

using namespace rtftest;
using namespace Qt::StringLiterals;

namespace {

struct TextCase
{
    const char *name;
    QByteArray body;
    QString expected; // the document's raw text: no space stands in for U+00A0 or U+2028
};

void PrintTo(const TextCase &c, std::ostream *out) { *out << c.name; }

const TextCase textCases[] = {
        {"hexLeftDoubleQuote", "\\'93x\\'94", u"\u201Cx\u201D"_s},
        {"hexEuroAndLetters", "\\'80 \\'8a\\'9f\\'e9\\'C9", u"\u20AC \u0160\u0178\u00E9\u00C9"_s},
        {"hexUndefinedInCodePage", "\\'81\\'9d", u"\uFFFD\uFFFD"_s},
        {"rawBytesUseTheCodePage", "caf\xe9 \x96 \x93ok\x94", u"caf\u00E9 \u2013 \u201Cok\u201D"_s},
        {"unicodeSkipsOneFallback", "\\u8364?5", u"\u20AC5"_s},
        {"unicodeNegativeValue", "\\u-4064?", u"\uF020"_s},
        {"unicodeFallbackHexByte", "\\u8364\\'80x", u"\u20ACx"_s},
        {"unicodeFallbackLengthTwo", "\\uc2\\u8364??x", u"\u20ACx"_s},
        {"unicodeFallbackLengthZero", "\\uc0\\u8364 x", u"\u20ACx"_s},
        {"fallbackEndsWithGroup", "{\\uc3\\u8364 a}b", u"\u20ACb"_s},
        {"fallbackLengthIsGroupScoped", "{\\uc0 a}\\u8364?b", u"a\u20ACb"_s},
        {"quoteWords", "\\lquote a\\rquote \\ldblquote b\\rdblquote",
         u"\u2018a\u2019\u201Cb\u201D"_s},
        {"dashesAndBullet", "\\emdash\\endash\\bullet", u"\u2014\u2013\u2022"_s},
        {"spaces", "\\emspace\\enspace\\~", u"\u2003\u2002\u00A0"_s},
        {"hyphens", "a\\-b\\_c", u"a\u00ADb\u2011c"_s},
        {"escapedSpecials", "\\{\\}\\\\", u"{}\\"_s},
        {"tabAndLine", "a\\tab b\\line c", u"a\tb\u2028c"_s},
        {"lineBreaksInSourceIgnored", "a\r\nb\nc", u"abc"_s},
        {"controlWordEatsOneSpace", "\\b  two", u" two"_s},
        {"fieldShowsItsResult", "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt shown}}", u"shown"_s},
        {"unknownStarDestination", "a{\\*\\unknownword text}b", u"ab"_s},
        {"skippedDestinations",
         "{\\info{\\title t}}{\\stylesheet{\\s0 Normal;}}{\\pict\\pngblip 0102}"
         "{\\header h}{\\footer f}a",
         u"a"_s},
        {"hiddenText", "\\v hidden\\v0 shown", u"shown"_s},
        {"unknownWordsIgnored", "\\fancyword12 a\\nouicompat b", u"ab"_s},
};

class RtfText : public testing::TestWithParam<TextCase>
{
};

TEST_P(RtfText, reachesTheDocument)
{
    QTextDocument document;
    readOrFail(rtfDocument(GetParam().body), document);
    EXPECT_EQ(document.toRawText(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, RtfText, testing::ValuesIn(textCases),
                         [](const testing::TestParamInfo<TextCase> &info) {
                             return info.param.name;
                         });

TEST(RtfCodePage1252, agreesWithLatin1OutsideTheWindowsRange)
{
    for (int byte = 0; byte < 256; ++byte) {
        if (byte >= 0x80 && byte <= 0x9F)
            continue;
        EXPECT_EQ(tqx::windows1252ToUnicode(static_cast<unsigned char>(byte)), char32_t(byte));
    }
}

TEST(RtfCodePage1252, windowsRangeHoldsNoControlCharacters)
{
    for (int byte = 0x80; byte <= 0x9F; ++byte)
        EXPECT_GT(tqx::windows1252ToUnicode(static_cast<unsigned char>(byte)), char32_t(0x9F));
}

} // namespace
