#pragma once

#include "reference/ReferenceWindow.h"

#include <QImage>

class QAction;
class QLabel;

namespace tqx {

// The cable wiring window: the null-modem drawing from the program folder in a fixed tool window
// sized to it, printable on one page under a header line.
class frmRS232 : public ReferenceWindow
{
    Q_OBJECT

public:
    static constexpr const char *drawingFileName = "Null Modem Drawing.gif";

    // Creates the window and loads the drawing. When the drawing cannot be loaded the user is
    // told why and nullptr is returned: no window is left behind.
    static frmRS232 *load(const QString &programVersion);

    QAction *RSCloseButton = nullptr;
    QAction *RSPrintButton = nullptr;
    QLabel *RS232Picture = nullptr;

    // The drawing's size in twips, as it shows on this screen.
    QSizeF pictureTwips() const;

    void frmRS232_RSPrintButton_Click();
    void frmRS232_RSCloseButton_Click();

private:
    explicit frmRS232(const QString &programVersion);
    bool frmRS232_Form_Load();
    bool loadFile() override { return frmRS232_Form_Load(); }
    void print() override { frmRS232_RSPrintButton_Click(); }

    friend class ReferenceWindow;

    QString m_programVersion;
    QImage m_drawing;
};

} // namespace tqx
