// Port names as the window, the settings and the command line give them: what each text reads
// as, the text it prints back, the errors for texts that name no port, the defaults, and what each
// kind of port makes and says.

#include "session/PortSpecification.h"
#include "session/SerialTransport.h"
#include "session/TcpTransport.h"
#include "session/VirtualPort.h"

#include <QTest>

using tqx::PortSpecification;
using Kind = PortSpecification::Kind;
using Access = PortSpecification::ClientAccess;

Q_DECLARE_METATYPE(PortSpecification::Kind)
Q_DECLARE_METATYPE(PortSpecification::ClientAccess)

class PortSpecificationTest : public QObject
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

void PortSpecificationTest::parse_data()
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
}

// Each text reads as its kind, prints as the canonical text, and that text reads back the same.
void PortSpecificationTest::parse()
{
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(QString, printed);

    QString errorText;
    const std::optional<PortSpecification> port = PortSpecification::parse(text, &errorText);
    QVERIFY2(port, qPrintable(errorText));
    QCOMPARE(port->kind(), kind);
    QCOMPARE(port->toString(), printed);
    const std::optional<PortSpecification> again = PortSpecification::parse(printed, &errorText);
    QVERIFY2(again, qPrintable(errorText));
    QVERIFY(*again == *port);
}

void PortSpecificationTest::badText_data()
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
    QTest::newRow("network address a host name") << "tcp:localhost:4030"
                                                 << "\"localhost\" is not an IP address";
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

void PortSpecificationTest::badText()
{
    QFETCH(QString, text);
    QFETCH(QString, error);

    QString errorText;
    QVERIFY(!PortSpecification::parse(text, &errorText));
    QCOMPARE(errorText, error);
    // Callers that only want to know may leave the reason out.
    QVERIFY(!PortSpecification::parse(text, nullptr));
}

void PortSpecificationTest::print_data()
{
    QTest::addColumn<PortSpecification>("port");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("listEntry");

    QTest::newRow("numbered") << PortSpecification::numbered(5) << "Com 5"
                              << "Com 5";
    QTest::newRow("system port") << PortSpecification::system("/dev/ttyS0") << "/dev/ttyS0"
                                 << "/dev/ttyS0";
    QTest::newRow("virtual") << PortSpecification::virtualPort() << "virtual"
                             << "Virtual port";
    QTest::newRow("network, default") << PortSpecification::tcp() << "tcp:4030"
                                      << "Network (TCP)";
    QTest::newRow("network, LAN address")
            << PortSpecification::tcp(QHostAddress("192.168.1.20"), 23) << "tcp:192.168.1.20:23"
            << "Network (TCP)";
    QTest::newRow("network, link-local IPv6")
            << PortSpecification::tcp(QHostAddress("fe80::1"), 4030) << "tcp:[fe80::1]:4030"
            << "Network (TCP)";
}

void PortSpecificationTest::print()
{
    QFETCH(PortSpecification, port);
    QFETCH(QString, printed);
    QFETCH(QString, listEntry);

    QCOMPARE(port.toString(), printed);
    QCOMPARE(port.listEntry(), listEntry);
    const std::optional<PortSpecification> again = PortSpecification::parse(printed, nullptr);
    QVERIFY(again);
    QVERIFY(*again == port);
}

void PortSpecificationTest::defaults()
{
    QVERIFY(PortSpecification() == PortSpecification::numbered(1));
    const PortSpecification listener = PortSpecification::tcp();
    QCOMPARE(listener.tcpAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(listener.tcpPort(), quint16(4030));
    QVERIFY(!(PortSpecification::tcp(QHostAddress::LocalHost, 4031) == listener));
    QVERIFY(!(PortSpecification::system("virtual") == PortSpecification::virtualPort()));

    const QList<PortSpecification> ports = PortSpecification::portList();
    QVERIFY(ports.size() >= 9);
    for (int i = 0; i < 8; ++i)
        QVERIFY(ports[i] == PortSpecification::numbered(i + 1));
    QVERIFY(ports.last() == listener);
}

void PortSpecificationTest::transport_data()
{
    QTest::addColumn<PortSpecification>("port");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("systemName");

    QTest::newRow("numbered, through the mapper")
            << PortSpecification::numbered(3) << "tqx::SerialTransport"
            << "/dev/mapped3";
    QTest::newRow("system port, as named")
            << PortSpecification::system("/dev/ttyACM0") << "tqx::SerialTransport"
            << "/dev/ttyACM0";
    QTest::newRow("virtual") << PortSpecification::virtualPort() << "tqx::VirtualPort"
                             << "";
    QTest::newRow("network") << PortSpecification::tcp() << "tqx::TcpTransport"
                             << "";
}

void PortSpecificationTest::transport()
{
    QFETCH(PortSpecification, port);
    QFETCH(QString, className);
    QFETCH(QString, systemName);

    const auto mapper = [](int number) { return QStringLiteral("/dev/mapped%1").arg(number); };
    const std::unique_ptr<tqx::Transport> transport = port.makeTransport({mapper, 0});
    QVERIFY(transport);
    QCOMPARE(QString(transport->metaObject()->className()), className);
    QVERIFY(!transport->isOpen());
    QCOMPARE(port.systemPortName(mapper), systemName);
}

void PortSpecificationTest::wording_data()
{
    QTest::addColumn<PortSpecification>("port");
    QTest::addColumn<Access>("access");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("listening");
    QTest::addColumn<QString>("connected");
    QTest::addColumn<QString>("left");

    QTest::newRow("serial line")
            << PortSpecification::system("/dev/ttyUSB0") << Access::OtherEndOfTheLine
            << "/dev/ttyUSB0"
            << ""
            << "Listening on /dev/ttyUSB0 (9600 bit/s, 8 data bits, no parity, 1 stop bit)"
            << "a client connected from 127.0.0.1:5555"
            << "the client disconnected";
    QTest::newRow("virtual port with its link")
            << PortSpecification::virtualPort() << Access::DevicePath << "/dev/pts/4"
            << "/run/user/1000/x.pty"
            << "Listening on a virtual port: clients open /dev/pts/4 or /run/user/1000/x.pty"
            << "a client opened the virtual port"
            << "the client closed the virtual port";
    QTest::newRow("virtual port without a link")
            << PortSpecification::virtualPort() << Access::DevicePath << "/dev/pts/4"
            << ""
            << "Listening on a virtual port: clients open /dev/pts/4"
            << "a client opened the virtual port"
            << "the client closed the virtual port";
    QTest::newRow("network listener")
            << PortSpecification::tcp() << Access::NetworkAddress << "TCP 127.0.0.1:4030"
            << ""
            << "Listening on TCP 127.0.0.1:4030"
            << "a client connected from 127.0.0.1:5555"
            << "the client disconnected";
}

void PortSpecificationTest::wording()
{
    QFETCH(PortSpecification, port);
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

QTEST_MAIN(PortSpecificationTest)
#include "port_specification_test.moc"
