#include "widgets/MessageBox.h"

#include "widgets/Logging.h"

#include <QFileDialog>
#include <QMessageBox>

#include <utility>

namespace tqx {

namespace {
MessageSink &currentSink()
{
    static MessageSink sink;
    return sink;
}
} // namespace

void showMessage(QWidget *parent, const QString &text)
{
    qCDebug(lcWidgets).noquote() << "message:" << text;
    if (const MessageSink &sink = currentSink()) {
        sink(parent, text);
        return;
    }
    QMessageBox::information(parent, QString::fromLatin1(messageCaption), text, QMessageBox::Ok);
}

void showWarning(QWidget *parent, const QString &text)
{
    qCDebug(lcWidgets).noquote() << "warning:" << text;
    if (const MessageSink &sink = currentSink()) {
        sink(parent, text);
        return;
    }
    QMessageBox::warning(parent, QString::fromLatin1(messageCaption), text, QMessageBox::Ok);
}

MessageSink setMessageSink(MessageSink sink)
{
    return std::exchange(currentSink(), std::move(sink));
}

namespace {
SaveFileNameSink &currentSaveSink()
{
    static SaveFileNameSink sink;
    return sink;
}
} // namespace

QString askSaveFileName(QWidget *parent, const QString &caption, const QString &suggestedPath)
{
    if (const SaveFileNameSink &sink = currentSaveSink())
        return sink(parent, suggestedPath);
    return QFileDialog::getSaveFileName(parent, caption, suggestedPath,
                                        QStringLiteral("Text files (*.txt);;All files (*)"));
}

SaveFileNameSink setSaveFileNameSink(SaveFileNameSink sink)
{
    return std::exchange(currentSaveSink(), std::move(sink));
}

} // namespace tqx
