// The console's smaller parts as a user meets them: a port list wide enough for its entries, port
// names typed into it, the network dialog's addresses and layout, start errors that name the
// port, the path clients open kept whole once one connects, and ports chosen from outside.

#include "console/ConnectionBar.h"
#include "console/TcpPortDialog.h"
#include "console/frmMain.h"
#include "session/PortNames.h"
#include "session/VirtualPort.h"
#include "support/PseudoTerminal.h"
#include "widgets/ElidedLabel.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFile>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using tqx::frmMain;
using tqx::PortChoice;
using tqx::TcpPortDialog;

class RoughEdgesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portListFitsItsEntries_data();
    void portListFitsItsEntries();
    void typedPortName_data();
    void typedPortName();
    void tcpDialog_data();
    void tcpDialog();
    void tcpStartErrorNamesAddressAndPort();
    void linkPathKeptWholeOnceAClientConnects();
    void lineTextsGiveWayToWhereClientsConnect();
    void portSelectedFromOutside_data();
    void portSelectedFromOutside();

private:
    // Shows the window and starts it on the virtual port; false, with the messages said, when it
    // did not start.
    bool startShownOnVirtualPort(frmMain &window);

    std::unique_ptr<QTemporaryDir> m_config;
    QStringList m_messages;
    QStringList m_systemPorts;
};

void RoughEdgesTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_config->path()));
    m_messages.clear();
    tqx::setMessageSink([this](QWidget *, const QString &text) { m_messages << text; });
    m_systemPorts = {"/dev/ttyUSB0"};
    tqx::setSystemPortLister([this] { return m_systemPorts; });
}

void RoughEdgesTest::cleanup()
{
    tqx::setMessageSink({});
    tqx::setSystemPortLister({});
    TcpPortDialog::setSink({});
}

void RoughEdgesTest::portListFitsItsEntries_data()
{
    QTest::addColumn<QStringList>("systemPorts");
    QTest::newRow("usual entries") << QStringList {"/dev/ttyUSB0"};
    // Longer than there is room for before the version box's caption: the box stops there, and
    // the open list shows it whole.
    QTest::newRow("a very long device name")
            << QStringList {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
}

// Each entry's text fits the box's text field, up to the room the console has for it.
void RoughEdgesTest::portListFitsItsEntries()
{
    QFETCH(QStringList, systemPorts);
    m_systemPorts = systemPorts;
    frmMain window;
    QComboBox *box = window.ComCombo;
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = true;
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, box);
    const int captionLeft = window.Label4->geometry().right() + 1
            - window.Label4->fontMetrics().horizontalAdvance(window.Label4->text());
    QVERIFY(box->geometry().right() < captionLeft);
    for (int index = 0; index < box->count(); ++index) {
        const QString entry = box->itemText(index);
        const int needed = box->fontMetrics().horizontalAdvance(entry) + 4;
        if (entry == systemPorts.constFirst() && needed > field.width()) {
            QVERIFY2(box->view()->sizeHintForColumn(0) >= needed - 4, qPrintable(entry));
            continue;
        }
        QVERIFY2(field.width() >= needed,
                 qPrintable(
                         QString("%1: %2 px for %3 px").arg(entry).arg(field.width()).arg(needed)));
    }
}

// Typed as a user types it, key by key with the list's completion at work, then Start: a name
// the list does not show opens; a wrong one is refused with the reason, said once.
void RoughEdgesTest::typedPortName_data()
{
    QTest::addColumn<QString>("typed"); // "<pty>": a pseudo-terminal's path, not in the list
    QTest::addColumn<bool>("pressEnter");
    QTest::addColumn<QString>("message"); // empty: the port opens

    QTest::newRow("pseudo-terminal path") << "<pty>" << false << "";
    QTest::newRow("pseudo-terminal path, then Enter") << "<pty>" << true << "";
    QTest::newRow("network listener on a free port") << "tcp:0" << true << "";
    QTest::newRow("network listener on localhost") << "tcp:localhost:0" << false << "";
    QTest::newRow("network port past 16 bits")
            << "tcp:70000" << true << "\"70000\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network address a bare number")
            << "tcp:12345:4030" << false
            << "\"12345\" is not an IP address: an IPv4 address is four numbers from 0 to 255, "
               "such as 127.0.0.1";
    QTest::newRow("device that is not there")
            << "/tmp/no-such-ttyV0" << true << "Cannot open /tmp/no-such-ttyV0: ";
}

