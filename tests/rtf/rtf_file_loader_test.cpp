// Loading a file on a worker thread: the document arrives in the loader's thread, failures carry
// the reader's sentence, and a loader destroyed mid-read leaves nothing behind.

#include "rtf_test_support.h"

#include "rtf/RtfFileLoader.h"
#include "rtf/RtfReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class RtfFileLoaderTest : public testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // The loader's signal crosses threads, so it needs an event loop.
    int m_argc = 1;
    char m_name[16] = "rtf_tests";
    char *m_argv[2] = {m_name, nullptr};
    QCoreApplication m_application {m_argc, m_argv};
    QTemporaryDir m_dir;
};

constexpr int deadlineMs = 60000;

TEST_F(RtfFileLoaderTest, handsTheDocumentOverInItsOwnThread)
{
    const QString path = write("doc.rtf", "{\\rtf1 one two three four five\\par short\\par}");
    tqx::RtfFileLoader loader;
    loader.setLongestParagraph(10);
    QSignalSpy loaded(&loader, &tqx::RtfFileLoader::loaded);
    loader.start(path);
    EXPECT_TRUE(loader.isRunning());
    ASSERT_TRUE(loaded.wait(deadlineMs));
    EXPECT_FALSE(loader.isRunning());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_TRUE(loaded.first().first().toBool());

    std::unique_ptr<QTextDocument> document = loader.takeDocument();
    ASSERT_TRUE(document);
    EXPECT_EQ(document->thread(), QThread::currentThread());
    EXPECT_EQ(document->toPlainText(), "one two \nthree \nfour five\nshort");
    EXPECT_FALSE(document->isModified());
    EXPECT_FALSE(document->isUndoAvailable());
    EXPECT_FALSE(loader.takeDocument());
}

struct FailureCase
{
    const char *name;
    QByteArray content; // empty: no file
};

void PrintTo(const FailureCase &c, std::ostream *out) { *out << c.name; }

class RtfFileLoaderFailure : public RtfFileLoaderTest,
                             public testing::WithParamInterface<FailureCase>
{
};

TEST_P(RtfFileLoaderFailure, givesTheReadersError)
{
    const QString path = GetParam().content.isEmpty() ? m_dir.filePath("absent.rtf")
                                                      : write("doc.rtf", GetParam().content);
    QTextDocument direct;
    QString expected;
    ASSERT_FALSE(tqx::RtfReader::readFile(path, &direct, &expected));

    tqx::RtfFileLoader loader;
    QSignalSpy loaded(&loader, &tqx::RtfFileLoader::loaded);
    loader.start(path);
    ASSERT_TRUE(loaded.wait(deadlineMs));
    EXPECT_FALSE(loaded.first().first().toBool());
    EXPECT_EQ(loader.errorString(), expected);
    EXPECT_FALSE(loader.takeDocument());
}

const FailureCase failureCases[] = {
        {"missingFile", {}},
        {"notRtf", "Just some notes.\n"},
        {"nestedTooDeep", "{\\rtf1 " + QByteArray(2000, '{')},
};

INSTANTIATE_TEST_SUITE_P(Rows, RtfFileLoaderFailure, testing::ValuesIn(failureCases),
                         [](const testing::TestParamInfo<FailureCase> &info) {
                             return info.param.name;
                         });

TEST_F(RtfFileLoaderTest, destroyedDuringAReadDiscardsIt)
{
    QByteArray rtf = "{\\rtf1 ";
    while (rtf.size() < 4 * 1024 * 1024)
        rtf += "\\b bold\\b0  plain\\tab text\\par ";
    const QString path = write("large.rtf", rtf + "}");

    int deliveries = 0;
    QObject receiver;
    {
        tqx::RtfFileLoader loader;
        QObject::connect(&loader, &tqx::RtfFileLoader::loaded, &receiver, [&] { ++deliveries; });
        loader.start(path);
        ASSERT_TRUE(loader.isRunning());
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(deliveries, 0);
}

} // namespace
