// The Help menu's windows, opened from the console: their data files, sizes and printouts.

#include "console/frmMain.h"
#include "emulation/BusCommandTable.h"
#include "emulation/CommandTable.h"
#include "emulation/FullCommandTable.h"
#include "reference/DefaultPrinter.h"
#include "reference/ProgramFolder.h"
#include "reference/frmAbout.h"
#include "reference/frmRS232.h"
#include "reference/frmTQXcommands.h"
#include "rtf/RtfReader.h"
#include "widgets/MessageBox.h"
#include "widgets/ScreenUnits.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextTable>
#include <QTimer>

#include <memory>

using namespace tqx;

class ReferenceWindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingOrDamagedDataFile_data();
    void missingOrDamagedDataFile();
    void openingTwiceGivesOneWindow();
    void installedDataFolder_data();
    void installedDataFolder();
    void commandReferenceShowsTheShippedDocument();
    void viewFollowsTheWindowSize_data();
    void viewFollowsTheWindowSize();
    void commandReferenceOpensShowingTheTable();
    void fullProfileTabListsEveryCommand();
    void fullProfileTabListsEveryBusCommand();
    void opensOnTheTabOfTheProfileInUse_data();
    void opensOnTheTabOfTheProfileInUse();
    void cableWindowFitsTheDrawing();
    void closingTheConsoleClosesReferenceWindows();
    void aboutShowsVersionAndDateEachTime();
    void aboutClosesOnEnterButNotEscape();
    void cableSheetPrintout();
    void cableSheetCarriesTheShippedDrawing();
    void commandReferencePrintsSelectionOrWholeDocument();
    void printingFailuresAreReported_data();
    void printingFailuresAreReported();
    void commandReferenceLoadsWhileTheEventLoopRuns();
    void longParagraphIsShownInPieces();
    void documentSizeLimit_data();
    void documentSizeLimit();
    void faultFoundWhileReadingClosesTheWindow();
    void closingWhileLoading_data();
    void closingWhileLoading();

private:
    frmTQXcommands *openCommandReference();
    void writeDocument(const QByteArray &content);
    void writeLargeDocument(qsizetype megabytes, bool oneParagraph = false);

    void usePdfPrinter(const QString &path);
    QString pdfText(const QString &path, bool boundingBoxes = false);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<frmMain> m_console;
    QStringList m_messages;
};

void ReferenceWindowsTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    m_folder = std::make_unique<QTemporaryDir>();
    for (const char *name : {frmTQXcommands::documentFileName, frmRS232::drawingFileName})
        QVERIFY(QFile::copy(QStringLiteral(TQX_DATA_DIR "/") + name, m_folder->filePath(name)));
    setProgramFolder(m_folder->path());
    m_messages.clear();
    setMessageSink([this](QWidget *, const QString &text) { m_messages << text; });
    m_console = std::make_unique<frmMain>();
}

void ReferenceWindowsTest::cleanup()
{
    m_console->close();
    m_console.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setMessageSink({});
    setPrinterFactory({});
    setProgramFolder({});
}

// Opens the command reference from the console and waits until its document is loaded.
frmTQXcommands *ReferenceWindowsTest::openCommandReference()
{
    m_console->HelpCommandsButton->trigger();
    frmTQXcommands *window = m_console->commandsWindow();
    if (window && !QTest::qWaitFor([&] { return !window->isLoading(); }, 60000))
        return nullptr;
    return window;
}

void ReferenceWindowsTest::writeDocument(const QByteArray &content)
{
    QFile file(m_folder->filePath(frmTQXcommands::documentFileName));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// The shipped document's body repeated to about `megabytes` MB; without paragraph marks when
// `oneParagraph`. Ends with a paragraph of its own, "The end.", to show it was read to the end.
void ReferenceWindowsTest::writeLargeDocument(qsizetype megabytes, bool oneParagraph)
{
    QFile shipped(QStringLiteral(TQX_DATA_DIR "/") + frmTQXcommands::documentFileName);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QByteArray rtf = shipped.readAll();
    const qsizetype bodyStart = rtf.indexOf("\\pard");
    QByteArray body = rtf.mid(bodyStart, rtf.lastIndexOf('}') - bodyStart);
    if (oneParagraph)
        body.replace("\\par\n", " ").replace("\\par", " ");
    QByteArray document = rtf.left(bodyStart);
    while (document.size() < megabytes * 1024 * 1024)
        document.append(body);
    document.append(oneParagraph ? "The end.}" : "\\pard The end.\\par}");
    writeDocument(document);
}

void ReferenceWindowsTest::usePdfPrinter(const QString &path)
{
    setPrinterFactory([path](QString *) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path);
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageMargins(QMarginsF(0, 0, 0, 0));
        return printer;
    });
}