void RoughEdgesTest::typedPortName()
{
    QFETCH(QString, typed);
    QFETCH(bool, pressEnter);
    QFETCH(QString, message);

    PseudoTerminal pty;
    const QString text = typed == "<pty>" ? pty.slavePath() : typed;
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QLineEdit *edit = window.ComCombo->lineEdit();
    window.ComCombo->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    if (pressEnter)
        QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(window.ComCombo->currentText(), text);
    // Pressing Start takes the focus from the box, as a click would.
    window.StartButton->setFocus();
    window.StartButton->click();
    QCoreApplication::processEvents();
    if (!message.isEmpty()) {
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages.constFirst().startsWith(message), qPrintable(m_messages.constFirst()));
        QVERIFY(!window.PortIsOpen);
        return;
    }
    QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
    if (typed == "<pty>") {
        pty.write("Z");
        QCOMPARE(pty.read(10), QByteArray("12AB,4000#"));
    } else {
        QVERIFY2(window.VirtualDeviceText->text().startsWith("TCP 127.0.0.1:"),
                 qPrintable(window.VirtualDeviceText->text()));
    }
    window.StartButton->click();
    QVERIFY(!window.PortIsOpen);
    QVERIFY(m_messages.isEmpty());
}

// Each widget has at least the room its size hint asks for, inside the dialog.
static void verifyUnclipped(const TcpPortDialog &dialog)
{
    for (QWidget *widget :
         std::initializer_list<QWidget *> {dialog.addressText, dialog.portBox, dialog.addressNote,
                                           dialog.warningText, dialog.okButton}) {
        if (!widget->isVisible())
            continue;
        const QString name = widget->metaObject()->className();
        QVERIFY2(dialog.rect().contains(widget->geometry()), qPrintable(name));
        QVERIFY2(widget->width() >= widget->minimumSizeHint().width(), qPrintable(name));
        const int neededHeight = widget->hasHeightForWidth()
                ? widget->heightForWidth(widget->width())
                : widget->sizeHint().height();
        QVERIFY2(widget->height() >= neededHeight,
                 qPrintable(QString("%1: %2 px high, needs %3")
                                    .arg(name)
                                    .arg(widget->height())
                                    .arg(neededHeight)));
    }
}

void RoughEdgesTest::tcpDialog_data()
{
    QTest::addColumn<QString>("typed"); // "<host name>": this computer's own name
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("address"); // the endpoint's, when accepted; empty: any
    QTest::addColumn<bool>("warned"); // the warning about other computers shows
    QTest::addColumn<QString>("note"); // the note under the address begins with it

    QTest::newRow("loopback address") << "127.0.0.1" << true << "127.0.0.1" << false << "";
    QTest::newRow("localhost") << "localhost" << true << "127.0.0.1" << false
                               << "localhost is 127.0.0.1.";
    QTest::newRow("this computer's host name") << "<host name>" << true << "" << false << "";
    QTest::newRow("IPv6 loopback") << "::1" << true << "::1" << false << "";
    QTest::newRow("every network") << "0.0.0.0" << true << "0.0.0.0" << true << "";
    QTest::newRow("bare number")
            << "12345" << false << "" << false
            << "\"12345\" is not an IP address: an IPv4 address is four numbers";
    QTest::newRow("two numbers") << "10.1" << false << "" << false
                                 << "\"10.1\" is not an IP address";
    QTest::newRow("number past 255")
            << "300.1.1.1" << false << "" << false << "\"300.1.1.1\" is not an IP address.";
    QTest::newRow("empty") << "" << false << "" << false << "an address is needed";
    QTest::newRow("not a name") << "my host!" << false << "" << false
                                << "\"my host!\" is not an IP address.";
}

