#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>

class QTextDocument;

namespace tqx {

// Reads Rich Text Format documents, which Qt cannot import, into a QTextDocument: text with its
// fonts, colours and character formats, paragraphs with their alignment, indents, spacing and tab
// stops, and tables. Pictures, headers, footers, footnotes and fields' instructions are left out.
//
// Lengths become pixels at 96 per inch (see RtfUnits.h); font sizes stay in points. Text is read
// as code page 1252, whatever \ansicpg says, plus the Unicode characters given by \u.
//
// No QGuiApplication is needed to build the document. Damaged input never crashes or hangs the
// reader: it shows what it can read, and only fails on input that is not RTF at all.
class RtfReader
{
public:
    // Replaces the content of `document` with the RTF document `rtf`. On failure the document is
    // left empty and `error` (if given) describes the problem in a sentence for the user.
    //
    // A read on a thread of its own may be stopped from another: once `*cancelled` is set the
    // read ends soon after (unless it is done first) with false and the document empty. The
    // document belongs to the thread that builds it: nothing else may touch it meanwhile.
    static bool read(const QByteArray &rtf, QTextDocument *document, QString *error = nullptr,
                     const std::atomic<bool> *cancelled = nullptr);

    // Reads the RTF file at `path`. A file that cannot be opened gives the file system's error.
    static bool readFile(const QString &path, QTextDocument *document, QString *error = nullptr,
                         const std::atomic<bool> *cancelled = nullptr);

    // Whether `head`, the first bytes of a file, may begin an RTF document. False when they
    // already show that the file is something else, with `error` as read() would give it; lets a
    // caller refuse such a file before reading all of it.
    static bool mayStartRtf(QByteArrayView head, QString *error = nullptr);
};

} // namespace tqx