// Keeps a printout for a person to look at when TQX_PRINTOUT_DIR names a folder.
static void keepPrintout(const QString &pdf, const QString &name)
{
    const QString folder = qEnvironmentVariable("TQX_PRINTOUT_DIR");
    if (!folder.isEmpty()) {
        QFile::remove(folder + '/' + name);
        QFile::copy(pdf, folder + '/' + name);
    }
}

QString ReferenceWindowsTest::pdfText(const QString &path, bool boundingBoxes)
{
    QProcess pdftotext;
    QStringList arguments {boundingBoxes ? "-bbox" : "-layout", path, "-"};
    pdftotext.start("pdftotext", arguments);
    if (!pdftotext.waitForFinished(30000))
        return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

void ReferenceWindowsTest::missingOrDamagedDataFile_data()
{
    QTest::addColumn<bool>("cable");
    QTest::addColumn<QByteArray>("content"); // empty: the file is missing

    QTest::newRow("command reference missing") << false << QByteArray();
    QTest::newRow("command reference not RTF") << false << QByteArray("just some text\n");
    QTest::newRow("drawing missing") << true << QByteArray();
    QTest::newRow("drawing not a picture") << true << QByteArray("GIF89a but truncated");
}

void ReferenceWindowsTest::missingOrDamagedDataFile()
{
    QFETCH(bool, cable);
    QFETCH(QByteArray, content);
    const QString name = cable ? frmRS232::drawingFileName : frmTQXcommands::documentFileName;
    const QString path = QDir::toNativeSeparators(m_folder->filePath(name));
    QFile::remove(path);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    (cable ? m_console->CableButton : m_console->HelpCommandsButton)->trigger();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().endsWith("\r\n" + path), qPrintable(m_messages.first()));
    QVERIFY(m_messages.first().size() > path.size() + 2);
    QVERIFY(!m_console->commandsWindow());
    QVERIFY(!m_console->cableWindow());

    // The console goes on, and the file can be provided and opened after all.
    m_console->ClearButton->click();
    QFile::remove(path);
    QVERIFY(QFile::copy(QStringLiteral(TQX_DATA_DIR "/") + name, path));
    (cable ? m_console->CableButton : m_console->HelpCommandsButton)->trigger();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(cable ? static_cast<QWidget *>(m_console->cableWindow())
                  : static_cast<QWidget *>(m_console->commandsWindow()));
}

void ReferenceWindowsTest::openingTwiceGivesOneWindow()
{
    m_console->HelpCommandsButton->trigger();
    m_console->CableButton->trigger();
    frmTQXcommands *commands = m_console->commandsWindow();
    frmRS232 *cable = m_console->cableWindow();
    QVERIFY(commands && cable);
    m_console->HelpCommandsButton->trigger();
    m_console->CableButton->trigger();
    QCOMPARE(m_console->commandsWindow(), commands);
    QCOMPARE(m_console->cableWindow(), cable);
    int commandWindows = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        commandWindows += qobject_cast<frmTQXcommands *>(widget) ? 1 : 0;
    QCOMPARE(commandWindows, 1);

    // Closed windows are built afresh at the next opening.
    commands->CmdClose->trigger();
    QTRY_VERIFY(!m_console->commandsWindow());
    m_console->HelpCommandsButton->trigger();
    QVERIFY(m_console->commandsWindow());
    QVERIFY(m_console->commandsWindow()->isVisible());
}

// An installed program: the executable in bin/, the data files in share/tqx-orbivo-emulator/.
void ReferenceWindowsTest::installedDataFolder_data()
{
    QTest::addColumn<bool>("damaged"); // the drawing in share is not a picture

    QTest::newRow("both windows open from share") << false;
    QTest::newRow("a damaged file in share is named in the message") << true;
}

