// The command reference document that ships with the program, read through the reader.

#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QTextDocument>
#include <QTextFrame>

#include <gtest/gtest.h>

using namespace rtftest;

namespace {

const QString documentPath = QStringLiteral(TQX_DATA_DIR "/TQX Appendix B.rtf");

const QStringList headerColumns {"Description", "PC Command ASCII", "Hand Control Response",
                                 "Notes"};

// Description, command and response of every row, in the document's order.
const QList<QStringList> commandRows {
        {"Echo", R"("Kx")", R"("X#")"},
        {"Goto Azm-Alt", R"("B12AB,4000")", R"("#")"},
        {"Goto RA-Dec", R"("R34AB,12CE")", R"("#")"},
        {"Get Azm-Alt", R"("Z")", R"("12AB,4000#")"},
        {"Get RA-Dec", R"("E")", R"("34AB,12CE#")"},
        {"Cancel Goto", R"("M")", R"("#")"},
        {"Is Goto in Progress", R"("L")", R"("0#" or "1#")"},
        {"Is Alignment Complete", R"("J")", R"("0#" or "1#")"},
        {"HC version", R"("V")", R"("22")"},
        {"Stop/Start Tracking", R"("Tx")", R"("#")"},
        {"32-bit goto RA-Dec", R"("r34AB0500,12CE0500")", R"("#")"},
        {"32-bit get RA-Dec", R"("e")", R"("34AB0500,12CE0500#")"},
        {"32-bit goto Azm-Alt", R"("b34AB0500,12CE0500")", R"("#")"},
        {"32-bit get Azm-Alt", R"("z")", R"("34AB0500,12CE0500#")"},
};

class RtfShippedDocument : public testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(tqx::RtfReader::readFile(documentPath, &document, &error))
                << error.toStdString();
    }

    // The header row's block and the fourteen command rows after it.
    QList<QTextBlock> tableBlocks() const
    {
        QList<QTextBlock> blocks;
        for (QTextBlock block = blockStartingWith(document, "Description\t");
             block.isValid() && blocks.size() < 1 + commandRows.size(); block = block.next())
            blocks.append(block);
        return blocks;
    }

    QTextDocument document;
};

bool allBold(const QTextBlock &block)
{
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
        if (fragment.fragment().charFormat().fontWeight() != QFont::Bold)
            return false;
    return block.begin() != block.end();
}

TEST_F(RtfShippedDocument, everyCommandRowHasItsFourColumnsInOrder)
{
    const QList<QTextBlock> blocks = tableBlocks();
    ASSERT_EQ(blocks.size(), 1 + commandRows.size());
    EXPECT_EQ(blocks[0].text().split('\t'), headerColumns);
    for (qsizetype row = 0; row < commandRows.size(); ++row) {
        const QStringList columns = blocks[row + 1].text().split('\t');
        SCOPED_TRACE(commandRows[row][0].toStdString());
        ASSERT_EQ(columns.size(), 4);
        EXPECT_EQ(columns.mid(0, 3), commandRows[row]);
    }
}

TEST_F(RtfShippedDocument, notesAreGivenWhereTheRowNeedsThem)
{
    const QList<QTextBlock> blocks = tableBlocks();
    ASSERT_EQ(blocks.size(), 1 + commandRows.size());
    const auto notes = [&](int row) { return blocks[row + 1].text().split('\t').value(3); };
    EXPECT_EQ(notes(0), "checks the link; the character x comes back");
    EXPECT_TRUE(notes(1).contains("slew limits"));
    EXPECT_TRUE(notes(2).startsWith("needs an aligned telescope"));
    EXPECT_EQ(notes(5), "");
    EXPECT_TRUE(notes(9).contains("3 equatorial south"));
    EXPECT_EQ(notes(13), "the last two digits of each value are always zero");
}

TEST_F(RtfShippedDocument, tableParagraphsShareThreeTabStopsAndHangAtTheLast)
{
    const QList<QTextBlock> blocks = tableBlocks();
    ASSERT_EQ(blocks.size(), 1 + commandRows.size());
    const QList<QTextOption::Tab> tabs = blocks[0].blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 3);
    EXPECT_GT(tabs[0].position, 0);
    EXPECT_LT(tabs[0].position, tabs[1].position);
    EXPECT_LT(tabs[1].position, tabs[2].position);
    for (const QTextBlock &block : blocks) {
        SCOPED_TRACE(block.text().toStdString());
        EXPECT_EQ(block.blockFormat().tabPositions(), tabs);
        // Wrapped notes line up under the Notes column.
        EXPECT_DOUBLE_EQ(block.blockFormat().leftMargin(), tabs[2].position);
        EXPECT_DOUBLE_EQ(block.blockFormat().textIndent(), -tabs[2].position);
    }
}

TEST_F(RtfShippedDocument, headingAndHeaderRowAreBoldAndRowsAreNot)
{
    EXPECT_EQ(document.begin().text(), "RS-232 Connection");
    EXPECT_TRUE(allBold(document.begin()));
    const QList<QTextBlock> blocks = tableBlocks();
    ASSERT_FALSE(blocks.isEmpty());
    EXPECT_TRUE(allBold(blocks[0]));
    for (const QTextBlock &block : blocks.mid(1))
        EXPECT_EQ(formatOf(document, block.text().section('\t', 0, 0)).fontWeight(), QFont::Normal);
}

TEST_F(RtfShippedDocument, describesTheSerialLineAndTheAngleFormat)
{
    const QString text = document.toPlainText();
    for (const char *phrase :
         {"9600 bit/s", "no parity", "one stop bit", "16-bit", "upper-case hexadecimal ASCII"})
        EXPECT_TRUE(text.contains(phrase)) << phrase;
}

TEST_F(RtfShippedDocument, isLaidOutWithTabStopsNotAsATable)
{
    EXPECT_TRUE(document.rootFrame()->childFrames().isEmpty());
}

} // namespace
