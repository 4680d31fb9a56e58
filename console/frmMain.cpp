#include "console/frmMain.h"

#include "console/ConnectionBar.h"
#include "console/ExchangeModel.h"
#include "console/ExchangeView.h"
#include "console/LogModel.h"
#include "console/LogView.h"
#include "console/Logging.h"
#include "generated/ProgramVersion.h"
#include "reference/frmAbout.h"
#include "reference/frmRS232.h"
#include "reference/frmTQXcommands.h"
#include "session/DisplayText.h"
#include "session/FaultStage.h"
#include "widgets/ElidedLabel.h"
#include "widgets/MessageBox.h"
#include "widgets/ScreenUnits.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tqx {

namespace {

// Each entry of the port list carries the port it names; the eight numbered ones also carry
// their number as their item data, as they always have.
constexpr int portChoiceRole = Qt::UserRole + 1;

// Colour numbers of the console (low byte red, then green, then blue).
constexpr std::uint32_t startColor = 11599792; // light green
constexpr std::uint32_t stopColor = 11579647; // light red
constexpr std::uint32_t commandLogColor = 32768; // dark green
constexpr std::uint32_t responseLogColor = 8388608; // dark blue
constexpr std::uint32_t commandCountColor = 8454016; // light green
constexpr std::uint32_t responseCountColor = 16777088; // light cyan
constexpr std::uint32_t stripColor = 4210752; // dark grey
constexpr std::uint32_t titleColor = 33023; // orange
constexpr std::uint32_t topLineColor = 192; // red
constexpr std::uint32_t stripLineColor = 16576; // dark orange

// The client area in twips.
constexpr int clientWidth = 6984;
constexpr int clientHeight = 4128;

// The logs are brought up to date at about the display's rate, not once per exchange.
constexpr int refreshIntervalMs = 16;

// A buffer is called blocked once it has held bytes for longer than an unknown command takes to
// be discarded, so that a discard under way or a command arriving in pieces is not.
constexpr std::int64_t blockedAfterMs = 3 * CommandInterpreter::quietGapMs;

qint64 steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
}

QString bytesText(std::uint64_t count)
{
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

QString clockText(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("HH:mm:ss"));
}

QFont consoleFont(double pointSize = 8.0, bool bold = false)
{
    // Where the classic face is missing, a face of the same metrics keeps the captions inside
    // their controls; the platform's sans-serif is the last resort.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFont boldFont() { return consoleFont(7.8, true); }

void setColors(QWidget *widget, std::optional<std::uint32_t> text,
               std::optional<std::uint32_t> background)
{
    QPalette palette = widget->palette();
    if (text) {
        palette.setColor(QPalette::WindowText, colorFromNumber(*text));
        palette.setColor(QPalette::Text, colorFromNumber(*text));
        palette.setColor(QPalette::ButtonText, colorFromNumber(*text));
    }
    if (background) {
        palette.setColor(QPalette::Window, colorFromNumber(*background));
        palette.setColor(QPalette::Button, colorFromNumber(*background));
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("TQX Orbivo Emulator "));
    QIcon icon(QStringLiteral(":/images/program-icon.png"));
    icon.addFile(QStringLiteral(":/images/program-icon-256.png"));
    setWindowIcon(icon);
    Comm = new EmulatorSession(this);
    m_exchanges = new ExchangeModel(this);
    m_steadyMs = steadyNowMs;
    m_blockedTimer.setSingleShot(true);
    connect(&m_blockedTimer, &QTimer::timeout, this, &frmMain::updateMarkers);
    buildControls();
    buildMenu();
    buildStatusBar();
    connectHandlers();
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(refreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &frmMain::refreshDisplay);
    frmMain_Form_Load();
}

frmMain::~frmMain()
{
    // The session goes on reporting while it closes; nothing more is shown.
    Comm->disconnect(this);
    // The mount view reads the session's interpreter, so it goes before the session does; the
    // exchange view goes before its model.
    delete m_mountView;
    delete m_exchangeView;
}

void frmMain::buildControls()
{
    const Twips twips = Twips::forPrimaryScreen();
    auto *client = new QWidget(this);
    client->setFont(consoleFont());
    setCentralWidget(client);
    auto place = [&](QWidget *widget, int left, int top, int width, int height) {
        widget->setParent(client);
        widget->setGeometry(twips.rect(left, top, width, height));
    };

    StartButton = new QPushButton(QStringLiteral("Start"));
    StartButton->setFont(boldFont());
    place(StartButton, 120, 120, 912, 312);

    ComCombo = new QComboBox;
    ComCombo->setEditable(true);
    ComCombo->setInsertPolicy(QComboBox::NoInsert);
    ComCombo->setEditText(QStringLiteral("Com 1"));
    place(ComCombo, 1200, 120, 852, 288);

    Label4 = new QLabel(QStringLiteral("'V' command response"));
    Label4->setAlignment(Qt::AlignRight | Qt::AlignTop);
    place(Label4, 3960, 120, 2052, 192);

    VerText = new QLineEdit(QStringLiteral("22"));
    place(VerText, 6060, 120, 852, 288);

    Label6 = new QLabel(QStringLiteral("Command input buffer"));
    QFont headingFont = boldFont();
    headingFont.setUnderline(true);
    Label6->setFont(headingFont);
    place(Label6, 2280, 480, 1932, 192);

    CommandText = new QLineEdit;
    CommandText->setReadOnly(true);
    CommandText->setToolTip(QStringLiteral("Command input buffer"));
    place(CommandText, 120, 720, 5952, 312);

    ResetButton = new QPushButton(QStringLiteral("Reset"));
    ResetButton->setToolTip(QStringLiteral("Reset input buffer"));
    place(ResetButton, 6240, 720, 612, 312);

    m_inputLog = new LogModel(this);
    m_respLog = new LogModel(this);
    auto makeLog = [&](LogModel *model, std::uint32_t color, int left) {
        auto *view = new LogView(model, colorFromNumber(color));
        place(view, left, 1140, 2892, 1968);
        return view;
    };
    InputList = makeLog(m_inputLog, commandLogColor, 120);
    RespList = makeLog(m_respLog, responseLogColor, 3180);

    CopyLogButton = new QAction(QStringLiteral("Copy"), this);
    CopyLogButton->setShortcut(QKeySequence::Copy);
    CopyLogButton->setShortcutContext(Qt::WidgetShortcut);
    SaveLogButton = new QAction(QStringLiteral("Save Log As..."), this);
    for (LogView *log : {InputList, RespList}) {
        log->setContextMenuPolicy(Qt::ActionsContextMenu);
        log->addAction(CopyLogButton);
        log->addAction(SaveLogButton);
    }
    linkLogScrolling();

    ClearButton = new QPushButton(QStringLiteral("Clear"));
    ClearButton->setToolTip(QStringLiteral("Clear Command and Response area"));
    place(ClearButton, 6240, 1680, 612, 312);

    Label1 = new QLabel(QStringLiteral("Commands"));
    Label1->setFont(boldFont());
    Label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    place(Label1, 300, 3180, 1152, 192);

    InputLabel = new QLabel(QStringLiteral("0"));
    setColors(InputLabel, commandCountColor, stripColor);
    place(InputLabel, 1500, 3180, 1152, 252);

    Label2 = new QLabel(QStringLiteral("Responses"));
    Label2->setFont(boldFont());
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    place(Label2, 3420, 3180, 1152, 252);

    RespLabel = new QLabel(QStringLiteral("0"));
    setColors(RespLabel, responseCountColor, stripColor);
    place(RespLabel, 4680, 3180, 1152, 252);

    Line2 = new QWidget;
    setColors(Line2, std::nullopt, stripLineColor);
    Line2->setGeometry(0, twips.toPixels(3540), twips.toPixels(6960), 1);
    Line2->setParent(client);

    Picture1 = new QLabel;
    Picture1->setBackgroundRole(QPalette::Base);
    Picture1->setAutoFillBackground(true);
    Picture1->setAlignment(Qt::AlignCenter);
    place(Picture1, 180, 3660, 372, 372);
    const int iconSize = Picture1->width() - 2;
    Picture1->setPixmap(windowIcon().pixmap(iconSize, iconSize));

    Label3 = new QLabel(QStringLiteral("TQX Orbivo - Emulator"));
    QFont titleFont = consoleFont(13.8, true);
    titleFont.setItalic(true);
    Label3->setFont(titleFont);
    Label3->setAlignment(Qt::AlignCenter);
    setColors(Label3, titleColor, stripColor);
    place(Label3, 540, 3660, 3792, 372);

    Label5 = new QLabel(QStringLiteral("Starting star position is Aldebaran"));
    Label5->setFont(boldFont());
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Label5, 4740, 3660, 1932, 372);

    Line1 = new QWidget;
    setColors(Line1, std::nullopt, topLineColor);
    Line1->setGeometry(0, 0, twips.toPixels(7680), 1);
    Line1->setParent(client);

    // Tab order: Start, the two logs, the port list, Clear, the version box, Reset, the buffer.
    setTabOrder(StartButton, InputList);
    setTabOrder(InputList, RespList);
    setTabOrder(RespList, ComCombo);
    setTabOrder(ComCombo, ClearButton);
    setTabOrder(ClearButton, VerText);
    setTabOrder(VerText, ResetButton);
    setTabOrder(ResetButton, CommandText);

    showStopped();
}