void RoughEdgesTest::tcpDialog()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, address);
    QFETCH(bool, warned);
    QFETCH(QString, note);

    const QString text = typed == "<host name>" ? QHostInfo::localHostName() : typed;
    TcpPortDialog dialog({"127.0.0.1", 4030});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.addressText->setText(text);
    // A name is looked up without holding the window; the answer comes by the deadline.
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.addressNote->text().startsWith("Looking up"), 10000);
    QCOMPARE(dialog.isAcceptable(), accepted);
    QCOMPARE(dialog.okButton->isEnabled(), accepted);
    QCOMPARE(dialog.warningText->isVisible(), warned);
    if (!note.isEmpty())
        QVERIFY2(dialog.addressNote->isVisible() && dialog.addressNote->text().startsWith(note),
                 qPrintable(dialog.addressNote->text()));
    if (accepted && !address.isEmpty())
        QCOMPARE(dialog.endpoint().address, address);
    if (accepted) {
        QVERIFY2(!QHostAddress(dialog.endpoint().address).isNull(),
                 qPrintable(dialog.endpoint().address));
        QCOMPARE(dialog.endpoint().port, quint16(4030));
    }
    // The layout has had its turn once the events are through.
    QCoreApplication::processEvents();
    verifyUnclipped(dialog);
}

// The message names where the listener was to listen, and why it could not.
void RoughEdgesTest::tcpStartErrorNamesAddressAndPort()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    frmMain window;
    window.selectPort(PortChoice::tcp(QHostAddress::LocalHost, taken.serverPort()));
    window.StartButton->click();
    QVERIFY(!window.PortIsOpen);
    QCOMPARE(m_messages.size(), 1);
    const QString expected = QString("The network listener cannot listen on address 127.0.0.1, "
                                     "port %1: ")
                                     .arg(taken.serverPort());
    QVERIFY2(m_messages.constFirst().startsWith(expected)
                     && m_messages.constFirst().size() > expected.size(),
             qPrintable(m_messages.constFirst()));
}

bool RoughEdgesTest::startShownOnVirtualPort(frmMain &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        qWarning("the window was never shown");
        return false;
    }
    window.selectPort(PortChoice::virtualPort());
    window.StartButton->click();
    if (!window.PortIsOpen)
        qWarning("%s", qPrintable(m_messages.join('\n')));
    return window.PortIsOpen;
}

// Once a client connects, the link stays as it was: whole when there is room, else cut in the
// middle with both ends in view, and always whole in its text and tooltip.
void RoughEdgesTest::linkPathKeptWholeOnceAClientConnects()
{
    if (!tqx::VirtualPort::isSupported())
        QSKIP("no pseudo-terminals here");
    frmMain window;
    QVERIFY(startShownOnVirtualPort(window));
    const QString link = window.Comm->publishedLink();
    QVERIFY(!link.isEmpty());
    auto *field = qobject_cast<tqx::PathField *>(window.VirtualLinkText);
    QVERIFY(field);
    QTRY_VERIFY(field->isVisible());
    const int widthBefore = field->width();

    const int client = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(client >= 0);
    QLabel *clientText = window.findChild<tqx::ConnectionBar *>()->clientText;
    QTRY_COMPARE(clientText->text(), QString("Client connected"));
    QCoreApplication::processEvents();

    QCOMPARE(field->width(), widthBefore);
    QCOMPARE(field->text(), link);
    QVERIFY(field->toolTip().contains(link));
    const QString shown = field->shownText();
    if (shown != link) {
        const QString ellipsis(QChar(0x2026));
        QVERIFY2(shown.contains(ellipsis), qPrintable(shown));
        const QString head = shown.section(ellipsis, 0, 0);
        const QString tail = shown.section(ellipsis, 1);
        QVERIFY2(!head.isEmpty() && link.startsWith(head), qPrintable(shown));
        QVERIFY2(!tail.isEmpty() && link.endsWith(tail), qPrintable(shown));
    }
    // Given the room, the whole path shows.
    window.resize(window.width() + field->fontMetrics().horizontalAdvance(link), window.height());
    QTRY_COMPARE(field->shownText(), link);
    ::close(client);
    window.StartButton->click();
}

// The visible children of a widget, left to right, do not overlap.
bool sideBySide(const QWidget *parent, QString *why)
{
    QList<QWidget *> shown;
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && child->width() > 0)
            shown << child;
    }
    std::sort(shown.begin(), shown.end(),
              [](const QWidget *a, const QWidget *b) { return a->x() < b->x(); });
    for (qsizetype i = 1; i < shown.size(); ++i) {
        if (shown.at(i - 1)->geometry().right() >= shown.at(i)->x()) {
            *why = QStringLiteral("%1 (%2 to %3) runs into %4 at %5")
                           .arg(shown.at(i - 1)->metaObject()->className())
                           .arg(shown.at(i - 1)->x())
                           .arg(shown.at(i - 1)->geometry().right())
                           .arg(shown.at(i)->metaObject()->className())
                           .arg(shown.at(i)->x());
            return false;
        }
    }
    return true;
}

