// The ports beyond the eight numbered ones: system ports by name, the virtual port, the saved
// choice, and saving the exchange.

#include "console/ConnectionBar.h"
#include "console/TcpPortDialog.h"
#include "console/frmMain.h"
#include "session/EmulatorSession.h"
#include "session/PortNames.h"
#include "session/VirtualPort.h"
#include "support/PseudoTerminal.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using tqx::frmMain;

namespace {

// A client on a path: opens it raw, writes a command, reads the reply.
class PathClient
{
public:
    explicit PathClient(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        if (m_fd >= 0) {
            termios settings {};
            tcgetattr(m_fd, &settings);
            cfmakeraw(&settings);
            tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    ~PathClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    QByteArray exchange(const QByteArray &command, int replyLength)
    {
        [[maybe_unused]] const ssize_t written = ::write(m_fd, command.constData(), command.size());
        QByteArray reply;
        QDeadlineTimer deadline(3000);
        while (reply.size() < replyLength && !deadline.hasExpired()) {
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                reply.append(buffer, n);
            else
                QTest::qWait(2);
        }
        return reply;
    }

private:
    int m_fd;
};

} // namespace

class PortChoiceTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void extraPortsFollowTheEight();
    void systemPortByName();
    void typedPortName_data();
    void typedPortName();
    void portNameRoundTrip_data();
    void portNameRoundTrip();
    void typedNameRoundTrip();
    void virtualPortEndToEnd();
    void clientLeavingMidCommandLeavesNothingBehind();
    void networkListenerEndToEnd();
    void saveLogAs();

private:
    QString storedValue(const QString &key);

    std::unique_ptr<QTemporaryDir> m_config;
    QStringList m_messages;
    QStringList m_systemPorts;
};

void PortChoiceTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_config->path()));
    m_messages.clear();
    tqx::setMessageSink([this](QWidget *, const QString &text) { m_messages << text; });
    m_systemPorts = {"/dev/ttyS0", "/dev/ttyUSB0"};
    tqx::setSystemPortLister([this] { return m_systemPorts; });
}

void PortChoiceTest::cleanup()
{
    tqx::setMessageSink({});
    tqx::setSaveFileNameSink({});
    tqx::setSystemPortLister({});
}

QString PortChoiceTest::storedValue(const QString &key)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "TQX_Emulator", "TQX_Emulator");
    return store.value("Defaults/" + key).toString();
}

void PortChoiceTest::extraPortsFollowTheEight()
{
    frmMain window;
    QStringList entries;
    for (int i = 0; i < window.ComCombo->count(); ++i)
        entries << window.ComCombo->itemText(i);
    const QStringList expected {"Com 1",        "Com 2",        "Com 3",        "Com 4",
                                "Com 5",        "Com 6",        "Com 7",        "Com 8",
                                "/dev/ttyUSB0", "Virtual port", "Network (TCP)"};
    QCOMPARE(entries, expected);
    QCOMPARE(window.selectedPortIndex(), 0);
}

void PortChoiceTest::systemPortByName()
{
    PseudoTerminal pty;
    m_systemPorts = {pty.slavePath()};
    frmMain window;
    QCOMPARE(window.ComCombo->itemText(8), pty.slavePath());
    window.ComCombo->setCurrentIndex(8);
    window.StartButton->click();
    QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
    pty.write("Z");
    QCOMPARE(pty.read(10), QByteArray("12AB,4000#"));
}

// A name typed over the list goes through the same reading as the command line's: a device the
// list does not show opens, a listener typed as tcp:0 runs, a wrong text says what is wrong.
void PortChoiceTest::typedPortName_data()
{
    QTest::addColumn<QString>("typed"); // "<pty>": the path of a pseudo-terminal not in the list
    QTest::addColumn<QString>("message"); // empty: the port opens

    QTest::newRow("pseudo-terminal not in the list") << "<pty>"
                                                     << "";
    QTest::newRow("network listener on a free port") << "tcp:0"
                                                     << "";
    QTest::newRow("network port past 16 bits") << "tcp:70000"
                                               << "\"70000\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network address not an address") << "tcp:here:4030"
                                                    << "\"here\" is not an IP address";
    QTest::newRow("nothing typed") << "   "
                                   << "No port is selected: choose one from the list.";
}

void PortChoiceTest::typedPortName()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);

    PseudoTerminal pty;
    frmMain window;
    QVERIFY(window.ComCombo->findText(pty.slavePath()) < 0);
    window.ComCombo->setEditText(typed == "<pty>" ? pty.slavePath() : typed);
    QCOMPARE(window.selectedPortIndex(), -1);
    window.StartButton->click();
    if (!message.isEmpty()) {
        QCOMPARE(m_messages, QStringList {message});
        QVERIFY(!window.PortIsOpen);
        return;
    }
    QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
    if (typed == "<pty>") {
        pty.write("Z");
        QCOMPARE(pty.read(10), QByteArray("12AB,4000#"));
        QVERIFY(window.statusBar()->isHidden());
    } else {
        QVERIFY(!window.statusBar()->isHidden());
        QVERIFY2(window.VirtualDeviceText->text().startsWith("TCP 127.0.0.1:"),
                 qPrintable(window.VirtualDeviceText->text()));
    }
    window.StartButton->click();
    QVERIFY(!window.PortIsOpen);
}

