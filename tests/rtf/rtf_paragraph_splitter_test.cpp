// Cutting long paragraphs into pieces for showing: where the cuts fall, and what the pieces keep
// of the paragraph's format.

#include "rtf_test_support.h"

#include "rtf/RtfParagraphSplitter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

#include <atomic>

using namespace rtftest;

namespace {

struct CutCase
{
    const char *name;
    QString text;
    int longest;
    QStringList pieces;
};

void PrintTo(const CutCase &c, std::ostream *out) { *out << c.name; }

const CutCase cutCases[] = {
        {"shortEnough", "one two three", 13, {"one two three"}},
        {"afterTheLastSpaceInReach",
         "one two three four five",
         10,
         {"one two ", "three ", "four five"}},
        {"atTheLimitWithoutSpaces",
         "abcdefghijklmnopqrstuvw",
         10,
         {"abcdefghij", "klmnopqrst", "uvw"}},
        {"spaceTooEarlyIsNotUsed", "a bcdefghijklm", 10, {"a bcdefghi", "jklm"}},
        {"surrogatePairsStayWhole",
         QString::fromUtf16(u"ab\U0001F600\U0001F600\U0001F600"),
         3,
         {QString::fromUtf16(u"ab"), QString::fromUtf16(u"\U0001F600"),
          QString::fromUtf16(u"\U0001F600"), QString::fromUtf16(u"\U0001F600")}},
};

class RtfParagraphCuts : public testing::TestWithParam<CutCase>
{
};

TEST_P(RtfParagraphCuts, fallWhereExpected)
{
    QTextDocument document;
    document.setPlainText(GetParam().text + "\nok");
    document.setModified(false);
    EXPECT_TRUE(tqx::splitLongParagraphs(&document, GetParam().longest));
    EXPECT_EQ(blockTexts(document), GetParam().pieces + QStringList {"ok"});
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(document.isUndoAvailable());
}

INSTANTIATE_TEST_SUITE_P(Rows, RtfParagraphCuts, testing::ValuesIn(cutCases),
                         [](const testing::TestParamInfo<CutCase> &info) {
                             return info.param.name;
                         });

TEST(RtfParagraphPieces, shareTheParagraphsSpacingAndKeepTheirCharacterFormats)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\pagebb\\qc\\sb100\\sa200\\li400\\fi300\\tx2000 "
                           "aaaa {\\b bbbb} {\\f1 cccc} dddd eeee\\par next\\par"),
               document);
    const QTextBlockFormat whole = document.begin().blockFormat();
    const QString text = document.begin().text();
    std::vector<QTextCharFormat> formats;
    for (int i = 0; i < text.size(); ++i) {
        QTextCursor cursor(&document);
        cursor.setPosition(i + 1);
        formats.push_back(cursor.charFormat());
    }

    ASSERT_TRUE(tqx::splitLongParagraphs(&document, 5));
    const QStringList texts = blockTexts(document);
    ASSERT_EQ(texts, QStringList({"aaaa ", "bbbb ", "cccc ", "dddd ", "eeee", "next"}));
    for (int i = 0; i < text.size(); ++i) {
        QTextCursor cursor(&document);
        // Positions move by one at each cut, as each piece ends in a paragraph mark.
        cursor.setPosition(i + 1 + i / 5);
        EXPECT_TRUE(cursor.charFormat() == formats[std::size_t(i)]) << "character " << i;
    }

    QTextBlock block = document.begin();
    for (int piece = 0; piece < 5; ++piece, block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        const bool first = piece == 0;
        const bool last = piece == 4;
        EXPECT_EQ(format.topMargin(), first ? whole.topMargin() : 0) << piece;
        EXPECT_EQ(format.textIndent(), first ? whole.textIndent() : 0) << piece;
        EXPECT_EQ(format.pageBreakPolicy(),
                  first ? whole.pageBreakPolicy() : QTextFormat::PageBreak_Auto)
                << piece;
        EXPECT_EQ(format.bottomMargin(), last ? whole.bottomMargin() : 0) << piece;
        EXPECT_EQ(format.leftMargin(), whole.leftMargin()) << piece;
        EXPECT_EQ(format.alignment(), whole.alignment()) << piece;
        EXPECT_EQ(format.tabPositions(), whole.tabPositions()) << piece;
        EXPECT_TRUE(block.charFormat() == document.begin().charFormat()) << piece;
    }
    EXPECT_TRUE(block.blockFormat() == document.lastBlock().blockFormat());
}

TEST(RtfParagraphPieces, longCellParagraphsAreCutInPlace)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTable *table = cursor.insertTable(1, 2);
    table->cellAt(0, 0).firstCursorPosition().insertText("one two three four five");
    table->cellAt(0, 1).firstCursorPosition().insertText("five");

    ASSERT_TRUE(tqx::splitLongParagraphs(&document, 10));
    ASSERT_EQ(table->rows(), 1);
    ASSERT_EQ(table->columns(), 2);
    QStringList first;
    const QTextTableCell cell = table->cellAt(0, 0);
    for (auto it = cell.begin(); !it.atEnd(); ++it)
        first << it.currentBlock().text();
    EXPECT_EQ(first, QStringList({"one two ", "three ", "four five"}));
    EXPECT_EQ(table->cellAt(0, 1).firstCursorPosition().block().text(), "five");
}

TEST(RtfParagraphPieces, cancelledCuttingSaysSo)
{
    QTextDocument document;
    document.setPlainText(QString(100, u'x'));
    const std::atomic<bool> cancelled {true};
    EXPECT_FALSE(tqx::splitLongParagraphs(&document, 10, &cancelled));
    const std::atomic<bool> notCancelled {false};
    EXPECT_TRUE(tqx::splitLongParagraphs(&document, 10, &notCancelled));
    EXPECT_EQ(document.blockCount(), 10);
}

} // namespace
