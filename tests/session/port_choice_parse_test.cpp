// Port names as the window, the settings and the command line give them: what each text reads
// as, the text it prints back, the errors for texts that name no port, the defaults, and what each
// kind of port makes and says.

#include "session/PortChoice.h"
#include "session/SerialTransport.h"
#include "session/TcpTransport.h"
#include "session/VirtualPort.h"

#include <QTest>

using tqx::PortChoice;
using Kind = PortChoice::Kind;
using Access = PortChoice::ClientAccess;

Q_DECLARE_METATYPE(PortChoice::Kind)
Q_DECLARE_METATYPE(PortChoice::ClientAccess)

class PortChoiceParseTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void badText_data();
    void badText();
    void print_data();
    void print();
    void defaults();
    void transport_data();
    void transport();
    void wording_data();
    void wording();
};

void PortChoiceParseTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("printed");

    QTest::newRow("numbered port") << "Com 3" << Kind::Numbered << "Com 3";
    QTest::newRow("numbered, capitals, no space") << "COM8" << Kind::Numbered << "Com 8";
    QTest::newRow("numbered, spaces around") << "  com 1 " << Kind::Numbered << "Com 1";
    QTest::newRow("number past the list is a system name") << "Com 9" << Kind::System << "Com 9";
    QTest::newRow("system name past the eight") << "COM12" << Kind::System << "COM12";
    QTest::newRow("device path") << "/dev/ttyUSB0" << Kind::System << "/dev/ttyUSB0";
    QTest::newRow("pseudo-terminal") << "/dev/pts/7" << Kind::System << "/dev/pts/7";
    QTest::newRow("socat device, trimmed") << " /tmp/ttyV0 " << Kind::System << "/tmp/ttyV0";
    QTest::newRow("virtual") << "virtual" << Kind::Virtual << "virtual";
    QTest::newRow("virtual in capitals") << "VIRTUAL" << Kind::Virtual << "virtual";
    QTest::newRow("network port") << "tcp:4030" << Kind::Tcp << "tcp:4030";
    QTest::newRow("network, free port") << "tcp:0" << Kind::Tcp << "tcp:0";
    QTest::newRow("network, capitals") << "TCP:5000" << Kind::Tcp << "tcp:5000";
    QTest::newRow("network, default address spelled out")
            << "tcp:127.0.0.1:5000" << Kind::Tcp << "tcp:5000";
    QTest::newRow("network, empty address") << "tcp::4030" << Kind::Tcp << "tcp:4030";
    QTest::newRow("network, every IPv4 network")
            << "tcp:0.0.0.0:4030" << Kind::Tcp << "tcp:0.0.0.0:4030";
    QTest::newRow("network, IPv6 in brackets") << "tcp:[::1]:4030" << Kind::Tcp << "tcp:[::1]:4030";
    QTest::newRow("network, IPv6 bare") << "tcp:::1:4030" << Kind::Tcp << "tcp:[::1]:4030";
    QTest::newRow("network, highest port") << "tcp:65535" << Kind::Tcp << "tcp:65535";
    QTest::newRow("network, localhost") << "tcp:localhost:5000" << Kind::Tcp << "tcp:5000";
    QTest::newRow("network, LOCALHOST") << "tcp:LOCALHOST:5000" << Kind::Tcp << "tcp:5000";
}

// Each text reads as its kind, prints as the canonical text, and that text reads back the same.
void PortChoiceParseTest::parse()
{
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(QString, printed);

    QString errorText;
    const std::optional<PortChoice> port = PortChoice::parse(text, &errorText);
    QVERIFY2(port, qPrintable(errorText));
    QCOMPARE(port->kind(), kind);
    QCOMPARE(port->toString(), printed);
    const std::optional<PortChoice> again = PortChoice::parse(printed, &errorText);
    QVERIFY2(again, qPrintable(errorText));
    QVERIFY(*again == *port);
}

