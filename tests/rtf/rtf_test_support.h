#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>

#include <ostream>

class QTextDocument;

// Lets GoogleTest print the strings it compares.
void PrintTo(const QString &text, std::ostream *out);

namespace rtftest {

// Wraps `body` in a document with a font table (0 Arial, 1 Courier New) and a colour table
// (1 red, 2 blue).
QByteArray rtfDocument(const QByteArray &body);

// Reads `rtf` into `document` and fails the test if the reader refuses it.
void readOrFail(const QByteArray &rtf, QTextDocument &document);

// The text of every block in document order, table cells included.
QStringList blockTexts(const QTextDocument &document);

QTextBlock blockStartingWith(const QTextDocument &document, const QString &start);

// The format of the first fragment holding `text`; fails the test if there is none.
QTextCharFormat formatOf(const QTextDocument &document, const QString &text);

} // namespace rtftest
