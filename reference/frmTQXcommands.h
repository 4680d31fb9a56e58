#pragma once

#include "reference/ReferenceWindow.h"

class QAction;
class QTabWidget;
class QTextEdit;

namespace tqx {

class RtfFileLoader;

// The command reference: the command table document from the program folder and, on a second
// tab, the full profile's commands made from the tables the interpreter answers from; shown in a
// resizable tool window and printable.
//
// The document is read on a worker thread: the thread that shows the window also answers the
// serial port, and a large document would hold it for seconds. Meanwhile the window shows a
// short "Loading..." text and cannot print.
class frmTQXcommands : public ReferenceWindow
{
    Q_OBJECT

public:
    static constexpr const char *documentFileName = "TQX Appendix B.rtf";
    // Larger documents are refused before they are read.
    static constexpr qint64 largestDocumentBytes = 20 * 1024 * 1024;
    // Longer paragraphs are shown cut into pieces: the view lays out a paragraph all at once.
    static constexpr int longestShownParagraph = 2000;

    // Creates the window and starts loading the document. When the document cannot be loaded
    // the user is told why and nullptr is returned, or, for faults only found while reading,
    // the window closes itself (and is deleted) once it is told: no window is left behind.
    static frmTQXcommands *load();

    QAction *CmdClose = nullptr;
    QAction *CmdPrint = nullptr;
    QTextEdit *CommandsRT = nullptr;
    // The full profile's commands, on the second tab.
    QTextEdit *FullCommandsRT = nullptr;
    QTabWidget *Tabs = nullptr;

    // Shows the tab of the profile in use.
    void showProfileTab(bool fullProfile);

    // Whether the document is still being read.
    bool isLoading() const;

    void frmTQXcommands_Form_Resize();
    void frmTQXcommands_CmdPrint_Click();
    void frmTQXcommands_CmdClose_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    frmTQXcommands();
    bool frmTQXcommands_Form_Load();
    bool loadFile() override { return frmTQXcommands_Form_Load(); }
    void print() override { frmTQXcommands_CmdPrint_Click(); }

    friend class ReferenceWindow;
    void documentLoaded(bool ok);

    QString m_path;
    RtfFileLoader *m_loader = nullptr;
};

} // namespace tqx
