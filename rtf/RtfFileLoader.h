#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QTextDocument;
class QThread;

namespace tqx {

// Reads an RTF file into a new QTextDocument on a thread of its own, so that the thread that
// asked goes on handling its events meanwhile. The document is built on the worker thread, moved
// to the loader's thread when done, and loaded() is emitted there.
//
// Destroying the loader during a read stops the read, waits the few milliseconds the worker needs
// to notice, and discards what it had read.
class RtfFileLoader : public QObject
{
    Q_OBJECT

public:
    explicit RtfFileLoader(QObject *parent = nullptr);
    ~RtfFileLoader() override;

    // Paragraphs longer than this many characters are cut for showing (see
    // splitLongParagraphs); 0, the default, keeps them whole. Set before start().
    void setLongestParagraph(int characters) { m_longestParagraph = characters; }

    // Starts reading the file at `path`. A loader reads one file.
    void start(const QString &path);
    bool isRunning() const { return m_running; }

    // After loaded(true), the document, which the caller then owns; null otherwise.
    std::unique_ptr<QTextDocument> takeDocument();
    // After loaded(false), why the file could not be read, in a sentence for the user.
    QString errorString() const { return m_error; }

signals:
    void loaded(bool ok);

private:
    void read(const QString &path, QThread *home); // on the worker thread
    void readFinished();

    int m_longestParagraph = 0;
    QThread *m_worker = nullptr;
    bool m_running = false;
    std::atomic<bool> m_cancelled {false};

    // Written by the worker before it ends, read here only after that.
    std::unique_ptr<QTextDocument> m_document;
    QString m_error;
};

} // namespace tqx
