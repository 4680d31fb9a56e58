#pragma once

#include <QByteArray>
#include <QString>

// Client software on a serial device (a virtual port's link), as raw bytes with deadlines.
class SerialClient
{
public:
    explicit SerialClient(const QString &path);
    ~SerialClient();
    SerialClient(const SerialClient &) = delete;
    SerialClient &operator=(const SerialClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close();

    void send(const QByteArray &bytes);
    // Reads until `count` bytes have arrived or the time is up.
    QByteArray receive(qsizetype count, int timeoutMs = 5000);
    QByteArray exchange(const QByteArray &command, qsizetype replyLength, int timeoutMs = 5000);

private:
    int m_fd = -1;
};