void ReferenceWindowsTest::installedDataFolder()
{
    QFETCH(bool, damaged);
    const QDir root(m_folder->path());
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString share = root.filePath(QStringLiteral("share/tqx-orbivo-emulator"));
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(share));
    for (const char *name : {frmTQXcommands::documentFileName, frmRS232::drawingFileName})
        QVERIFY(QFile::rename(root.filePath(name), QDir(share).filePath(name)));
    const QString drawing
            = QDir::toNativeSeparators(QDir(share).filePath(frmRS232::drawingFileName));
    if (damaged) {
        QFile file(drawing);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("GIF89a but truncated");
    }
    setProgramFolder(bin);

    frmTQXcommands *commands = openCommandReference();
    QVERIFY(commands);
    QVERIFY(commands->CommandsRT->toPlainText().contains("Goto Azm-Alt"));
    m_console->CableButton->trigger();
    if (damaged) {
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages.first().endsWith("\r\n" + drawing), qPrintable(m_messages.first()));
        QVERIFY(!m_console->cableWindow());
    } else {
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
        QVERIFY(m_console->cableWindow());
        QVERIFY(!m_console->cableWindow()->RS232Picture->pixmap().isNull());
    }
}

void ReferenceWindowsTest::commandReferenceShowsTheShippedDocument()
{
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QString("TQX Orbivo Commands"));
    QVERIFY(window->windowFlags() & Qt::Tool);
    QCOMPARE(window->CommandsRT->palette().color(QPalette::Base), QColor(240, 240, 224));
    const QString text = window->CommandsRT->toPlainText();
    for (const char *expected : {"Description", "PC Command ASCII", "Hand Control Response",
                                 "Notes", "Goto Azm-Alt", "B12AB,4000", "32-bit get Azm-Alt"})
        QVERIFY2(text.contains(expected), expected);
    const Twips twips = Twips::forPrimaryScreen();
    QCOMPARE(window->width(), twips.toPixels(10812));
}

void ReferenceWindowsTest::viewFollowsTheWindowSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(900, 500);
    QTest::newRow("narrow and short") << QSize(120, 60);
    QTest::newRow("smaller than the margins") << QSize(3, 20);
}

void ReferenceWindowsTest::viewFollowsTheWindowSize()
{
    QFETCH(QSize, size);
    m_console->HelpCommandsButton->trigger();
    frmTQXcommands *window = m_console->commandsWindow();
    QVERIFY(window);
    window->resize(size);
    const Twips twips = Twips::forPrimaryScreen();
    // The tabs with the two documents take the view's place.
    const QRect view = window->Tabs->geometry();
    QCOMPARE(view.topLeft(), QPoint(0, 0));
    QCOMPARE(view.width(), std::max(0, window->width() - twips.toPixels(80)));
    QCOMPARE(view.height(), std::max(0, window->height() - twips.toPixels(600)));
}

// Opened as it is, the window shows the whole command table, its last row included.
void ReferenceWindowsTest::commandReferenceOpensShowingTheTable()
{
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTextEdit *view = window->CommandsRT;
    for (const QString &row : {QString("Description"), QString("32-bit get Azm-Alt")}) {
        const QTextCursor found = view->document()->find(row);
        QVERIFY2(!found.isNull(), qPrintable(row));
        QTextCursor end(found);
        end.movePosition(QTextCursor::EndOfBlock);
        const QRect shown = view->cursorRect(found).united(view->cursorRect(end));
        QVERIFY2(view->viewport()->rect().contains(shown),
                 qPrintable(QString("%1 at y %2, view %3 px high")
                                    .arg(row)
                                    .arg(shown.bottom())
                                    .arg(view->viewport()->height())));
    }
}

namespace {

// The text of a column's cells, below the heading row, in the document's `number`th table.
QStringList tableCells(const QTextDocument *document, int number, int column)
{
    QStringList cells;
    int seen = 0;
    for (QTextFrame *frame : document->rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table || seen++ != number)
            continue;
        for (int row = 1; row < table->rows(); ++row) {
            QTextCursor cell = table->cellAt(row, column).firstCursorPosition();
            cell.setPosition(table->cellAt(row, column).lastCursorPosition().position(),
                             QTextCursor::KeepAnchor);
            cells << cell.selectedText();
        }
    }
    return cells;
}

} // namespace

