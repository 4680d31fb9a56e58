#include "frmRS232.h"

#include "DefaultPrinter.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "ScreenUnits.h"

#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>

#include <cmath>

namespace tqx {

namespace {

// The window is this much wider and taller than the drawing, in twips.
constexpr int windowWidthMargin = 100;
constexpr int windowHeightMargin = 600;

// Places on the printed page, in twips from the top-left corner of the printable area.
constexpr double headerLeft = 100;
constexpr double headerTop = 200;
constexpr double ruleTop = 100;
constexpr double drawingTop = 1200;
constexpr double headerPointSize = 8;

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode sends halves to the even neighbour
}

} // namespace

frmRS232::frmRS232(const QString &programVersion)
    : m_programVersion(programVersion)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("RS-232 Null Modem Cable"));

    RSCloseButton = menuBar()->addAction(QStringLiteral("Close"));
    RSPrintButton = menuBar()->addAction(QStringLiteral("Print"));
    connect(RSCloseButton, &QAction::triggered, this, &frmRS232::frmRS232_RSCloseButton_Click);
    connect(RSPrintButton, &QAction::triggered, this, &frmRS232::frmRS232_RSPrintButton_Click);

    auto *client = new QWidget(this);
    setCentralWidget(client);
    RS232Picture = new QLabel(client);
    RS232Picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RS232Picture->setLineWidth(1);
}

frmRS232 *frmRS232::load(const QString &programVersion)
{
    auto *window = new frmRS232(programVersion);
    if (!window->frmRS232_Form_Load()) {
        delete window;
        return nullptr;
    }
    return window;
}

bool frmRS232::frmRS232_Form_Load()
{
    const QString path = programFilePath(QLatin1String(drawingFileName));
    QImageReader reader(path);
    m_drawing = reader.read();
    if (m_drawing.isNull()) {
        showMessage(nullptr, reader.errorString() + QStringLiteral("\r\n") + path);
        return false;
    }

    // The picture box fits the drawing inside its thin border; the window fits the picture box
    // with room to spare for the menu bar.
    RS232Picture->setPixmap(QPixmap::fromImage(m_drawing));
    const int border = RS232Picture->frameWidth();
    RS232Picture->setGeometry(0, 0, m_drawing.width() + 2 * border,
                              m_drawing.height() + 2 * border);
    const Twips twips = Twips::forPrimaryScreen();
    const QSizeF inner = pictureTwips();
    setFixedSize(twips.toPixels(inner.width() + windowWidthMargin),
                 twips.toPixels(inner.height() + windowHeightMargin));

    centreOnScreen(this);
    return true;
}

QSizeF frmRS232::pictureTwips() const
{
    const Twips twips = Twips::forPrimaryScreen();
    return QSizeF(twips.fromPixels(m_drawing.width()), twips.fromPixels(m_drawing.height()));
}

void frmRS232::frmRS232_RSPrintButton_Click()
{
    QString errorText;
    std::unique_ptr<QPrinter> printer = openDefaultPrinter(&errorText);
    if (!printer) {
        showMessage(this, errorText);
        return;
    }
    QPainter painter;
    if (!painter.begin(printer.get())) {
        showMessage(this, QStringLiteral("The printer did not accept the print job."));
        return;
    }

    const double devicePerTwip = printer->resolution() / 1440.0;
    auto device = [devicePerTwip](double twips) { return twips * devicePerTwip; };
    const double pageWidth
            = std::round(printer->pageLayout().fullRect(QPageLayout::Point).width() * 20.0);
    const double middle = roundHalfEven(pageWidth / 2);

    QFont headerFont(font().family());
    headerFont.setPointSizeF(headerPointSize);
    painter.setFont(headerFont);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(headerFont, printer.get());
    painter.drawText(QPointF(device(headerLeft), device(headerTop) + metrics.ascent()),
                     QStringLiteral("TQX Orbivo Emulator  ") + m_programVersion);

    painter.setPen(QPen(Qt::black, device(10)));
    painter.drawLine(QPointF(0, device(ruleTop)), QPointF(device(pageWidth), device(ruleTop)));

    const QSizeF inner = pictureTwips();
    const double width = roundHalfEven(inner.width());
    const double height = roundHalfEven(inner.height());
    const QRectF target(device(middle - width / 2), device(drawingTop), device(width),
                        device(height));
    painter.drawImage(target, m_drawing);

    if (!painter.end() || printer->printerState() == QPrinter::Error)
        showMessage(this, QStringLiteral("The printer did not accept the print job."));
}

void frmRS232::frmRS232_RSCloseButton_Click() { close(); }

} // namespace tqx
