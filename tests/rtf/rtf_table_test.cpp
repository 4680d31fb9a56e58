// RTF table rows becoming QTextTables.

#include "rtf_test_support.h"

#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

using namespace rtftest;

namespace {

QList<QTextTable *> tablesOf(const QTextDocument &document)
{
    QList<QTextTable *> tables;
    for (QTextFrame *frame : document.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            tables.append(table);
    return tables;
}

QString cellText(const QTextTable *table, int row, int column)
{
    const QTextTableCell cell = table->cellAt(row, column);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selection().toPlainText();
}

TEST(RtfTables, rowsOfCellsWithWidthsFromTheRowDefinition)
{
    QTextDocument document;
    readOrFail(rtfDocument("before\\par"
                           "\\trowd\\trgaph100\\cellx1440\\cellx4320\\cellx5760"
                           "\\pard\\intbl a\\cell b\\par b2\\cell c\\cell\\row"
                           "\\trowd\\trgaph100\\cellx1440\\cellx4320\\cellx5760"
                           "\\pard\\intbl d\\cell e\\cell f\\cell\\row"
                           "\\pard after\\par"),
               document);
    const QList<QTextTable *> tables = tablesOf(document);
    ASSERT_EQ(tables.size(), 1);
    const QTextTable *table = tables[0];
    ASSERT_EQ(table->rows(), 2);
    ASSERT_EQ(table->columns(), 3);
    EXPECT_EQ(cellText(table, 0, 0), "a");
    EXPECT_EQ(cellText(table, 0, 1), "b\nb2");
    EXPECT_EQ(cellText(table, 1, 2), "f");
    // No empty paragraph between "before", the table and "after".
    EXPECT_EQ(blockTexts(document),
              QStringList({"before", "a", "b", "b2", "c", "d", "e", "f", "after"}));

    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 3);
    EXPECT_EQ(widths[0], QTextLength(QTextLength::FixedLength, 96.0));
    EXPECT_EQ(widths[1], QTextLength(QTextLength::FixedLength, 192.0));
    EXPECT_EQ(widths[2], QTextLength(QTextLength::FixedLength, 96.0));
    EXPECT_EQ(table->format().border(), 0); // no \clbrdr: borderless, like the source
}

TEST(RtfTables, aRowWithMoreCellsWidensTheTable)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\trowd\\cellx1000\\pard\\intbl a\\cell\\row"
                           "\\trowd\\cellx1000\\cellx2000\\pard\\intbl b\\cell c\\cell\\row"),
               document);
    const QList<QTextTable *> tables = tablesOf(document);
    ASSERT_EQ(tables.size(), 1);
    EXPECT_EQ(tables[0]->rows(), 2);
    EXPECT_EQ(tables[0]->columns(), 2);
    EXPECT_EQ(cellText(tables[0], 1, 1), "c");
}

TEST(RtfTables, plainParagraphBetweenRowsSplitsTheTable)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\trowd\\cellx1000\\pard\\intbl a\\cell\\row"
                           "\\pard between\\par"
                           "\\trowd\\cellx1000\\pard\\intbl b\\cell\\row"),
               document);
    EXPECT_EQ(tablesOf(document).size(), 2);
    EXPECT_TRUE(document.toPlainText().contains("between"));
}

TEST(RtfTables, documentEndingInsideARowKeepsItsCells)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b"), document);
    const QList<QTextTable *> tables = tablesOf(document);
    ASSERT_EQ(tables.size(), 1);
    EXPECT_EQ(cellText(tables[0], 0, 1), "b");
}

} // namespace