// Every letter the full profile answers has its row, in the table's order, with its length.
void ReferenceWindowsTest::fullProfileTabListsEveryCommand()
{
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    QCOMPARE(window->Tabs->indexOf(window->FullCommandsRT), 1);
    const QTextDocument *document = window->FullCommandsRT->document();
    QStringList letters;
    QStringList lengths;
    for (const FullCommand &command : fullCommandTable()) {
        letters << QString(QLatin1Char(command.letter));
        lengths << QString::number(command.length);
    }
    QCOMPARE(tableCells(document, 0, 0), letters);
    QCOMPARE(tableCells(document, 0, 1), lengths);
    // The basic table's own letters say what it answers.
    const QStringList basic = tableCells(document, 0, 4);
    for (const CommandRow &row : commandTable()) {
        const qsizetype at = letters.indexOf(QString(QLatin1Char(row.letter)));
        QVERIFY2(at >= 0, qPrintable(QString(QLatin1Char(row.letter))));
        QVERIFY2(basic[at] != QString(QChar(0x2014)), qPrintable(basic[at]));
    }
    QCOMPARE(basic[letters.indexOf("W")], QString(QChar(0x2014)));
}

// Every command id the pass-through carries, device by device, and the version query.
void ReferenceWindowsTest::fullProfileTabListsEveryBusCommand()
{
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    const QTextDocument *document = window->FullCommandsRT->document();
    QStringList ids;
    for (const BusCommandRow &row : busCommandRows())
        ids << QString::number(row.command);
    ids << QString::number(busVersionRow().command);
    QCOMPARE(tableCells(document, 1, 2), ids);
    const QStringList addresses = tableCells(document, 1, 1);
    QCOMPARE(addresses.constFirst(), QString("16, 17"));
    QVERIFY(addresses.contains("176"));
    QVERIFY(addresses.contains("178"));
}

void ReferenceWindowsTest::opensOnTheTabOfTheProfileInUse_data()
{
    QTest::addColumn<bool>("fullProfile");
    QTest::newRow("basic table") << false;
    QTest::newRow("full hand control") << true;
}

void ReferenceWindowsTest::opensOnTheTabOfTheProfileInUse()
{
    QFETCH(bool, fullProfile);
    m_console->chooseProfile(fullProfile ? Profile::Full : Profile::Basic);
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    QCOMPARE(window->Tabs->currentWidget(),
             fullProfile ? window->FullCommandsRT : window->CommandsRT);
}

void ReferenceWindowsTest::cableWindowFitsTheDrawing()
{
    m_console->CableButton->trigger();
    frmRS232 *window = m_console->cableWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QString("RS-232 Null Modem Cable"));
    QCOMPARE(window->RS232Picture->contentsRect().size(), QSize(529, 550));
    QCOMPARE(window->RS232Picture->pos(), QPoint(0, 0));
    const Twips twips = Twips::forPrimaryScreen();
    const QSizeF inner = window->pictureTwips();
    QCOMPARE(window->size(),
             QSize(twips.toPixels(inner.width() + 100), twips.toPixels(inner.height() + 600)));
    QCOMPARE(window->minimumSize(), window->maximumSize());
}

void ReferenceWindowsTest::closingTheConsoleClosesReferenceWindows()
{
    m_console->HelpCommandsButton->trigger();
    m_console->CableButton->trigger();
    QPointer<QWidget> commands = m_console->commandsWindow();
    QPointer<QWidget> cable = m_console->cableWindow();
    m_console->close();
    QTRY_VERIFY(!commands && !cable);
}

void ReferenceWindowsTest::aboutShowsVersionAndDateEachTime()
{
    for (int opening = 0; opening < 2; ++opening) {
        QString version, date;
        bool okHadFocus = false;
        QTimer::singleShot(0, this, [&] {
            auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
            if (!about)
                return;
            version = about->VersionLabel->text();
            date = about->DateLabel->text();
            okHadFocus = about->focusWidget() == about->OkButton;
            about->OkButton->click();
        });
        m_console->AboutButton->trigger(); // returns when the box is closed
        QCOMPARE(version, QString("Version 1.7"));
        QCOMPARE(date, QString("26-May-2006"));
        QVERIFY(okHadFocus);
        QTRY_VERIFY(!m_console->aboutWindow());
    }
}

