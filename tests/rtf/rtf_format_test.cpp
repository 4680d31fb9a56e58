// Character and paragraph formats: how control words set them, how groups and \plain/\pard
// restore them, and how lengths convert (96 pixels to the inch).

#include "rtf_test_support.h"

#include <QTextDocument>

#include <gtest/gtest.h>

using namespace rtftest;

namespace {

constexpr double pixelsPerTwip = 96.0 / 1440.0;

TEST(RtfCharacterFormats, togglesSwitchOffWithZero)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\b\\i\\ul\\strike on\\b0\\i0\\ul0\\strike0  off"), document);
    const QTextCharFormat on = formatOf(document, "on");
    EXPECT_EQ(on.fontWeight(), QFont::Bold);
    EXPECT_TRUE(on.fontItalic());
    EXPECT_EQ(on.underlineStyle(), QTextCharFormat::SingleUnderline);
    EXPECT_TRUE(on.fontStrikeOut());
    const QTextCharFormat off = formatOf(document, "off");
    EXPECT_EQ(off.fontWeight(), QFont::Normal);
    EXPECT_FALSE(off.fontItalic());
    EXPECT_EQ(off.underlineStyle(), QTextCharFormat::NoUnderline);
    EXPECT_FALSE(off.fontStrikeOut());
}

TEST(RtfCharacterFormats, groupEndRestoresAndPlainResets)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\cf1\\f1\\fs30 {\\b\\cf2\\super inner}outer \\ulwave\\plain plain"),
               document);
    const QTextCharFormat inner = formatOf(document, "inner");
    EXPECT_EQ(inner.fontWeight(), QFont::Bold);
    EXPECT_EQ(inner.foreground().color(), QColor(Qt::blue));
    EXPECT_EQ(inner.verticalAlignment(), QTextCharFormat::AlignSuperScript);
    const QTextCharFormat outer = formatOf(document, "outer");
    EXPECT_EQ(outer.fontWeight(), QFont::Normal);
    EXPECT_EQ(outer.foreground().color(), QColor(Qt::red));
    EXPECT_EQ(outer.verticalAlignment(), QTextCharFormat::AlignNormal);
    EXPECT_EQ(outer.fontFamilies().toStringList(), QStringList {"Courier New"});
    EXPECT_DOUBLE_EQ(outer.fontPointSize(), 15.0);
    const QTextCharFormat plain = formatOf(document, "plain");
    EXPECT_EQ(plain.underlineStyle(), QTextCharFormat::NoUnderline);
    EXPECT_FALSE(plain.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(plain.fontFamilies().toStringList(), QStringList {"Arial"}); // \deff0
    EXPECT_DOUBLE_EQ(plain.fontPointSize(), 12.0);
}

TEST(RtfCharacterFormats, fontSizesAreHalfPointsWithinLimits)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\fs21 a\\fs99999999999999 b\\fs0 c\\fs-8 d\\fs1 e"), document);
    EXPECT_DOUBLE_EQ(formatOf(document, "a").fontPointSize(), 10.5);
    EXPECT_DOUBLE_EQ(formatOf(document, "b").fontPointSize(), 1638.0);
    EXPECT_DOUBLE_EQ(formatOf(document, "c").fontPointSize(), 12.0);
    EXPECT_DOUBLE_EQ(formatOf(document, "d").fontPointSize(), 12.0);
    EXPECT_DOUBLE_EQ(formatOf(document, "e").fontPointSize(), 2.0);
}

TEST(RtfCharacterFormats, unknownColoursAndFontsFallBackToDefaults)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\cf7\\cb9\\f42 x\\cf0\\highlight1 y"), document);
    const QTextCharFormat x = formatOf(document, "x");
    EXPECT_FALSE(x.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(x.hasProperty(QTextFormat::BackgroundBrush));
    EXPECT_EQ(x.fontFamilies().toStringList(), QStringList {"Arial"});
    EXPECT_EQ(formatOf(document, "y").background().color(), QColor(Qt::red));
}

