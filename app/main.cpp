#include "app/CommandLine.h"

#ifdef TQX_WITH_WIDGETS
#include "app/TerminationSignals.h"
#include "console/frmMain.h"
#include "control/ControlServer.h"
#include "generated/ProgramVersion.h"

#include <QApplication>
#endif

#include <cstdio>

int main(int argc, char *argv[])
{
    if (tqx::wantsCommandLine(argc, argv))
        return tqx::runCommandLine(argc, argv);

#ifdef TQX_WITH_WIDGETS
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TQX Orbivo Emulator"));
    QApplication::setApplicationVersion(QLatin1String(tqx::programVersion));
    // Lets the desktop (Wayland in particular) match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tqx.OrbivoEmulator"));
    QIcon icon(QStringLiteral(":/images/program-icon.png"));
    icon.addFile(QStringLiteral(":/images/program-icon-256.png"));
    QApplication::setWindowIcon(icon);

    const tqx::WindowRequest request = tqx::windowRequest(argc, argv);
    tqx::frmMain console;
    console.show();
    // The window's session can be driven as headless mode's is, at the default socket. Without
    // it (another copy has it) the window works as before, and says why on standard error.
    tqx::ControlServer control(*console.Comm);
    QString controlError;
    if (!control.listen(tqx::ControlAddress::defaultLocal(), &controlError))
        std::fprintf(stderr, "tqx-orbivo-emulator: no control channel: %s\n",
                     qPrintable(controlError));
    // What a control client changes, the window shows, so that its menus and its next change
    // start from what is in force.
    QObject::connect(&control.handler(), &tqx::ControlHandler::settingsChanged, &console,
                     &tqx::frmMain::followSessionSettings);
    QObject::connect(&control.handler(), &tqx::ControlHandler::faultsChanged, &console,
                     &tqx::frmMain::followSessionFaults);
    if (request.port)
        console.selectPort(*request.port);
    if (request.start)
        console.startRunning();
    // Asked to end by the system (SIGTERM, SIGHUP when its terminal closes, or Ctrl+C in it), the
    // program closes as if the user had closed the window: port closed, settings saved, even
    // while a dialog is open.
    tqx::TerminationSignals terminations;
    QObject::connect(&terminations, &tqx::TerminationSignals::terminationRequested, &console,
                     &tqx::frmMain::endOnSignal);
    return app.exec();
#else
    std::fprintf(stderr,
                 "tqx-orbivo-emulator: this build has no windows; run it headless:\n"
                 "  tqx-orbivo-emulator --headless --port PORT\nSee --help.\n");
    return 2;
#endif
}
