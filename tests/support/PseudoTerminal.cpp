#include "support/PseudoTerminal.h"

#include <QDeadlineTimer>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A program started by the test must not hold either end open behind its back.
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    // Raw until the program configures the port, so that nothing is echoed or translated.
    termios settings {};
    tcgetattr(m_slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(m_slave, TCSANOW, &settings);
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
    closeSlave();
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done,
                                  static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QTest::qWait(1);
    }
}

QByteArray PseudoTerminal::read(int count, int timeoutMs)
{
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    while (received.size() < count && !deadline.hasExpired()) {
        char buffer[4096];
        const ssize_t n
                = ::read(m_master, buffer,
                         std::min(sizeof buffer, static_cast<size_t>(count - received.size())));
        if (n > 0) {
            received.append(buffer, n);
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pending {m_master, POLLIN, 0};
        ::poll(&pending, 1, 1);
    }
    return received;
}

QByteArray PseudoTerminal::readAvailable(int waitMs)
{
    QByteArray received;
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
        else
            QTest::qWait(2);
    }
    return received;
}

void PseudoTerminal::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PseudoTerminal::closeSlave()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}