void PortChoiceParseTest::badText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");

    const QString noName("a port name is needed: \"Com 1\" to \"Com 8\", a system port such as "
                         "/dev/ttyUSB0, \"virtual\" or tcp:4030");
    QTest::newRow("empty") << "" << noName;
    QTest::newRow("blank") << "  \t" << noName;
    QTest::newRow("network without a port") << "tcp:"
                                            << "\"\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network port past 16 bits") << "tcp:65536"
                                               << "\"65536\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network port not a number") << "tcp:http"
                                               << "\"http\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network port negative") << "tcp:-1"
                                           << "\"-1\" is not a TCP port number (0 to 65535)";
    QTest::newRow("network address a host name") << "tcp:here:4030"
                                                 << "\"here\" is not an IP address";
    QTest::newRow("network address a bare number")
            << "tcp:12345:4030"
            << "\"12345\" is not an IP address: an IPv4 address is four numbers from 0 to 255, "
               "such as 127.0.0.1";
    QTest::newRow("network address two numbers")
            << "tcp:10.1:4030"
            << "\"10.1\" is not an IP address: an IPv4 address is four numbers from 0 to 255, "
               "such as 127.0.0.1";
    QTest::newRow("network address not an address") << "tcp:300.1.1.1:4030"
                                                    << "\"300.1.1.1\" is not an IP address";
    QTest::newRow("IPv6 bracket not closed") << "tcp:[::1:4030"
                                             << "\"[::1:4030\" is not an IP address";
    QTest::newRow("IPv6 without a port") << "tcp:[::1]"
                                         << "\"\" is not a TCP port number (0 to 65535)";
    QTest::newRow("IPv6 port not after a colon")
            << "tcp:[::1]x4030"
            << "\"x4030\" is not a TCP port number (0 to 65535)";
}

void PortChoiceParseTest::badText()
{
    QFETCH(QString, text);
    QFETCH(QString, error);

    QString errorText;
    QVERIFY(!PortChoice::parse(text, &errorText));
    QCOMPARE(errorText, error);
    // Callers that only want to know may leave the reason out.
    QVERIFY(!PortChoice::parse(text, nullptr));
}

void PortChoiceParseTest::print_data()
{
    QTest::addColumn<PortChoice>("port");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("listEntry");

    QTest::newRow("numbered") << PortChoice::numbered(5) << "Com 5"
                              << "Com 5";
    QTest::newRow("system port") << PortChoice::system("/dev/ttyS0") << "/dev/ttyS0"
                                 << "/dev/ttyS0";
    QTest::newRow("virtual") << PortChoice::virtualPort() << "virtual"
                             << "Virtual port";
    QTest::newRow("network, default") << PortChoice::tcp() << "tcp:4030"
                                      << "Network (TCP)";
    QTest::newRow("network, LAN address")
            << PortChoice::tcp(QHostAddress("192.168.1.20"), 23) << "tcp:192.168.1.20:23"
            << "Network (TCP)";
    QTest::newRow("network, link-local IPv6")
            << PortChoice::tcp(QHostAddress("fe80::1"), 4030) << "tcp:[fe80::1]:4030"
            << "Network (TCP)";
}

void PortChoiceParseTest::print()
{
    QFETCH(PortChoice, port);
    QFETCH(QString, printed);
    QFETCH(QString, listEntry);

    QCOMPARE(port.toString(), printed);
    QCOMPARE(port.listEntry(), listEntry);
    const std::optional<PortChoice> again = PortChoice::parse(printed, nullptr);
    QVERIFY(again);
    QVERIFY(*again == port);
}

