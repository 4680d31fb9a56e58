#include "MessageBox.h"

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
    if (const MessageSink &sink = currentSink()) {
        sink(parent, text);
        return;
    }
    QMessageBox::information(parent, QString::fromLatin1(messageCaption), text, QMessageBox::Ok);
}

MessageSink setMessageSink(MessageSink sink)
{
    return std::exchange(currentSink(), std::move(sink));
}

} // namespace tqx
