#include "reference/frmRS232.h"

#include "reference/DefaultPrinter.h"
#include "reference/ProgramFolder.h"
#include "widgets/MessageBox.h"
#include "widgets/ScreenUnits.h"

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
    : ReferenceWindow(QStringLiteral("RS-232 Null Modem Cable"), Qt::MSWindowsFixedSizeDialogHint)
    , m_programVersion(programVersion)
{
    RSCloseButton = closeAction();
    RSPrintButton = printAction();

    auto *client = new QWidget(this);
    setCentralWidget(client);
    RS232Picture = new QLabel(client);
    RS232Picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RS232Picture->setLineWidth(1);
}

frmRS232 *frmRS232::load(const QString &programVersion) { return create<frmRS232>(programVersion); }

bool frmRS232::frmRS232_Form_Load()
{
    const QString path = programFilePath(QLatin1String(drawingFileName));
    QImageReader reader(path);
    m_drawing = reader.read();
    if (m_drawing.isNull()) {
        reportFileFailure(reader.errorString(), path);
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
    std::unique_ptr<QPrinter> printer = openPrinterOrTell();
    if (!printer)
        return;
    QPainter painter;
    if (!painter.begin(printer.get())) {
        reportPrintRefused();
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
        reportPrintRefused();
}

void frmRS232::frmRS232_RSCloseButton_Click() { close(); }

} // namespace tqx
