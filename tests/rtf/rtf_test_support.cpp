#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QTextDocument>

#include <gtest/gtest.h>

void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace rtftest {

QByteArray rtfDocument(const QByteArray &body)
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0"
           "{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
           "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
            + body + "}";
}

void readOrFail(const QByteArray &rtf, QTextDocument &document)
{
    QString error;
    ASSERT_TRUE(tqx::RtfReader::read(rtf, &document, &error)) << error.toStdString();
}

QStringList blockTexts(const QTextDocument &document)
{
    QStringList texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        texts.append(block.text());
    return texts;
}

QTextBlock blockStartingWith(const QTextDocument &document, const QString &start)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.text().startsWith(start))
            return block;
    ADD_FAILURE() << "no block starts with " << start.toStdString();
    return {};
}

QTextCharFormat formatOf(const QTextDocument &document, const QString &text)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().text().contains(text))
                return fragment.fragment().charFormat();
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
}

} // namespace rtftest
