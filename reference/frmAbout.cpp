#include "reference/frmAbout.h"

#include "widgets/ScreenUnits.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace tqx {

namespace {
constexpr int clientWidth = 6480;
constexpr int clientHeight = 3912;
constexpr std::uint32_t orange = 0x0080FF; // red 255, green 128
constexpr std::uint32_t darkGrey = 0x404040;
} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("About TQX Orbivo Emulator"));

    QFont windowFont;
    windowFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                            QStringLiteral("Liberation Sans")});
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPointSize(8);
    setFont(windowFont);

    const Twips twips = Twips::forPrimaryScreen();
    auto place = [&](QWidget *widget, int left, int top, int width, int height) {
        widget->setParent(this);
        widget->setGeometry(twips.rect(left, top, width, height));
    };
    auto centred = [](const QString &text) {
        auto *label = new QLabel(text);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return label;
    };

    Picture1 = new QLabel;
    Picture1->setAlignment(Qt::AlignCenter);
    place(Picture1, 120, 180, 1452, 2952);
    // The picture fills its box at any screen resolution.
    Picture1->setPixmap(
            QPixmap(QStringLiteral(":/images/telescope.png"))
                    .scaled(Picture1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    Label1 = centred(QStringLiteral("TQX Orbivo Emulator"));
    QFont titleFont;
    titleFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                           QStringLiteral("Liberation Sans")});
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSize(18);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    Label1->setFont(titleFont);
    Label1->setAlignment(Qt::AlignCenter);
    QPalette titlePalette = Label1->palette();
    titlePalette.setColor(QPalette::WindowText, colorFromNumber(orange));
    titlePalette.setColor(QPalette::Window, colorFromNumber(darkGrey));
    Label1->setPalette(titlePalette);
    Label1->setAutoFillBackground(true);
    place(Label1, 1800, 180, 4512, 492);

    VersionLabel = centred(QString());
    place(VersionLabel, 2580, 1020, 3012, 252);
    DateLabel = centred(QString());
    place(DateLabel, 2580, 1320, 3012, 192);
    Label2 = centred(QStringLiteral("By the TQX Orbivo Emulator project"));
    place(Label2, 2580, 1920, 3012, 252);
    Label3 = centred(QStringLiteral("Contact: see the project's README"));
    place(Label3, 2580, 2160, 3012, 252);

    Line1 = new QWidget;
    QPalette linePalette = Line1->palette();
    linePalette.setColor(QPalette::Window, colorFromNumber(orange));
    Line1->setPalette(linePalette);
    Line1->setAutoFillBackground(true);
    Line1->setParent(this);
    Line1->setGeometry(twips.toPixels(60), twips.toPixels(3300),
                       twips.toPixels(6420) - twips.toPixels(60), 1);

    OkButton = new QPushButton(QStringLiteral("OK"));
    OkButton->setDefault(true);
    place(OkButton, 4980, 3480, 1212, 312);
    connect(OkButton, &QPushButton::clicked, this, &frmAbout::frmAbout_OkButton_Click);
    OkButton->setFocus();

    setFixedSize(twips.toPixels(clientWidth), twips.toPixels(clientHeight));
}

void frmAbout::frmAbout_OkButton_Click() { accept(); }

// Enter activates OK, which has the focus; Escape is deliberately not bound.
void frmAbout::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tqx
