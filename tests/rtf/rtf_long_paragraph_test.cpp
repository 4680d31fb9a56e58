// Long paragraphs: read in one go they give the same text and formats as their pieces read one by
// one, formats follow the font and colour tables in force, and a read can be cancelled.

#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QTextDocument>

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

using namespace rtftest;

namespace {

using Fragments = std::vector<std::pair<QString, QTextCharFormat>>;

// The runs of text of `document` in order with their formats, neighbours of one format merged.
Fragments fragmentsOf(const QTextDocument &document)
{
    Fragments fragments;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragments.empty() && fragments.back().second == fragment.charFormat())
                fragments.back().first += fragment.text();
            else
                fragments.emplace_back(fragment.text(), fragment.charFormat());
        }
    }
    return fragments;
}

// Piece `i` of a long paragraph: one of twenty formats, more than the reader keeps converted.
QByteArray piece(int i)
{
    static const char *const formats[] = {"\\b", "\\i", "\\ul", "\\f1", "\\cf1", "\\cf2 \\b"};
    QByteArray rtf = "\\plain\\fs" + QByteArray::number(16 + 2 * (i % 20));
    if (i % 7 < 6)
        rtf += formats[i % 7];
    return rtf + " word" + QByteArray::number(i) + (i % 3 ? "\\tab " : " ");
}

TEST(RtfLongParagraph, readsAsItsPiecesReadOneByOne)
{
    constexpr int pieces = 3000;
    QByteArray whole;
    Fragments expected;
    for (int i = 0; i < pieces; ++i) {
        whole += piece(i);
        QTextDocument alone;
        readOrFail(rtfDocument(piece(i)), alone);
        for (auto &fragment : fragmentsOf(alone)) {
            if (!expected.empty() && expected.back().second == fragment.second)
                expected.back().first += fragment.first;
            else
                expected.push_back(std::move(fragment));
        }
    }

    QTextDocument document;
    readOrFail(rtfDocument(whole), document);
    EXPECT_EQ(document.blockCount(), 1);
    const Fragments actual = fragmentsOf(document);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].first, expected[i].first) << "run " << i;
        EXPECT_TRUE(actual[i].second == expected[i].second) << "run " << i;
    }
}

struct TablesCase
{
    const char *name;
    QByteArray body; // "before", a change of the tables, then "after" with the same properties
    QByteArray changeOnly; // the same change with no text before it, then "after"
};

void PrintTo(const TablesCase &c, std::ostream *out) { *out << c.name; }

const TablesCase tablesCases[] = {
        {"fontTableRedefinesAFont",
         "\\f0 before\\par{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0 after",
         "{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0 after"},
        {"colorTableGrows", "\\cf3 before\\par{\\colortbl\\red0\\green128\\blue0;}\\cf3 after",
         "{\\colortbl\\red0\\green128\\blue0;}\\cf3 after"},
        {"defaultFontChanges", "before\\par\\deff1 after", "\\deff1 after"},
};

class RtfTablesInForce : public testing::TestWithParam<TablesCase>
{
};

TEST_P(RtfTablesInForce, formatTheTextAfterThem)
{
    QTextDocument document;
    readOrFail(rtfDocument(GetParam().body), document);
    const QTextCharFormat after = formatOf(document, "after");
    EXPECT_FALSE(formatOf(document, "before") == after);

    QTextDocument changeOnly;
    readOrFail(rtfDocument(GetParam().changeOnly), changeOnly);
    EXPECT_TRUE(formatOf(changeOnly, "after") == after);
}

INSTANTIATE_TEST_SUITE_P(Rows, RtfTablesInForce, testing::ValuesIn(tablesCases),
                         [](const testing::TestParamInfo<TablesCase> &info) {
                             return info.param.name;
                         });

TEST(RtfCancelledRead, leavesTheDocumentEmpty)
{
    QByteArray body;
    for (int i = 0; i < 20000; ++i)
        body += "\\b x\\b0 y\\par ";
    const std::atomic<bool> cancelled {true};
    QTextDocument document;
    document.setPlainText("old content");
    QString error;
    EXPECT_FALSE(tqx::RtfReader::read(rtfDocument(body), &document, &error, &cancelled));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(document.isEmpty());

    const std::atomic<bool> notCancelled {false};
    EXPECT_TRUE(tqx::RtfReader::read(rtfDocument(body), &document, &error, &notCancelled));
    EXPECT_EQ(document.blockCount(), 20000);
}

struct StartCase
{
    const char *name;
    QByteArray head;
    bool mayBeRtf;
};

void PrintTo(const StartCase &c, std::ostream *out) { *out << c.name; }

const StartCase startCases[] = {
        {"rtf", "{\\rtf1\\ansi", true},
        {"rtfAfterWhiteSpace", " \r\n\t{\\rtf1", true},
        {"empty", "", true},
        {"whiteSpaceOnly", "  \r\n", true},
        {"cutShortInTheMark", "{\\rt", true},
        {"text", "Just some notes.", false},
        {"otherGroup", "{\\pict", false},
        {"html", "<html>", false},
        {"byteOrderMark", "\xEF\xBB\xBF{\\rtf1", false},
};

class RtfStart : public testing::TestWithParam<StartCase>
{
};

TEST_P(RtfStart, agreesWithTheReader)
{
    QString error;
    EXPECT_EQ(tqx::RtfReader::mayStartRtf(GetParam().head, &error), GetParam().mayBeRtf);
    if (!GetParam().mayBeRtf) {
        QTextDocument document;
        QString readError;
        EXPECT_FALSE(tqx::RtfReader::read(GetParam().head, &document, &readError));
        EXPECT_EQ(error, readError);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RtfStart, testing::ValuesIn(startCases),
                         [](const testing::TestParamInfo<StartCase> &info) {
                             return info.param.name;
                         });

} // namespace
