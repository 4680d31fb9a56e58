#include "SerialPortControl.h"

#include "PortNames.h"

namespace tqx {

SerialPortControl::SerialPortControl(QObject *parent)
    : QObject(parent)
    , m_port(this)
    , m_virtual(this)
    , m_portNameMapper(platformPortName)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortControl::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortControl::onErrorOccurred);
    connect(&m_virtual, &VirtualPort::readyRead, this, &SerialPortControl::onReadyRead);
    connect(&m_virtual, &VirtualPort::failed, this, &SerialPortControl::onVirtualPortFailed);
    connect(&m_virtual, &VirtualPort::clientConnected, this, &SerialPortControl::clientConnected);
    connect(&m_virtual, &VirtualPort::clientLeft, this, &SerialPortControl::clientLeft);
}

SerialPortControl::~SerialPortControl()
{
    // No signal may reach a half-destroyed owner while the port shuts down.
    m_port.disconnect(this);
    m_virtual.disconnect(this);
}

void SerialPortControl::setPortNameMapper(PortNameMapper mapper)
{
    m_portNameMapper = mapper ? std::move(mapper) : PortNameMapper(platformPortName);
}

void SerialPortControl::setCommPort(int portNumber)
{
    m_kind = Kind::Numbered;
    m_commPort = portNumber;
}

void SerialPortControl::setSystemPort(const QString &systemName)
{
    m_kind = Kind::Named;
    m_systemName = systemName;
}

void SerialPortControl::setVirtualPort() { m_kind = Kind::Virtual; }

QString SerialPortControl::portName() const
{
    switch (m_kind) {
    case Kind::Numbered:
        return m_portNameMapper(m_commPort);
    case Kind::Named:
        return m_systemName;
    case Kind::Virtual:
        break;
    }
    return m_virtual.clientDevice();
}

bool SerialPortControl::open(QString *errorText)
{
    if (m_kind == Kind::Virtual)
        return m_virtual.open(errorText);

    m_port.setPortName(portName());
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (m_port.open(QIODevice::ReadWrite)) {
        // Bytes that reached the port while nobody listened are not part of this run.
        m_port.clear(QSerialPort::Input);
        m_port.clearError();
        return true;
    }
    if (errorText)
        *errorText = m_port.errorString();
    m_port.clearError();
    return false;
}

bool SerialPortControl::close(QString *errorText)
{
    m_virtual.close();
    if (!m_port.isOpen())
        return true;
    m_port.clearError();
    m_port.close();
    const bool closedCleanly = m_port.error() == QSerialPort::NoError;
    if (!closedCleanly && errorText)
        *errorText = m_port.errorString();
    m_port.clearError();
    return closedCleanly;
}

Bytes SerialPortControl::Input()
{
    const QByteArray received = m_virtual.isOpen() ? m_virtual.readAll() : m_port.readAll();
    return Bytes(received.constData(), static_cast<std::size_t>(received.size()));
}

void SerialPortControl::Output(const Bytes &bytes)
{
    if (bytes.empty())
        return;
    if (m_virtual.isOpen()) {
        QString errorText;
        if (!m_virtual.write(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                             &errorText))
            onVirtualPortFailed(errorText);
        return;
    }
    if (!m_port.isOpen())
        return;
    m_port.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Hand the reply to the line now rather than on a later pass of the event loop, so that
    // nothing the window does afterwards delays it.
    m_port.flush();
}

void SerialPortControl::onReadyRead()
{
    m_event = comEvReceive;
    emit commEvent();
    m_event = 0;
}

void SerialPortControl::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen())
        return;
    // A port that reports an error while open is not trusted any further: a vanished device or
    // a closed pseudo-terminal keeps reporting errors for as long as it stays open.
    const QString errorText = m_port.errorString();
    m_port.close();
    m_port.clearError();
    emit portFailed(errorText);
}

void SerialPortControl::onVirtualPortFailed(const QString &errorText)
{
    m_virtual.close();
    emit portFailed(errorText);
}

} // namespace tqx
