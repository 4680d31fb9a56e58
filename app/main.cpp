#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TQX Orbivo Emulator"));
    QApplication::setApplicationVersion(QStringLiteral("1.7"));
    QIcon icon(QStringLiteral(":/images/program-icon.png"));
    icon.addFile(QStringLiteral(":/images/program-icon-256.png"));
    QApplication::setWindowIcon(icon);

    tqx::frmMain console;
    console.show();
    return app.exec();
}
