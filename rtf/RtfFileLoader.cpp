#include "rtf/RtfFileLoader.h"

#include "rtf/RtfParagraphSplitter.h"
#include "rtf/RtfReader.h"

#include <QTextDocument>
#include <QThread>

namespace tqx {

RtfFileLoader::RtfFileLoader(QObject *parent)
    : QObject(parent)
{
}

RtfFileLoader::~RtfFileLoader()
{
    if (m_worker) {
        m_cancelled = true;
        m_worker->wait();
    }
}

void RtfFileLoader::start(const QString &path)
{
    if (m_worker)
        return;
    QThread *home = thread();
    m_worker = QThread::create([this, path, home] { read(path, home); });
    m_worker->setParent(this);
    connect(m_worker, &QThread::finished, this, &RtfFileLoader::readFinished);
    m_running = true;
    m_worker->start();
}

void RtfFileLoader::read(const QString &path, QThread *home)
{
    auto document = std::make_unique<QTextDocument>();
    QString error;
    bool ok = RtfReader::readFile(path, document.get(), &error, &m_cancelled);
    if (ok && m_longestParagraph > 0)
        ok = splitLongParagraphs(document.get(), m_longestParagraph, &m_cancelled);
    // A cancelled read's document dies here, on the thread it belongs to.
    if (m_cancelled)
        return;
    if (ok) {
        document->moveToThread(home);
        m_document = std::move(document);
    } else {
        m_error = error;
    }
}

void RtfFileLoader::readFinished()
{
    m_running = false;
    emit loaded(m_document != nullptr);
}

std::unique_ptr<QTextDocument> RtfFileLoader::takeDocument() { return std::move(m_document); }

} // namespace tqx