void frmMain::buildMenu()
{
    ExitButton = menuBar()->addAction(QStringLiteral("Exit"));
    MountMenu = menuBar()->addMenu(QStringLiteral("Mount"));
    BasicProfileButton = MountMenu->addAction(QStringLiteral("Basic command table"));
    FullProfileButton = MountMenu->addAction(QStringLiteral("Full hand control"));
    auto *profiles = new QActionGroup(this);
    for (QAction *profile : {BasicProfileButton, FullProfileButton}) {
        profile->setCheckable(true);
        profiles->addAction(profile);
    }
    BasicProfileButton->setChecked(true);
    BasicProfileButton->setToolTip(QStringLiteral("The sixteen commands of the basic table"));
    FullProfileButton->setToolTip(QStringLiteral("Every command of current hand-control firmware"));
    MountMenu->setToolTipsVisible(true);
    MountMenu->addSeparator();
    MountSettingsButton = MountMenu->addAction(QStringLiteral("Mount settings..."));
    ShowMountButton = MountMenu->addAction(QStringLiteral("Show mount"));
    ShowMountButton->setToolTip(
            QStringLiteral("Where the mount points and how it moves, with a picture of the sky"));
    ShowExchangesButton = MountMenu->addAction(QStringLiteral("Show exchanges"));
    ShowExchangesButton->setToolTip(
            QStringLiteral("Every exchange with its time and meaning, and the bytes discarded"));
    FaultsMenu = menuBar()->addMenu(QStringLiteral("Faults"));
    FastTimingButton = FaultsMenu->addAction(QStringLiteral("Line at once"));
    RealTimingButton
            = FaultsMenu->addAction(QStringLiteral("Line at %1 bit/s").arg(SerialLine::baudRate));
    auto *timings = new QActionGroup(this);
    for (QAction *timing : {FastTimingButton, RealTimingButton}) {
        timing->setCheckable(true);
        timings->addAction(timing);
    }
    FastTimingButton->setChecked(true);
    FastTimingButton->setToolTip(QStringLiteral("Every reply goes out at once"));
    RealTimingButton->setToolTip(QStringLiteral("Replies go out one byte after another, about "
                                                "1 ms a byte, as on the real line"));
    FaultsMenu->addSeparator();
    BusDelayButton = FaultsMenu->addAction(QStringLiteral("Bus delay..."));
    BusDelayButton->setToolTip(QStringLiteral("How long a P command waits for the hand control's "
                                              "bus, with the line at its real pace"));
    FaultsMenu->addSeparator();
    AddFaultButton = FaultsMenu->addAction(QStringLiteral("Add fault..."));
    AddFaultButton->setToolTip(QStringLiteral("A fault every matching reply meets, such as "
                                              "delay:3000@cmd=e or cut:4@every=3"));
    RemoveFaultsButton = FaultsMenu->addAction(QStringLiteral("Remove faults"));
    RemoveFaultsButton->setEnabled(false);
    FaultsMenu->setToolTipsVisible(true);
    HelpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    AboutButton = HelpMenu->addAction(QStringLiteral("About TQX Orbivo Emulator"));
    HelpMenu->addSeparator();
    HelpCommandsButton = HelpMenu->addAction(QStringLiteral("TQX Orbivo Commands..."));
    CableButton = HelpMenu->addAction(QStringLiteral("RS-232 Cable Wiring..."));

    // The client area keeps its size below the menu bar.
    const Twips twips = Twips::forPrimaryScreen();
    resize(twips.toPixels(clientWidth),
           twips.toPixels(clientHeight) + menuBar()->sizeHint().height());
}

