#include "frmTQXcommands.h"

#include "DefaultPrinter.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "RtfReader.h"
#include "ScreenUnits.h"

#include <QMenuBar>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <algorithm>

namespace tqx {

namespace {
// The view is this much narrower and shorter than the window, in twips.
constexpr int viewWidthMargin = 80;
constexpr int viewHeightMargin = 600;
constexpr int clientWidth = 10812;
constexpr int clientHeight = 3504;
constexpr std::uint32_t ivory = 0xE0F0F0; // red 240, green 240, blue 224
} // namespace

frmTQXcommands::frmTQXcommands()
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("TQX Orbivo Commands"));

    CmdClose = menuBar()->addAction(QStringLiteral("Close"));
    CmdPrint = menuBar()->addAction(QStringLiteral("Print"));
    connect(CmdClose, &QAction::triggered, this, &frmTQXcommands::frmTQXcommands_CmdClose_Click);
    connect(CmdPrint, &QAction::triggered, this, &frmTQXcommands::frmTQXcommands_CmdPrint_Click);

    auto *client = new QWidget(this);
    setCentralWidget(client);
    CommandsRT = new QTextEdit(client);
    CommandsRT->setReadOnly(true);
    CommandsRT->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette palette = CommandsRT->palette();
    palette.setColor(QPalette::Base, colorFromNumber(ivory));
    CommandsRT->setPalette(palette);

    const Twips twips = Twips::forPrimaryScreen();
    resize(twips.toPixels(clientWidth),
           twips.toPixels(clientHeight) + menuBar()->sizeHint().height());
    centreOnScreen(this);
}

frmTQXcommands *frmTQXcommands::load()
{
    auto *window = new frmTQXcommands;
    if (!window->frmTQXcommands_Form_Load()) {
        delete window;
        return nullptr;
    }
    return window;
}

bool frmTQXcommands::frmTQXcommands_Form_Load()
{
    const QString path = programFilePath(QLatin1String(documentFileName));
    frmTQXcommands_Form_Resize();
    QString errorText;
    if (!RtfReader::readFile(path, CommandsRT->document(), &errorText)) {
        showMessage(nullptr, errorText + QStringLiteral("\r\n") + path);
        return false;
    }
    CommandsRT->moveCursor(QTextCursor::Start);
    return true;
}

void frmTQXcommands::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    frmTQXcommands_Form_Resize();
}

// The window's size is taken without the decorations the window manager adds around it, which
// are unknown until the window is shown; a window too small for the margins gives an empty view.
void frmTQXcommands::frmTQXcommands_Form_Resize()
{
    const Twips twips = Twips::forPrimaryScreen();
    CommandsRT->setGeometry(0, 0, std::max(0, width() - twips.toPixels(viewWidthMargin)),
                            std::max(0, height() - twips.toPixels(viewHeightMargin)));
}

void frmTQXcommands::frmTQXcommands_CmdPrint_Click()
{
    QString errorText;
    std::unique_ptr<QPrinter> printer = openDefaultPrinter(&errorText);
    if (!printer) {
        showMessage(this, errorText);
        return;
    }
    const QTextCursor cursor = CommandsRT->textCursor();
    bool printed = false;
    if (cursor.hasSelection()) {
        QTextDocument selection;
        selection.setDefaultFont(CommandsRT->document()->defaultFont());
        QTextCursor(&selection).insertFragment(cursor.selection());
        printed = printDocument(selection, printer.get());
    } else {
        printed = printDocument(*CommandsRT->document(), printer.get());
    }
    if (!printed)
        showMessage(this, QStringLiteral("The printer did not accept the print job."));
}

void frmTQXcommands::frmTQXcommands_CmdClose_Click() { close(); }

} // namespace tqx
