// A document in the form word processors save, with the control words they add around the text.

#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

using namespace rtftest;

namespace {

const QString samplePath = QStringLiteral(TQX_SAMPLES_DIR "/word_processor.rtf");

class RtfWordProcessorDocument : public testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(tqx::RtfReader::readFile(samplePath, &document, &error)) << error.toStdString();
    }

    QTextDocument document;
};

TEST_F(RtfWordProcessorDocument, showsTheTextWithoutTablesOrGeneratorNote)
{
    EXPECT_EQ(
            blockTexts(document),
            QStringList({"Line Settings", "Plain, bold, italic, underlined, red and marked words.",
                         QStringLiteral("Café prices: 3 € a cup, “quoted” and COM1 in mono."),
                         "Setting", "Value", "Speed", "9600 bit/s", "After the table."}));
    EXPECT_FALSE(document.toPlainText().contains("Sample Writer"));
}

TEST_F(RtfWordProcessorDocument, characterFormats)
{
    EXPECT_EQ(formatOf(document, "bold").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(document, "Plain, ").fontWeight(), QFont::Normal);
    EXPECT_TRUE(formatOf(document, "italic").fontItalic());
    EXPECT_FALSE(formatOf(document, " words.").fontItalic());
    EXPECT_EQ(formatOf(document, "underlined").underlineStyle(), QTextCharFormat::SingleUnderline);
    EXPECT_EQ(formatOf(document, "red").foreground().color(), QColor(192, 0, 0));
    EXPECT_FALSE(formatOf(document, " and ").hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(formatOf(document, "marked").background().color(), QColor(255, 255, 0));
    EXPECT_EQ(formatOf(document, "Plain, ").fontFamilies().toStringList(), QStringList {"Calibri"});
    EXPECT_DOUBLE_EQ(formatOf(document, "Plain, ").fontPointSize(), 11.0);
    EXPECT_EQ(formatOf(document, "COM1").fontFamilies().toStringList(),
              QStringList {"Courier New"});
    EXPECT_TRUE(formatOf(document, "COM1").fontFixedPitch());
}

TEST_F(RtfWordProcessorDocument, paragraphFormats)
{
    const QTextBlockFormat heading = blockStartingWith(document, "Line Settings").blockFormat();
    EXPECT_EQ(heading.alignment(), Qt::AlignHCenter);
    const QTextBlockFormat body = blockStartingWith(document, "Plain").blockFormat();
    EXPECT_EQ(body.alignment(), Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(body.bottomMargin(), 200 * 96.0 / 1440); // \sa200
    EXPECT_EQ(body.lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_DOUBLE_EQ(body.lineHeight(), 115.0); // \sl276\slmult1
    EXPECT_DOUBLE_EQ(formatOf(document, "Line Settings").fontPointSize(), 16.0);
}

TEST_F(RtfWordProcessorDocument, tableHasTwoRowsOfTwoBorderedCells)
{
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    ASSERT_EQ(frames.size(), 1);
    const auto *table = qobject_cast<QTextTable *>(frames[0]);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows(), 2);
    ASSERT_EQ(table->columns(), 2);
    const auto cellText = [&](int row, int column) {
        const QTextTableCell cell = table->cellAt(row, column);
        return cell.firstCursorPosition().block().text();
    };
    EXPECT_EQ(cellText(0, 0), "Setting");
    EXPECT_EQ(cellText(1, 1), "9600 bit/s");
    EXPECT_EQ(formatOf(document, "Value").fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(document, "Speed").fontWeight(), QFont::Normal);

    const QTextTableFormat format = table->format();
    EXPECT_GT(format.border(), 0);
    const QList<QTextLength> widths = format.columnWidthConstraints();
    ASSERT_EQ(widths.size(), 2);
    // \trleft-108 \cellx2000 \cellx4500
    EXPECT_DOUBLE_EQ(widths[0].rawValue(), 2108 * 96.0 / 1440);
    EXPECT_DOUBLE_EQ(widths[1].rawValue(), 2500 * 96.0 / 1440);
}

} // namespace