void frmMain::connectHandlers()
{
    connect(StartButton, &QPushButton::clicked, this, &frmMain::frmMain_StartButton_Click);
    connect(ClearButton, &QPushButton::clicked, this, &frmMain::frmMain_ClearButton_Click);
    connect(ResetButton, &QPushButton::clicked, this, &frmMain::frmMain_ResetButton_Click);
    connect(ExitButton, &QAction::triggered, this, &frmMain::frmMain_ExitButton_Click);
    connect(AboutButton, &QAction::triggered, this, &frmMain::frmMain_AboutButton_Click);
    connect(HelpCommandsButton, &QAction::triggered, this,
            &frmMain::frmMain_HelpCommandsButton_Click);
    connect(CableButton, &QAction::triggered, this, &frmMain::frmMain_CableButton_Click);
    connect(CopyLogButton, &QAction::triggered, this, &frmMain::frmMain_CopyLogButton_Click);
    connect(SaveLogButton, &QAction::triggered, this, &frmMain::frmMain_SaveLogButton_Click);
    connect(Comm, &EmulatorSession::exchanged, this, &frmMain::logExchange);
    connect(Comm, &EmulatorSession::commandSelected, this, &frmMain::InputListSelect);
    connect(Comm, &EmulatorSession::commandCountChanged, this, &frmMain::SetInputLabel);
    connect(Comm, &EmulatorSession::commandLogCleared, this, &frmMain::InputListClear);
    connect(Comm, &EmulatorSession::replySelected, this, &frmMain::RespListSelect);
    connect(Comm, &EmulatorSession::replyCountChanged, this, &frmMain::SetRespLabel);
    connect(Comm, &EmulatorSession::replyLogCleared, this, &frmMain::RespListClear);
    connect(Comm, &EmulatorSession::bufferChanged, this, &frmMain::SetCommandText);
    connect(VerText, &QLineEdit::textChanged, this, &frmMain::onVersionTextChanged);
    connect(VerText, &QLineEdit::editingFinished, this, &frmMain::onVersionTextEdited);
    connect(BasicProfileButton, &QAction::triggered, this,
            [this] { chooseProfile(Profile::Basic); });
    connect(FullProfileButton, &QAction::triggered, this, [this] { chooseProfile(Profile::Full); });
    connect(MountSettingsButton, &QAction::triggered, this,
            &frmMain::frmMain_MountSettingsButton_Click);
    connect(ShowMountButton, &QAction::triggered, this, &frmMain::frmMain_ShowMountButton_Click);
    connect(ShowExchangesButton, &QAction::triggered, this,
            &frmMain::frmMain_ShowExchangesButton_Click);
    connect(Comm, &EmulatorSession::unanswered, this, &frmMain::logUnanswered);
    connect(Comm, &EmulatorSession::clientConnected, this, [this](const QString &client) {
        logClient(client.isEmpty() ? QStringLiteral("a client connected")
                                   : QStringLiteral("connected: ") + client);
    });
    connect(Comm, &EmulatorSession::clientLeft, this,
            [this] { logClient(QStringLiteral("the client left")); });
    connect(Comm, &EmulatorSession::clientRefused, this,
            [this](const QString &client) { logClient(QStringLiteral("refused: ") + client); });
    connect(Comm, &EmulatorSession::clientNotice, this, &frmMain::logClient);
    connect(BlockedMarker, &QToolButton::clicked, this, &frmMain::showBlockedRows);
    connect(DiscardedMarker, &QToolButton::clicked, this, &frmMain::showDiscardedRows);
    connect(FastTimingButton, &QAction::triggered, this,
            [this] { chooseLineTiming(LineTiming::Fast); });
    connect(RealTimingButton, &QAction::triggered, this,
            [this] { chooseLineTiming(LineTiming::Real); });
    connect(BusDelayButton, &QAction::triggered, this, &frmMain::frmMain_BusDelayButton_Click);
    connect(AddFaultButton, &QAction::triggered, this, &frmMain::frmMain_AddFaultButton_Click);
    connect(RemoveFaultsButton, &QAction::triggered, this, &frmMain::removeFaults);
    // Queued, so that the message box never runs inside the port's own error signal.
    connect(Comm, &EmulatorSession::portFailed, this, &frmMain::onPortFailed, Qt::QueuedConnection);
    connect(Comm, &EmulatorSession::clientConnected, this,
            [this] { m_connectionBar->setClientConnected(true); });
    connect(Comm, &EmulatorSession::clientLeft, this, &frmMain::onClientLeft);
    connect(Comm, &EmulatorSession::clientNotice, m_connectionBar, &ConnectionBar::setClientNotice);
    // Logging off or shutting the system down may end the program without a close event.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmMain::frmMain_Form_Unload);
}

void frmMain::frmMain_Form_Load()
{
    const QString versionText = QStringLiteral("Version ") + QLatin1String(programVersion);
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + versionText);
    ProgramVersion = versionText;
    Comm->interpreter().mount().setStartValues();
    fillPortList();
    restoreSettings();
}

// The eight numbered ports, then the system's other serial ports by name, a virtual port where
// the platform can make one, and the network listener.
void frmMain::fillPortList()
{
    for (const PortChoice &port : PortChoice::portList()) {
        const bool isNumbered = port.kind() == PortChoice::Kind::Numbered;
        ComCombo->addItem(port.listEntry(), isNumbered ? QVariant(port.portNumber()) : QVariant());
        ComCombo->setItemData(ComCombo->count() - 1, QVariant::fromValue(port), portChoiceRole);
    }
    connect(ComCombo, &QComboBox::activated, this, &frmMain::onPortActivated);
    fitPortList();
    // Names longer than the box are read in full in the open list, and from their start in the
    // box itself.
    QAbstractItemView *list = ComCombo->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 8);
    connect(ComCombo, &QComboBox::currentIndexChanged, this,
            [this] { ComCombo->lineEdit()->setCursorPosition(0); });
}