void PortChoiceTest::portNameRoundTrip_data()
{
    QTest::addColumn<QStringList>("portsAtNextStart");
    QTest::addColumn<int>("selectedAtNextStart");
    QTest::newRow("port still there") << QStringList {"/dev/ttyUSB0", "/dev/ttyACM0"} << 9;
    QTest::newRow("port gone") << QStringList {"/dev/ttyACM0"} << 0;
}

void PortChoiceTest::portNameRoundTrip()
{
    QFETCH(QStringList, portsAtNextStart);
    QFETCH(int, selectedAtNextStart);
    {
        frmMain window;
        window.ComCombo->setCurrentIndex(8);
        window.close();
    }
    QCOMPARE(storedValue("port_name"), QString("/dev/ttyUSB0"));
    QCOMPARE(storedValue("com_port"), QString("0"));

    m_systemPorts = portsAtNextStart;
    frmMain window;
    QCOMPARE(window.selectedPortIndex(), selectedAtNextStart);

    // Back to a numbered port: the name is forgotten.
    window.ComCombo->setCurrentIndex(4);
    window.close();
    QCOMPARE(storedValue("port_name"), QString());
    QCOMPARE(storedValue("com_port"), QString("4"));
}

// A name typed into the list (no entry of it) is what the list shows at the next start, and
// Start opens it as if it had just been typed.
void PortChoiceTest::typedNameRoundTrip()
{
    PseudoTerminal pty;
    {
        frmMain window;
        window.ComCombo->setEditText("  " + pty.slavePath() + " ");
        window.close();
    }
    QCOMPARE(storedValue("typed_port"), pty.slavePath());
    QCOMPARE(storedValue("com_port"), QString("-1"));

    {
        frmMain window;
        QCOMPARE(window.ComCombo->currentText(), pty.slavePath());
        QCOMPARE(window.selectedPortIndex(), -1);
        window.StartButton->click();
        QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
        QCOMPARE(window.Comm->portName(), pty.slavePath());
        window.StartButton->click();
        // Back to an entry of the list: the typed name is forgotten.
        window.ComCombo->setCurrentIndex(4);
        window.close();
    }
    QCOMPARE(storedValue("typed_port"), QString());
    QCOMPARE(storedValue("com_port"), QString("4"));
}

void PortChoiceTest::virtualPortEndToEnd()
{
    if (!tqx::VirtualPort::isSupported())
        QSKIP("no pseudo-terminals here");
    frmMain window;
    const int virtualIndex = window.ComCombo->findText("Virtual port");
    QVERIFY(virtualIndex >= 8);
    window.ComCombo->setCurrentIndex(virtualIndex);
    window.StartButton->click();
    QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));

    const QString link = tqx::VirtualPort::linkPath();
    QVERIFY(link.startsWith(m_config->path()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), window.Comm->clientDevice());
    QVERIFY(!window.statusBar()->isHidden());
    QCOMPARE(window.VirtualDeviceText->text(), window.Comm->clientDevice());
    QCOMPARE(window.VirtualLinkText->text(), link);
    QVERIFY(window.VirtualLinkText->isReadOnly());

    {
        PathClient client(link);
        QVERIFY(client.isOpen());
        QCOMPARE(client.exchange("E", 10), QByteArray("310C,0BBB#"));
        QCOMPARE(client.exchange("R34AB", 0), QByteArray());
        QCOMPARE(client.exchange(",12CE", 1), QByteArray("#"));
    }
    // A client may close its end and come back.
    {
        PathClient client(link);
        QCOMPARE(client.exchange("E", 10), QByteArray("34AB,12CE#"));
    }

    window.StartButton->click();
    QVERIFY(!window.PortIsOpen);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    QVERIFY(window.statusBar()->isHidden());
    QVERIFY(m_messages.isEmpty());
}

// The next client neither reads the previous client's unread reply nor finishes its command.
void PortChoiceTest::clientLeavingMidCommandLeavesNothingBehind()
{
    frmMain window;
    window.ComCombo->setCurrentIndex(window.ComCombo->findText("Virtual port"));
    window.StartButton->click();
    QVERIFY(window.PortIsOpen);
    QLabel *clientText = window.findChild<tqx::ConnectionBar *>()->clientText;
    QCOMPARE(clientText->text(), QString("No client"));
    {
        PathClient client(tqx::VirtualPort::linkPath());
        QCOMPARE(client.exchange("E", 0), QByteArray());
        QTRY_COMPARE(clientText->text(), QString("Client connected"));
        QCOMPARE(client.exchange("R34A", 0), QByteArray());
        QTRY_COMPARE(window.CommandText->text(), QString("R34A"));
    }
    QTRY_COMPARE(clientText->text(), QString("No client"));
    QCOMPARE(window.CommandText->text(), QString());

    PathClient next(tqx::VirtualPort::linkPath());
    QCOMPARE(next.exchange("Kx", 3), QByteArray("x#"));
    window.StartButton->click();
}

