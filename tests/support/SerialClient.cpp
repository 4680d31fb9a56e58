#include "support/SerialClient.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SerialClient::SerialClient(const QString &path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios settings {};
    ::tcgetattr(m_fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_fd, TCSANOW, &settings);
}

SerialClient::~SerialClient() { close(); }

void SerialClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SerialClient::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n
                = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray SerialClient::receive(qsizetype count, int timeoutMs)
{
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && received.size() < count && !deadline.hasExpired()) {
        pollfd ready {m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(m_fd, buffer,
                                 std::min<size_t>(sizeof buffer, size_t(count - received.size())));
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    return received;
}

QByteArray SerialClient::exchange(const QByteArray &command, qsizetype replyLength, int timeoutMs)
{
    send(command);
    return receive(replyLength, timeoutMs);
}