// The box is as wide as its longest entry needs with the face and style in use, never narrower
// than its place in the console and never reaching into the version box's caption; the open
// list shows whatever is longer than that.
void frmMain::fitPortList()
{
    int textWidth = 0;
    for (int index = 0; index < ComCombo->count(); ++index)
        textWidth = std::max(textWidth,
                             ComCombo->fontMetrics().horizontalAdvance(ComCombo->itemText(index)));
    QStyleOptionComboBox option;
    option.initFrom(ComCombo);
    option.editable = true;
    // The line edit inside keeps a margin of its own on either side of the text.
    constexpr int lineEditMargins = 2 * 2 + 2;
    const QSize needed = ComCombo->style()->sizeFromContents(
            QStyle::CT_ComboBox, &option, QSize(textWidth + lineEditMargins, ComCombo->height()),
            ComCombo);
    const int captionLeft = Label4->geometry().right() + 1
            - Label4->fontMetrics().horizontalAdvance(Label4->text());
    const int widest = captionLeft - ComCombo->x() - ComCombo->height() / 2;
    ComCombo->resize(
            std::clamp(needed.width(), ComCombo->width(), std::max(ComCombo->width(), widest)),
            ComCombo->height());
}

// Choosing the network listener asks where it listens; cancelling keeps what was set before.
void frmMain::onPortActivated(int index)
{
    if (portAt(index).kind() != PortChoice::Kind::Tcp)
        return;
    if (const std::optional<TcpEndpoint> chosen = TcpPortDialog::ask(this, m_tcpEndpoint))
        setTcpEndpoint(*chosen);
}

PortChoice frmMain::portAt(int index) const
{
    return ComCombo->itemData(index, portChoiceRole).value<PortChoice>();
}

// The network listener's entry listens where the dialog last said.
void frmMain::setTcpEndpoint(const TcpEndpoint &endpoint)
{
    m_tcpEndpoint = endpoint;
    for (int index = 0; index < ComCombo->count(); ++index) {
        if (portAt(index).kind() == PortChoice::Kind::Tcp)
            ComCombo->setItemData(index, QVariant::fromValue(endpoint.listener()), portChoiceRole);
    }
}

void frmMain::selectSavedPort(const ConsoleSettingsValues &values)
{
    if (values.portName.isEmpty()) {
        ComCombo->setCurrentIndex(values.comPort);
        // What the user typed comes back as typed; Start reads it then, as it did.
        if (values.comPort < 0 && !values.typedPort.isEmpty())
            ComCombo->setEditText(values.typedPort);
        return;
    }
    // An entry beyond the eight is found by its name; one that is gone falls back to "Com 1".
    const int index = ComCombo->findText(values.portName, Qt::MatchExactly);
    ComCombo->setCurrentIndex(index >= 8 ? index : 0);
}

void frmMain::restoreSettings()
{
    const ConsoleSettingsValues values = m_settings.load();
    selectSavedPort(values);
    setTcpEndpoint({values.tcpAddress, static_cast<quint16>(values.tcpPort)});
    m_tcpTakeoverSeconds = values.tcpTakeoverSeconds;
    Comm->setTcpTakeoverAfter(std::int64_t(m_tcpTakeoverSeconds * 1000));
    m_basicVersion = values.hcVersion;
    m_fullVersion = values.fullVersion;
    m_mount = values.mount;
    VerText->setText(values.hcVersion);
    Comm->setVersionReply(ReadVerText());
    chooseProfile(values.profile);
    setBusDelay(values.busDelayMs);
    chooseLineTiming(values.lineTiming);
    restorePosition(values.leftTwips, values.topTwips);
}

void frmMain::restorePosition(double leftTwips, double topTwips)
{
    const Twips twips = Twips::forPrimaryScreen();
    const ConsoleSettingsValues defaults;
    QRect frame(QPoint(twips.toPixels(leftTwips), twips.toPixels(topTwips)), size());
    bool onSomeScreen = false;
    for (const QScreen *screen : QGuiApplication::screens())
        onSomeScreen = onSomeScreen || screen->availableGeometry().intersects(frame);
    if (!onSomeScreen && !QGuiApplication::screens().isEmpty())
        frame.moveTopLeft(
                QPoint(twips.toPixels(defaults.leftTwips), twips.toPixels(defaults.topTwips)));
    move(frame.topLeft());
}

void frmMain::frmMain_Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (PortIsOpen)
        Comm->close(nullptr);
    emit unloading();

    const Twips twips = Twips::forPrimaryScreen();
    ConsoleSettingsValues values;
    values.comPort = selectedPortIndex();
    if (values.comPort < 0)
        values.typedPort = ComCombo->currentText().trimmed();
    if (values.comPort >= 8) {
        // "com_port" keeps a value that every version understands.
        values.portName = ComCombo->itemText(values.comPort);
        values.comPort = 0;
    }
    onVersionTextEdited();
    values.hcVersion = m_basicVersion;
    values.fullVersion = m_fullVersion;
    values.profile = Comm->profile();
    values.mount = m_mount;
    values.tcpAddress = m_tcpEndpoint.address;
    values.tcpPort = m_tcpEndpoint.port;
    values.tcpTakeoverSeconds = m_tcpTakeoverSeconds;
    values.lineTiming = Comm->lineTiming();
    values.busDelayMs = int(Comm->busDelay().count());
    values.leftTwips = twips.fromPixels(pos().x());
    values.topTwips = twips.fromPixels(pos().y());
    QString errorText;
    if (!m_settings.save(values, &errorText))
        tell(errorText);

    for (QWidget *window :
         std::initializer_list<QWidget *> {m_commandsWindow, m_cableWindow, m_aboutWindow}) {
        if (window)
            window->close();
    }
}

void frmMain::endOnSignal()
{
    m_endingOnSignal = true;
    close();
    QCoreApplication::exit(0);
}

