#include "reference/DefaultPrinter.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
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

    // The copy keeps the layout it has on screen, cut into pages of the printable area, and the
    // painter scales it to the printer's resolution, so that the printout looks like the screen.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double screenDpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    const double scale = printer->resolution() / screenDpi;
    std::unique_ptr<QTextDocument> copy(document.clone());
    const QSizeF page(printer->width() / scale, printer->height() / scale);
    copy->setPageSize(page);
    painter.scale(scale, scale);

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
