// Damaged, hostile and foreign input: the reader must finish on each, never crash or hang, and
// refuse only what is not RTF at all.

#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

using namespace rtftest;

namespace {

struct MalformedCase
{
    const char *name;
    QByteArray rtf;
    bool accepted;
    const char *expectedText = nullptr; // checked when given, for accepted input
};

void PrintTo(const MalformedCase &c, std::ostream *out) { *out << c.name; }

QByteArray nested(int depth)
{
    return "{\\rtf1 " + QByteArray(depth, '{') + "x" + QByteArray(depth, '}') + "}";
}

QByteArray allByteValues()
{
    QByteArray bytes = "{\\rtf1 ";
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

QByteArray manyCells(int cells)
{
    QByteArray body = "{\\rtf1 \\trowd\\cellx1000\\pard\\intbl ";
    for (int cell = 0; cell < cells; ++cell)
        body += "c\\cell ";
    return body + "\\row}";
}

const MalformedCase malformedCases[] = {
        {"emptyInput", "", false},
        {"whitespaceOnly", " \r\n\t", false},
        {"plainText", "hello", false},
        {"pngHeader", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false},
        {"rtfWordWithoutGroup", "\\rtf1 text}", false},
        {"leadingWhitespace", "\r\n  {\\rtf1 text}", true, "text"},
        {"missingClosingBraces", "{\\rtf1 {\\b bold {\\i more", true, "bold more"},
        {"extraClosingBraces", "{\\rtf1 text}}}}{\\b after}", true, "text"},
        {"closingBraceInsideGroups", "{\\rtf1 a{b}}c}", true, "ab"},
        {"nesting100000Deep", nested(100000), false},
        {"nesting1000Deep", nested(1000), false},
        {"nesting999Deep", nested(999), true, "x"},
        {"hugeFontSize", "{\\rtf1 \\fs99999999999999 big}", true, "big"},
        {"hugeNegativeIndent", "{\\rtf1 \\li-99999999999999999\\fi-2147483648 x\\par}", true, "x"},
        {"hugeTabStops", "{\\rtf1 \\tx99999999999\\tx-5\\tqr\\tx2147483647 a\\tab b}", true,
         "a\tb"},
        {"truncatedInControlWord", "{\\rtf1 abc\\pa", true, "abc"},
        {"truncatedAfterBackslash", "{\\rtf1 abc\\", true, "abc"},
        {"truncatedInHexEscape", "{\\rtf1 abc\\'4", true, "abc"},
        {"hexEscapeAtEnd", "{\\rtf1 abc\\'", true, "abc"},
        {"hexEscapeWithBadDigits", "{\\rtf1 a\\'zzb}", true, "azzb"},
        {"binaryWithHugeLength", "{\\rtf1 a\\bin999999999999 xyz}", true, "a"},
        {"binaryHidesBraces", "{\\rtf1 a\\bin3 }{\\ b}", true, "a b"},
        {"binaryWithNegativeLength", "{\\rtf1 a\\bin-5 b}", true, "ab"},
        {"nulBytesInText", QByteArray("{\\rtf1 a\0b}", 11), true, "ab"},
        {"everyByteValue", allByteValues(), true},
        {"unicodeMostNegative", "{\\rtf1 \\u-32768?}", true, "\xe8\x80\x80"}, // U+8000
        {"unicodeBeyondRange", "{\\rtf1 \\u99999999999?}", true, "\xef\xbf\xbd"},
        {"unicodeLoneHighSurrogate", "{\\rtf1 \\u-10179?x}", true,
         "\xef\xbf\xbd"
         "x"},
        {"unicodeSurrogatePair", "{\\rtf1 \\u-10179?\\u-8704?}", true, "\xf0\x9f\x98\x80"},
        {"unicodeZero", "{\\rtf1 a\\u0?b}", true, "ab"},
        {"unicodeQtFrameMark", "{\\rtf1 \\u-544?}", true, "\xef\xbf\xbd"}, // U+FDE0
        {"hugeFallbackLength", "{\\rtf1 {\\uc99999999\\u65 abc\\b d}e}", true, "Ae"},
        {"cellsWithoutTableMark", "{\\rtf1 a\\cell b\\row c}", true},
        {"rowWithoutCells", "{\\rtf1 \\trowd\\cellx100\\row\\row text}", true, "text"},
        {"unterminatedFontTable", "{\\rtf1{\\fonttbl{\\f0 Arial", true, ""},
        {"fontNameWithoutEnd", "{\\rtf1{\\fonttbl{\\f0 Arial}}\\f0 x}", true, "x"},
        {"colorTableDamage",
         "{\\rtf1{\\colortbl\\red999\\green-4;;\\blue7}\\cf1 x\\cf-3 y\\cf99 z}", true, "xyz"},
        {"starBeforeKnownWord", "{\\rtf1 a{\\*\\b hidden}b}", true, "ab"},
};

class RtfMalformedInput : public testing::TestWithParam<MalformedCase>
{
};

TEST_P(RtfMalformedInput, isReadOrRefusedCleanly)
{
    const MalformedCase &c = GetParam();
    QTextDocument document;
    QString error;
    const bool accepted = tqx::RtfReader::read(c.rtf, &document, &error);
    EXPECT_EQ(accepted, c.accepted) << error.toStdString();
    if (!accepted) {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(document.isEmpty());
    } else if (c.expectedText) {
        EXPECT_EQ(document.toPlainText(), QString::fromUtf8(c.expectedText));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RtfMalformedInput, testing::ValuesIn(malformedCases),
                         [](const testing::TestParamInfo<MalformedCase> &info) {
                             return info.param.name;
                         });

TEST(RtfMalformedTable, cellsBeyondTheLimitJoinTheLastColumn)
{
    QTextDocument document;
    readOrFail(manyCells(200), document);
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    ASSERT_EQ(frames.size(), 1);
    const auto *table = qobject_cast<QTextTable *>(frames[0]);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rows(), 1);
    EXPECT_EQ(table->columns(), 64);
    EXPECT_EQ(document.toPlainText().count('c'), 200);
}

TEST(RtfMalformedInputErrors, describeTheProblem)
{
    QTextDocument document;
    QString error;
    EXPECT_FALSE(tqx::RtfReader::read("hello", &document, &error));
    EXPECT_EQ(error, "The file is not an RTF document.");
    EXPECT_FALSE(tqx::RtfReader::read(nested(5000), &document, &error));
    EXPECT_EQ(error, "The RTF document nests groups more than 1000 levels deep.");
}

} // namespace