// With the line at its real pace and a fault on, the status bar holds more than the console's
// width: the line's texts give way, cut short with their whole text in the tooltip, and nothing
// is drawn over anything else.
void RoughEdgesTest::lineTextsGiveWayToWhereClientsConnect()
{
    if (!tqx::VirtualPort::isSupported())
        QSKIP("no pseudo-terminals here");
    frmMain window;
    QVERIFY(startShownOnVirtualPort(window));
    window.chooseLineTiming(tqx::LineTiming::Real);
    QString errorText;
    QVERIFY(window.addFault("delay:250+100@cmd=e", &errorText));
    QCoreApplication::processEvents();

    auto *bar = window.findChild<tqx::ConnectionBar *>();
    QVERIFY(bar);
    QTRY_VERIFY(window.FaultsText->isVisible() && bar->isVisible());
    QString why;
    QVERIFY2(sideBySide(window.statusBar(), &why), qPrintable(why));
    QVERIFY2(sideBySide(bar, &why), qPrintable(why));
    QVERIFY(window.statusBar()->width() <= window.width());
    for (QLabel *label : {window.LineTimingText, window.FaultsText}) {
        auto *elided = qobject_cast<tqx::ElidedLabel *>(label);
        QVERIFY(elided);
        const QString shown = elided->shownText();
        if (shown != label->text()) {
            QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
            QCOMPARE(label->toolTip(), label->text());
        }
    }

    // Given the room, everything shows whole.
    auto *field = qobject_cast<tqx::PathField *>(window.VirtualLinkText);
    QVERIFY(field);
    const QFontMetrics metrics = field->fontMetrics();
    window.resize(window.width() + metrics.horizontalAdvance(field->text())
                          + metrics.horizontalAdvance(window.LineTimingText->text())
                          + metrics.horizontalAdvance(window.FaultsText->text()),
                  window.height());
    QTRY_COMPARE(field->shownText(), field->text());
    QTRY_COMPARE(qobject_cast<tqx::ElidedLabel *>(window.FaultsText)->shownText(),
                 window.FaultsText->text());
    QVERIFY2(sideBySide(window.statusBar(), &why), qPrintable(why));
    window.StartButton->click();
}

// What --port names is what the window opens with.
void RoughEdgesTest::portSelectedFromOutside_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("shown"); // the box's text
    QTest::addColumn<bool>("listed"); // an entry is selected, rather than the name typed

    QTest::newRow("numbered") << "Com 3"
                              << "Com 3" << true;
    QTest::newRow("listed system port") << "/dev/ttyUSB0"
                                        << "/dev/ttyUSB0" << true;
    QTest::newRow("device not in the list") << "/dev/pts/77"
                                            << "/dev/pts/77" << false;
    QTest::newRow("network listener") << "tcp:localhost:0"
                                      << "Network (TCP)" << true;
    if (tqx::VirtualPort::isSupported())
        QTest::newRow("virtual") << "virtual"
                                 << "Virtual port" << true;
}

void RoughEdgesTest::portSelectedFromOutside()
{
    QFETCH(QString, port);
    QFETCH(QString, shown);
    QFETCH(bool, listed);
    const std::optional<PortChoice> choice = PortChoice::parse(port, nullptr);
    QVERIFY(choice);
    bool asked = false;
    TcpPortDialog::setSink([&](const tqx::TcpEndpoint &) -> std::optional<tqx::TcpEndpoint> {
        asked = true;
        return std::nullopt;
    });
    frmMain window;
    window.selectPort(*choice);
    QCOMPARE(window.ComCombo->currentText(), shown);
    QCOMPARE(window.selectedPortIndex(), listed ? window.ComCombo->findText(shown) : -1);
    QVERIFY(!asked); // nobody is asked where to listen
    // Started, it runs where it was told.
    if (choice->kind() == PortChoice::Kind::Tcp) {
        window.StartButton->click();
        QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));
        QVERIFY2(window.VirtualDeviceText->text().startsWith("TCP 127.0.0.1:"),
                 qPrintable(window.VirtualDeviceText->text()));
        window.StartButton->click();
    }
}

QTEST_MAIN(RoughEdgesTest)
#include "rough_edges_test.moc"
