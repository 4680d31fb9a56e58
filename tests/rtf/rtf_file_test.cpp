// Reading from files, and what the document holds after a failure.

#include "rtf_test_support.h"

#include "rtf/RtfReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

TEST(RtfFiles, missingFileGivesTheFileSystemsErrorAndEmptiesTheDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("absent.rtf");
    QFile probe(path);
    ASSERT_FALSE(probe.open(QIODevice::ReadOnly));

    QTextDocument document;
    document.setPlainText("old content");
    QString error;
    EXPECT_FALSE(tqx::RtfReader::readFile(path, &document, &error));
    EXPECT_EQ(error, probe.errorString());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(document.isEmpty());
}

TEST(RtfFiles, fileThatIsNotRtfIsRefused)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "notes.rtf", "Just some notes.\n");
    QTextDocument document;
    QString error;
    EXPECT_FALSE(tqx::RtfReader::readFile(path, &document, &error));
    EXPECT_EQ(error, "The file is not an RTF document.");
}

TEST(RtfFiles, readingReplacesTheContentAndLeavesNothingToUndo)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "doc.rtf", "{\\rtf1 new {\\b text}\\par}");
    QTextDocument document;
    document.setPlainText("old content");
    QString error;
    EXPECT_TRUE(tqx::RtfReader::readFile(path, &document, &error)) << error.toStdString();
    EXPECT_EQ(document.toPlainText(), "new text");
    EXPECT_FALSE(document.isUndoAvailable());
    EXPECT_TRUE(document.isUndoRedoEnabled());
    EXPECT_FALSE(document.isModified());
}

} // namespace
