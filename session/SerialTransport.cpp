#include "session/SerialTransport.h"

namespace tqx {

SerialTransport::SerialTransport(const QString &portName, QObject *parent)
    : Transport(parent)
    , m_port(this)
{
    m_port.setPortName(portName);
    connect(&m_port, &QSerialPort::readyRead, this, &Transport::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onErrorOccurred);
}

SerialTransport::~SerialTransport()
{
    // No signal may reach a half-destroyed owner while the port shuts down.
    m_port.disconnect(this);
}

bool SerialTransport::open(QString *errorText)
{
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

bool SerialTransport::close(QString *errorText)
{
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

bool SerialTransport::write(const QByteArray &bytes, QString *)
{
    if (!m_port.isOpen())
        return true;
    // QSerialPort keeps what the line cannot take yet and sends it in order. Handing the reply to
    // the line now rather than on a later pass of the event loop keeps anything the window does
    // afterwards from delaying it.
    m_port.write(bytes);
    m_port.flush();
    return true;
}

void SerialTransport::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_port.isOpen())
        return;
    // A port that reports an error while open is not trusted any further: a vanished device or
    // a closed pseudo-terminal keeps reporting errors for as long as it stays open.
    const QString errorText = m_port.errorString();
    m_port.close();
    m_port.clearError();
    emit failed(errorText);
}

} // namespace tqx
