#include "reference/frmTQXcommands.h"

#include "reference/DefaultPrinter.h"
#include "reference/FullCommandReference.h"
#include "reference/ProgramFolder.h"
#include "rtf/RtfFileLoader.h"
#include "rtf/RtfReader.h"
#include "widgets/MessageBox.h"
#include "widgets/ScreenUnits.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QMenuBar>
#include <QPrinter>
#include <QScreen>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <algorithm>
#include <memory>

namespace tqx {

namespace {
// The view is this much narrower and shorter than the window, in twips.
constexpr int viewWidthMargin = 80;
constexpr int viewHeightMargin = 600;
constexpr int clientWidth = 10812;
// Tall enough to show the command table's rows rather than the first three.
constexpr int clientHeight = 9504;
constexpr std::uint32_t ivory = 0xE0F0F0; // red 240, green 240, blue 224
} // namespace

frmTQXcommands::frmTQXcommands()
    : ReferenceWindow(QStringLiteral("TQX Orbivo Commands"))
{
    CmdClose = closeAction();
    CmdPrint = printAction();

    auto *client = new QWidget(this);
    setCentralWidget(client);
    Tabs = new QTabWidget(client);
    Tabs->setDocumentMode(true);
    CommandsRT = new QTextEdit;
    FullCommandsRT = new QTextEdit;
    for (QTextEdit *view : {CommandsRT, FullCommandsRT}) {
        view->setReadOnly(true);
        view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, colorFromNumber(ivory));
        view->setPalette(palette);
    }
    Tabs->addTab(CommandsRT, QStringLiteral("&Basic command table"));
    Tabs->addTab(FullCommandsRT, QStringLiteral("&Full hand control"));
    FullCommandsRT->setHtml(fullCommandReferenceHtml());

    // Tall enough for the table's rows, within the screen.
    const Twips twips = Twips::forPrimaryScreen();
    int height = twips.toPixels(clientHeight) + menuBar()->sizeHint().height();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() * 9 / 10);
    resize(twips.toPixels(clientWidth), height);
    centreOnScreen(this);
}

frmTQXcommands *frmTQXcommands::load() { return create<frmTQXcommands>(); }

namespace {

// The checks that need no more than the file's size and first bytes, made before a worker thread
// reads it all.
bool checkDocumentFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > frmTQXcommands::largestDocumentBytes) {
        const QLocale english(QLocale::English);
        *error = QStringLiteral("The document is too large to show: it has %1 bytes, and the "
                                "command reference shows documents of up to %2 MB (%3 bytes).")
                         .arg(english.toString(file.size()))
                         .arg(frmTQXcommands::largestDocumentBytes / (1024 * 1024))
                         .arg(english.toString(frmTQXcommands::largestDocumentBytes));
        return false;
    }
    constexpr qint64 headSize = 64;
    return RtfReader::mayStartRtf(file.read(headSize), error);
}

} // namespace

bool frmTQXcommands::frmTQXcommands_Form_Load()
{
    m_path = programFilePath(QLatin1String(documentFileName));
    frmTQXcommands_Form_Resize();
    QString errorText;
    if (!checkDocumentFile(m_path, &errorText)) {
        reportFileFailure(errorText, m_path);
        return false;
    }
    CommandsRT->setPlainText(QStringLiteral("Loading..."));
    CmdPrint->setEnabled(false);
    m_loader = new RtfFileLoader(this);
    m_loader->setLongestParagraph(longestShownParagraph);
    connect(m_loader, &RtfFileLoader::loaded, this, &frmTQXcommands::documentLoaded);
    m_loader->start(m_path);
    return true;
}

bool frmTQXcommands::isLoading() const { return m_loader && m_loader->isRunning(); }

void frmTQXcommands::documentLoaded(bool ok)
{
    if (!ok) {
        const QString text = m_loader->errorString() + QStringLiteral("\r\n") + m_path;
        // Closed before the message, which may run an event loop of its own: the window is
        // deleted once control is back in the loop that loaded it, not while the message shows.
        close();
        showMessage(nullptr, text);
        return;
    }
    std::unique_ptr<QTextDocument> document = m_loader->takeDocument();
    // The view lays the document out lazily, a part at each turn of the event loop.
    document->setParent(CommandsRT);
    CommandsRT->setDocument(document.release());
    CommandsRT->moveCursor(QTextCursor::Start);
    CmdPrint->setEnabled(true);
    m_loader->deleteLater();
    m_loader = nullptr;
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
    Tabs->setGeometry(0, 0, std::max(0, width() - twips.toPixels(viewWidthMargin)),
                      std::max(0, height() - twips.toPixels(viewHeightMargin)));
}

void frmTQXcommands::frmTQXcommands_CmdPrint_Click()
{
    if (isLoading())
        return;
    std::unique_ptr<QPrinter> printer = openPrinterOrTell();
    if (!printer)
        return;
    // The tab in view is printed.
    const QTextEdit *view = Tabs->currentWidget() == FullCommandsRT ? FullCommandsRT : CommandsRT;
    const QTextCursor cursor = view->textCursor();
    bool printed = false;
    if (cursor.hasSelection()) {
        QTextDocument selection;
        selection.setDefaultFont(view->document()->defaultFont());
        QTextCursor(&selection).insertFragment(cursor.selection());
        printed = printDocument(selection, printer.get());
    } else {
        printed = printDocument(*view->document(), printer.get());
    }
    if (!printed)
        reportPrintRefused();
}

void frmTQXcommands::frmTQXcommands_CmdClose_Click() { close(); }

void frmTQXcommands::showProfileTab(bool fullProfile)
{
    Tabs->setCurrentWidget(fullProfile ? FullCommandsRT : CommandsRT);
}

} // namespace tqx
