#pragma once

#include "SerialControl.h"
#include "VirtualPort.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>

namespace tqx {

// The serial control over QSerialPort: opens the chosen port with the fixed line settings
// (9600 bit/s, 8 data bits, no parity, 1 stop bit, no flow control) and raises commEvent() on the
// user-interface thread for each arrival of bytes, during which CommEvent() reads as a receive.
class SerialPortControl : public QObject, public SerialControl
{
    Q_OBJECT

public:
    using PortNameMapper = std::function<QString(int portNumber)>;

    explicit SerialPortControl(QObject *parent = nullptr);
    ~SerialPortControl() override;

    // Maps the port numbers of the port list to system port names; tests map them to
    // pseudo-terminals.
    void setPortNameMapper(PortNameMapper mapper);

    // The port to open next: one of the numbered ports of the port list, a port by its system
    // name ("/dev/ttyUSB0", "COM12"), or a virtual port made at open().
    void setCommPort(int portNumber);
    void setSystemPort(const QString &systemName);
    void setVirtualPort();
    int commPort() const { return m_commPort; }
    bool isVirtual() const { return m_kind == Kind::Virtual; }
    QString portName() const;

    // While a virtual port is open: the device client software opens, and its stable link.
    QString clientDevice() const { return m_virtual.clientDevice(); }
    QString publishedLink() const { return m_virtual.publishedLink(); }

    // Opens the chosen port. On failure returns false with the port's own description of the
    // error.
    bool open(QString *errorText);
    // Closes the port. Returns false with a description if closing reported an error; the port
    // is closed either way.
    bool close(QString *errorText);
    bool isOpen() const { return m_port.isOpen() || m_virtual.isOpen(); }

    int CommEvent() const override { return m_event; }
    Bytes Input() override;
    void Output(const Bytes &bytes) override;

signals:
    // An event of the open port: the interpreter handles it.
    void commEvent();
    // The open port failed (device gone, other end closed, write refused) and has been closed.
    void portFailed(const QString &errorText);
    // A virtual port's client opened its end, or closed it (what it left unread is gone).
    void clientConnected();
    void clientLeft();

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onVirtualPortFailed(const QString &errorText);

    enum class Kind { Numbered, Named, Virtual };

    QSerialPort m_port;
    VirtualPort m_virtual;
    PortNameMapper m_portNameMapper;
    Kind m_kind = Kind::Numbered;
    int m_commPort = 1;
    QString m_systemName;
    int m_event = 0;
};

} // namespace tqx