void ReferenceWindowsTest::aboutClosesOnEnterButNotEscape()
{
    bool openAfterEscape = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *about = QApplication::activeModalWidget();
        if (!about)
            return;
        QTest::keyClick(about, Qt::Key_Escape);
        openAfterEscape = about->isVisible();
        QTest::keyClick(about, Qt::Key_Return);
    });
    m_console->AboutButton->trigger();
    QVERIFY(openAfterEscape);
    QVERIFY(!QApplication::activeModalWidget());
}

void ReferenceWindowsTest::cableSheetPrintout()
{
    // A plain red drawing, 120 x 60 pixels, so its place on the page can be found exactly.
    QImage drawing(120, 60, QImage::Format_RGB32);
    drawing.fill(Qt::red);
    QVERIFY(drawing.save(m_folder->filePath(frmRS232::drawingFileName), "PNG"));
    const QString pdf = m_folder->filePath("cable.pdf");
    usePdfPrinter(pdf);

    m_console->CableButton->trigger();
    QVERIFY(m_console->cableWindow());
    m_console->cableWindow()->RSPrintButton->trigger();
    QVERIFY(m_messages.isEmpty());

    // The header "TQX Orbivo Emulator  Version 1.7" starts at (100, 200) twips: 5 and 10 points,
    // with two spaces before "Version".
    struct Word
    {
        QString text;
        double xMin, yMin, xMax, yMax;
    };
    QList<Word> words;
    const QRegularExpression wordPattern(
            R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (const QRegularExpressionMatch &m : wordPattern.globalMatch(pdfText(pdf, true))) {
        words.append({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                      m.captured(3).toDouble(), m.captured(4).toDouble()});
    }
    QStringList texts;
    for (const Word &word : words)
        texts << word.text;
    QCOMPARE(texts, QStringList({"TQX", "Orbivo", "Emulator", "Version", "1.7"}));
    QVERIFY(qAbs(words[0].xMin - 5.0) < 1.0);
    QVERIFY(words[0].yMin >= 9.5 && words[0].yMax <= 10.0 + 8.0 * 1.3);
    const double oneSpace = words[1].xMin - words[0].xMax;
    const double twoSpaces = words[3].xMin - words[2].xMax;
    QVERIFY2(twoSpaces > 1.6 * oneSpace, qPrintable(QString("%1 %2").arg(oneSpace).arg(twoSpaces)));

    // The drawing: 120 x 60 pixels at the screen's resolution, centred, top at 1200 twips.
    QProcess render;
    render.start("pdftoppm", {"-png", "-r", "72", "-singlefile", pdf, m_folder->filePath("page")});
    QVERIFY(render.waitForFinished(30000));
    const QImage page(m_folder->filePath("page.png"));
    QVERIFY(!page.isNull());
    QRect red;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                red |= QRect(x, y, 1, 1);
        }
    }
    const double widthPt = Twips::forPrimaryScreen().fromPixels(120) / 20.0;
    const double heightPt = Twips::forPrimaryScreen().fromPixels(60) / 20.0;
    const double leftPt = (12240 / 2 - Twips::forPrimaryScreen().fromPixels(120) / 2) / 20.0;
    QVERIFY2(qAbs(red.left() - leftPt) <= 1.5, qPrintable(QString::number(red.left())));
    QVERIFY2(qAbs(red.top() - 60.0) <= 1.5, qPrintable(QString::number(red.top())));
    QVERIFY(qAbs(red.width() - widthPt) <= 1.5);
    QVERIFY(qAbs(red.height() - heightPt) <= 1.5);
}