// A message for the user; while the program ends on a signal nobody is there to dismiss a box,
// so the message goes to standard error instead.
void frmMain::tell(const QString &text)
{
    if (!m_endingOnSignal) {
        showMessage(this, text);
        return;
    }
    std::fprintf(stderr, "tqx-orbivo-emulator: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    frmMain_Form_Unload();
    event->accept();
}

int frmMain::selectedPortIndex() const
{
    const int index = ComCombo->currentIndex();
    if (index < 0 || ComCombo->currentText() != ComCombo->itemText(index))
        return -1;
    return index;
}

namespace {

// Why a port did not open, naming the port: where the listener was to listen, or the device.
QString startErrorText(const PortChoice &port, const QString &reason)
{
    switch (port.kind()) {
    case PortChoice::Kind::Tcp:
        return QStringLiteral("The network listener cannot listen on address %1, port %2: %3")
                .arg(port.tcpAddress().toString())
                .arg(port.tcpPort())
                .arg(reason);
    case PortChoice::Kind::System:
        return QStringLiteral("Cannot open %1: %2").arg(port.systemName(), reason);
    case PortChoice::Kind::Numbered:
        return QStringLiteral("Cannot open %1: %2").arg(port.toString(), reason);
    case PortChoice::Kind::Virtual:
        break;
    }
    // The virtual port's own text says what it could not make.
    return reason;
}

} // namespace

void frmMain::selectPort(const PortChoice &port)
{
    if (port.kind() == PortChoice::Kind::Tcp)
        setTcpEndpoint({port.tcpAddress().toString(), port.tcpPort()});
    for (int index = 0; index < ComCombo->count(); ++index) {
        if (portAt(index) == port) {
            ComCombo->setCurrentIndex(index);
            return;
        }
    }
    ComCombo->setEditText(port.toString());
}

void frmMain::startRunning()
{
    if (!PortIsOpen)
        frmMain_StartButton_Click();
}

void frmMain::frmMain_StartButton_Click()
{
    if (!PortIsOpen) {
        QString errorText;
        const std::optional<PortChoice> port = chosenPort(&errorText);
        if (!port) {
            showMessage(this, errorText);
            return;
        }
        Comm->setPort(*port);
        qCDebug(lcConsole).noquote() << "Start on" << port->toString();
        if (!Comm->open(&errorText)) {
            showWarning(this, startErrorText(*port, errorText));
            return;
        }
        PortIsOpen = true;
        showRunning();
        showConnectionBar(true);
        return;
    }

    QString errorText;
    const bool closed = Comm->close(&errorText);
    PortIsOpen = false;
    showStopped();
    showConnectionBar(false);
    if (!closed)
        showMessage(this, errorText);
}

// The version box holds the reply to V of the profile in use: the basic profile's text as it is
// sent, or the full profile's version number.
void frmMain::chooseProfile(Profile profile)
{
    onVersionTextEdited();
    Comm->setProfile(profile);
    applyMountSettings();
    showProfile(profile);
}

// The profile's menu entry checked and its version in the box.
void frmMain::showProfile(Profile profile)
{
    (profile == Profile::Full ? FullProfileButton : BasicProfileButton)->setChecked(true);
    VerText->setText(profile == Profile::Full ? m_fullVersion : m_basicVersion);
    VerText->setToolTip(profile == Profile::Full
                                ? QStringLiteral("The firmware version, such as 4.21 or 4.39.07")
                                : QString());
}

void frmMain::followSessionSettings()
{
    const Profile profile = Comm->profile();
    m_mount.handControl = interpreter().handControlSettings();
    m_mount.autoResetMs = int(interpreter().autoResetAfter());
    m_fullVersion = QString::fromStdString(m_mount.handControl.version);
    const Bytes reply = Comm->versionReply();
    m_basicVersion = QString::fromLatin1(reply.data(), qsizetype(reply.size()));
    {
        // The session has these already; the box only shows them.
        const QSignalBlocker blocker(VerText);
        showProfile(profile);
    }
    (Comm->lineTiming() == LineTiming::Real ? RealTimingButton : FastTimingButton)
            ->setChecked(true);
    updateStatusBar();
}

void frmMain::followSessionFaults()
{
    std::vector<AddedFault> kept;
    if (const FaultStage *faults = Comm->faults()) {
        m_faultSeed = faults->seed();
        for (const FaultRule &rule : faults->rules()) {
            const auto here
                    = std::find_if(m_faults.begin(), m_faults.end(), [&](const AddedFault &fault) {
                          return fault.entry && fault.entry->isChecked()
                                  && fault.rule.text == rule.text;
                      });
            if (here != m_faults.end()) {
                kept.push_back(*here);
                here->entry = nullptr;
                continue;
            }
            kept.push_back({rule, addFaultEntry(rule.text)});
        }
    }
    for (AddedFault &fault : m_faults) {
        if (!fault.entry)
            continue;
        if (fault.entry->isChecked())
            delete fault.entry; // taken away by the other view
        else
            kept.push_back(fault);
    }
    m_faults = std::move(kept);
    RemoveFaultsButton->setEnabled(!m_faults.empty());
    updateStatusBar();
}

void frmMain::onVersionTextChanged()
{
    if (Comm->profile() != Profile::Basic)
        return;
    m_basicVersion = VerText->text();
    Comm->setVersionReply(ReadVerText());
}

// The full profile takes a version number only once it is complete: a text that is not one is
// refused with the reason, and the previous version stays.
void frmMain::onVersionTextEdited()
{
    if (Comm->profile() != Profile::Full || VerText->text() == m_fullVersion)
        return;
    const std::string error = HandControlSettings::versionError(VerText->text().toStdString());
    if (!error.empty()) {
        VerText->setText(m_fullVersion);
        tell(QString::fromStdString(error));
        return;
    }
    m_fullVersion = VerText->text().trimmed();
    applyMountSettings();
}

void frmMain::applyMountSettings()
{
    HandControlSettings settings = m_mount.handControl;
    settings.version = m_fullVersion.toStdString();
    Comm->setHandControlSettings(settings);
    Comm->setAutoResetAfter(m_mount.autoResetMs);
}

void frmMain::frmMain_MountSettingsButton_Click()
{
    if (const std::optional<MountSettings> chosen = MountSettingsDialog::ask(this, m_mount)) {
        m_mount = *chosen;
        applyMountSettings();
    }
}

void frmMain::showStopped()
{
    StartButton->setText(QStringLiteral("Start"));
    setColors(StartButton, std::nullopt, startColor);
    ComCombo->setEnabled(true);
}

void frmMain::showRunning()
{
    StartButton->setText(QStringLiteral("Stop"));
    setColors(StartButton, std::nullopt, stopColor);
    ComCombo->setEnabled(false);
}

void frmMain::onPortFailed(const QString &errorText)
{
    if (!PortIsOpen)
        return;
    PortIsOpen = false;
    showStopped();
    showConnectionBar(false);
    showMessage(this, errorText);
}

// The client of the virtual port closed it: the next one starts with an empty buffer, not in the
// middle of this one's command.
void frmMain::onClientLeft()
{
    m_connectionBar->setClientConnected(false);
    refreshDisplay();
}

// The selected entry's port, or the port a typed name names (a pseudo-terminal such as
// /dev/pts/7, a socat device, "tcp:5000"); nothing, with the reason, when there is neither.
std::optional<PortChoice> frmMain::chosenPort(QString *errorText) const
{
    if (const int index = selectedPortIndex(); index >= 0)
        return portAt(index);
    if (ComCombo->currentText().trimmed().isEmpty()) {
        *errorText = QStringLiteral("No port is selected: choose one from the list.");
        return std::nullopt;
    }
    return PortChoice::parse(ComCombo->currentText(), errorText);
}

void frmMain::buildStatusBar()
{
    // In the console's face and size, like the rest of the window, which leaves the paths the
    // room to show whole at the console's width.
    statusBar()->setFont(consoleFont());
    m_connectionBar = new ConnectionBar(this);
    VirtualDeviceText = m_connectionBar->deviceText;
    VirtualLinkText = m_connectionBar->linkText;
    // Takes the room the markers and the line's texts leave, rather than pushing over them.
    m_connectionBar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_connectionBar, 1);
    // The line's pace and the faults give way to where clients connect when room is short.
    LineTimingText = new ElidedLabel(this);
    LineTimingText->hide();
    statusBar()->addPermanentWidget(LineTimingText);
    FaultsText = new ElidedLabel(this);
    FaultsText->hide();
    statusBar()->addPermanentWidget(FaultsText);
    auto makeMarker = [this](ExchangeModel::Kind kind, const QString &toolTip) {
        // A tool button: a flat push button's margins would take the room of its text.
        auto *marker = new QToolButton(this);
        marker->setAutoRaise(true);
        marker->setCursor(Qt::PointingHandCursor);
        marker->setToolTip(toolTip);
        marker->setFocusPolicy(Qt::NoFocus);
        QPalette colours = marker->palette();
        colours.setColor(QPalette::ButtonText, ExchangeModel::kindColour(kind));
        marker->setPalette(colours);
        marker->hide();
        // First in the bar, before where clients connect, which gives way when room is short.
        statusBar()->insertWidget(kind == ExchangeModel::Kind::Reset ? 0 : 1, marker);
        return marker;
    };
    BlockedMarker = makeMarker(ExchangeModel::Kind::Reset,
                               QStringLiteral("The command buffer holds bytes that no command "
                                              "answers; Reset empties it. Click to see the "
                                              "exchanges since."));
    DiscardedMarker = makeMarker(ExchangeModel::Kind::Unanswered,
                                 QStringLiteral("Bytes were discarded without a reply since "
                                                "the last Clear. Click to see them."));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();
}

