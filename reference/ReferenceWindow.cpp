#include "reference/ReferenceWindow.h"

#include "reference/Logging.h"

#include "reference/DefaultPrinter.h"
#include "widgets/MessageBox.h"

#include <QMenuBar>
#include <QPrinter>

namespace tqx {

ReferenceWindow::ReferenceWindow(const QString &title, Qt::WindowFlags extraFlags)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | extraFlags);
    setWindowTitle(title);
    m_close = menuBar()->addAction(QStringLiteral("Close"));
    m_print = menuBar()->addAction(QStringLiteral("Print"));
    connect(m_close, &QAction::triggered, this, &QWidget::close);
    connect(m_print, &QAction::triggered, this, [this] { print(); });
}

void ReferenceWindow::reportFileFailure(const QString &errorText, const QString &path)
{
    qCDebug(lcReference).noquote() << "cannot show" << path << ":" << errorText;
    showMessage(nullptr, errorText + QStringLiteral("\r\n") + path);
}

std::unique_ptr<QPrinter> ReferenceWindow::openPrinterOrTell()
{
    QString errorText;
    std::unique_ptr<QPrinter> printer = openDefaultPrinter(&errorText);
    if (!printer)
        showMessage(this, errorText);
    return printer;
}

void ReferenceWindow::reportPrintRefused()
{
    showMessage(this, QStringLiteral("The printer did not accept the print job."));
}

} // namespace tqx