void ReferenceWindowsTest::cableSheetCarriesTheShippedDrawing()
{
    const QString pdf = m_folder->filePath("cable.pdf");
    usePdfPrinter(pdf);
    m_console->CableButton->trigger();
    QVERIFY(m_console->cableWindow());
    m_console->cableWindow()->RSPrintButton->trigger();
    keepPrintout(pdf, "cable-sheet.pdf");

    // The drawing goes to the page at its full resolution, once.
    QProcess images;
    images.start("pdfimages", {"-list", pdf});
    QVERIFY(images.waitForFinished(30000));
    const QStringList rows = QString::fromUtf8(images.readAllStandardOutput()).split('\n');
    QCOMPARE(rows.filter(QRegularExpression(R"(^\s*1\s+\d+\s+image\s+529\s+550\s)")).size(), 1);
}

void ReferenceWindowsTest::commandReferencePrintsSelectionOrWholeDocument()
{
    const QString whole = m_folder->filePath("whole.pdf");
    usePdfPrinter(whole);
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    window->CmdPrint->trigger();
    keepPrintout(whole, "command-reference.pdf");
    const QString text = pdfText(whole);
    for (const char *expected : {"Echo", "Goto RA-Dec", "R34AB,12CE", "32-bit get Azm-Alt"})
        QVERIFY2(text.contains(expected), expected);

    const QString part = m_folder->filePath("part.pdf");
    usePdfPrinter(part);
    QTextCursor cursor = window->CommandsRT->document()->find("Cancel Goto");
    QVERIFY(!cursor.isNull());
    window->CommandsRT->setTextCursor(cursor);
    window->CmdPrint->trigger();
    const QString selection = pdfText(part).simplified();
    QCOMPARE(selection, QString("Cancel Goto"));
    QVERIFY(m_messages.isEmpty());
}

void ReferenceWindowsTest::printingFailuresAreReported_data()
{
    QTest::addColumn<bool>("cable");
    QTest::addColumn<bool>("noPrinter");
    QTest::newRow("cable, no printer") << true << true;
    QTest::newRow("cable, job refused") << true << false;
    QTest::newRow("commands, no printer") << false << true;
    QTest::newRow("commands, job refused") << false << false;
}

void ReferenceWindowsTest::printingFailuresAreReported()
{
    QFETCH(bool, cable);
    QFETCH(bool, noPrinter);
    if (noPrinter) {
        setPrinterFactory([](QString *error) {
            *error = "No printer is installed.";
            return std::unique_ptr<QPrinter>();
        });
    } else {
        usePdfPrinter(m_folder->filePath("no such folder/out.pdf"));
    }
    if (cable) {
        m_console->CableButton->trigger();
        m_console->cableWindow()->RSPrintButton->trigger();
    } else {
        frmTQXcommands *window = openCommandReference();
        QVERIFY(window);
        window->CmdPrint->trigger();
    }
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(!m_messages.first().isEmpty());
}

void ReferenceWindowsTest::commandReferenceLoadsWhileTheEventLoopRuns()
{
    writeLargeDocument(4);
    QPointer<frmTQXcommands> window;
    int ticksWhileLoading = 0;
    QTimer ticker;
    ticker.setInterval(1);
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (window && window->isLoading())
            ++ticksWhileLoading;
    });
    ticker.start();

    m_console->HelpCommandsButton->trigger();
    window = m_console->commandsWindow();
    QVERIFY(window);
    // The window is back before its document is read, and says so.
    QVERIFY(window->isLoading());
    QVERIFY(window->isVisible());
    QCOMPARE(window->CommandsRT->toPlainText(), QString("Loading..."));
    QVERIFY(!window->CmdPrint->isEnabled());

    QVERIFY(QTest::qWaitFor([&] { return !window->isLoading(); }, 120000));
    QVERIFY(ticksWhileLoading > 0);
    const QTextDocument *document = window->CommandsRT->document();
    QVERIFY(document->blockCount() > 10000);
    QCOMPARE(document->lastBlock().text(), QString("The end."));
    QVERIFY(document->toPlainText().startsWith("RS-232 Connection"));
    QCOMPARE(document->thread(), window->thread());
    QCOMPARE(window->CommandsRT->textCursor().position(), 0);
    QVERIFY(window->CmdPrint->isEnabled());
    QVERIFY(m_messages.isEmpty());
}

