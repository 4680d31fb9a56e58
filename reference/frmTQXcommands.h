#pragma once

#include <QMainWindow>

class QAction;
class QTextEdit;

namespace tqx {

// The command reference: the command table document from the program folder, shown in a
// resizable tool window and printable.
class frmTQXcommands : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char *documentFileName = "TQX Appendix B.rtf";

    // Creates the window and loads the document. When the document cannot be loaded the user is
    // told why and nullptr is returned: no window is left behind.
    static frmTQXcommands *load();

    QAction *CmdClose = nullptr;
    QAction *CmdPrint = nullptr;
    QTextEdit *CommandsRT = nullptr;

    void frmTQXcommands_Form_Resize();
    void frmTQXcommands_CmdPrint_Click();
    void frmTQXcommands_CmdClose_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    frmTQXcommands();
    bool frmTQXcommands_Form_Load();
};

} // namespace tqx
