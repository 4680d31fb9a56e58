#pragma once

#include "console/ConsoleSettings.h"
#include "console/ExchangeModel.h"
#include "console/ExchangeView.h"
#include "console/LogView.h"
#include "console/MountSettingsDialog.h"
#include "console/MountView.h"
#include "console/TcpPortDialog.h"
#include "emulation/Bytes.h"
#include "reference/frmAbout.h"
#include "reference/frmRS232.h"
#include "reference/frmTQXcommands.h"
#include "session/EmulatorSession.h"
#include "session/FaultRule.h"
#include "session/PortChoice.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWidget;
class QLabel;

namespace tqx {

class LogModel;
class ConnectionBar;

// The console window: the program's only main window, a view of the emulator session (`Comm`).
// It shows every exchange, holds the port list and the Start/Stop toggle, and passes the version
// box and the Reset and Clear buttons to the session.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char *releaseDate = "26-May-2006";

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Controls, named as the rest of the program refers to them.
    QPushButton *StartButton = nullptr;
    QComboBox *ComCombo = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *VerText = nullptr;
    QLabel *Label6 = nullptr;
    QLineEdit *CommandText = nullptr;
    QPushButton *ResetButton = nullptr;
    LogView *InputList = nullptr;
    LogView *RespList = nullptr;
    QPushButton *ClearButton = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *InputLabel = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *RespLabel = nullptr;
    QWidget *Line2 = nullptr;
    QLabel *Picture1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label5 = nullptr;
    QWidget *Line1 = nullptr;
    EmulatorSession *Comm = nullptr;

    QAction *ExitButton = nullptr;
    QMenu *MountMenu = nullptr;
    QAction *BasicProfileButton = nullptr;
    QAction *FullProfileButton = nullptr;
    QAction *MountSettingsButton = nullptr;
    QAction *ShowMountButton = nullptr;
    QAction *ShowExchangesButton = nullptr;
    // How the line behaves while running: at once or at 9600 bit/s, and the bus's delay.
    QMenu *FaultsMenu = nullptr;
    QAction *FastTimingButton = nullptr;
    QAction *RealTimingButton = nullptr;
    QAction *BusDelayButton = nullptr;
    // Faults on purpose: each rule the user added, switched on and off by its checkable entry.
    QAction *AddFaultButton = nullptr;
    QAction *RemoveFaultsButton = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *AboutButton = nullptr;
    QAction *HelpCommandsButton = nullptr;
    QAction *CableButton = nullptr;

    // The logs' context menu.
    QAction *CopyLogButton = nullptr;
    QAction *SaveLogButton = nullptr;

    // While a virtual port or the network listener runs: where client software connects, in the
    // status bar.
    QLineEdit *VirtualDeviceText = nullptr;
    QLineEdit *VirtualLinkText = nullptr;
    // While the line runs at its real pace: so, and the bus's delay, in the status bar.
    QLabel *LineTimingText = nullptr;
    QLabel *FaultsText = nullptr;
    // While the command buffer is blocked, and once bytes were discarded since the last Clear:
    // how many and since when, in the status bar; each opens the exchange view at its rows.
    QToolButton *BlockedMarker = nullptr;
    QToolButton *DiscardedMarker = nullptr;

    // The program's version text, offered to the other windows.
    QString ProgramVersion;
    // True from a successful Start until Stop; the only record of whether the port is open.
    bool PortIsOpen = false;

    // The reference windows while they are open; each exists at most once.
    frmTQXcommands *commandsWindow() const { return m_commandsWindow; }
    frmRS232 *cableWindow() const { return m_cableWindow; }
    frmAbout *aboutWindow() const { return m_aboutWindow; }
    // The mount view once it has been shown.
    MountView *mountView() const { return m_mountView; }
    // The exchange view once it has been shown, and the rows it shows, which are gathered while
    // it is closed too.
    ExchangeView *exchangeView() const { return m_exchangeView; }
    ExchangeModel &exchanges() { return *m_exchanges; }

    CommandInterpreter &interpreter() { return Comm->interpreter(); }
    LogModel &inputLog() { return *m_inputLog; }
    LogModel &respLog() { return *m_respLog; }

    // The selected entry of the port list, or -1 when the text was typed over or nothing is
    // selected.
    int selectedPortIndex() const;

    // Selects the port in the port list: its entry, the network listener's entry set to its
    // address and port, or its name typed into the box when the list has no entry for it.
    void selectPort(const PortChoice &port);
    // Starts on the selected port, as Start does; nothing when already running.
    void startRunning();

    // Ends the program on a termination signal: closes as if the user had closed the window (port
    // closed, settings saved), answers no question and waits on no dialog, and ends every event
    // loop, a dialog's included.
    void endOnSignal();

    // Brings the logs, counts and buffer box up to date now instead of at the next refresh.
    void refreshDisplay();