void ReferenceWindowsTest::longParagraphIsShownInPieces()
{
    writeLargeDocument(1, true);
    frmTQXcommands *window = openCommandReference();
    QVERIFY(window);
    QTextDocument read;
    QVERIFY(RtfReader::readFile(m_folder->filePath(frmTQXcommands::documentFileName), &read));
    QCOMPARE(read.blockCount(), 1);

    // The same text and character formats, in paragraphs the view lays out one at a time.
    const QTextDocument *shown = window->CommandsRT->document();
    QVERIFY(shown->blockCount() > 100);
    QString text;
    for (QTextBlock block = shown->begin(); block.isValid(); block = block.next()) {
        QVERIFY(block.length() - 1 <= frmTQXcommands::longestShownParagraph);
        text += block.text();
    }
    QCOMPARE(text, read.begin().text());
    for (const char *sample : {"Goto Azm-Alt", "32-bit get Azm-Alt", "The end."}) {
        const QTextCursor found = shown->find(sample);
        QVERIFY2(!found.isNull(), sample);
        QCOMPARE(found.charFormat().fontFamilies(), read.find(sample).charFormat().fontFamilies());
    }
}

void ReferenceWindowsTest::documentSizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("shown");
    QTest::newRow("at the limit") << frmTQXcommands::largestDocumentBytes << true;
    QTest::newRow("one byte over") << frmTQXcommands::largestDocumentBytes + 1 << false;
}

void ReferenceWindowsTest::documentSizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, shown);
    // A short document padded with zero bytes after its end, which the reader ignores.
    writeDocument("{\\rtf1 Small.}");
    QFile file(m_folder->filePath(frmTQXcommands::documentFileName));
    QVERIFY(file.resize(size));

    frmTQXcommands *window = openCommandReference();
    if (shown) {
        QVERIFY(window);
        QCOMPARE(window->CommandsRT->toPlainText(), QString("Small."));
        QVERIFY(m_messages.isEmpty());
        return;
    }
    QVERIFY(!window);
    QCOMPARE(m_messages.size(), 1);
    const QString message = m_messages.first();
    const QString path = QDir::toNativeSeparators(file.fileName());
    QVERIFY2(message.startsWith("The document is too large to show"), qPrintable(message));
    QVERIFY2(message.contains("20 MB") && message.contains("20,971,521 bytes"),
             qPrintable(message));
    QVERIFY2(message.endsWith(".\r\n" + path), qPrintable(message));
}

void ReferenceWindowsTest::faultFoundWhileReadingClosesTheWindow()
{
    // Starts like RTF, so only the reading finds the fault.
    writeDocument("{\\rtf1 " + QByteArray(2000, '{'));
    const QString path
            = QDir::toNativeSeparators(m_folder->filePath(frmTQXcommands::documentFileName));
    m_console->HelpCommandsButton->trigger();
    QPointer<frmTQXcommands> window = m_console->commandsWindow();
    QTRY_COMPARE_WITH_TIMEOUT(m_messages.size(), 1, 60000);
    QCOMPARE(m_messages.first(),
             "The RTF document nests groups more than 1000 levels deep.\r\n" + path);
    QTRY_VERIFY(!window);
    QVERIFY(!m_console->commandsWindow());
}

void ReferenceWindowsTest::closingWhileLoading_data()
{
    QTest::addColumn<bool>("closeConsole");
    QTest::newRow("window closed") << false;
    QTest::newRow("console closed") << true;
}

void ReferenceWindowsTest::closingWhileLoading()
{
    QFETCH(bool, closeConsole);
    writeLargeDocument(4);
    m_console->HelpCommandsButton->trigger();
    QPointer<frmTQXcommands> window = m_console->commandsWindow();
    QVERIFY(window && window->isLoading());
    if (closeConsole)
        m_console->close();
    else
        window->CmdClose->trigger();
    // Deleting the window stops the read and discards it.
    QTRY_VERIFY(!window);
    QVERIFY(m_messages.isEmpty());
    if (closeConsole)
        return;

    // A window opened afterwards loads the whole document.
    frmTQXcommands *reopened = openCommandReference();
    QVERIFY(reopened);
    QCOMPARE(reopened->CommandsRT->document()->lastBlock().text(), QString("The end."));
    QVERIFY(m_messages.isEmpty());
}

QTEST_MAIN(ReferenceWindowsTest)
#include "reference_windows_test.moc"