// Where clients of a running virtual port or network listener connect stays in view, selectable
// and copyable, below the console; a serial line's clients are at its other end.
void frmMain::showConnectionBar(bool running)
{
    using Access = PortChoice::ClientAccess;
    const Access access
            = running && Comm->port() ? Comm->port()->clientAccess() : Access::OtherEndOfTheLine;
    const bool shown = access != Access::OtherEndOfTheLine;
    if (shown && !m_connectionShown) {
        if (access == Access::NetworkAddress)
            m_connectionBar->setNetworkAddress(Comm->description());
        else
            m_connectionBar->setPaths(Comm->clientDevice(), Comm->publishedLink());
        m_connectionBar->setClientConnected(false);
    }
    m_connectionShown = shown;
    updateStatusBar();
}

void frmMain::updateStatusBar()
{
    const bool realTiming = Comm->lineTiming() == LineTiming::Real;
    LineTimingText->setText(QStringLiteral("Line at %1 bit/s, bus delay %2 ms")
                                    .arg(SerialLine::baudRate)
                                    .arg(Comm->busDelay().count()));
    LineTimingText->setVisible(realTiming);
    const QStringList faults = activeFaults();
    FaultsText->setText(QStringLiteral("Faults: ") + faults.join(QStringLiteral(", ")));
    FaultsText->setVisible(!faults.isEmpty());
    const bool lineShown = realTiming || !faults.isEmpty() || !BlockedMarker->isHidden()
            || !DiscardedMarker->isHidden();
    // Without clients to tell of, the line's pace, faults and markers are all the bar shows.
    m_connectionBar->setHidden(!m_connectionShown && lineShown);
    fitConnectionBar();
    const bool shown = m_connectionShown || lineShown;
    if (shown == !statusBar()->isHidden())
        return;
    const int change = statusBar()->sizeHint().height();
    if (shown) {
        statusBar()->show();
        resize(width(), height() + change);
    } else {
        statusBar()->hide();
        resize(width(), height() - change);
    }
}

// Where clients connect keeps the room to show whole, as far as the window's width goes: the
// line's pace and the faults give way first, down to a few characters each, and the markers keep
// their room.
void frmMain::fitConnectionBar()
{
    int taken = 0;
    for (const QWidget *label : {LineTimingText, FaultsText}) {
        if (!label->isHidden())
            taken += label->minimumSizeHint().width() + statusBarGap;
    }
    for (const QWidget *marker : {BlockedMarker, DiscardedMarker}) {
        if (!marker->isHidden())
            taken += marker->sizeHint().width() + statusBarGap;
    }
    const int room = width() - taken - statusBarEnds;
    const int whole = m_connectionBar->sizeHint().width();
    m_connectionBar->setMinimumWidth(
            std::max(m_connectionBar->minimumSizeHint().width(), std::min(whole, room)));
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_connectionBar)
        fitConnectionBar();
}

void frmMain::chooseLineTiming(LineTiming timing)
{
    Comm->setLineTiming(timing);
    (timing == LineTiming::Real ? RealTimingButton : FastTimingButton)->setChecked(true);
    updateStatusBar();
}

