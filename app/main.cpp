#include "CommandLine.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (tqx::wantsCommandLine(argc, argv))
        return tqx::runCommandLine(argc, argv);

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
