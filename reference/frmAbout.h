#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tqx {

// The About box: the program's name, version and release date beside a picture of the telescope.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    QLabel *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *VersionLabel = nullptr;
    QLabel *DateLabel = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QWidget *Line1 = nullptr;
    QPushButton *OkButton = nullptr;

    void frmAbout_OkButton_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace tqx
