#include "DefaultPrinter.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include <utility>

namespace tqx {

namespace {

std::unique_ptr<QPrinter> systemDefaultPrinter(QString *errorText)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        if (errorText)
            *errorText = QStringLiteral("No printer is installed, or none is set as the default.");
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

PrinterFactory &currentFactory()
{
    static PrinterFactory factory;
    return factory;
}

} // namespace

std::unique_ptr<QPrinter> openDefaultPrinter(QString *errorText)
{
    if (const PrinterFactory &factory = currentFactory())
        return factory(errorText);
    return systemDefaultPrinter(errorText);
}

PrinterFactory setPrinterFactory(PrinterFactory factory)
{
    return std::exchange(currentFactory(), std::move(factory));
}

bool printDocument(const QTextDocument &document, QPrinter *printer)
{
    QPainter painter;
    if (!painter.begin(printer))
        return false;

    // Lay a copy out on the printer itself, so that lengths given in screen pixels are scaled to
    // the printer's resolution, and cut it into pages of the printable area.
    std::unique_ptr<QTextDocument> copy(document.clone());
    copy->documentLayout()->setPaintDevice(printer);
    const QSizeF page(printer->width(), printer->height());
    copy->setPageSize(page);

    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    const int pages = copy->pageCount();
    for (int index = 0; index < pages; ++index) {
        if (index > 0 && !printer->newPage())
            return false;
        const QRectF view(0, index * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        context.clip = view;
        copy->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return painter.end() && printer->printerState() != QPrinter::Error;
}

} // namespace tqx