// "Network (TCP)": the address and port come from the dialog, are shown while running and are
// remembered; a second client is turned away while the first one goes on.
void PortChoiceTest::networkListenerEndToEnd()
{
    quint16 freePort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        freePort = probe.serverPort();
    }
    int asked = 0;
    tqx::TcpPortDialog::setSink([&](const tqx::TcpEndpoint &current) {
        ++asked;
        [&] { QCOMPARE(current.port, quint16(4030)); }();
        return std::optional<tqx::TcpEndpoint>({"127.0.0.1", freePort});
    });
    {
        frmMain window;
        const int networkIndex = window.ComCombo->findText("Network (TCP)");
        QCOMPARE(networkIndex, window.ComCombo->findText("Virtual port") + 1);
        window.ComCombo->setCurrentIndex(networkIndex);
        emit window.ComCombo->activated(networkIndex);
        QCOMPARE(asked, 1);
        window.StartButton->click();
        QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
        QVERIFY(!window.statusBar()->isHidden());
        QCOMPARE(window.VirtualDeviceText->text(), QString("TCP 127.0.0.1:%1").arg(freePort));

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, freePort);
        QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
        client.write("E");
        QTRY_COMPARE(client.bytesAvailable(), qint64(10));
        QCOMPARE(client.readAll(), QByteArray("310C,0BBB#"));
        QLabel *clientText = window.findChild<tqx::ConnectionBar *>()->clientText;
        QTRY_COMPARE(clientText->text(), QString("Client connected"));

        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, freePort);
        QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
        client.write("Kq");
        QTRY_COMPARE(client.bytesAvailable(), qint64(2));
        QCOMPARE(client.readAll(), QByteArray("q#"));
        window.close();
    }
    tqx::TcpPortDialog::setSink({});
    QCOMPARE(storedValue("port_name"), QString("Network (TCP)"));
    QCOMPARE(storedValue("tcp_port"), QString::number(freePort));
    QCOMPARE(storedValue("tcp_address"), QString("127.0.0.1"));
}

void PortChoiceTest::saveLogAs()
{
    PseudoTerminal pty;
    m_systemPorts = {pty.slavePath()};
    frmMain window;
    window.ComCombo->setCurrentIndex(8);
    window.StartButton->click();
    QVERIFY(window.PortIsOpen);
    pty.write("L");
    QCOMPARE(pty.read(2), QByteArray("0#"));
    window.ClearButton->click();
    pty.write("E");
    QCOMPARE(pty.read(10), QByteArray("310C,0BBB#"));
    pty.write(QByteArray("T\x02", 2));
    QCOMPARE(pty.read(1), QByteArray("#"));

    QTemporaryDir folder;
    const QString path = folder.filePath("exchange.txt");
    tqx::setSaveFileNameSink([&](QWidget *, const QString &) { return path; });
    window.SaveLogButton->trigger();
    QVERIFY(m_messages.isEmpty());

    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines.size(), 5); // four lines and the empty piece after the last line break
    // Time, kind, bytes as the console shows them, and what they mean.
    const QRegularExpression line(
            R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\t(command|reply)\t([^\t]*)\t([^\t]*)$)");
    const QStringList expected {"command\tE\tget right ascension/declination, 16-bit",
                                "reply\t310C,0BBB#\tRA 04h35m54s Dec +16 30'00\"",
                                "command\tT\\x02\tset tracking mode 2: equatorial north",
                                "reply\t#\tacknowledged"};
    for (int i = 0; i < 4; ++i) {
        const QString text = QString::fromUtf8(lines[i]);
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
        QVERIFY2(text.endsWith(expected[i]), qPrintable(text));
    }

    // A line's tooltip says what it means, then shows its bytes.
    window.refreshDisplay();
    const QModelIndex trackingReply = window.RespList->model()->index(1, 0);
    QCOMPARE(trackingReply.data(Qt::ToolTipRole).toString(), QString("acknowledged\n#"));
    QCOMPARE(window.InputList->model()->index(1, 0).data(Qt::ToolTipRole).toString(),
             QString("set tracking mode 2: equatorial north\nT\\x02"));

    // Copy takes the selected line as the log shows it, with its time and meaning.
    window.InputList->setFocus();
    window.InputList->setCurrentIndex(window.InputList->model()->index(1, 0));
    window.CopyLogButton->trigger();
    const QStringList copied = QGuiApplication::clipboard()->text().split('\t');
    QCOMPARE(copied.size(), 3);
    QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)")
                     .match(copied[0])
                     .hasMatch(),
             qPrintable(copied[0]));
    QCOMPARE(copied.mid(1), QStringList({"T\\x02", "set tracking mode 2: equatorial north"}));

    // A folder that cannot be written is reported, and nothing else changes.
    tqx::setSaveFileNameSink([](QWidget *, const QString &) { return "/nonexistent/x.txt"; });
    window.SaveLogButton->trigger();
    QCOMPARE(m_messages.size(), 1);
}

QTEST_MAIN(PortChoiceTest)
#include "port_choice_test.moc"