void PortChoiceParseTest::defaults()
{
    QVERIFY(PortChoice() == PortChoice::numbered(1));
    const PortChoice listener = PortChoice::tcp();
    QCOMPARE(listener.tcpAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(listener.tcpPort(), quint16(4030));
    QVERIFY(!(PortChoice::tcp(QHostAddress::LocalHost, 4031) == listener));
    QVERIFY(!(PortChoice::system("virtual") == PortChoice::virtualPort()));

    const QList<PortChoice> ports = PortChoice::portList();
    QVERIFY(ports.size() >= 9);
    for (int i = 0; i < 8; ++i)
        QVERIFY(ports[i] == PortChoice::numbered(i + 1));
    QVERIFY(ports.last() == listener);
}

void PortChoiceParseTest::transport_data()
{
    QTest::addColumn<PortChoice>("port");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("systemName");

    QTest::newRow("numbered, through the mapper")
            << PortChoice::numbered(3) << "tqx::SerialTransport"
            << "/dev/mapped3";
    QTest::newRow("system port, as named")
            << PortChoice::system("/dev/ttyACM0") << "tqx::SerialTransport"
            << "/dev/ttyACM0";
    QTest::newRow("virtual") << PortChoice::virtualPort() << "tqx::VirtualPort"
                             << "";
    QTest::newRow("network") << PortChoice::tcp() << "tqx::TcpTransport"
                             << "";
}

void PortChoiceParseTest::transport()
{
    QFETCH(PortChoice, port);
    QFETCH(QString, className);
    QFETCH(QString, systemName);

    const auto mapper = [](int number) { return QStringLiteral("/dev/mapped%1").arg(number); };
    const std::unique_ptr<tqx::Transport> transport = port.makeTransport({mapper, 0});
    QVERIFY(transport);
    QCOMPARE(QString(transport->metaObject()->className()), className);
    QVERIFY(!transport->isOpen());
    QCOMPARE(port.systemPortName(mapper), systemName);
}

void PortChoiceParseTest::wording_data()
{
    QTest::addColumn<PortChoice>("port");
    QTest::addColumn<Access>("access");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("listening");
    QTest::addColumn<QString>("connected");
    QTest::addColumn<QString>("left");

    QTest::newRow("serial line")
            << PortChoice::system("/dev/ttyUSB0") << Access::OtherEndOfTheLine << "/dev/ttyUSB0"
            << ""
            << "Listening on /dev/ttyUSB0 (9600 bit/s, 8 data bits, no parity, 1 stop bit)"
            << "a client connected from 127.0.0.1:5555"
            << "the client disconnected";
    QTest::newRow("virtual port with its link")
            << PortChoice::virtualPort() << Access::DevicePath << "/dev/pts/4"
            << "/run/user/1000/x.pty"
            << "Listening on a virtual port: clients open /dev/pts/4 or /run/user/1000/x.pty"
            << "a client opened the virtual port"
            << "the client closed the virtual port";
    QTest::newRow("virtual port without a link")
            << PortChoice::virtualPort() << Access::DevicePath << "/dev/pts/4"
            << ""
            << "Listening on a virtual port: clients open /dev/pts/4"
            << "a client opened the virtual port"
            << "the client closed the virtual port";
    QTest::newRow("network listener")
            << PortChoice::tcp() << Access::NetworkAddress << "TCP 127.0.0.1:4030"
            << ""
            << "Listening on TCP 127.0.0.1:4030"
            << "a client connected from 127.0.0.1:5555"
            << "the client disconnected";
}

void PortChoiceParseTest::wording()
{
    QFETCH(PortChoice, port);
    QFETCH(Access, access);
    QFETCH(QString, where);
    QFETCH(QString, link);
    QFETCH(QString, listening);
    QFETCH(QString, connected);
    QFETCH(QString, left);

    QCOMPARE(port.clientAccess(), access);
    QCOMPARE(port.listeningText(where, link), listening);
    QCOMPARE(port.clientConnectedText("127.0.0.1:5555"), connected);
    QCOMPARE(port.clientLeftText(), left);
}

QTEST_MAIN(PortChoiceParseTest)
#include "port_choice_parse_test.moc"