    void frmMain_Form_Load();
    void frmMain_Form_Unload();
    void frmMain_StartButton_Click();
    void frmMain_ClearButton_Click();
    void frmMain_ResetButton_Click();
    void frmMain_ExitButton_Click();
    void frmMain_AboutButton_Click();
    void frmMain_HelpCommandsButton_Click();
    void frmMain_CableButton_Click();
    void frmMain_CopyLogButton_Click();
    void frmMain_SaveLogButton_Click();
    void frmMain_MountSettingsButton_Click();
    void frmMain_ShowMountButton_Click();
    void frmMain_ShowExchangesButton_Click();
    // The markers' clicks: the exchange view at the rows since the buffer blocked, or at the
    // bytes discarded.
    void showBlockedRows();
    void showDiscardedRows();
    // Monotonic milliseconds, for how long the buffer has waited (std::chrono::steady_clock by
    // default; tests step their own).
    void setClock(std::function<qint64()> steadyMs);
    // Shows or hides the markers as the buffer and the discarded bytes now stand.
    void updateMarkers();
    // Asks for the bus's delay, which the line uses at its real pace.
    void frmMain_BusDelayButton_Click();
    // From the next reply on; shown in the status bar and kept for the next run.
    void chooseLineTiming(LineTiming timing);
    void setBusDelay(int ms);
    // Asks for a fault rule and adds it, switched on.
    void frmMain_AddFaultButton_Click();
    // Adds a rule as the user wrote it, switched on; false, with the reason, when it is not a
    // rule. The faults in force change at once, while running too.
    bool addFault(const QString &text, QString *errorText);
    void removeFaults();
    // The rules switched on, as written.
    QStringList activeFaults() const;
    // The command set, from the next command on; the version box shows the profile's version.
    void chooseProfile(Profile profile);
    // Another view of the session (the control channel) changed these: the window shows them and
    // keeps them as its own, as if the user had chosen them here.
    void followSessionSettings();
    // The faults in force as the session has them now: each is a switched-on entry, and the
    // rules switched off here stay, off.
    void followSessionFaults();

    // The rules the user added, in the order added, each with its entry in the Faults menu.
    struct AddedFault
    {
        FaultRule rule;
        QAction *entry;
    };
    std::vector<AddedFault> m_faults;
    // Drawn once, so that switching rules on and off does not change the others' choices.
    std::uint64_t m_faultSeed = 0;
    void applyFaults();
    // A switched-on entry in the Faults menu.
    QAction *addFaultEntry(const QString &text);
    void showProfile(Profile profile);

    // Every exchange since the last Clear, with its time.
    ExchangeJournal &journal() { return *Comm->journal(); }

    // What the session shows is gathered here and shown at the next refresh. An exchange adds
    // its command to InputList and its reply, as it went out, to RespList.
    void logExchange(const Exchange &exchange);
    void InputListSelect(quint64 index);
    void SetInputLabel(const QString &text);
    void InputListClear();
    void RespListSelect(quint64 index);
    void SetRespLabel(const QString &text);
    void RespListClear();
    void SetCommandText(const Bytes &buffer, quint64 droppedBytes);
    // The version box's text as the bytes of the reply to V.
    Bytes ReadVerText() const;
    void logUnanswered(const Bytes &bytes, const QString &reason);
    void logClient(const QString &text);
    void countDiscarded(qint64 msecsSinceEpoch, std::size_t bytes);

signals:
    // The closing sequence has closed the port and is about to save the settings.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void connectHandlers();
    void showStopped();
    void showRunning();
    void buildStatusBar();
    void fillPortList();
    void fitPortList();
    void selectSavedPort(const ConsoleSettingsValues &values);
    PortChoice portAt(int index) const;
    std::optional<PortChoice> chosenPort(QString *errorText) const;
    void setTcpEndpoint(const TcpEndpoint &endpoint);
    void showConnectionBar(bool running);
    // Shows the status bar while it has something to show: where clients connect, or a line
    // running at its real pace.
    void updateStatusBar();
    void fitConnectionBar();
    // Between the status bar's widgets, and its margins with the size grip, in pixels.
    static constexpr int statusBarGap = 6;
    static constexpr int statusBarEnds = 24;
    void onPortActivated(int index);
    void onVersionTextChanged();
    void onVersionTextEdited();
    void applyMountSettings();
    void restoreSettings();
    void restorePosition(double leftTwips, double topTwips);
    void onPortFailed(const QString &errorText);
    void onClientLeft();
    void tell(const QString &text);
    void showReferenceWindow(QWidget *window);
    void scheduleRefresh();
    void linkLogScrolling();
    ExchangeView *openExchangeView();

    LogModel *m_inputLog = nullptr;
    LogModel *m_respLog = nullptr;
    ConsoleSettings m_settings;
    QTimer m_refreshTimer;
    bool m_unloaded = false;
    bool m_endingOnSignal = false;
    QPointer<frmTQXcommands> m_commandsWindow;
    QPointer<frmRS232> m_cableWindow;
    QPointer<frmAbout> m_aboutWindow;
    QPointer<MountView> m_mountView;
    ExchangeModel *m_exchanges = nullptr;
    QPointer<ExchangeView> m_exchangeView;

    // What the next refresh shows.
    std::optional<std::uint64_t> m_inputSelection;
    std::optional<std::uint64_t> m_respSelection;
    QString m_inputLabelText = QStringLiteral("0");
    QString m_respLabelText = QStringLiteral("0");
    Bytes m_commandBuffer;
    std::uint64_t m_droppedBytes = 0;
    bool m_connectionShown = false;

    std::function<qint64()> m_steadyMs;
    // Since the buffer last stopped being empty: the wall clock's time and the steady one's.
    qint64 m_bufferSinceMs = 0;
    qint64 m_bufferSinceSteadyMs = 0;
    QTimer m_blockedTimer; // looks again once the buffer may count as blocked
    std::uint64_t m_discardedBytes = 0; // since the last Clear
    int m_discardedLots = 0;
    qint64 m_discardedSinceMs = 0;

    ConnectionBar *m_connectionBar = nullptr;
    TcpEndpoint m_tcpEndpoint;
    double m_tcpTakeoverSeconds = 0; // kept as the settings had it
    QString m_basicVersion = QStringLiteral("22");
    QString m_fullVersion = QStringLiteral("4.21");
    MountSettings m_mount;
};

} // namespace tqx
