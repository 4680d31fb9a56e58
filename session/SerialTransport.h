#pragma once

#include "session/Transport.h"

#include <QSerialPort>

namespace tqx {

// A serial port of the system, over QSerialPort, with the fixed line settings: 9600 bit/s, 8 data
// bits, no parity, 1 stop bit, no flow control.
class SerialTransport : public Transport
{
    Q_OBJECT

public:
    explicit SerialTransport(const QString &portName, QObject *parent = nullptr);
    ~SerialTransport() override;

    bool open(QString *errorText) override;
    bool close(QString *errorText) override;
    bool isOpen() const override { return m_port.isOpen(); }
    QByteArray readAll() override { return m_port.readAll(); }
    bool write(const QByteArray &bytes, QString *errorText) override;
    QString description() const override { return m_port.portName(); }

private:
    void onErrorOccurred(QSerialPort::SerialPortError error);

    QSerialPort m_port;
};

} // namespace tqx