void frmMain::setBusDelay(int ms)
{
    Comm->setBusDelay(std::chrono::milliseconds(std::clamp(ms, 0, BusDelay::maxMs)));
    updateStatusBar();
}

void frmMain::frmMain_BusDelayButton_Click()
{
    bool ok = false;
    const int ms = QInputDialog::getInt(
            this, QStringLiteral("Bus delay"),
            QStringLiteral("How long a P command waits for the hand control's bus before its "
                           "reply starts, with the line at its real pace (milliseconds):"),
            int(Comm->busDelay().count()), 0, BusDelay::maxMs, 10, &ok);
    if (ok)
        setBusDelay(ms);
}

void frmMain::frmMain_AddFaultButton_Click()
{
    bool ok = false;
    const QString text = QInputDialog::getText(
            this, QStringLiteral("Add fault"),
            QStringLiteral("A fault rule, EFFECT[:ARGS][@CONDITION,...]:\n") + faultSyntaxSummary(),
            QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return;
    QString errorText;
    if (!addFault(text, &errorText))
        showMessage(this, errorText);
}

bool frmMain::addFault(const QString &text, QString *errorText)
{
    std::optional<FaultRule> rule = FaultRule::parse(text.trimmed(), errorText);
    if (!rule)
        return false;
    QAction *entry = addFaultEntry(rule->text);
    m_faults.push_back({std::move(*rule), entry});
    applyFaults();
    return true;
}

QAction *frmMain::addFaultEntry(const QString &text)
{
    QAction *entry = FaultsMenu->addAction(text);
    entry->setCheckable(true);
    entry->setChecked(true);
    entry->setToolTip(QStringLiteral("Switch this fault off or on"));
    connect(entry, &QAction::toggled, this, &frmMain::applyFaults);
    return entry;
}

void frmMain::removeFaults()
{
    for (const AddedFault &fault : m_faults)
        delete fault.entry;
    m_faults.clear();
    applyFaults();
}

QStringList frmMain::activeFaults() const
{
    QStringList texts;
    for (const AddedFault &fault : m_faults) {
        if (fault.entry->isChecked())
            texts << fault.rule.text;
    }
    return texts;
}

void frmMain::applyFaults()
{
    if (m_faultSeed == 0)
        m_faultSeed = QRandomGenerator::global()->generate64() | 1;
    std::vector<FaultRule> rules;
    for (const AddedFault &fault : m_faults) {
        if (fault.entry->isChecked())
            rules.push_back(fault.rule);
    }
    Comm->setFaults(std::move(rules), m_faultSeed);
    RemoveFaultsButton->setEnabled(!m_faults.empty());
    updateStatusBar();
}

void frmMain::frmMain_ClearButton_Click()
{
    Comm->clearLogs();
    refreshDisplay();
}

// What Reset throws away is a discard like the others, for the exchange view and the marker.
void frmMain::frmMain_ResetButton_Click()
{
    const Bytes buffer = interpreter().CommandBuffer();
    Comm->resetBuffer();
    if (!buffer.empty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        m_exchanges->appendReset(now, buffer, QStringLiteral("reset by the Reset button"),
                                 interpreter().decodeContext());
        countDiscarded(now, buffer.size());
    }
    refreshDisplay();
}

void frmMain::frmMain_ExitButton_Click() { close(); }

void frmMain::frmMain_AboutButton_Click()
{
    // Modal without an owner: the console takes no input until it closes, while the port's
    // events go on being answered.
    auto *about = new frmAbout;
    m_aboutWindow = about;
    about->VersionLabel->setText(ProgramVersion);
    about->DateLabel->setText(QLatin1String(releaseDate));
    about->exec();
}

void frmMain::frmMain_HelpCommandsButton_Click()
{
    if (!m_commandsWindow) {
        m_commandsWindow = frmTQXcommands::load();
        // Opens on the commands of the profile in use.
        if (m_commandsWindow)
            m_commandsWindow->showProfileTab(Comm->profile() == Profile::Full);
    }
    showReferenceWindow(m_commandsWindow);
}

void frmMain::frmMain_CableButton_Click()
{
    if (!m_cableWindow)
        m_cableWindow = frmRS232::load(ProgramVersion);
    showReferenceWindow(m_cableWindow);
}

// One mount view, made when first asked for and placed beside the console; asking again brings it
// back where the user left it.
void frmMain::frmMain_ShowMountButton_Click()
{
    if (!m_mountView) {
        m_mountView = new MountView(interpreter(), this);
        m_mountView->placeBeside(this);
    }
    m_mountView->show();
    m_mountView->raise();
    m_mountView->activateWindow();
}

ExchangeView *frmMain::openExchangeView()
{
    if (!m_exchangeView) {
        m_exchangeView = new ExchangeView(m_exchanges, this);
        m_exchangeView->placeBeside(this);
    }
    m_exchangeView->show();
    m_exchangeView->raise();
    m_exchangeView->activateWindow();
    return m_exchangeView;
}

// One exchange view, made when first asked for; it shows what happened before it was opened
// too, as far back as a log keeps.
void frmMain::frmMain_ShowExchangesButton_Click() { openExchangeView(); }

void frmMain::showBlockedRows()
{
    openExchangeView()->showRowsFrom(m_bufferSinceMs,
                                     {ExchangeModel::Kind::Unanswered, ExchangeModel::Kind::Reset});
}

void frmMain::showDiscardedRows()
{
    openExchangeView()->showRowsFrom(m_discardedSinceMs,
                                     {ExchangeModel::Kind::Unanswered, ExchangeModel::Kind::Reset});
}

void frmMain::setClock(std::function<qint64()> steadyMs)
{
    m_steadyMs = steadyMs ? std::move(steadyMs) : std::function<qint64()>(steadyNowMs);
}

void frmMain::countDiscarded(qint64 msecsSinceEpoch, std::size_t bytes)
{
    if (m_discardedLots == 0)
        m_discardedSinceMs = msecsSinceEpoch;
    ++m_discardedLots;
    m_discardedBytes += bytes;
    updateMarkers();
}

void frmMain::updateMarkers()
{
    const bool blocked
            = !m_commandBuffer.empty() && m_steadyMs() - m_bufferSinceSteadyMs >= blockedAfterMs;
    if (blocked)
        BlockedMarker->setText(QStringLiteral("Blocked: %1 since %2")
                                       .arg(bytesText(m_commandBuffer.size() + m_droppedBytes),
                                            clockText(m_bufferSinceMs)));
    const bool discarded = m_discardedLots > 0;
    if (discarded)
        DiscardedMarker->setText(
                QStringLiteral("Discarded: %1 since %2")
                        .arg(bytesText(m_discardedBytes), clockText(m_discardedSinceMs)));
    // The markers keep their whole text; where clients connect gives way instead.
    for (QToolButton *marker : {BlockedMarker, DiscardedMarker})
        marker->setMinimumWidth(marker->sizeHint().width());
    if (BlockedMarker->isHidden() == !blocked && DiscardedMarker->isHidden() == !discarded)
        return;
    BlockedMarker->setVisible(blocked);
    DiscardedMarker->setVisible(discarded);
    updateStatusBar();
}

void frmMain::showReferenceWindow(QWidget *window)
{
    // A window whose data file could not be read has already said so and is gone.
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

// Every selected line, oldest first, with its time and what it means, tab-separated.
void frmMain::frmMain_CopyLogButton_Click()
{
    LogView *log = RespList->hasFocus() ? RespList : InputList;
    const LogModel &model = log == RespList ? *m_respLog : *m_inputLog;
    QList<int> rows;
    for (const QModelIndex &index : log->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const int row : rows)
        lines << model.copyText(row);
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

// Every exchange puts a line in each log, so the logs' rows stand for the same exchanges and
// one scroll position fits both.
void frmMain::linkLogScrolling()
{
    QScrollBar *commands = InputList->verticalScrollBar();
    QScrollBar *replies = RespList->verticalScrollBar();
    connect(commands, &QScrollBar::valueChanged, replies, &QScrollBar::setValue);
    connect(replies, &QScrollBar::valueChanged, commands, &QScrollBar::setValue);
    // A range grows before the other's does as lines arrive; the value follows once it can.
    connect(commands, &QScrollBar::rangeChanged, this,
            [commands, replies] { replies->setValue(commands->value()); });
    connect(replies, &QScrollBar::rangeChanged, this,
            [commands, replies] { commands->setValue(replies->value()); });
}

void frmMain::frmMain_SaveLogButton_Click()
{
    const QString suggested = QDir::home().filePath(
            QStringLiteral("tqx-exchange-%1.txt")
                    .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString path = askSaveFileName(this, QStringLiteral("Save Log As"), suggested);
    if (path.isEmpty())
        return;
    QString errorText;
    if (!journal().saveTo(path, &errorText))
        showMessage(this,
                    QStringLiteral("The log could not be saved to %1:\n%2")
                            .arg(QDir::toNativeSeparators(path), errorText));
}

// Both lines are read in the context the command was answered in. A reply that had nobody to
// go to is shown all the same, since the interpreter answered, so that the logs keep their rows
// in step; the saved log says it was not sent.
void frmMain::logExchange(const Exchange &exchange)
{
    m_inputLog->appendCommand(exchange.command, exchange.context, exchange.msecsSinceEpoch);
    m_respLog->appendReply(exchange.reply, exchange.command, exchange.context, exchange.note,
                           exchange.msecsSinceEpoch);
    m_exchanges->appendExchange(exchange);
    scheduleRefresh();
}

// A blocked buffer that is reset automatically is one more discard, of its own kind.
void frmMain::logUnanswered(const Bytes &bytes, const QString &reason)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const DecodeContext context = interpreter().decodeContext();
    if (reason.startsWith(QLatin1String("reset")))
        m_exchanges->appendReset(now, bytes, reason, context);
    else
        m_exchanges->appendUnanswered(now, bytes, reason, context);
    countDiscarded(now, bytes.size());
}

void frmMain::logClient(const QString &text)
{
    m_exchanges->appendClient(QDateTime::currentMSecsSinceEpoch(), text);
}

void frmMain::InputListSelect(quint64 index) { m_inputSelection = index; }

void frmMain::SetInputLabel(const QString &text)
{
    m_inputLabelText = text;
    scheduleRefresh();
}

// The exchange view and the discard marker count from the last Clear, as the saved log does.
void frmMain::InputListClear()
{
    m_inputLog->clear();
    m_inputSelection.reset();
    m_exchanges->clear();
    m_discardedLots = 0;
    m_discardedBytes = 0;
    updateMarkers();
}

void frmMain::RespListSelect(quint64 index) { m_respSelection = index; }

void frmMain::SetRespLabel(const QString &text)
{
    m_respLabelText = text;
    scheduleRefresh();
}

void frmMain::RespListClear()
{
    m_respLog->clear();
    m_respSelection.reset();
}

void frmMain::SetCommandText(const Bytes &buffer, quint64 droppedBytes)
{
    if (m_commandBuffer.empty() && !buffer.empty()) {
        m_bufferSinceMs = QDateTime::currentMSecsSinceEpoch();
        m_bufferSinceSteadyMs = m_steadyMs();
        m_blockedTimer.start(int(blockedAfterMs));
    }
    const bool emptied = !m_commandBuffer.empty() && buffer.empty();
    m_commandBuffer = buffer;
    m_droppedBytes = droppedBytes;
    if (emptied) {
        m_blockedTimer.stop();
        updateMarkers();
    } else if (!BlockedMarker->isHidden()) {
        updateMarkers(); // the count of bytes
    }
    scheduleRefresh();
}

Bytes frmMain::ReadVerText() const
{
    // One byte per character on the line; characters beyond Latin-1 cannot be sent as one byte.
    const QByteArray bytes = VerText->text().toLatin1();
    return Bytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void frmMain::scheduleRefresh()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void frmMain::refreshDisplay()
{
    m_refreshTimer.stop();
    InputList->showLines(m_inputSelection);
    RespList->showLines(m_respSelection);
    InputLabel->setText(m_inputLabelText);
    RespLabel->setText(m_respLabelText);
    const QString buffer = bufferText(m_commandBuffer, m_droppedBytes);
    if (CommandText->text() != buffer)
        CommandText->setText(buffer);
}

} // namespace tqx