TEST(RtfParagraphFormats, alignmentIndentsAndSpacingInPixels)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\pard\\qr\\li1440\\ri720\\fi-360\\sb240\\sa120 right\\par"
                           "\\qc centred\\par\\pard plain\\par"),
               document);
    const QTextBlockFormat right = blockStartingWith(document, "right").blockFormat();
    EXPECT_EQ(right.alignment(), Qt::AlignRight);
    EXPECT_DOUBLE_EQ(right.leftMargin(), 96.0);
    EXPECT_DOUBLE_EQ(right.rightMargin(), 48.0);
    EXPECT_DOUBLE_EQ(right.textIndent(), -24.0);
    EXPECT_DOUBLE_EQ(right.topMargin(), 16.0);
    EXPECT_DOUBLE_EQ(right.bottomMargin(), 8.0);
    // Paragraph properties carry over \par until \pard.
    const QTextBlockFormat centred = blockStartingWith(document, "centred").blockFormat();
    EXPECT_EQ(centred.alignment(), Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(centred.leftMargin(), 96.0);
    const QTextBlockFormat plain = blockStartingWith(document, "plain").blockFormat();
    EXPECT_EQ(plain.alignment(), Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(plain.leftMargin(), 0.0);
}

TEST(RtfParagraphFormats, propertiesInForceAtParApplyToTheWholeParagraph)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\pard starts left \\qc ends centred\\par"), document);
    EXPECT_EQ(document.begin().blockFormat().alignment(), Qt::AlignHCenter);
}

TEST(RtfParagraphFormats, tabStopsAreSortedAndTyped)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\pard\\tqc\\tx2880\\tx720\\tqr\\tx4320\\tqdec\\tx5760 a\\tab b\\par"),
               document);
    const QList<QTextOption::Tab> tabs = document.begin().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 4);
    EXPECT_EQ(tabs[0], QTextOption::Tab(720 * pixelsPerTwip, QTextOption::LeftTab));
    EXPECT_EQ(tabs[1], QTextOption::Tab(2880 * pixelsPerTwip, QTextOption::CenterTab));
    EXPECT_EQ(tabs[2], QTextOption::Tab(4320 * pixelsPerTwip, QTextOption::RightTab));
    EXPECT_EQ(tabs[3].type, QTextOption::DelimiterTab);
    EXPECT_EQ(tabs[3].delimiter, QChar('.'));
}

TEST(RtfParagraphFormats, lineSpacingKinds)
{
    QTextDocument document;
    readOrFail(rtfDocument("\\pard\\sl360\\slmult1 multiple\\par\\pard\\sl300 least\\par"
                           "\\pard\\sl-300 exact\\par"),
               document);
    const QTextBlockFormat multiple = blockStartingWith(document, "multiple").blockFormat();
    EXPECT_EQ(multiple.lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_DOUBLE_EQ(multiple.lineHeight(), 150.0);
    const QTextBlockFormat least = blockStartingWith(document, "least").blockFormat();
    EXPECT_EQ(least.lineHeightType(), QTextBlockFormat::MinimumHeight);
    EXPECT_DOUBLE_EQ(least.lineHeight(), 20.0);
    const QTextBlockFormat exact = blockStartingWith(document, "exact").blockFormat();
    EXPECT_EQ(exact.lineHeightType(), QTextBlockFormat::FixedHeight);
    EXPECT_DOUBLE_EQ(exact.lineHeight(), 20.0);
}

TEST(RtfParagraphs, finalParIsNotAnEmptyParagraphButRepeatedParsAre)
{
    QTextDocument document;
    readOrFail(rtfDocument("one\\par\\par three\\par"), document);
    EXPECT_EQ(blockTexts(document), QStringList({"one", "", "three"}));
}

TEST(RtfParagraphs, pageBreakStartsTheNextParagraphOnANewPage)
{
    QTextDocument document;
    readOrFail(rtfDocument("one\\page two\\par"), document);
    EXPECT_EQ(blockTexts(document), QStringList({"one", "two"}));
    EXPECT_EQ(blockStartingWith(document, "two").blockFormat().pageBreakPolicy(),
              QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_EQ(document.begin().blockFormat().pageBreakPolicy(), QTextFormat::PageBreak_Auto);
}

} // namespace
