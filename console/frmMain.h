#pragma once

#include "CommandInterpreter.h"
#include "ConsoleDisplay.h"
#include "ConsoleSettings.h"
#include "ExchangeJournal.h"
#include "LogView.h"
#include "frmAbout.h"
#include "frmRS232.h"
#include "frmTQXcommands.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWidget;
class QLabel;

namespace tqx {

class LogModel;
class VirtualPortPaths;
class SerialPortControl;

// The console window: the program's only main window. It owns the emulator's run state (the
// interpreter with its mount state, buffer and counts, and the running flag), shows every
// exchange, and holds the port list and the Start/Stop toggle. It is the interpreter's display.
class frmMain : public QMainWindow, public ConsoleDisplay
{
    Q_OBJECT

public:
    static constexpr const char *programVersionText = "Version 1.7";
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
    SerialPortControl *Comm = nullptr;

    QAction *ExitButton = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *AboutButton = nullptr;
    QAction *HelpCommandsButton = nullptr;
    QAction *CableButton = nullptr;

    // The logs' context menu.
    QAction *CopyLogButton = nullptr;
    QAction *SaveLogButton = nullptr;

    // While a virtual port runs: the paths client software opens, in the status bar.
    QLineEdit *VirtualDeviceText = nullptr;
    QLineEdit *VirtualLinkText = nullptr;

    // The program's version text, offered to the other windows.
    QString ProgramVersion;
    // True from a successful Start until Stop; the only record of whether the port is open.
    bool PortIsOpen = false;

    // The reference windows while they are open; each exists at most once.
    frmTQXcommands *commandsWindow() const { return m_commandsWindow; }
    frmRS232 *cableWindow() const { return m_cableWindow; }
    frmAbout *aboutWindow() const { return m_aboutWindow; }

    CommandInterpreter &interpreter() { return *m_interpreter; }
    LogModel &inputLog() { return *m_inputLog; }
    LogModel &respLog() { return *m_respLog; }

    // The selected entry of the port list, or -1 when the text was typed over or nothing is
    // selected.
    int selectedPortIndex() const;

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
    void frmMain_Comm_OnComm();
    void frmMain_CopyLogButton_Click();
    void frmMain_SaveLogButton_Click();

    // Every exchange since the last Clear, with its time.
    ExchangeJournal &journal() { return m_journal; }

    // ConsoleDisplay: the interpreter's calls are gathered here and shown at the next refresh.
    void InputListAddItem(const Bytes &line) override;
    void InputListSelect(std::uint64_t index) override;
    void SetInputLabel(const std::string &text) override;
    void InputListClear() override;
    void RespListAddItem(const Bytes &line) override;
    void RespListSelect(std::uint64_t index) override;
    void SetRespLabel(const std::string &text) override;
    void RespListClear() override;
    void SetCommandText(const Bytes &buffer, std::uint64_t droppedBytes) override;
    Bytes ReadVerText() const override;

signals:
    // The closing sequence has closed the port and is about to save the settings.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void connectHandlers();
    void showStopped();
    void showRunning();
    void buildStatusBar();
    void appendExtraPorts();
    void selectSavedPort(const ConsoleSettingsValues &values);
    void choosePort(int index);
    void showVirtualPortPaths(bool running);
    void restoreSettings();
    void restorePosition(double leftTwips, double topTwips);
    void onPortFailed(const QString &errorText);
    void onClientLeft();
    void tell(const QString &text);
    void showReferenceWindow(QWidget *window);
    void scheduleRefresh();

    std::unique_ptr<CommandInterpreter> m_interpreter;
    LogModel *m_inputLog = nullptr;
    LogModel *m_respLog = nullptr;
    ConsoleSettings m_settings;
    QTimer m_refreshTimer;
    bool m_unloaded = false;
    bool m_endingOnSignal = false;
    QPointer<frmTQXcommands> m_commandsWindow;
    QPointer<frmRS232> m_cableWindow;
    QPointer<frmAbout> m_aboutWindow;

    // What the next refresh shows.
    std::optional<std::uint64_t> m_inputSelection;
    std::optional<std::uint64_t> m_respSelection;
    QString m_inputLabelText = QStringLiteral("0");
    QString m_respLabelText = QStringLiteral("0");
    Bytes m_commandBuffer;
    std::uint64_t m_droppedBytes = 0;

    VirtualPortPaths *m_virtualPortPaths = nullptr;
    ExchangeJournal m_journal;
    Bytes m_journalCommand; // the command of the exchange being logged
    qint64 m_journalTime = 0;
};

} // namespace tqx
